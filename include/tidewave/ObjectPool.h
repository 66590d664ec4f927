#pragma once
// Pools that recycle costly objects (calls, call endpoints) instead of rebuilding them.
//
// A pooled object is held through counted handles. The pool hands out a handle to an idle
// object (or to a new one when none is idle) and takes an object back only from the handle
// that is its last holder; an object given back while others still hold it is simply
// dropped by that handle and deleted by its last holder, outside the pool.

#include <cstdint>
#include <stack>

#include "tidewave/CountedObjPtr.h"
#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Logger.h"
#include "tidewave/infra/Logging.h"

namespace Omvera {

// The pool interface. Thread: as the implementation says (the pools of this library are
// used by the engine task thread only).
template <class T>
class ObjectPool {
 public:
  using ObjectHandle = CountedObjPtr<T>;

  virtual ~ObjectPool() = default;
  // A handle to an object ready for use; the caller holds it until it gives it back with
  // takeBack() or drops it.
  virtual ObjectHandle getObject() = 0;
  // Gives an object back through its handle. io_pObj is null afterwards in every case.
  // True when the object went back into the pool (io_pObj was its only holder).
  virtual bool takeBack(ObjectHandle& io_pObj) = 0;
};

// A last-in, first-out stack of idle objects. Objects of ConcreteT (T or a class derived
// from it) are built with their default constructor, and with their own class allocator
// when they declare one. The pool owns the idle objects; objects handed out are owned by
// their handles. There is no upper bound: the pool grows by one object whenever it is asked
// while empty, and idle objects stay until the pool is destroyed.
//
// Not locked: one thread at a time (in this library, the engine task thread).
template <class T, class ConcreteT = T>
class StackObjectPool : public virtual ObjectPool<T>, public ObjectWithLogger<CachedLLLogger> {
 public:
  using typename ObjectPool<T>::ObjectHandle;

  // The pool logs through a copy of in_logger (cached level included).
  explicit StackObjectPool(const CachedLLLogger& in_logger)
      : ObjectWithLogger<CachedLLLogger>(in_logger) {}
  // Deletes the idle objects; objects still handed out are left to their holders (logged
  // at WARN, see clearStack()).
  ~StackObjectPool() override {
    TraceScope scope(getLogger(), "StackObjectPool<T> dtor", getLogger().getLogLevel(),
                     "ObjectPool", __LINE__);
    clearStack();
  }
  StackObjectPool(const StackObjectPool&) = delete;
  StackObjectPool& operator=(const StackObjectPool&) = delete;

  // The most recently given-back idle object, or a newly built one when none is idle.
  ObjectHandle getObject() override {
    ++m_uiNumObjectOut;
    if (m_unusedObjStack.empty()) {
      ++m_uiNumNewObject;
      return newObject();
    }
    ObjectHandle pObj = m_unusedObjStack.top();
    m_unusedObjStack.pop();
    return pObj;
  }

  // Pools the object when io_pObj is its only holder (true); otherwise (shared or null
  // handle) only drops the caller's hold (false). io_pObj is null afterwards either way.
  // The object is pooled as it is: resetting it is the giver's job.
  bool takeBack(ObjectHandle& io_pObj) override {
    if (io_pObj.isNull() || !io_pObj.unique()) {
      io_pObj.reset();
      return false;
    }
    if (m_uiNumObjectOut > 0) --m_uiNumObjectOut;
    m_unusedObjStack.push(io_pObj);
    io_pObj.reset();
    Assertion(m_unusedObjStack.top().unique(), "m_unusedObjStack.top().unique()", getLogger(),
              "ObjectPool", __LINE__);
    return true;
  }

  // Deletes every idle object and resets the counters. Warns when objects built by this
  // pool were never given back; reports (assertion) more idle objects than the pool built,
  // which means foreign objects were given to it.
  void clearStack() {
    TraceScope scope(getLogger(), "StackObjectPool<T>::clearStack", getLogger().getLogLevel(),
                     "ObjectPool", __LINE__);
    const std::uint64_t uiStackSize = m_unusedObjStack.size();
    if (m_uiNumNewObject > uiStackSize) {
      OMVERA_LOG_M(getLogger(), LogLevel::WARN, "ObjectPool",
                   "it looks like you did not put back " << (m_uiNumNewObject - uiStackSize)
                                                         << " object(s) in a StackObjectPool");
    } else if (m_uiNumNewObject < uiStackSize) {
      Assertion(false, "m_uiNumNewObject >= m_unusedObjStack.size()", getLogger(), "ObjectPool",
                __LINE__);
    }
    OMVERA_LOG_M(getLogger(), LogLevel::DEBUG, "ObjectPool",
                 "m_unusedObjStack.size() = " << m_unusedObjStack.size());
    while (!m_unusedObjStack.empty()) m_unusedObjStack.pop();
    OMVERA_LOG_M(getLogger(), LogLevel::DEBUG, "ObjectPool",
                 "m_unusedObjStack.size() = " << m_unusedObjStack.size());
    m_uiNumNewObject = 0;
    m_uiNumObjectOut = 0;
  }

  // Objects this pool has built since it was created or last cleared.
  std::uint64_t getNumNewObject() const { return m_uiNumNewObject; }
  // Objects handed out and not given back.
  std::uint64_t getNumObjectOut() const { return m_uiNumObjectOut; }
  // Idle objects ready for reuse.
  std::uint64_t getNumUnusedObject() const { return m_unusedObjStack.size(); }

 protected:
  // Builds one object of ConcreteT in a fresh handle.
  virtual ObjectHandle newObject() { return ObjectHandle(new ConcreteT()); }

 private:
  std::stack<ObjectHandle> m_unusedObjStack;  // each entry is its object's only holder
  std::uint64_t m_uiNumNewObject = 0;
  std::uint64_t m_uiNumObjectOut = 0;
};

}  // namespace Omvera
