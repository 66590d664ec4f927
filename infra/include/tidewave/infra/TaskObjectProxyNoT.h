#pragma once
// The untyped base of the proxies through which other threads reach an object living on a
// task: the proxy's small integer id and the task's activation queue.
//
// Created, used and destroyed on one caller thread; enqueue() itself is thread-safe. The
// id generator and the queue are not owned and must outlive the proxy.

#include <ace/Activation_Queue.h>
#include <ace/Method_Request.h>

#include "tidewave/infra/Identifiers.h"

namespace Omvera {

// The id of a destroyed proxy on its way back to its generator, carried by the proxy's last
// method object so that the id is reused only after the task has served everything the
// proxy queued. The id goes back once: at release() (task thread, after the last request's
// body ran) or, when that never happens (the request was refused or dropped unserved), when
// the holder is destroyed. Move-only; any thread may hold it, one at a time.
class ProxyIDRelease {
 public:
  // Nothing to give back.
  ProxyIDRelease() = default;
  ProxyIDRelease(IDGenerator& in_idGenerator, unsigned long in_ulID)
      : m_pIDGenerator(&in_idGenerator), m_ulID(in_ulID) {}
  ProxyIDRelease(ProxyIDRelease&& io_other) noexcept;
  ProxyIDRelease& operator=(ProxyIDRelease&& io_other) noexcept;
  ProxyIDRelease(const ProxyIDRelease&) = delete;
  ProxyIDRelease& operator=(const ProxyIDRelease&) = delete;
  ~ProxyIDRelease() { release(); }

  // Gives the id back now; later calls do nothing.
  void release();

 private:
  IDGenerator* m_pIDGenerator = nullptr;
  unsigned long m_ulID = 0;
};

class TaskObjectProxyNoT {
 public:
  // Draws the proxy id from in_idGenerator.
  TaskObjectProxyNoT(IDGenerator& in_idGenerator, ACE_Activation_Queue* in_pQueue);
  // Does not give the id back: that is proxyDestruction()'s job.
  virtual ~TaskObjectProxyNoT();
  TaskObjectProxyNoT(const TaskObjectProxyNoT&) = delete;
  TaskObjectProxyNoT& operator=(const TaskObjectProxyNoT&) = delete;

  unsigned long getID() const { return m_ulID; }
  ACE_Activation_Queue* getActivationQueue() const { return m_pQueue; }

  // Task::enqueue(queue, in_pRequest, in_szName): ownership of the request passes in
  // every outcome; false when the task no longer accepts work.
  bool enqueue(ACE_Method_Request* in_pRequest, const char* in_szName) const;

  // Called by the proxy's destructor once its last request is queued: gives the id back
  // to the generator, once (later calls do nothing), unless handOverID() took it.
  void proxyDestruction();

  // Hands the id over to the proxy's last method object, which gives it back on the task
  // thread after it was served (see ProxyIDRelease): until then no new proxy of this
  // thread can draw it. proxyDestruction() then gives nothing back. Once; a second call
  // returns an empty release.
  ProxyIDRelease handOverID();

 private:
  IDGenerator& m_idGenerator;
  ACE_Activation_Queue* const m_pQueue;
  const unsigned long m_ulID;
  bool m_bIDReleased = false;
};

}  // namespace Omvera
