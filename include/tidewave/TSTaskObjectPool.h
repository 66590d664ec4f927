#pragma once
// Proxy containers and the pool that hands them out per thread.
//
// An object living on a task is named from other threads by (container, proxy id): the
// task registers the object in a container under the id of the proxy that refers to it,
// and the proxy's method objects look it up there on the task thread. TSTaskObjectPool is
// an object pool that also gives every thread that creates proxies its own container and
// its own proxy id generator, so that (container, id) pairs are unique across threads
// without a shared counter.

#include <pthread.h>

#include <cstddef>
#include <new>
#include <unordered_map>
#include <vector>

#include <ace/Guard_T.h>
#include <ace/RW_Thread_Mutex.h>

#include "tidewave/CountedObjPtr.h"
#include "tidewave/LimitedObjPtr.h"
#include "tidewave/ObjectPool.h"
#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Identifiers.h"
#include "tidewave/infra/Logger.h"
#include "tidewave/infra/Logging.h"

namespace Omvera {

// The untyped face of a proxy container. Task thread only.
class TaskObjectContainerNoT {
 public:
  virtual ~TaskObjectContainerNoT();
  // Drops the container's hold on the object registered under in_ulObjectID (giving it
  // back to its pool when that was the last hold). An id with nothing registered is
  // ignored.
  virtual void releaseObject(unsigned long in_ulObjectID) = 0;
};

// A container of objects of type T indexed by proxy id. The container holds one counted
// handle per registered id. Task thread only.
template <class T>
class TaskObjectContainer : public TaskObjectContainerNoT {
 public:
  using ObjectHandle = CountedObjPtr<T>;

  ~TaskObjectContainer() override = default;
  // The object registered under in_ulObjectID, or a null handle when there is none.
  virtual ObjectHandle getObject(unsigned long in_ulObjectID) = 0;
  // Registers in_pObj under in_ulObjectID, releasing (as releaseObject) what was registered
  // there before. A null handle is refused (assertion, false).
  virtual bool insertObject(unsigned long in_ulObjectID, const ObjectHandle& in_pObj) = 0;
};

// A StackObjectPool that also hands out one ProxyData (container and id generator) per
// calling thread. getObjContainerAndIDGenerator() may be called from any thread; all other
// operations, including every operation of the containers, belong to the task thread that
// owns the pooled objects. The pool owns the containers; they live as long as the pool.
template <class T, class ConcreteT = T>
class TSTaskObjectPool : public StackObjectPool<T, ConcreteT> {
 public:
  using typename StackObjectPool<T, ConcreteT>::ObjectHandle;
  using Container = TaskObjectContainer<T>;

  // The container and id generator of one thread. The container's entries are read and
  // written by the task thread only; the id generator is used by the owning thread (and is
  // itself thread-safe).
  class ProxyData : public TaskObjectContainer<T>, public ObjectWithLoggerImpl {
   public:
    ProxyData(const Logger& in_logger, unsigned long in_ulThreadID,
              LimitedObjPtr<TSTaskObjectPool> in_pPool)
        : ObjectWithLoggerImpl(in_logger), m_idGenerator(false), m_ulThreadID(in_ulThreadID),
          m_pPool(in_pPool) {}
    // Drops the registered handles without giving them back to the pool.
    ~ProxyData() override {
      m_objVector.clear();
      OMVERA_LOG_M(getLogger(), LogLevel::TRACE, "TSTaskObjectPool",
                   "m_objVector cleared for proxy with thread id = " << m_ulThreadID);
    }
    ProxyData(const ProxyData&) = delete;
    ProxyData& operator=(const ProxyData&) = delete;

    // An id beyond the registered range grows the container; an occupied id first gives
    // its object back through the pool.
    bool insertObject(unsigned long in_ulObjectID, const ObjectHandle& in_pObj) override {
      if (!Assertion(!in_pObj.isNull(), "! in_pObj.isNull()", getLogger(), "TSTaskObjectPool",
                     __LINE__)) {
        return false;
      }
      if (in_ulObjectID < m_objVector.size()) {
        m_pPool->takeBack(m_objVector[in_ulObjectID]);
      } else {
        m_objVector.resize(static_cast<std::size_t>(in_ulObjectID) + 1);
      }
      m_objVector[in_ulObjectID] = in_pObj;
      return true;
    }

    ObjectHandle getObject(unsigned long in_ulObjectID) override {
      if (in_ulObjectID >= m_objVector.size()) return ObjectHandle();
      return m_objVector[in_ulObjectID];
    }

    // Gives the entry back through the pool's takeBack(): the object returns to the pool
    // when the entry was its last holder.
    void releaseObject(unsigned long in_objectID) override {
      if (in_objectID >= m_objVector.size()) return;
      m_pPool->takeBack(m_objVector[in_objectID]);
      Assertion(m_objVector[in_objectID].isNull(), "m_objVector[in_objectID].isNull()",
                getLogger(), "TSTaskObjectPool", __LINE__);
    }

    // Releases every entry, then empties the container.
    void releaseAllObjects() {
      for (std::size_t i = 0; i < m_objVector.size(); ++i) releaseObject(i);
      m_objVector.clear();
      OMVERA_LOG_M(getLogger(), LogLevel::DEBUG, "TSTaskObjectPool",
                   "just cleared the obj vector for ProxyData with thread_id = " << m_ulThreadID);
    }

    IDGenerator& getIDGenerator() { return m_idGenerator; }
    unsigned long getThreadID() const { return m_ulThreadID; }
    // One past the highest id ever registered since the last releaseAllObjects().
    std::size_t size() const { return m_objVector.size(); }

   private:
    std::vector<ObjectHandle> m_objVector;  // indexed by proxy id; null where none
    HashIDGenerator m_idGenerator;          // lowest given-back id first
    const unsigned long m_ulThreadID;
    LimitedObjPtr<TSTaskObjectPool> m_pPool;
  };

  TSTaskObjectPool()
      : StackObjectPool<T, ConcreteT>(CachedLLLogger("tidewave.infra.StackObjectPool")) {}
  // Gives back every object still registered in the containers, then deletes the idle
  // objects and the containers. Not while other threads still call
  // getObjContainerAndIDGenerator().
  ~TSTaskObjectPool() override {
    TraceScope scope(this->getLogger(), "TSTaskObjectPool<T> dtor",
                     this->getLogger().getLogLevel(), "TSTaskObjectPool", __LINE__);
    for (auto& entry : m_proxyDataHash) entry.second->releaseAllObjects();
    this->clearStack();
  }

  // The calling thread's container and id generator, created on the thread's first call.
  // Any thread. Both outputs stay valid as long as the pool. After the first call of a
  // thread, only the read lock is taken. When the thread's entry cannot be created (out of
  // memory), both outputs are null, an ERROR is logged and the pool stays usable.
  void getObjContainerAndIDGenerator(LimitedObjPtr<Container>& out_pContainer,
                                     LimitedObjPtr<IDGenerator>& out_pIDGenerator) {
    out_pContainer = nullptr;
    out_pIDGenerator = nullptr;
    const unsigned long ulThreadID = static_cast<unsigned long>(pthread_self());
    {
      ACE_Read_Guard<ACE_RW_Thread_Mutex> readGuard(m_lock);
      const auto it = m_proxyDataHash.find(ulThreadID);
      if (it != m_proxyDataHash.end()) {
        out_pContainer = it->second.get();
        out_pIDGenerator = &it->second->getIDGenerator();
        return;
      }
    }
    // POSIX read-write locks cannot be upgraded: lock for writing and look again (another
    // thread may have inserted in between; never for this thread's id, but the iterator
    // must be taken after any insertion).
    ACE_Write_Guard<ACE_RW_Thread_Mutex> writeGuard(m_lock);
    try {
      auto it = m_proxyDataHash.find(ulThreadID);
      if (it == m_proxyDataHash.end()) it = insertProxyData(ulThreadID);
      out_pContainer = it->second.get();
      out_pIDGenerator = &it->second->getIDGenerator();
    } catch (const std::bad_alloc&) {
      OMVERA_LOG_M(this->getLogger(), LogLevel::ERROR, "TSTaskObjectPool",
                   "no memory for the proxy data of thread " << ulThreadID);
    }
  }

  // Drops every container's entries (giving each object back when that was its last
  // hold): afterwards no proxy reaches an object until one is registered again. Task
  // thread only.
  void releaseAllRegistered() {
    ACE_Read_Guard<ACE_RW_Thread_Mutex> readGuard(m_lock);
    for (auto& entry : m_proxyDataHash) entry.second->releaseAllObjects();
  }

  // Number of threads that have asked for a container. Any thread.
  std::size_t getNumProxyData() {
    ACE_Read_Guard<ACE_RW_Thread_Mutex> readGuard(m_lock);
    return m_proxyDataHash.size();
  }

 private:
  using ProxyDataHash = std::unordered_map<unsigned long, CountedObjPtr<ProxyData>>;

  // Under the write lock.
  typename ProxyDataHash::iterator insertProxyData(unsigned long in_ulThreadID) {
    CountedObjPtr<ProxyData> pProxyData(new ProxyData(this->getLogger(), in_ulThreadID, this));
    return m_proxyDataHash.emplace(in_ulThreadID, pProxyData).first;
  }

  ProxyDataHash m_proxyDataHash;  // never shrinks while the pool lives
  ACE_RW_Thread_Mutex m_lock;     // guards m_proxyDataHash
};

}  // namespace Omvera
