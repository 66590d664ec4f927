// Counted and non-owning handles, the reference counts and their class-specific allocation.
#include <gtest/gtest.h>

#include <stack>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "support/AssertionRecorder.h"
#include "support/InstanceCounters.h"
#include "support/LogCapture.h"
#include "tidewave/CountedObjPtr.h"
#include "tidewave/LimitedObjPtr.h"
#include "tidewave/ReferenceCount.h"
#include "tidewave/TSReferenceCount.h"
#include "tidewave/infra/Object.h"

namespace Omvera {
namespace {

using Test::AssertionRecorder;
using Test::LogCapture;

using Counters = Test::InstanceCounters;

class Tracked : public virtual Object {
 public:
  Tracked(Counters& in_rCounters, int in_iValue) : m_pCounters(&in_rCounters), m_iValue(in_iValue) {
    ++m_pCounters->m_iConstructed;
  }
  Tracked(const Tracked&) = delete;
  Tracked& operator=(const Tracked&) = delete;
  ~Tracked() override { ++m_pCounters->m_iDestroyed; }
  int value() const { return m_iValue; }

 private:
  Counters* m_pCounters;
  int m_iValue;
};

// A second base placed first, so that the task view of an adapter is not at its address.
class Padding {
 public:
  virtual ~Padding() = default;
  long m_lPadding = 7;
};
class TaskView : public virtual Object {
 public:
  virtual int id() const = 0;
};
class Adapter : public Padding, public TaskView {
 public:
  explicit Adapter(Counters& in_rCounters) : m_tracked(in_rCounters, 0) {}
  int id() const override { return 42; }

 private:
  Tracked m_tracked;
};

using TrackedPtr = CountedObjPtr<Tracked>;

TEST(CountedObjPtr, IsTwoWordsAndEmptyByDefault) {
  static_assert(sizeof(CountedObjPtr<Tracked>) == 2 * sizeof(void*), "two words");
  static_assert(sizeof(CountedObjPtr<Tracked, TSReferenceCount>) == 2 * sizeof(void*), "two words");
  static_assert(sizeof(LimitedObjPtr<Tracked>) == sizeof(void*), "one word");
  TrackedPtr empty;
  EXPECT_TRUE(empty.isNull());
  EXPECT_EQ(nullptr, empty.getReferenceCount());
  EXPECT_FALSE(empty.unique());
  EXPECT_EQ(0u, empty.getUseCount());
  TrackedPtr copy(empty);
  EXPECT_EQ(nullptr, copy.getReferenceCount());
}

TEST(CountedObjPtr, LastOfSeveralCopiesDeletesOnce) {
  Counters counters;
  {
    TrackedPtr first(new Tracked(counters, 5));
    EXPECT_TRUE(first.unique());
    TrackedPtr second(first);
    TrackedPtr third;
    third = second;
    EXPECT_EQ(3u, first.getUseCount());
    EXPECT_EQ(first.getReferenceCount(), third.getReferenceCount());
    EXPECT_EQ(5, third->value());
    EXPECT_EQ(5, (*second).value());
    first.reset();
    EXPECT_TRUE(first.isNull());
    second.reset();
    EXPECT_EQ(0, counters.m_iDestroyed);
    EXPECT_TRUE(third.unique());
  }
  EXPECT_EQ(1, counters.m_iConstructed);
  EXPECT_EQ(1, counters.m_iDestroyed);
}

TEST(CountedObjPtr, AssigningTheSameObjectChangesNothing) {
  Counters counters;
  TrackedPtr handle(new Tracked(counters, 1));
  TrackedPtr other(handle);
  ReferenceCount* pCount = handle.getReferenceCount();
  TrackedPtr& alias = handle;
  handle = alias;
  handle = other;
  EXPECT_EQ(2u, handle.getUseCount());
  EXPECT_EQ(pCount, handle.getReferenceCount());
  handle = handle.get();  // the raw pointer it already owns
  EXPECT_EQ(2u, handle.getUseCount());
  EXPECT_EQ(0, counters.m_iDestroyed);
}

TEST(CountedObjPtr, AssignmentReleasesTheOldHoldAndSharesTheNewOne) {
  Counters counters;
  TrackedPtr a(new Tracked(counters, 1));
  TrackedPtr b(new Tracked(counters, 2));
  TrackedPtr keepB(b);
  a = b;  // a was the last holder of object 1
  EXPECT_EQ(1, counters.m_iDestroyed);
  EXPECT_EQ(3u, b.getUseCount());
  EXPECT_EQ(2, a->value());
  a = TrackedPtr();  // empty handle: a drops its hold, has no count
  EXPECT_EQ(nullptr, a.getReferenceCount());
  EXPECT_EQ(2u, b.getUseCount());
}

struct Node {
  Node(Counters& in_rCounters, int in_iValue) : m_tracked(in_rCounters, in_iValue) {}
  Tracked m_tracked;
  CountedObjPtr<Node> m_pNext;
};

TEST(CountedObjPtr, AssigningAHandleOwnedByTheOldObjectIsSafe) {
  Counters counters;
  CountedObjPtr<Node> head(new Node(counters, 1));
  head->m_pNext = new Node(counters, 2);
  head->m_pNext->m_pNext = new Node(counters, 3);
  head = head->m_pNext;  // node 1 (owner of the source handle) goes away
  EXPECT_EQ(1, counters.m_iDestroyed);
  EXPECT_EQ(2, head->m_tracked.value());
  EXPECT_TRUE(head.unique());
  head = head->m_pNext;
  EXPECT_EQ(3, head->m_tracked.value());
  head.reset();
  EXPECT_EQ(0, counters.alive());
}

TEST(CountedObjPtr, RawAssignmentToTheOnlyHolderReusesTheCountBlock) {
  Counters counters;
  TrackedPtr handle(new Tracked(counters, 1));
  ReferenceCount* pCount = handle.getReferenceCount();
  handle = new Tracked(counters, 2);
  EXPECT_EQ(1, counters.m_iDestroyed);
  EXPECT_EQ(pCount, handle.getReferenceCount());
  EXPECT_TRUE(handle.unique());
  EXPECT_EQ(2, handle->value());

  // A null pointer keeps the block too: a counted null object.
  handle = nullptr;
  EXPECT_EQ(2, counters.m_iDestroyed);
  EXPECT_TRUE(handle.isNull());
  EXPECT_EQ(pCount, handle.getReferenceCount());
  EXPECT_EQ(1u, handle.getUseCount());
  const TrackedPtr empty;
  handle = empty;  // same (null) object pointer: the block stays
  handle = TrackedPtr();
  EXPECT_EQ(pCount, handle.getReferenceCount());
  handle = new Tracked(counters, 3);
  EXPECT_EQ(pCount, handle.getReferenceCount());
  EXPECT_EQ(3, handle->value());
}

TEST(CountedObjPtr, RawAssignmentToASharedHandleTakesAFreshCount) {
  Counters counters;
  TrackedPtr handle(new Tracked(counters, 1));
  TrackedPtr other(handle);
  ReferenceCount* pOldCount = handle.getReferenceCount();
  handle = new Tracked(counters, 2);
  EXPECT_EQ(0, counters.m_iDestroyed);
  EXPECT_NE(pOldCount, handle.getReferenceCount());
  EXPECT_TRUE(handle.unique());
  EXPECT_TRUE(other.unique());
  EXPECT_EQ(1, other->value());

  // Shared again, then assigned null: the handle still gets a count of its own.
  TrackedPtr third(handle);
  handle = nullptr;
  EXPECT_NE(nullptr, handle.getReferenceCount());
  EXPECT_NE(third.getReferenceCount(), handle.getReferenceCount());
  EXPECT_TRUE(third.unique());
  EXPECT_EQ(0, counters.m_iDestroyed);

  // A handle that never had a count gets none for null, one for an object.
  TrackedPtr fresh;
  fresh = nullptr;
  EXPECT_EQ(nullptr, fresh.getReferenceCount());
  fresh = new Tracked(counters, 4);
  EXPECT_TRUE(fresh.unique());
}

TEST(CountedObjPtr, MovingTransfersTheHoldWithoutCounting) {
  Counters counters;
  TrackedPtr source(new Tracked(counters, 1));
  ReferenceCount* pCount = source.getReferenceCount();
  TrackedPtr moved(std::move(source));
  EXPECT_TRUE(source.isNull());  // NOLINT: checking the moved-from state
  EXPECT_EQ(nullptr, source.getReferenceCount());
  EXPECT_EQ(pCount, moved.getReferenceCount());
  EXPECT_TRUE(moved.unique());

  TrackedPtr sameObject(moved);
  moved = std::move(sameObject);  // same object: unchanged, the source is emptied
  EXPECT_TRUE(sameObject.isNull());  // NOLINT: checking the moved-from state
  EXPECT_TRUE(moved.unique());

  TrackedPtr target(new Tracked(counters, 2));
  target = std::move(moved);
  EXPECT_EQ(1, counters.m_iDestroyed);
  EXPECT_TRUE(target.unique());
  EXPECT_EQ(1, target->value());
}

TEST(CountedObjPtr, DerivedHandleConvertsSharingTheCount) {
  Counters counters;
  CountedObjPtr<TaskView, TSReferenceCount> task;
  {
    CountedObjPtr<Adapter, TSReferenceCount> adapter(new Adapter(counters));
    task = adapter;
    CountedObjPtr<TaskView, TSReferenceCount> copy(adapter);
    EXPECT_EQ(adapter.getReferenceCount(), task.getReferenceCount());
    EXPECT_EQ(3u, adapter.getUseCount());
    EXPECT_NE(static_cast<void*>(adapter.get()), static_cast<void*>(task.get()));
    EXPECT_TRUE(task == adapter);
    EXPECT_TRUE(adapter == task.get());
    EXPECT_EQ(42, copy->id());
  }
  EXPECT_TRUE(task.unique());
  EXPECT_EQ(0, counters.m_iDestroyed);
  // The last holder is the base view: deletion goes through the virtual destructor.
  task.reset();
  EXPECT_EQ(1, counters.m_iDestroyed);
}

TEST(CountedObjPtr, ComparingWithARawPointerNeverTakesOwnership) {
  Counters counters;
  Tracked* pRaw = new Tracked(counters, 1);
  TrackedPtr a(pRaw);
  TrackedPtr c(new Tracked(counters, 2));
  EXPECT_TRUE(a == pRaw && pRaw == a && c != pRaw && pRaw != c);
  EXPECT_TRUE(a != c && a != nullptr && TrackedPtr() == nullptr);
  EXPECT_EQ(0, counters.m_iDestroyed);
  EXPECT_TRUE(a.unique());
}

TEST(CountedObjPtr, WorksAsValueAndKeyInStandardContainers) {
  Counters counters;
  {
    std::vector<TrackedPtr> vHandles;
    TrackedPtr shared(new Tracked(counters, 0));
    for (int i = 0; i < 100; ++i) {
      vHandles.push_back(i % 2 == 0 ? shared : TrackedPtr(new Tracked(counters, i)));
    }
    EXPECT_EQ(51u, shared.getUseCount());  // reallocation moved, never copied

    std::unordered_map<std::string, TrackedPtr> byName;
    byName["a"] = shared;
    byName.emplace("b", vHandles[1]);
    byName.erase("a");
    EXPECT_EQ(51u, shared.getUseCount());

    std::unordered_set<TrackedPtr> seen(vHandles.begin(), vHandles.end());
    EXPECT_EQ(51u, seen.size());

    // A pool-style stack: only the last holder is taken back.
    std::stack<TrackedPtr> idle;
    TrackedPtr taken(new Tracked(counters, -1));
    if (taken.unique()) idle.push(std::move(taken));
    EXPECT_TRUE(taken.isNull());
    EXPECT_TRUE(idle.top().unique());
    vHandles.clear();
    seen.clear();
    EXPECT_TRUE(shared.unique());
    EXPECT_EQ(3, counters.alive());  // shared, byName["b"] and the idle one
  }
  EXPECT_EQ(0, counters.alive());
}

// Records, at each deletion, whether the watched count was locked.
struct LockWatchingDeleter {
  static TSReferenceCount* s_pWatched;
  static int s_iDeletions;
  static int s_iDeletionsUnderLock;
  template <class T>
  void operator()(T* in_pObj) const {
    ++s_iDeletions;
    if (s_pWatched != nullptr && s_pWatched->isLocked()) ++s_iDeletionsUnderLock;
    delete in_pObj;
  }
};
TSReferenceCount* LockWatchingDeleter::s_pWatched = nullptr;
int LockWatchingDeleter::s_iDeletions = 0;
int LockWatchingDeleter::s_iDeletionsUnderLock = 0;

TEST(CountedObjPtr, LastHolderDeletesThroughTheDeleterUnderTheLock) {
  Counters counters;
  using Watched = CountedObjPtr<Tracked, TSReferenceCount, LockWatchingDeleter>;
  LockWatchingDeleter::s_iDeletions = LockWatchingDeleter::s_iDeletionsUnderLock = 0;
  Watched handle(new Tracked(counters, 1));
  LockWatchingDeleter::s_pWatched = handle.getReferenceCount();
  Watched copy(handle);
  handle.reset();
  EXPECT_EQ(0, LockWatchingDeleter::s_iDeletions);
  copy = new Tracked(counters, 2);  // unique: deletes under the lock, keeps the block
  EXPECT_EQ(LockWatchingDeleter::s_pWatched, copy.getReferenceCount());
  copy.reset();
  LockWatchingDeleter::s_pWatched = nullptr;
  EXPECT_EQ(2, LockWatchingDeleter::s_iDeletions);
  EXPECT_EQ(2, LockWatchingDeleter::s_iDeletionsUnderLock);
  EXPECT_EQ(0, counters.alive());
}

TEST(ReferenceCounts, CountFromOneAndReportUnderflow) {
  LogCapture capture;
  AssertionRecorder recorder;
  ReferenceCount count;
  EXPECT_TRUE(count.unique());
  count.increment();
  EXPECT_FALSE(count.unique());
  count.decrement();
  count.decrement();
  EXPECT_EQ(0u, count.getCount());
  EXPECT_TRUE(recorder.expressions().empty());
  count.decrement();
  EXPECT_EQ(0u, count.getCount());

  TSReferenceCount tsCount;
  tsCount.acquireLock();
  EXPECT_TRUE(tsCount.isLocked());
  tsCount.decrement();
  tsCount.decrement();
  tsCount.releaseLock();
  EXPECT_FALSE(tsCount.isLocked());
  EXPECT_EQ((std::vector<std::string>{"m_uiCount > 0", "m_uiCount > 0"}), recorder.expressions());
}

TEST(ReferenceCounts, LockMisuseIsReported) {
  LogCapture capture;
  AssertionRecorder recorder;
  TSReferenceCount* pCount = new TSReferenceCount();
  pCount->releaseLock();
  EXPECT_EQ((std::vector<std::string>{"m_bLocked == true"}), recorder.expressions());
  pCount->acquireLock();
  delete pCount;
  EXPECT_EQ(1u, recorder.count("m_bLocked == false"));
  EXPECT_EQ("TSReferenceCount", recorder.records().back().m_strModule);
  ASSERT_FALSE(capture.lines().empty());
  EXPECT_EQ("tidewave.media.ReferenceCount", capture.lines().back().m_strLogger);
  EXPECT_TRUE(capture.containsPart(LogLevel::ERROR,
                                   "Assertion failed : m_bLocked == false (TSReferenceCount:"));
}

struct OversizedCount : ReferenceCount {
  char m_acExtra[24] = {};
};
struct OversizedTSCount : TSReferenceCount {
  char m_acExtra[24] = {};
};

TEST(ReferenceCounts, AllocationChecksTheClassSize) {
  LogCapture capture;
  AssertionRecorder recorder;
  delete new ReferenceCount();
  delete new TSReferenceCount();
  EXPECT_EQ(0u, recorder.count());
  delete new OversizedCount();
  delete new OversizedTSCount();
  EXPECT_EQ((std::vector<std::string>{"in_uiSize == sizeof(ReferenceCount)",
                                      "in_uiSize == sizeof(TSReferenceCount)"}),
            recorder.expressions());
  EXPECT_EQ("ReferenceCount", recorder.records()[0].m_strModule);
}

TEST(LimitedObjPtr, RefersWithoutOwningAndKeysHashMaps) {
  Counters counters;
  {
    Adapter adapter(counters);
    LimitedObjPtr<Adapter> handle(&adapter);
    LimitedObjPtr<TaskView> view(handle);  // adjusted to the base subobject
    EXPECT_EQ(42, view->id());
    EXPECT_TRUE(view == static_cast<TaskView*>(&adapter));
    std::unordered_map<LimitedObjPtr<TaskView>, int> byEngine;
    byEngine[view] = 1;
    byEngine[LimitedObjPtr<TaskView>(handle)] += 1;
    EXPECT_EQ(1u, byEngine.size());
    EXPECT_EQ(2, byEngine[view]);
  }
  EXPECT_EQ(1, counters.m_iDestroyed);  // destroyed once, by its owner
}

}  // namespace
}  // namespace Omvera
