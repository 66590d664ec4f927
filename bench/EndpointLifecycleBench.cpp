// The life cycle of a call's endpoints through a real call and real endpoint state
// machines, on one thread, with every engine request answered at once by a fake engine.
//
// One round: N send-receive endpoints (IDs of the length of generated endpoint IDs) are
// added to the call; each is configured (both directions in one request), then every Rx
// side is started, every Tx side started, every Tx side stopped, every Rx side stopped,
// and every endpoint destroyed (eMEDIA_PROXY_DTOR); each request's engine answer is
// processed before the next request. The call is then given back and initialised again
// for the next round, so the endpoint records come from the task's pool. Each request
// ends in its report to the user; nothing is left waiting at the end of a round.
//
// Figures, per endpoint life cycle (one item per endpoint of a round):
// - items_per_second and t_per_ept: the time of one endpoint's life cycle;
// - allocs_per_ept: global operator new calls (every form) made inside the measured loop.
//   They include what the round builds per endpoint outside the library, as a gateway
//   would: the engine endpoint and the user callback, here the fakes with their two shared
//   logs and the harness's copy of the ID; fake_allocs_per_ept is that share, counted by
//   building and dropping one such set outside the loop. The rest is the library's.
// BM_EndpointLifecycleRatio runs the two-endpoint and the 16-endpoint call in the same
// process, round for round, and reports cost_ratio_16_2: the cost per endpoint in the
// 16-endpoint call over the cost per endpoint in the two-endpoint call. Each of the 16
// endpoints has 15 peers where each of the two has one, so some growth is expected; the
// aim is a ratio within 8.
//
// The "tidewave.media" loggers have their level cached at WARN before the harness is
// built, so the DEBUG and TRACE lines cost one integer comparison each. A WARN or ERROR
// line, or a failed assertion, inside the measured loop means the round went wrong: the
// benchmark stops with an error naming the count.

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <log4cplus/appender.h>
#include <log4cplus/logger.h>
#include <log4cplus/spi/loggingevent.h>

#include "support/CallHarness.h"
#include "support/FakeEngine.h"
#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Logger.h"

// ---- counting allocator -----------------------------------------------------------------
// Every form of the global operator new counts one allocation and takes its memory from
// malloc (aligned forms: aligned_alloc); every operator delete gives it back to free. The
// counter is read around the measured loops; it counts on every thread of the process.

namespace {

std::atomic<std::uint64_t> s_uiNumAllocations{0};

void* countedAlloc(std::size_t in_uiSize) noexcept {
  s_uiNumAllocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(in_uiSize != 0 ? in_uiSize : 1);
}

void* countedAlignedAlloc(std::size_t in_uiSize, std::align_val_t in_eAlign) noexcept {
  s_uiNumAllocations.fetch_add(1, std::memory_order_relaxed);
  const std::size_t uiAlign = static_cast<std::size_t>(in_eAlign);
  // aligned_alloc wants a size that is a multiple of the alignment.
  const std::size_t uiSize = in_uiSize != 0 ? (in_uiSize + uiAlign - 1) / uiAlign * uiAlign : uiAlign;
  return std::aligned_alloc(uiAlign, uiSize);
}

// The throwing forms: a benchmark out of memory cannot go on.
void* orAbort(void* in_pMem) noexcept {
  if (in_pMem == nullptr) {
    std::fputs("EndpointLifecycleBench: out of memory\n", stderr);
    std::abort();
  }
  return in_pMem;
}

}  // namespace

void* operator new(std::size_t in_uiSize) { return orAbort(countedAlloc(in_uiSize)); }
void* operator new[](std::size_t in_uiSize) { return orAbort(countedAlloc(in_uiSize)); }
void* operator new(std::size_t in_uiSize, const std::nothrow_t&) noexcept {
  return countedAlloc(in_uiSize);
}
void* operator new[](std::size_t in_uiSize, const std::nothrow_t&) noexcept {
  return countedAlloc(in_uiSize);
}
void* operator new(std::size_t in_uiSize, std::align_val_t in_eAlign) {
  return orAbort(countedAlignedAlloc(in_uiSize, in_eAlign));
}
void* operator new[](std::size_t in_uiSize, std::align_val_t in_eAlign) {
  return orAbort(countedAlignedAlloc(in_uiSize, in_eAlign));
}
void* operator new(std::size_t in_uiSize, std::align_val_t in_eAlign, const std::nothrow_t&) noexcept {
  return countedAlignedAlloc(in_uiSize, in_eAlign);
}
void* operator new[](std::size_t in_uiSize, std::align_val_t in_eAlign,
                     const std::nothrow_t&) noexcept {
  return countedAlignedAlloc(in_uiSize, in_eAlign);
}

// GCC matches the malloc inside the replaced operator new against the free below and
// reports a mismatch; replacing both sides together is exactly what is intended here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* in_pMem) noexcept { std::free(in_pMem); }
void operator delete[](void* in_pMem) noexcept { std::free(in_pMem); }
void operator delete(void* in_pMem, const std::nothrow_t&) noexcept { std::free(in_pMem); }
void operator delete[](void* in_pMem, const std::nothrow_t&) noexcept { std::free(in_pMem); }
void operator delete(void* in_pMem, std::size_t) noexcept { std::free(in_pMem); }
void operator delete[](void* in_pMem, std::size_t) noexcept { std::free(in_pMem); }
void operator delete(void* in_pMem, std::align_val_t) noexcept { std::free(in_pMem); }
void operator delete[](void* in_pMem, std::align_val_t) noexcept { std::free(in_pMem); }
void operator delete(void* in_pMem, std::size_t, std::align_val_t) noexcept { std::free(in_pMem); }
void operator delete[](void* in_pMem, std::size_t, std::align_val_t) noexcept {
  std::free(in_pMem);
}
void operator delete(void* in_pMem, std::align_val_t, const std::nothrow_t&) noexcept {
  std::free(in_pMem);
}
void operator delete[](void* in_pMem, std::align_val_t, const std::nothrow_t&) noexcept {
  std::free(in_pMem);
}

namespace Omvera {
namespace {

using Test::CallHarness;

constexpr const char* s_szMEDIA_LOGGER = "tidewave.media";
constexpr long s_lSMALL_CALL = 2;
constexpr long s_lLARGE_CALL = 16;
// Reports per endpoint and round: configure, start and stop, each for Rx and Tx.
constexpr std::size_t s_uiREPORTS_PER_EPT = 6;

std::uint64_t numAllocations() { return s_uiNumAllocations.load(std::memory_order_relaxed); }

// Counts the lines at WARN and above that reach the product's root logger ("tidewave",
// which every module logger has as an ancestor). Attached for the life of the process;
// the lines still reach the other appenders.
class WarnCounter : public log4cplus::Appender {
 public:
  WarnCounter() { setName(LOG4CPLUS_TEXT("tidewave-bench-warn-counter")); }
  ~WarnCounter() override { destructorImpl(); }
  void close() override {}
  std::uint64_t count() const { return m_uiCount.load(std::memory_order_relaxed); }

 protected:
  void append(const log4cplus::spi::InternalLoggingEvent& in_event) override {
    if (in_event.getLogLevel() >= log4cplus::WARN_LOG_LEVEL) {
      m_uiCount.fetch_add(1, std::memory_order_relaxed);
    }
  }

 private:
  std::atomic<std::uint64_t> m_uiCount{0};
};

// Sets the media loggers to WARN (before any call caches its level) and installs the
// counter once. The returned counter lives until the process ends.
const WarnCounter& setUpLogging() {
  static WarnCounter* const s_pCounter = [] {
    Logger(s_szMEDIA_LOGGER).setLogLevel(LogLevel::WARN);
    auto* pCounter = new WarnCounter();
    Logger().getLog4cplusLogger().addAppender(log4cplus::SharedAppenderPtr(pCounter));
    return pCounter;
  }();
  return *s_pCounter;
}

// Endpoint IDs as long as the text of a UUID (36 characters), as generated IDs are, so
// that copies of an ID cost what they cost in production.
std::string eptId(long in_lIndex) {
  char szId[48];
  std::snprintf(szId, sizeof(szId), "6f1c2a4e-0b7d-4c1e-9a55-%012ld", in_lIndex);
  return szId;
}

// One call of N send-receive endpoints whose fake engine endpoints answer at once. Owns
// its harness; one thread.
class LifecycleRig {
 public:
  explicit LifecycleRig(long in_lNumEpt) : m_harness("bench-call", true) {
    for (long i = 0; i < in_lNumEpt; ++i) m_vEptIds.push_back(eptId(i));
  }

  long numEpt() const { return static_cast<long>(m_vEptIds.size()); }

  // One round (see the file comment). With in_bCheck, also checks that every endpoint got
  // its six reports and its engine endpoint its six requests, that the call ended with
  // every endpoint final, and that each request was accepted; false otherwise. Without it
  // (the measured loops), only the requests' answers are folded into the result.
  bool round(bool in_bCheck) {
    const unsigned long uiNumEpt = m_vEptIds.size();
    bool bOk = true;
    for (unsigned long i = 0; i < uiNumEpt; ++i) {
      bool bAdded = false;
      const unsigned long uiIndex = m_harness.add(m_vEptIds[i], nullptr, 0, &bAdded);
      m_harness.setAutoAnswer(uiIndex);
      bOk &= bAdded;
    }
    for (unsigned long i = 0; i < uiNumEpt; ++i) bOk &= m_harness.configure(i, CallHarness::RXTX);
    for (unsigned long i = 0; i < uiNumEpt; ++i) bOk &= m_harness.start(i, CallHarness::RX);
    for (unsigned long i = 0; i < uiNumEpt; ++i) bOk &= m_harness.start(i, CallHarness::TX);
    for (unsigned long i = 0; i < uiNumEpt; ++i) bOk &= m_harness.stop(i, CallHarness::TX);
    for (unsigned long i = 0; i < uiNumEpt; ++i) bOk &= m_harness.stop(i, CallHarness::RX);
    for (unsigned long i = 0; i < uiNumEpt; ++i) bOk &= m_harness.destroy(i);
    if (in_bCheck) {
      bOk &= m_harness.call().allEndpointInFinalState();
      for (unsigned long i = 0; i < uiNumEpt; ++i) {
        const Test::EngineLog& engineLog = m_harness.engineLog(i);
        bOk &= m_harness.callbackLog(i).m_uiNumReports == s_uiREPORTS_PER_EPT;
        bOk &= engineLog.count(Test::Op::CONFIGURE) == 2 && engineLog.count(Test::Op::START) == 2 &&
               engineLog.count(Test::Op::STOP) == 2;
        bOk &= engineLog.m_bDestroyed;
      }
      bOk &= m_harness.contractViolations().empty();
    }
    m_harness.reuse();
    return bOk;
  }

 private:
  CallHarness m_harness;
  std::vector<std::string> m_vEptIds;
};

// What the round builds per endpoint outside the library: the harness's copy of the ID,
// the two shared logs, the fake engine endpoint and the recording callback. Built and
// dropped once; the allocations counted.
double fakeAllocationsPerEndpoint() {
  const std::string strId = eptId(0);
  const std::uint64_t uiBefore = numAllocations();
  {
    const std::string strCopy(strId);
    auto pEngineLog = std::make_shared<Test::EngineLog>();
    auto pCallbackLog = std::make_shared<Test::CallbackLog>();
    std::unique_ptr<Test::FakeEngineEndpoint> pEngineEndpoint(
        new Test::FakeEngineEndpoint(nullptr, strCopy.c_str(), 0, pEngineLog));
    std::unique_ptr<Test::RecordingCallback> pCallback(new Test::RecordingCallback(pCallbackLog));
    benchmark::DoNotOptimize(pEngineEndpoint.get());
    benchmark::DoNotOptimize(pCallback.get());
  }
  return static_cast<double>(numAllocations() - uiBefore);
}

// A rig after a checked warm-up round (the pools, the call's lists and the per-thread
// snapshot have their storage); null after SkipWithError.
std::unique_ptr<LifecycleRig> readyRig(benchmark::State& io_state, long in_lNumEpt) {
  setUpLogging();
  std::unique_ptr<LifecycleRig> pRig(new LifecycleRig(in_lNumEpt));
  if (!pRig->round(true) || !pRig->round(true)) {
    io_state.SkipWithError("a warm-up round broke the endpoint contract");
    return nullptr;
  }
  return pRig;
}

// Checks the loop that just ended emitted no WARN or ERROR line and failed no assertion.
bool quietLoop(benchmark::State& io_state, std::uint64_t in_uiWarnBefore,
               unsigned long in_ulAssertBefore) {
  const std::uint64_t uiWarn = setUpLogging().count() - in_uiWarnBefore;
  const unsigned long ulAssert = AssertionRegistry::getCount() - in_ulAssertBefore;
  if (uiWarn == 0 && ulAssert == 0) return true;
  const std::string strError = "the measured loop logged " + std::to_string(uiWarn) +
                               " WARN/ERROR line(s) and failed " + std::to_string(ulAssert) +
                               " assertion(s)";
  io_state.SkipWithError(strError.c_str());
  return false;
}

void BM_EndpointLifecycle(benchmark::State& io_state) {
  const long lNumEpt = io_state.range(0);
  const std::unique_ptr<LifecycleRig> pRig = readyRig(io_state, lNumEpt);
  if (!pRig) return;
  const double dFakeAllocs = fakeAllocationsPerEndpoint();

  bool bOk = true;
  const std::uint64_t uiWarnBefore = setUpLogging().count();
  const unsigned long ulAssertBefore = AssertionRegistry::getCount();
  const std::uint64_t uiAllocBefore = numAllocations();
  for (auto _ : io_state) {
    bOk &= pRig->round(false);
  }
  const std::uint64_t uiAllocs = numAllocations() - uiAllocBefore;

  if (!quietLoop(io_state, uiWarnBefore, ulAssertBefore)) return;
  if (!bOk || !pRig->round(true)) {
    io_state.SkipWithError("a round broke the endpoint contract");
    return;
  }
  const double dLifecycles = static_cast<double>(io_state.iterations()) * lNumEpt;
  io_state.SetItemsProcessed(io_state.iterations() * lNumEpt);
  io_state.counters["t_per_ept"] = benchmark::Counter(
      static_cast<double>(lNumEpt), benchmark::Counter::kIsIterationInvariantRate |
                                        benchmark::Counter::kInvert);
  io_state.counters["allocs_per_ept"] = static_cast<double>(uiAllocs) / dLifecycles;
  io_state.counters["fake_allocs_per_ept"] = dFakeAllocs;
}
BENCHMARK(BM_EndpointLifecycle)->ArgName("epts")->Arg(s_lSMALL_CALL)->Arg(s_lLARGE_CALL);

// Both calls in one loop: each iteration runs as many two-endpoint rounds as make the
// endpoints of one 16-endpoint round, then that round, each batch timed on its own. The
// counters are per endpoint life cycle.
void BM_EndpointLifecycleRatio(benchmark::State& io_state) {
  using Clock = std::chrono::steady_clock;
  const std::unique_ptr<LifecycleRig> pSmall = readyRig(io_state, s_lSMALL_CALL);
  if (!pSmall) return;
  const std::unique_ptr<LifecycleRig> pLarge = readyRig(io_state, s_lLARGE_CALL);
  if (!pLarge) return;
  const long lSmallRounds = s_lLARGE_CALL / s_lSMALL_CALL;

  bool bOk = true;
  Clock::duration smallTime{};
  Clock::duration largeTime{};
  std::uint64_t uiSmallAllocs = 0;
  std::uint64_t uiLargeAllocs = 0;
  const std::uint64_t uiWarnBefore = setUpLogging().count();
  const unsigned long ulAssertBefore = AssertionRegistry::getCount();
  for (auto _ : io_state) {
    const std::uint64_t uiAlloc0 = numAllocations();
    const Clock::time_point t0 = Clock::now();
    for (long i = 0; i < lSmallRounds; ++i) bOk &= pSmall->round(false);
    const Clock::time_point t1 = Clock::now();
    const std::uint64_t uiAlloc1 = numAllocations();
    bOk &= pLarge->round(false);
    const Clock::time_point t2 = Clock::now();
    const std::uint64_t uiAlloc2 = numAllocations();
    smallTime += t1 - t0;
    largeTime += t2 - t1;
    uiSmallAllocs += uiAlloc1 - uiAlloc0;
    uiLargeAllocs += uiAlloc2 - uiAlloc1;
  }

  if (!quietLoop(io_state, uiWarnBefore, ulAssertBefore)) return;
  if (!bOk || !pSmall->round(true) || !pLarge->round(true)) {
    io_state.SkipWithError("a round broke the endpoint contract");
    return;
  }
  // Both batches carry s_lLARGE_CALL endpoint life cycles per iteration.
  const double dLifecycles = static_cast<double>(io_state.iterations()) * s_lLARGE_CALL;
  const double dSmallNs = std::chrono::duration<double, std::nano>(smallTime).count() / dLifecycles;
  const double dLargeNs = std::chrono::duration<double, std::nano>(largeTime).count() / dLifecycles;
  io_state.SetItemsProcessed(io_state.iterations() * 2 * s_lLARGE_CALL);
  io_state.counters["ns_per_ept_2"] = dSmallNs;
  io_state.counters["ns_per_ept_16"] = dLargeNs;
  io_state.counters["cost_ratio_16_2"] = dSmallNs > 0 ? dLargeNs / dSmallNs : 0.0;
  io_state.counters["allocs_per_ept_2"] = static_cast<double>(uiSmallAllocs) / dLifecycles;
  io_state.counters["allocs_per_ept_16"] = static_cast<double>(uiLargeAllocs) / dLifecycles;
}
BENCHMARK(BM_EndpointLifecycleRatio);

}  // namespace
}  // namespace Omvera
