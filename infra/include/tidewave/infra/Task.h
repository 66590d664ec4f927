#pragma once
// Tasks: one worker thread that serves an activation queue of method requests and a queue
// of timers, with a managed life cycle.
//
// Serving. The task thread takes requests from its activation queue one at a time, by
// priority and, within one priority, first in first out (all requests of this library use
// priority 0 unless a sender sets another), calls them, then destroys them. Timers fire on
// the same thread, between requests, in deadline order. While nothing is queued the
// thread sleeps in the queue until the next timer deadline (or for good when no timer is
// armed); a request, or a timer armed from another thread that becomes the earliest one,
// wakes it. Nothing polls.
//
// A request's call() returns 0 (done) or 1 (failed). The task logs a failed request at
// WARN, "<task name> : method request <name> failed with status <status>", naming the
// request by the text given to enqueue, and goes on; a failure has no other effect. The
// hook postMOCallProcessing(status, name) runs after every request and does that logging.
//
// Queueing never blocks. The queue's flow control is switched off (its high-water mark is
// the largest size), so a burst of any size is accepted and a task may queue to itself
// without limit; memory is the only bound. A queue that no longer accepts work refuses a
// request and deletes it, so ownership of a request passes to the task in every outcome.
//
// Life cycle, states (Task::State): IDLE_STATE 0 (no thread), STARTING_STATE 1 (start()
// is creating the thread, which has not entered its body yet), RUNNING_STATE 2 (set by
// onSvcEntry()), STOPPING_STATE 3 (a stop is being served). The queue accepts work from
// construction on; requests queued before start() are served once the thread runs.
//
// stop(): queues a stop request behind the pending work. Serving it sets STOPPING_STATE
// and calls handleMOCallStop(). The task goes on serving requests and timers (a derived
// task winds its work down) until stopCompleted() is called, which queues the
// stop-completed request behind the work queued so far. Serving that calls
// handleMOCallStopCompleted(), then the queue stops accepting work: later requests are
// refused (and deleted), no timer fires any more, and the requests already accepted are
// still served, so nothing accepted is lost. When the queue is empty the thread leaves.
// The base handleMOCallStop() calls stopCompleted() at once: a plain task has nothing to
// wind down.
//
// kill(): queues a kill request ahead of all pending work (highest priority). Serving it
// calls handleMOCallKill(); the base version ends the loop: the queue stops accepting,
// the requests still queued are destroyed without being served (deleted, so that what
// they own is freed), armed timers are dropped and the thread leaves. An override that
// does not call the base version keeps the task running.
//
// Leaving: after the loop the task thread drops its timers, calls close(0) (base: state
// 0) and leaves; the state is IDLE_STATE once it has left whatever close() does.
// waitUntilDone() blocks until the thread has left (at once when none was started).
// start() on a task whose thread has left starts a new thread on the same queue: the
// queue accepts work again.
//
// Destruction. Destroying a task whose thread still runs kills it and waits for the
// thread. The base destructor runs after the derived part is gone, so a class that
// overrides the hooks must call killAndWait() first thing in its own destructor;
// StaticReactorTaskImpl does so for its own members.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <ace/Activation_Queue.h>
#include <ace/Malloc_Base.h>
#include <ace/Message_Block.h>
#include <ace/Message_Queue_T.h>
#include <ace/Method_Request.h>
#include <ace/Synch_Traits.h>
#include <ace/Time_Value.h>

#include "tidewave/infra/Configuration.h"
#include "tidewave/infra/TimerQueue.h"
#include "tidewave/infra/TimerScheduler.h"

namespace Omvera {

// Task states and queueing to any task's activation queue.
class Task {
 public:
  enum State { IDLE_STATE = 0, STARTING_STATE = 1, RUNNING_STATE = 2, STOPPING_STATE = 3 };

  // Queues in_pRequest to in_pQueue, from any thread; never blocks. Ownership of the
  // request passes in every outcome: false (the request is deleted, logged at DEBUG) when
  // the queue no longer accepts work, and on a null queue or null request (assertions).
  // in_szName labels the request in the task's logs; it is kept, not copied, so it must
  // stay valid until the request has been served (a string literal). Null reads as
  // "<unnamed>".
  static bool enqueue(ACE_Activation_Queue* in_pQueue, ACE_Method_Request* in_pRequest,
                      const char* in_szName);

  // "IDLE", "STARTING", "RUNNING", "STOPPING", or "UNKNOWN".
  static const char* stateName(int in_iState);

 protected:
  Task() = default;
  ~Task() = default;
};

class ManageableTask;

// Told of every state change of the tasks it observes. Called on the thread that changed
// the state (the task thread, or the thread calling start() for STARTING_STATE), after the
// change, one call at a time per task. An observer must outlive its registration.
class TaskObserver {
 public:
  virtual ~TaskObserver();
  virtual void taskStateChanged(const ManageableTask& in_task, int in_iOldState,
                                int in_iNewState) = 0;
};

// The operations through which an owner manages a task. Any thread.
class ManageableTask : public Task {
 public:
  virtual ~ManageableTask();
  // See the implementations for what each one means.
  virtual bool stop() = 0;
  virtual bool waitUntilDone() = 0;
  virtual bool start() = 0;
  virtual bool kill() = 0;
  virtual int getTaskState() const = 0;
  virtual bool addTaskObserver(TaskObserver* in_pObserver) = 0;
  virtual bool removeTaskObserver(TaskObserver* in_pObserver) = 0;
  virtual std::string getTaskName() const = 0;
  virtual std::string getName() const = 0;
};

// The message queue under a task's activation queue: flow control off, and a switch that
// makes every enqueue fail (errno ESHUTDOWN) while the task does not accept work. Also
// keeps the allocators used for the two blocks that wrap each queued request (null: the
// default allocation). Any thread.
// What a task's queue has been through: requests waiting now, the most that ever waited
// at once, and the longest time a request waited before it was served (microseconds).
struct TaskQueueStats {
  std::size_t m_uiDepth = 0;
  std::size_t m_uiHighWater = 0;
  std::int64_t m_llLongestWaitUs = 0;
};

class TaskMessageQueue : public ACE_Message_Queue<ACE_MT_SYNCH> {
 public:
  TaskMessageQueue(ACE_Allocator* in_pBlockAllocator, ACE_Allocator* in_pDataBlockAllocator);
  ~TaskMessageQueue() override;

  void setAccepting(bool in_bAccepting);
  bool isAccepting();

  ACE_Allocator* getBlockAllocator() const { return m_pBlockAllocator; }
  ACE_Allocator* getDataBlockAllocator() const { return m_pDataBlockAllocator; }
  // The most blocks that were queued at once.
  std::size_t getHighWater();

 protected:
  // Called with the queue's lock held: refuse when not accepting.
  int enqueue_i(ACE_Message_Block* in_pBlock) override;
  int enqueue_head_i(ACE_Message_Block* in_pBlock) override;
  int enqueue_tail_i(ACE_Message_Block* in_pBlock) override;
  int enqueue_deadline_i(ACE_Message_Block* in_pBlock) override;

 private:
  ACE_Allocator* const m_pBlockAllocator;
  ACE_Allocator* const m_pDataBlockAllocator;
  // Under the queue's lock: a block was queued.
  void noteEnqueued();

  bool m_bAccepting = true;       // guarded by the queue's lock
  std::size_t m_uiHighWater = 0;  // guarded by the queue's lock
};

// The task base: state, name, observers, the activation queue, the thread and the stop
// and kill protocol described at the top of this file. The serving loop (svc) is the
// derived class's. Public operations: any thread unless noted. Hooks: task thread only.
class ManageableTaskImplBase : public ManageableTask {
 public:
  // The allocators (not owned) serve the message block and the data block that wrap every
  // queued request; they must outlive the task and be thread-safe. Null: a process-wide
  // allocator that reuses freed blocks, so that queueing allocates nothing once warm.
  explicit ManageableTaskImplBase(ACE_Allocator* in_pBlockAllocator = nullptr,
                                  ACE_Allocator* in_pDataBlockAllocator = nullptr);
  ~ManageableTaskImplBase() override;
  ManageableTaskImplBase(const ManageableTaskImplBase&) = delete;
  ManageableTaskImplBase& operator=(const ManageableTaskImplBase&) = delete;

  // Creates the task thread. True when it was created, and also when the task already
  // runs (nothing is done then). False when the thread cannot be created (logged at
  // ERROR) or when called on the task thread while it is leaving (assertion).
  bool start() override;
  // Queues the stop request. False when no thread runs or the queue no longer accepts work.
  bool stop() override;
  // Queues the kill request ahead of everything. False as for stop().
  bool kill() override;
  // Blocks until the task thread has left; true at once when none runs. Called on the
  // task thread itself: assertion, false.
  bool waitUntilDone() override;
  int getTaskState() const override;
  // Null or already registered: false (null is an assertion).
  bool addTaskObserver(TaskObserver* in_pObserver) override;
  bool removeTaskObserver(TaskObserver* in_pObserver) override;
  std::string getTaskName() const override;
  // The task name.
  std::string getName() const override;

  // Sets the state (0 to 3; anything else: assertion, unchanged) and tells the observers
  // when it changed.
  void setTaskState(int in_iState);
  void setTaskName(const std::string& in_strName);

  // Announces that the stop being served is finished: queues the stop-completed request.
  // Only while the task is in STOPPING_STATE (else assertion, false); false also when the
  // queue no longer accepts work.
  bool stopCompleted();

  // The queue that this task's thread serves; lives as long as the task.
  ACE_Activation_Queue* getActivationQueue() { return &m_activationQueue; }
  using Task::enqueue;
  // Task::enqueue to this task's queue.
  bool enqueue(ACE_Method_Request* in_pRequest, const char* in_szName);
  bool isAcceptingWork() { return m_queue.isAccepting(); }
  // True on the task thread while it runs.
  bool isTaskThread() const;

  // Kills the thread, if one runs, and waits until it has left. For destructors and
  // owners that must be sure no thread is left. Not on the task thread (assertion).
  void killAndWait();

  // The queue's figures since the task was built. Any thread.
  TaskQueueStats getQueueStats();

 protected:
  // Hooks, all on the task thread.
  // The stop request is served; the state is STOPPING_STATE. Base: stopCompleted().
  virtual void handleMOCallStop();
  // The stop-completed request is served; the queue still accepts work during the call
  // and stops accepting right after it. Base: nothing.
  virtual void handleMOCallStopCompleted();
  // The kill request is served. Base: ends the loop (see the top of this file).
  virtual void handleMOCallKill();
  // First thing the thread does. Base: setTaskState(RUNNING_STATE).
  virtual void onSvcEntry();
  // Last thing the thread does, after the loop; in_ulFlags is 0. Base: setTaskState(0),
  // returns 0.
  virtual int close(unsigned long in_ulFlags);
  // After every served request, with its status and name. Base: logs a non-zero status.
  virtual void postMOCallProcessing(int in_iStatus, const char* in_szName);

  // The serving loop, run by the task thread between onSvcEntry() and close(). It must
  // return once loopEnded() is true, or once isDraining() is true and the queue is empty.
  virtual int svc() = 0;
  // Called by start() before the new thread is created (on the starting thread).
  virtual void prepareRun_i() {}
  // The task has stopped taking work for good (stop completed, or killed): called on the
  // task thread right after the hook of that request. Base: nothing.
  virtual void workEnded_i() {}

  enum ServeResult { SERVED, TIMED_OUT, QUEUE_FAILED };
  // Takes the next request, waiting until the absolute wall-clock time *in_pDeadline at
  // most (null: without limit), and serves it. TIMED_OUT when nothing came; QUEUE_FAILED
  // (logged at ERROR) when the queue broke down, which also ends the loop.
  ServeResult serveNext(ACE_Time_Value* in_pDeadline);
  // The kill was served or the queue broke down: the loop must end now.
  bool loopEnded() const { return m_bLoopEnded; }
  // The stop-completed request was served: serve what is queued, then end.
  bool isDraining() const { return m_bDraining; }
  // Makes the task thread go round its loop once more (e.g. to look at a new earliest
  // timer), unless the caller is the task thread. Wake-ups coalesce: while one is queued
  // and not yet served, another call queues nothing (the thread will look at the timers
  // after serving it). Queueing one allocates nothing.
  void wakeTaskThread();

 private:
  class ControlRequest;
  class WakeRequest : public ACE_Method_Request {
   public:
    int call() override { return 0; }
  };
  enum ControlKind { STOP_REQUEST, KILL_REQUEST, STOP_COMPLETED_REQUEST };

  int serveControl(ControlKind in_eKind);
  void threadMain();
  // Deletes every queued request unserved; returns how many.
  std::size_t discardQueued();
  void disposeRequest(ACE_Method_Request* in_pRequest);
  void notifyObservers(int in_iOldState, int in_iNewState);

  // The task thread served or dropped the wake block: a later wakeTaskThread() may queue it.
  void wakeServed_i() { m_bWakePending.store(false, std::memory_order_release); }

  TaskMessageQueue m_queue;
  ACE_Activation_Queue m_activationQueue;
  WakeRequest m_wakeRequest;  // what m_wakeBlock carries; never called, never deleted
  // The one block that carries wake-ups, queued again and again and never released: at
  // most one is queued at a time (m_bWakePending).
  ACE_Message_Block m_wakeBlock;
  // Set by the caller of wakeTaskThread() that queues m_wakeBlock, cleared when the task
  // thread takes it off the queue (or when the queue refused it): true while it is queued.
  std::atomic<bool> m_bWakePending{false};

  std::atomic<int> m_iState{IDLE_STATE};
  mutable std::mutex m_nameMutex;
  std::string m_strTaskName;
  std::recursive_mutex m_observerMutex;  // also serialises state changes
  std::vector<TaskObserver*> m_vObservers;

  // Lock order: m_joinMutex, then m_controlMutex. Joining happens under m_joinMutex, so
  // start() never creates a thread while an earlier one is still leaving.
  std::recursive_mutex m_joinMutex;
  std::recursive_mutex m_controlMutex;   // guards m_thread
  std::thread m_thread;
  std::atomic<std::thread::id> m_threadId{std::thread::id()};

  std::atomic<std::int64_t> m_llLongestWaitUs{0};  // written by the task thread

  // Task thread only (reset by start() before the thread exists).
  bool m_bLoopEnded = false;
  bool m_bDraining = false;
};

// The task with its serving loop and timers: the base of the engine task. As a
// TimerScheduler it accepts timers from any thread; they fire on the task thread. Timers
// may be armed before start(); once the queue stops accepting work (stop completed,
// kill) armed timers are dropped and new ones are refused (-1) until the next start().
// Deadlines follow the monotonic clock; processTimeout receives the wall-clock time of
// the expiry. cancelTimer calls the processor's onTimeoutCancelled on success, on the
// cancelling thread.
class StaticReactorTaskImpl : public ManageableTaskImplBase, public TimerScheduler {
 public:
  explicit StaticReactorTaskImpl(ACE_Allocator* in_pBlockAllocator = nullptr,
                                 ACE_Allocator* in_pDataBlockAllocator = nullptr);
  // Kills the thread and waits for it when it still runs.
  ~StaticReactorTaskImpl() override;

  long scheduleTimer(TimeoutProcessor* in_pProcessor, const TimeoutData* in_pData,
                     const ACE_Time_Value& in_delay) override;
  bool cancelTimer(long in_lTimerId, const TimeoutData* in_pData) override;
  std::size_t numArmedTimers() const { return m_timers.size(); }

  // This task's read cache over the process-wide configuration; set by the constructor,
  // never null unless an owner resets it.
  ConfigCacheHandle m_hConfigCache;

 protected:
  int svc() override;
  void prepareRun_i() override;
  // Drops the armed timers and refuses new ones until the next start().
  void workEnded_i() override;

 private:
  void fireDueTimers();
  void closeTimers();

  TimerQueue m_timers;
};

// The task as seen by code that arms and cancels timers on it.
using TaskWithTimersImpl = StaticReactorTaskImpl;

}  // namespace Omvera
