#pragma once
// Process-wide objects created on first demand and found without locking afterwards.
//
// OnDemandSingleton<T>::getInstance(name) returns the one T registered under `name` in the
// SingletonRegistry, constructing it (default constructor) on the first call in the
// process. Concurrent first calls construct one object. Each thread pays the registry
// look-up once: the pointer is then kept in a per-thread cell (ACE_TSS), so later calls
// from that thread take no lock. The object lives until the registry is cleaned up at
// shutdown; the per-thread cell is freed when its thread ends. Any thread.
//
// T's constructor may itself ask for other on-demand singletons: creation runs under one
// recursive mutex shared by all of them.

#include <string>

#include <ace/Guard_T.h>
#include <ace/TSS_T.h>

#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Singleton.h"

namespace Omvera {

template <class T>
class OnDemandSingleton {
 public:
  static T* getInstance(const char* in_szName) {
    Cell* pCell = tss().ts_object();
    if (pCell != nullptr) {
      Assertion(pCell->m_pObject != nullptr, "*ppSingleton != 0", OnDemandSingletonNoT::sGetLogger(),
                "OnDemandSingleton", __LINE__);
      return pCell->m_pObject;
    }
    T* pFound = nullptr;
    {
      ACE_Guard<ACE_Recursive_Thread_Mutex> guard(OnDemandSingletonNoT::sGetMutex());
      SingletonRegistry& registry = SingletonRegistry::getInstance();
      pFound = static_cast<T*>(registry.find(in_szName));
      if (pFound == nullptr) {
        T* pNewObj = new T();
        pFound = static_cast<T*>(registry.registerSingleton(in_szName, pNewObj, &destroy));
        Assertion(pFound == pNewObj, "pFound == pNewObj", OnDemandSingletonNoT::sGetLogger(),
                  "OnDemandSingleton", __LINE__);
      }
    }
    if (!Assertion(pFound != nullptr, "pFound != 0", OnDemandSingletonNoT::sGetLogger(),
                   "OnDemandSingleton", __LINE__)) {
      return nullptr;
    }
    tss().ts_object(new Cell{pFound});
    return pFound;
  }

 private:
  struct Cell {
    T* m_pObject;
  };
  static void destroy(void* in_pObject) { delete static_cast<T*>(in_pObject); }
  static ACE_TSS<Cell>& tss() {
    // Never destroyed: threads may still end (and free their cells) during shutdown. The
    // key is created here, under the static's own guard, so that later threads never race
    // on ACE_TSS's lazy key creation.
    static ACE_TSS<Cell>* const s_pTss = [] {
      ACE_TSS<Cell>* pTss = new ACE_TSS<Cell>(nullptr);
      pTss->ts_object(nullptr);
      return pTss;
    }();
    return *s_pTss;
  }
};

}  // namespace Omvera
