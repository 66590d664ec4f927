// TIDEWAVE_THREADED_TEST
// Handles with a thread-safe count copied and dropped on several threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/AssertionRecorder.h"
#include "support/TaskTestSupport.h"
#include "tidewave/CountedObjPtr.h"
#include "tidewave/TSReferenceCount.h"
#include "tidewave/infra/Object.h"

namespace Omvera {
namespace {

using Test::AssertionRecorder;
using Test::Gate;

constexpr int kThreads = 4;
constexpr int kRounds = 2000;

std::atomic<int> s_iDestroyed{0};

class ManagedTask : public virtual Object {
 public:
  virtual int work() const = 0;
};
class Filler {
 public:
  virtual ~Filler() = default;
  int m_iFiller = 1;
};
// The object view held by the threads is not at the object's address.
class SharedAdapter : public Filler, public ManagedTask {
 public:
  ~SharedAdapter() override { s_iDestroyed.fetch_add(1); }
  int work() const override { return m_iValue; }

 private:
  int m_iValue = 1;
};

using AdapterPtr = CountedObjPtr<SharedAdapter, TSReferenceCount>;
using TaskPtr = CountedObjPtr<ManagedTask, TSReferenceCount>;

TEST(ThreadSafeCountedObjPtr, ConcurrentCopiesAndDropsKeepTheCountExact) {
  AssertionRecorder recorder;
  s_iDestroyed = 0;
  const AdapterPtr adapter(new SharedAdapter());
  const TaskPtr task(adapter);  // the handles the threads read, never write
  Gate gate;
  std::atomic<long> lWork{0};
  std::vector<std::thread> vThreads;
  for (int t = 0; t < kThreads; ++t) {
    vThreads.emplace_back([&, t] {
      gate.passThrough();
      std::vector<TaskPtr> vHeld;
      for (int i = 0; i < kRounds; ++i) {
        if (t % 2 == 0) {
          vHeld.push_back(adapter);  // converting copy
        } else {
          vHeld.emplace_back(task);
        }
        lWork += vHeld.back()->work();
        if (vHeld.size() > 8) vHeld.erase(vHeld.begin(), vHeld.begin() + 4);
      }
    });
  }
  gate.open();
  for (std::thread& thread : vThreads) thread.join();
  EXPECT_EQ(static_cast<long>(kThreads) * kRounds, lWork.load());
  EXPECT_EQ(2u, adapter.getUseCount());
  EXPECT_EQ(0, s_iDestroyed.load());
  EXPECT_EQ(0u, recorder.count());
}

TEST(ThreadSafeCountedObjPtr, TheLastDropOnAnyThreadDeletesOnce) {
  AssertionRecorder recorder;
  for (int iRun = 0; iRun < 50; ++iRun) {
    s_iDestroyed = 0;
    AdapterPtr adapter(new SharedAdapter());
    std::vector<TaskPtr> vCopies(kThreads, TaskPtr(adapter));
    Gate gate;
    std::vector<std::thread> vThreads;
    for (int t = 0; t < kThreads; ++t) {
      // Each thread owns one copy and races the others (and the main thread) to drop it.
      vThreads.emplace_back([&gate, pCopy = &vCopies[t]] {
        gate.passThrough();
        TaskPtr local(*pCopy);
        pCopy->reset();
        local = nullptr;  // shared: takes a fresh count for the null object
      });
    }
    gate.open();
    adapter.reset();
    for (std::thread& thread : vThreads) thread.join();
    EXPECT_EQ(1, s_iDestroyed.load());
  }
  EXPECT_EQ(0u, recorder.count());
}

}  // namespace
}  // namespace Omvera
