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
  // to the generator, once (later calls do nothing).
  void proxyDestruction();

 private:
  IDGenerator& m_idGenerator;
  ACE_Activation_Queue* const m_pQueue;
  const unsigned long m_ulID;
  bool m_bIDReleased = false;
};

}  // namespace Omvera
