#pragma once
// The process-wide singleton registry and the lock shared by on-demand singletons.

#include <mutex>
#include <string>
#include <vector>

#include <ace/Recursive_Thread_Mutex.h>

namespace Omvera {

class Logger;

// Holds process-wide objects under names and destroys them at shutdown, newest first.
// Any thread; registration and look-up are serialised.
class SingletonRegistry {
 public:
  using CleanupFunction = void (*)(void*);

  static SingletonRegistry& getInstance();

  // Registers in_pObject under in_strName with the function that destroys it. When an
  // object is already registered under that name, nothing changes and that object is
  // returned; otherwise in_pObject is returned. A null object or cleanup function is
  // refused (returns null, assertion).
  void* registerSingleton(const std::string& in_strName, void* in_pObject,
                          CleanupFunction in_pfCleanup);
  // The object registered under in_strName, or null.
  void* find(const std::string& in_strName) const;
  std::size_t size() const;

  // Destroys every registered object, newest first, and empties the registry. Runs at
  // process shutdown; may be called earlier. Objects registered by a clean-up function
  // while it runs are destroyed too.
  void cleanup();

  ~SingletonRegistry();

 private:
  SingletonRegistry() = default;
  struct Entry {
    std::string m_strName;
    void* m_pObject;
    CleanupFunction m_pfCleanup;
  };
  mutable std::recursive_mutex m_mutex;
  std::vector<Entry> m_vEntries;  // in order of registration
};

// The untyped side of OnDemandSingleton<T>: one recursive mutex shared by all on-demand
// singletons (a singleton's constructor may ask for another one on the same thread) and
// the logger their assertions go through. Any thread.
class OnDemandSingletonNoT {
 public:
  static ACE_Recursive_Thread_Mutex& sGetMutex();
  static const Logger& sGetLogger();
};

}  // namespace Omvera
