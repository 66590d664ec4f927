#pragma once
// Proxies to objects living on a task, the proxy data that names such an object on the
// task side, and the method objects that carry a proxy's requests to the task.
//
// A proxy has a small integer id drawn from its thread's id generator and refers to the
// container in which the task registers the proxy's target under that id. Every request
// becomes a method object queued to the task's activation queue; on the task thread the
// method object looks the target up by (container, id) and, when it still exists, runs its
// typed body on it. A request whose target is gone does nothing and reports success.
//
// A method object class derives from MethodObject<T> and implements
//   int call_i(CountedObjPtr<T> in_pObj) override;   // 0 done, 1 failed

#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <utility>

#include <ace/Activation_Queue.h>
#include <ace/Method_Request.h>

#include "tidewave/ClassAllocator.h"
#include "tidewave/CountedObjPtr.h"
#include "tidewave/LimitedObjPtr.h"
#include "tidewave/TSTaskObjectPool.h"
#include "tidewave/infra/Identifiers.h"
#include "tidewave/infra/Object.h"
#include "tidewave/infra/TaskObjectProxyNoT.h"

namespace Omvera {

// The identity of a proxy on the task side: (container, proxy id), plus a flag that says
// whether the proxy may still register or release its target. A value type; copies are
// independent. insertObject() and disableProxy() belong to the task thread; the rest may be
// used on any thread that holds the value.
template <class T>
class TaskObjectProxyData {
 public:
  using Container = TaskObjectContainer<T>;
  using ObjectHandle = CountedObjPtr<T>;

  // No container, id 0, disabled.
  TaskObjectProxyData() = default;
  // Active proxy data for the proxy in_ulProxyID of in_pContainer.
  TaskObjectProxyData(LimitedObjPtr<Container> in_pContainer, unsigned long in_ulProxyID)
      : m_pContainer(in_pContainer), m_ulProxyID(in_ulProxyID), m_bActive(true) {}

  LimitedObjPtr<Container> getObjContainer() const { return m_pContainer; }
  unsigned long getProxyID() const { return m_ulProxyID; }
  bool proxyActive() const { return m_bActive; }

  // Registers in_pObj in the container under the proxy id when the proxy data is active
  // and has a container (true); otherwise does nothing (false). Task thread only.
  bool insertObject(const ObjectHandle& in_pObj) const {
    if (!m_bActive || m_pContainer.isNull()) return false;
    return m_pContainer->insertObject(m_ulProxyID, in_pObj);
  }

  // Releases the proxy's container entry when active and with a container, and disables
  // this value in every case, so that a second call releases nothing. Copies made before
  // keep their own flag. Task thread only.
  void disableProxy() {
    if (m_bActive && !m_pContainer.isNull()) m_pContainer->releaseObject(m_ulProxyID);
    m_bActive = false;
  }

  // The low 16 bits of the container address shifted left by 16, OR the low 16 bits of
  // the proxy id. The active flag plays no part.
  std::size_t hash() const {
    const std::uintptr_t uiAddress = reinterpret_cast<std::uintptr_t>(m_pContainer.get());
    return static_cast<std::size_t>(((uiAddress & 0xFFFFu) << 16) | (m_ulProxyID & 0xFFFFu));
  }

  // Same proxy id and same container; the active flag is not compared.
  bool operator==(const TaskObjectProxyData& in_rhs) const {
    return m_ulProxyID == in_rhs.m_ulProxyID && m_pContainer == in_rhs.m_pContainer;
  }
  bool operator!=(const TaskObjectProxyData& in_rhs) const { return !(*this == in_rhs); }

  // "(" container address "," id "," "active" or "disabled" ")".
  void write(std::ostream& out_stream) const {
    out_stream << "(" << static_cast<const void*>(m_pContainer.get()) << "," << m_ulProxyID
               << "," << (m_bActive ? "active" : "disabled") << ")";
  }

  // Hash and equality functors for hash maps keyed by proxy data.
  struct HashFunc {
    std::size_t operator()(const TaskObjectProxyData& in_data) const { return in_data.hash(); }
  };
  struct DataCompare {
    bool operator()(const TaskObjectProxyData& in_lhs, const TaskObjectProxyData& in_rhs) const {
      return in_lhs == in_rhs;
    }
  };

 private:
  LimitedObjPtr<Container> m_pContainer;
  unsigned long m_ulProxyID = 0;
  bool m_bActive = false;
};

// Same proxy id and same container (the active flag is not compared).
template <class T>
bool proxyDataEqual(const TaskObjectProxyData<T>& in_lhs, const TaskObjectProxyData<T>& in_rhs) {
  return in_lhs == in_rhs;
}

template <class T>
std::ostream& operator<<(std::ostream& out_stream, const TaskObjectProxyData<T>& in_data) {
  in_data.write(out_stream);
  return out_stream;
}

// A proxy to objects of type T registered in one container. Created, used and destroyed on
// one caller thread; queueing is thread-safe. The container, the id generator and the
// queue are not owned and must outlive the proxy. Destruction does nothing of its own: a
// derived proxy calls proxyDestruction() in its destructor once its last request is queued.
template <class T>
class TaskObjectProxy : public TaskObjectProxyNoT {
 public:
  using Container = TaskObjectContainer<T>;

  // Draws the proxy id from in_idGenerator.
  TaskObjectProxy(IDGenerator& in_idGenerator, ACE_Activation_Queue* in_pQueue,
                  LimitedObjPtr<Container> in_pContainer)
      : TaskObjectProxyNoT(in_idGenerator, in_pQueue), m_pContainer(in_pContainer) {}
  ~TaskObjectProxy() override = default;

  // (container, own id), active.
  TaskObjectProxyData<T> getProxyData() const {
    return TaskObjectProxyData<T>(m_pContainer, getID());
  }
  LimitedObjPtr<Container> getObjContainer() const { return m_pContainer; }

 private:
  LimitedObjPtr<Container> m_pContainer;
};

// A method request that carries a copy of the proxy data of its proxy. Default priority
// (0). Owned by the activation queue once queued; runs on the task thread.
template <class T>
class ProxyData_MO : public ACE_Method_Request {
 public:
  explicit ProxyData_MO(const TaskObjectProxyData<T>& in_proxyData) : m_proxyData(in_proxyData) {}
  ~ProxyData_MO() override = default;

  const TaskObjectProxyData<T>& getProxyData() const { return m_proxyData; }

 protected:
  TaskObjectProxyData<T> m_proxyData;
};

// A method request addressed to the object registered under a proxy's id. call() looks the
// target up on the task thread and hands it to call_i(); a target that is not (or no
// longer) registered makes the request a no-op answering 0. The active flag of the proxy
// data is not consulted.
template <class T>
class MethodObject : public ProxyData_MO<T> {
 public:
  using Container = TaskObjectContainer<T>;

  // Active proxy data (in_pContainer, in_ulProxyID).
  MethodObject(unsigned long in_ulProxyID, LimitedObjPtr<Container> in_pContainer)
      : ProxyData_MO<T>(TaskObjectProxyData<T>(in_pContainer, in_ulProxyID)) {}
  explicit MethodObject(const TaskObjectProxyData<T>& in_proxyData)
      : ProxyData_MO<T>(in_proxyData) {}
  ~MethodObject() override = default;

  // Task thread: 0 when the target is gone, else call_i()'s status.
  int call() override {
    const LimitedObjPtr<Container> pContainer = this->m_proxyData.getObjContainer();
    if (pContainer.isNull()) return 0;
    CountedObjPtr<T> pObj = pContainer->getObject(this->m_proxyData.getProxyID());
    if (pObj.isNull()) return 0;
    // The handle passed keeps the target alive while the body runs, even if the body
    // releases the container entry.
    return call_i(pObj);
  }

 protected:
  // The typed body: 0 done, 1 failed. in_pObj is never null.
  virtual int call_i(CountedObjPtr<T> in_pObj) = 0;
};

// The last request of a destroyed proxy that queues nothing else on its way out: it
// gives the proxy's id back on the task thread, after every request the proxy queued
// before it was served (or when it is deleted unserved). Owned by the activation queue
// once queued.
class ReleaseProxyID_MO : public ACE_Method_Request {
  OMVERA_CLASS_ALLOCATOR(ReleaseProxyID_MO, "TaskObjectProxy")

  explicit ReleaseProxyID_MO(ProxyIDRelease&& io_idRelease)
      : m_idRelease(std::move(io_idRelease)) {}
  ~ReleaseProxyID_MO() override = default;

  // Task thread: gives the id back; 0.
  int call() override {
    m_idRelease.release();
    return 0;
  }

 private:
  ProxyIDRelease m_idRelease;
};

// Base of events that came through a proxy: carries the proxy data of the sending proxy,
// so that the target can tell which proxy (which endpoint) an event belongs to. Owned
// like the event it is part of.
template <class T>
class ProxyEvent : public virtual Object {
 public:
  using Container = TaskObjectContainer<T>;

  // Empty (disabled) proxy data.
  ProxyEvent() = default;
  ProxyEvent(LimitedObjPtr<Container> in_pContainer, unsigned long in_ulProxyID)
      : m_proxyData(in_pContainer, in_ulProxyID) {}
  explicit ProxyEvent(const TaskObjectProxyData<T>& in_proxyData) : m_proxyData(in_proxyData) {}
  ProxyEvent(const ProxyEvent&) = default;
  ProxyEvent& operator=(const ProxyEvent&) = default;
  ~ProxyEvent() override = default;

  const TaskObjectProxyData<T>& getProxyData() const { return m_proxyData; }

 private:
  TaskObjectProxyData<T> m_proxyData;
};

}  // namespace Omvera

namespace std {
template <class T>
struct hash<::Omvera::TaskObjectProxyData<T>> {
  size_t operator()(const ::Omvera::TaskObjectProxyData<T>& in_data) const noexcept {
    return in_data.hash();
  }
};
}  // namespace std
