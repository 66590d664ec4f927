#include "tidewave/infra/Assertion.h"

#include <atomic>
#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#include <mutex>
#include <sstream>

#include "tidewave/infra/Guards.h"
#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("Assertion", "tidewave.infra.Assertion")

namespace Omvera {

namespace {

std::atomic<unsigned long> s_ulAssertionCount{0};

struct ObserverSlot {
  std::mutex m_mutex;
  AssertionObserver* m_pObserver = nullptr;
};

ObserverSlot& observerSlot() {
  static ObserverSlot* const s_pSlot = new ObserverSlot();  // usable from static destructors
  return *s_pSlot;
}

void report(const char* in_szExpression, const Logger& in_logger, const char* in_szModule,
            int in_iLine) {
  s_ulAssertionCount.fetch_add(1, std::memory_order_relaxed);
  const char* szExpression = in_szExpression ? in_szExpression : "";
  const char* szModule = in_szModule ? in_szModule : "";
  OMVERA_LOG_M(in_logger, LogLevel::ERROR, szModule,
               "Assertion failed : " << szExpression << " (" << szModule << ":" << in_iLine
                                     << ")");
  ObserverSlot& slot = observerSlot();
  std::lock_guard<std::mutex> lock(slot.m_mutex);
  if (slot.m_pObserver != nullptr) slot.m_pObserver->assertionFailed(szExpression, szModule, in_iLine);
}

}  // namespace

std::string readableTypeName(const char* in_szMangledName) {
  if (in_szMangledName == nullptr) return std::string();
  int iStatus = 0;
  std::unique_ptr<char, void (*)(void*)> pName(
      abi::__cxa_demangle(in_szMangledName, nullptr, nullptr, &iStatus), std::free);
  return (iStatus == 0 && pName) ? std::string(pName.get()) : std::string(in_szMangledName);
}

bool Assertion(bool in_bCondition, const char* in_szExpression, const char* in_szModule,
               int in_iLine) {
  if (!in_bCondition) report(in_szExpression, fileScopeLogger(), in_szModule, in_iLine);
  return in_bCondition;
}

bool Assertion(bool in_bCondition, const char* in_szExpression, const Logger& in_logger,
               const char* in_szModule, int in_iLine) {
  if (!in_bCondition) report(in_szExpression, in_logger, in_szModule, in_iLine);
  return in_bCondition;
}

AssertionObserver::~AssertionObserver() = default;

AssertionObserver* AssertionRegistry::setObserver(AssertionObserver* in_pObserver) {
  ObserverSlot& slot = observerSlot();
  std::lock_guard<std::mutex> lock(slot.m_mutex);
  AssertionObserver* pPrevious = slot.m_pObserver;
  slot.m_pObserver = in_pObserver;
  return pPrevious;
}

unsigned long AssertionRegistry::getCount() {
  return s_ulAssertionCount.load(std::memory_order_relaxed);
}

void DynCastAssertNoT::typeIdError(const char* in_szActualType, const char* in_szTargetType,
                                   const Logger& in_logger, const char* in_szModule,
                                   int in_iLine) {
  OMVERA_LOG_M(in_logger, LogLevel::ERROR, in_szModule,
               "Checked cast failed : object of type " << readableTypeName(in_szActualType)
                                                       << " is not a "
                                                       << readableTypeName(in_szTargetType) << " (line "
                                                       << in_iLine << ")");
}

void DynCastAssertNoT::nullBaseError(const char* in_szTargetType, const Logger& in_logger,
                                     const char* in_szModule, int in_iLine) {
  OMVERA_LOG_M(in_logger, LogLevel::ERROR, in_szModule,
               "Checked cast failed : null pointer cast to " << readableTypeName(in_szTargetType)
                                                             << " (line " << in_iLine << ")");
}

void FallibleBase::assertUsedInInvalidStateErr(const char* in_szModule, int in_iLine) {
  Assertion(false, "Fallible value read while invalid", in_szModule, in_iLine);
}

void RecursivityGuard::recursivityAssert(const char* in_szModule, int in_iLine) {
  Assertion(false, "recursive call on a guarded object", in_szModule, in_iLine);
}

void ScratchMemberGuard::scratchMemberInUseAssert(const char* in_szModule, int in_iLine) {
  Assertion(false, "scratch member already in use", in_szModule, in_iLine);
}

}  // namespace Omvera
