#pragma once
// A task shared by several owners: each owner starts and stops it through the shared
// face, and only the first start and the last stop reach the task.

#include <mutex>
#include <string>

#include "tidewave/infra/Task.h"

namespace Omvera {

// The counting side of a shared task. Any thread; starts and stops are serialised.
//
// start(): the first start (count 0) calls start_i() and counts only when it succeeds;
// later starts only count and return true. stop(): takes one count back; the stop that
// brings the count to 0 calls stop_i() and returns its result (the count stays 0 when it
// fails, e.g. because the task was killed meanwhile), and, when the constructor
// flag in_bWaitOnLastStop is true, then blocks in waitUntilDone_i() until the task has
// left (outside the lock, so other owners are not held up). A stop without a matching
// start is an assertion and returns false. kill(): kills the task whatever the count,
// sets the count to 0 and returns kill_i()'s result; it never waits. waitUntilDone() and
// the observer operations forward without counting.
//
// A start that races the last stop may find the task still running (the task then
// answers that it runs) and not restart it.
class SharedTaskImpl : public ManageableTask {
 public:
  explicit SharedTaskImpl(bool in_bWaitOnLastStop);
  ~SharedTaskImpl() override;
  SharedTaskImpl(const SharedTaskImpl&) = delete;
  SharedTaskImpl& operator=(const SharedTaskImpl&) = delete;

  bool stop() override;
  bool waitUntilDone() override;
  bool start() override;
  bool kill() override;
  bool addTaskObserver(TaskObserver* in_pObserver) override;
  bool removeTaskObserver(TaskObserver* in_pObserver) override;

  unsigned int getStartCount() const;
  bool waitsOnLastStop() const { return m_bWaitOnLastStop; }

 protected:
  // The operations of the shared task itself.
  virtual bool start_i() = 0;
  virtual bool stop_i() = 0;
  virtual bool kill_i() = 0;
  virtual bool waitUntilDone_i() = 0;
  virtual bool addTaskObserver_i(TaskObserver* in_pObserver) = 0;
  virtual bool removeTaskObserver_i(TaskObserver* in_pObserver) = 0;

 private:
  const bool m_bWaitOnLastStop;
  mutable std::mutex m_mutex;
  unsigned int m_uiStartCount = 0;
};

// A shared face over one ManageableTask, which it does not own (the task must outlive the
// adapter). Every primitive forwards to the wrapped task; getTaskState and getTaskName
// are the task's, getName is "SharedTaskAdapter(<task name>)". A typed adapter adds a
// typed getTask() on top. Any thread.
class SharedTaskAdapterNoT : public SharedTaskImpl {
 public:
  // A null task is an assertion; every operation then fails.
  SharedTaskAdapterNoT(ManageableTask* in_pTask, bool in_bWaitOnLastStop);
  ~SharedTaskAdapterNoT() override;

  ManageableTask* getManagedTask() const { return m_pTask; }

  int getTaskState() const override;
  std::string getTaskName() const override;
  std::string getName() const override;

 protected:
  bool start_i() override;
  bool stop_i() override;
  bool kill_i() override;
  bool waitUntilDone_i() override;
  bool addTaskObserver_i(TaskObserver* in_pObserver) override;
  bool removeTaskObserver_i(TaskObserver* in_pObserver) override;

 private:
  ManageableTask* const m_pTask;
};

// The typed shared face over a task of type T, which it does not own.
template <class T>
class SharedTaskAdapter : public SharedTaskAdapterNoT {
 public:
  SharedTaskAdapter(T* in_pTask, bool in_bWaitOnLastStop)
      : SharedTaskAdapterNoT(in_pTask, in_bWaitOnLastStop), m_pTypedTask(in_pTask) {}
  ~SharedTaskAdapter() override = default;

  // The wrapped task.
  T* getTask() const { return m_pTypedTask; }

 private:
  T* const m_pTypedTask;
};

}  // namespace Omvera
