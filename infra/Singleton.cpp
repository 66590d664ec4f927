#include "tidewave/infra/Singleton.h"

#include "InfraRuntime.h"
#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("Singleton", "tidewave.infra.Singleton")

namespace Omvera {

SingletonRegistry& SingletonRegistry::getInstance() {
  // Logging starts first, so that the registry (and the objects it destroys at exit) goes
  // before the loggers do.
  InfraRuntime::ensureStarted();
  static SingletonRegistry s_registry;
  return s_registry;
}

SingletonRegistry::~SingletonRegistry() { cleanup(); }

void* SingletonRegistry::registerSingleton(const std::string& in_strName, void* in_pObject,
                                           CleanupFunction in_pfCleanup) {
  if (!Assertion(in_pObject != nullptr && in_pfCleanup != nullptr,
                 "in_pObject != 0 && in_pfCleanup != 0", fileScopeLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return nullptr;
  }
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  for (const Entry& entry : m_vEntries) {
    if (entry.m_strName == in_strName) return entry.m_pObject;
  }
  m_vEntries.push_back(Entry{in_strName, in_pObject, in_pfCleanup});
  OMVERA_LOG(fileScopeLogger(), LogLevel::DEBUG, "registered singleton " << in_strName);
  return in_pObject;
}

void* SingletonRegistry::find(const std::string& in_strName) const {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  for (const Entry& entry : m_vEntries) {
    if (entry.m_strName == in_strName) return entry.m_pObject;
  }
  return nullptr;
}

std::size_t SingletonRegistry::size() const {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  return m_vEntries.size();
}

void SingletonRegistry::cleanup() {
  for (;;) {
    Entry entry;
    {
      std::lock_guard<std::recursive_mutex> lock(m_mutex);
      if (m_vEntries.empty()) return;
      entry = m_vEntries.back();
      m_vEntries.pop_back();
    }
    // Outside the lock: a clean-up function may use the registry.
    OMVERA_LOG(fileScopeLogger(), LogLevel::DEBUG, "destroying singleton " << entry.m_strName);
    entry.m_pfCleanup(entry.m_pObject);
  }
}

ACE_Recursive_Thread_Mutex& OnDemandSingletonNoT::sGetMutex() {
  static ACE_Recursive_Thread_Mutex* const s_pMutex = new ACE_Recursive_Thread_Mutex();
  return *s_pMutex;
}

const Logger& OnDemandSingletonNoT::sGetLogger() {
  static AceCleanupLogger* const s_pLogger =
      AceCleanupLogger::create("tidewave.infra.OnDemandSingleton");
  return *s_pLogger;
}

}  // namespace Omvera
