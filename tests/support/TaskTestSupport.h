#pragma once
// Helpers for tests that drive a real task thread. Every wait here is bounded, so that a
// broken test fails instead of hanging.
//
// - FnRequest: a method request that runs a function on the thread that serves it and
//   answers the function's result as its status. With a destruction counter it counts its
//   own deletion (served, or deleted unserved by a task that refused or dropped it).
// - Gate: holds every thread that passes through it until a test thread opens it (at most
//   the limit given at construction). Inside a request it holds the task thread, so that
//   several requests are queued before any is served; on plain threads it lines them up to
//   start together.
// - runOnTask: runs a function on the task thread and waits (bounded) until it has run.
//
// All of them may be used from any thread; the functions that FnRequest and runOnTask run
// are called on the task thread only. A Gate must outlive the request that passes through it.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <utility>

#include <ace/Method_Request.h>

#include "tidewave/infra/Task.h"

namespace Omvera {
namespace Test {

class FnRequest : public ACE_Method_Request {
 public:
  // in_pDestroyed, when given, is incremented once when this request is deleted.
  explicit FnRequest(std::function<int()> in_fn, std::atomic<int>* in_pDestroyed = nullptr)
      : m_fn(std::move(in_fn)), m_pDestroyed(in_pDestroyed) {}
  ~FnRequest() override {
    if (m_pDestroyed != nullptr) ++*m_pDestroyed;
  }
  int call() override { return m_fn(); }

 private:
  std::function<int()> m_fn;
  std::atomic<int>* m_pDestroyed;
};

class Gate {
 public:
  explicit Gate(std::chrono::seconds in_limit = std::chrono::seconds(10)) : m_limit(in_limit) {}
  Gate(const Gate&) = delete;
  Gate& operator=(const Gate&) = delete;

  // Lets every thread waiting in passThrough() (and any later one) go on. Any thread.
  void open();
  // Marks the gate entered and blocks the calling thread (the task thread, inside a
  // request) until the gate is opened or the limit passes. Returns 0 when opened, 1 when
  // the limit passed (a request returning it then fails with that status).
  int passThrough();
  // True once a thread has entered passThrough().
  bool entered() const { return m_bEntered; }
  // Queues a request (named "Test::gate") that only passes through the gate. Returns what
  // the task's enqueue returned.
  bool enqueueOn(ManageableTaskImplBase& in_task);
  // enqueueOn, then waits (bounded) until the task thread is inside the gate.
  bool holdTask(ManageableTaskImplBase& in_task);

 private:
  const std::chrono::seconds m_limit;
  std::mutex m_mutex;
  std::condition_variable m_condition;
  bool m_bOpen = false;
  std::atomic<bool> m_bEntered{false};
};

// Queues in_fn to in_task and waits (10 s at most) until the task thread has run it.
// Returns false when the task refused the request or it was not run in time; the function
// must then not refer to anything that dies before the task serves or drops it.
bool runOnTask(ManageableTaskImplBase& in_task, std::function<void()> in_fn);

}  // namespace Test
}  // namespace Omvera
