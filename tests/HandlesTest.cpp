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

static_assert(sizeof(CountedObjPtr<Tracked>) == 2 * sizeof(void*), "two words");
static_assert(sizeof(CountedObjPtr<Tracked, TSReferenceCount>) == 2 * sizeof(void*), "two words");
static_assert(sizeof(LimitedObjPtr<Tracked>) == sizeof(void*), "one word");

TEST(CountedObjPtr, CopiesShareOneCountAndTheLastDeletesOnce) {
  Counters counters;
  {
    const TrackedPtr empty;
    EXPECT_EQ(nullptr, TrackedPtr(empty).getReferenceCount());
    EXPECT_FALSE(empty.unique());
    TrackedPtr first(new Tracked(counters, 5));
    TrackedPtr second(first);
    TrackedPtr third;
    third = second;
    EXPECT_EQ(3u, first.getUseCount());
    EXPECT_EQ(first.getReferenceCount(), third.getReferenceCount());
    EXPECT_EQ(5, third->value());
    // Self-assignment, assigning a copy or the raw pointer already held change nothing.
    TrackedPtr& alias = first;
    first = alias;
    first = second;
    first = first.get();
    EXPECT_EQ(3u, first.getUseCount());
    EXPECT_TRUE(first == third.get() && third.get() == first && first != nullptr);
    first.reset();
    second.reset();
    EXPECT_EQ(0, counters.m_iDestroyed);
    EXPECT_TRUE(third.unique());

    TrackedPtr other(new Tracked(counters, 2));
    TrackedPtr keepOther(other);
    third = other;  // third was the last holder of object 5
    EXPECT_EQ(1, counters.m_iDestroyed);
    EXPECT_EQ(3u, other.getUseCount());
    third = TrackedPtr();
    EXPECT_EQ(nullptr, third.getReferenceCount());
  }
  EXPECT_EQ(2, counters.m_iConstructed);
  EXPECT_EQ(2, counters.m_iDestroyed);
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
  EXPECT_TRUE(head.unique());
  head = head->m_pNext;
  EXPECT_EQ(3, head->m_tracked.value());
  head.reset();
  EXPECT_EQ(0, counters.alive());
}

TEST(CountedObjPtr, RawAssignmentReusesTheBlockOnlyWhenUnique) {
  Counters counters;
  TrackedPtr handle(new Tracked(counters, 1));
  ReferenceCount* pCount = handle.getReferenceCount();
  handle = new Tracked(counters, 2);
  EXPECT_EQ(1, counters.m_iDestroyed);
  EXPECT_EQ(pCount, handle.getReferenceCount());
  EXPECT_TRUE(handle.unique());
  // A null pointer keeps the block too: a counted null object.
  handle = nullptr;
  EXPECT_EQ(2, counters.m_iDestroyed);
  EXPECT_EQ(pCount, handle.getReferenceCount());
  EXPECT_EQ(1u, handle.getUseCount());
  handle = TrackedPtr();  // same (null) object pointer: the block stays
  EXPECT_EQ(pCount, handle.getReferenceCount());
  handle = new Tracked(counters, 3);
  EXPECT_EQ(pCount, handle.getReferenceCount());

  // Shared: a fresh count, the other holder keeps the old object.
  TrackedPtr other(handle);
  handle = new Tracked(counters, 4);
  EXPECT_EQ(2, counters.m_iDestroyed);
  EXPECT_NE(pCount, handle.getReferenceCount());
  EXPECT_TRUE(handle.unique() && other.unique());
  EXPECT_EQ(3, other->value());
  TrackedPtr third(handle);
  handle = nullptr;  // shared, then null: a count of its own
  EXPECT_NE(nullptr, handle.getReferenceCount());
  EXPECT_NE(third.getReferenceCount(), handle.getReferenceCount());
  EXPECT_TRUE(third.unique());
  // A handle that never had a count gets none for null.
  TrackedPtr fresh;
  fresh = nullptr;
  EXPECT_EQ(nullptr, fresh.getReferenceCount());
}

TEST(CountedObjPtr, MovingTransfersTheHoldWithoutCounting) {
  Counters counters;
  TrackedPtr source(new Tracked(counters, 1));
  ReferenceCount* pCount = source.getReferenceCount();
  TrackedPtr moved(std::move(source));
  EXPECT_EQ(nullptr, source.getReferenceCount());  // NOLINT: checking the moved-from state
  EXPECT_EQ(pCount, moved.getReferenceCount());
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

TEST(CountedObjPtr, WorksAsValueAndKeyInStandardContainers) {
  Counters counters;
  {
    std::vector<TrackedPtr> vHandles;
    TrackedPtr shared(new Tracked(counters, 0));
    for (int i = 0; i < 100; ++i) vHandles.push_back(i % 2 == 0 ? shared : TrackedPtr(new Tracked(counters, i)));
    EXPECT_EQ(51u, shared.getUseCount());  // reallocation moved, never copied
    std::unordered_map<std::string, TrackedPtr> byName{{"b", vHandles[1]}};
    std::unordered_set<TrackedPtr> seen(vHandles.begin(), vHandles.end());
    EXPECT_EQ(51u, seen.size());
    vHandles.clear();
    seen.clear();
    EXPECT_TRUE(shared.unique());
    EXPECT_EQ(2, counters.alive());  // shared and byName["b"]
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
  copy = new Tracked(counters, 2);  // unique: deletes under the lock, keeps the block
  copy.reset();
  LockWatchingDeleter::s_pWatched = nullptr;
  EXPECT_EQ(2, LockWatchingDeleter::s_iDeletions);
  EXPECT_EQ(2, LockWatchingDeleter::s_iDeletionsUnderLock);
  EXPECT_EQ(0, counters.alive());
}

struct OversizedCount : ReferenceCount {
  char m_acExtra[24] = {};
};
struct OversizedTSCount : TSReferenceCount {
  char m_acExtra[24] = {};
};

TEST(ReferenceCounts, UnderflowLockMisuseAndClassSizeAreReported) {
  LogCapture capture;
  AssertionRecorder recorder;
  ReferenceCount count;
  count.increment();
  count.decrement();
  count.decrement();
  EXPECT_EQ(0u, count.getCount());
  EXPECT_TRUE(recorder.expressions().empty());
  count.decrement();
  EXPECT_EQ(0u, count.getCount());
  TSReferenceCount* pCount = new TSReferenceCount();
  pCount->decrement();
  pCount->decrement();
  pCount->releaseLock();
  pCount->acquireLock();
  delete pCount;
  delete new ReferenceCount();
  delete new OversizedCount();
  delete new OversizedTSCount();
  EXPECT_EQ((std::vector<std::string>{"m_uiCount > 0", "m_uiCount > 0", "m_bLocked == true",
                                      "m_bLocked == false", "in_uiSize == sizeof(ReferenceCount)",
                                      "in_uiSize == sizeof(TSReferenceCount)"}),
            recorder.expressions());
  EXPECT_EQ("TSReferenceCount", recorder.records()[3].m_strModule);
  EXPECT_EQ("ReferenceCount", recorder.records()[4].m_strModule);
  bool bLogged = false;  // through the module logger
  for (const auto& line : capture.lines()) {
    bLogged |= line.m_strLogger == "tidewave.media.ReferenceCount" &&
               line.m_strMessage.find("Assertion failed : m_bLocked == false (TSReferenceCount:") == 0;
  }
  EXPECT_TRUE(bLogged);
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
