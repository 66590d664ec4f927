// Object pools: reuse, giving back, the accounting checked at destruction and the per-thread
// proxy containers.
// TIDEWAVE_THREADED_TEST
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/AssertionRecorder.h"
#include "support/LogCapture.h"
#include "support/ReplacedNew.h"
#include "support/Wait.h"
#include "tidewave/ObjectPool.h"
#include "tidewave/TSTaskObjectPool.h"

namespace Omvera {
namespace {

using Test::AssertionRecorder;
using Test::LogCapture;
using Test::s_iFailingAllocations;

const char* const POOL_LOGGER = "tidewave.infra.StackObjectPool";

// A pooled object that counts its constructions and destructions.
class Widget {
 public:
  Widget() { ++s_iConstructed; }
  virtual ~Widget() { ++s_iDestroyed; }
  Widget(const Widget&) = delete;
  Widget& operator=(const Widget&) = delete;

  static void resetCounts() {
    s_iConstructed = 0;
    s_iDestroyed = 0;
  }
  static std::atomic<int> s_iConstructed;
  static std::atomic<int> s_iDestroyed;
};
std::atomic<int> Widget::s_iConstructed{0};
std::atomic<int> Widget::s_iDestroyed{0};

// The class a pool of Widget handles builds; has its own allocator, as the call endpoints do.
class PooledWidget : public Widget {
 public:
  int m_iPayload = 7;
  OMVERA_CLASS_ALLOCATOR(PooledWidget, "ObjectPoolTest")
};

using WidgetHandle = CountedObjPtr<Widget>;
using WidgetStackPool = StackObjectPool<Widget, PooledWidget>;
using WidgetTSPool = TSTaskObjectPool<Widget, PooledWidget>;

// What the calling thread gets from a pool: its container and id generator, asked for once.
struct ThreadView {
  explicit ThreadView(WidgetTSPool& in_pool) {
    in_pool.getObjContainerAndIDGenerator(m_pContainer, m_pIDGenerator);
  }
  LimitedObjPtr<TaskObjectContainer<Widget>> m_pContainer;
  LimitedObjPtr<IDGenerator> m_pIDGenerator;
};

class ObjectPoolFixture : public ::testing::Test {
 protected:
  void SetUp() override { Widget::resetCounts(); }
  CachedLLLogger m_logger{POOL_LOGGER};
};

using StackObjectPoolTest = ObjectPoolFixture;
using TSTaskObjectPoolTest = ObjectPoolFixture;

TEST_F(StackObjectPoolTest, HandsBackTheSameObjectInsteadOfBuildingAnother) {
  AssertionRecorder assertions;
  WidgetStackPool pool(m_logger);

  WidgetHandle pA = pool.getObject();
  WidgetHandle pB = pool.getObject();
  ASSERT_FALSE(pA.isNull());
  EXPECT_EQ(7, static_cast<PooledWidget*>(pA.get())->m_iPayload);
  Widget* pRawA = pA.get();
  Widget* pRawB = pB.get();

  EXPECT_TRUE(pool.takeBack(pA));
  EXPECT_TRUE(pA.isNull());
  EXPECT_TRUE(pool.takeBack(pB));
  EXPECT_EQ(2u, pool.getNumUnusedObject());
  EXPECT_EQ(0u, pool.getNumObjectOut());

  // The most recently given back comes out first; nothing new is built.
  WidgetHandle pFirst = pool.getObject();
  WidgetHandle pSecond = pool.getObject();
  EXPECT_EQ(pRawB, pFirst.get());
  EXPECT_EQ(pRawA, pSecond.get());
  EXPECT_EQ(2, Widget::s_iConstructed.load());
  pool.takeBack(pFirst);
  pool.takeBack(pSecond);
  EXPECT_EQ(0u, assertions.count());
}

TEST_F(StackObjectPoolTest, TakeBackOfASharedOrNullHandleOnlyDropsTheCallersHold) {
  LogCapture capture(POOL_LOGGER, LogLevel::WARN);
  AssertionRecorder assertions;
  WidgetStackPool pool(m_logger);
  WidgetHandle pHandle = pool.getObject();
  WidgetHandle pOther = pHandle;

  EXPECT_FALSE(pool.takeBack(pHandle));
  EXPECT_TRUE(pHandle.isNull());
  EXPECT_TRUE(pOther.unique());

  // The object is not pooled: its last holder deletes it.
  pOther.reset();
  EXPECT_EQ(1, Widget::s_iDestroyed.load());

  WidgetHandle pEmpty;
  EXPECT_FALSE(pool.takeBack(pEmpty));
  // A handle that kept its count block after `= nullptr` is null too.
  WidgetHandle pCleared = pool.getObject();
  pCleared = static_cast<Widget*>(nullptr);
  EXPECT_FALSE(pool.takeBack(pCleared));
  EXPECT_TRUE(pCleared.isNull());
  EXPECT_EQ(0u, pool.getNumUnusedObject());
  EXPECT_EQ(0u, assertions.count());
}

TEST_F(StackObjectPoolTest, DestructionWarnsAboutObjectsNeverGivenBackAndDeletesIdleOnes) {
  LogCapture capture(POOL_LOGGER, LogLevel::WARN);
  WidgetHandle pKept;
  {
    WidgetStackPool pool(m_logger);
    pKept = pool.getObject();
    WidgetHandle pIdle = pool.getObject();
    pool.takeBack(pIdle);
  }
  EXPECT_TRUE(capture.contains(LogLevel::WARN,
                               "it looks like you did not put back 1 object(s) in a StackObjectPool"));
  // The idle object went with the pool; the one handed out outlives it.
  EXPECT_EQ(1, Widget::s_iDestroyed.load());
  EXPECT_FALSE(pKept.isNull());
  pKept.reset();
  EXPECT_EQ(2, Widget::s_iDestroyed.load());
}

// ---- TSTaskObjectPool and its ProxyData containers ----

TEST_F(TSTaskObjectPoolTest, InsertGrowsTheContainerAndLooksUpByProxyId) {
  LogCapture capture(POOL_LOGGER, LogLevel::WARN);
  AssertionRecorder assertions;
  WidgetTSPool pool;
  ThreadView view(pool);
  ASSERT_FALSE(view.m_pContainer.isNull());

  WidgetHandle pObj = pool.getObject();
  EXPECT_TRUE(view.m_pContainer->insertObject(5, pObj));
  EXPECT_EQ(pObj, view.m_pContainer->getObject(5));
  for (unsigned long ulID : {0ul, 4ul, 6ul, 1000000ul}) {
    EXPECT_TRUE(view.m_pContainer->getObject(ulID).isNull()) << ulID;
  }
  EXPECT_EQ(0u, assertions.count());

  // A null handle is refused and leaves the entry as it was.
  EXPECT_FALSE(view.m_pContainer->insertObject(5, WidgetHandle()));
  ASSERT_EQ(1u, assertions.count("! in_pObj.isNull()"));
  EXPECT_EQ("TSTaskObjectPool", assertions.records().at(0).m_strModule);
  EXPECT_EQ(pObj, view.m_pContainer->getObject(5));
}

// An object the container alone holds goes back to the pool when replaced or released; one
// held elsewhere only loses the container's hold.
TEST_F(TSTaskObjectPoolTest, ReplacedOrReleasedLastHoldsGoBackToThePoolSharedOnesAreDropped) {
  LogCapture capture(POOL_LOGGER, LogLevel::WARN);
  AssertionRecorder assertions;
  WidgetTSPool pool;
  ThreadView view(pool);

  WidgetHandle pOld = pool.getObject();
  Widget* pRawOld = pOld.get();
  view.m_pContainer->insertObject(0, pOld);
  pOld.reset();
  WidgetHandle pNew = pool.getObject();
  view.m_pContainer->insertObject(0, pNew);
  EXPECT_EQ(pNew, view.m_pContainer->getObject(0));
  WidgetHandle pReused = pool.getObject();
  EXPECT_EQ(pRawOld, pReused.get());
  view.m_pContainer->insertObject(1, pReused);
  pReused.reset();

  view.m_pContainer->releaseObject(1);
  EXPECT_TRUE(view.m_pContainer->getObject(1).isNull());
  EXPECT_EQ(1u, pool.getNumUnusedObject());
  view.m_pContainer->releaseObject(0);   // pNew still holds it: not pooled
  view.m_pContainer->releaseObject(0);   // already empty
  view.m_pContainer->releaseObject(99);  // beyond the container
  EXPECT_TRUE(view.m_pContainer->getObject(0).isNull());
  EXPECT_EQ(1u, pool.getNumUnusedObject());
  EXPECT_TRUE(pNew.unique());
  EXPECT_EQ(0, Widget::s_iDestroyed.load());
  EXPECT_EQ(0u, assertions.count());
}

TEST_F(TSTaskObjectPoolTest, AThreadWhoseEntryCannotBeCreatedGetsNothingAndThePoolStaysUsable) {
  LogCapture capture("tidewave.infra.StackObjectPool", LogLevel::ERROR);
  WidgetTSPool pool;
  // On a thread of its own, so that a lock left held fails the bounded wait, not the run.
  std::atomic<bool> bDone{false};
  std::atomic<bool> bThrew{false};
  std::atomic<bool> bNullOnFailure{false};
  std::atomic<bool> bServedAfter{false};
  std::thread([&] {
    s_iFailingAllocations = 1;
    try {
      ThreadView failed(pool);
      bNullOnFailure = failed.m_pContainer.isNull() && failed.m_pIDGenerator.isNull();
    } catch (const std::bad_alloc&) {
      bThrew = true;
    }
    s_iFailingAllocations = 0;
    ThreadView view(pool);
    bServedAfter = !view.m_pContainer.isNull() && pool.getNumProxyData() == 1u;
    bDone = true;
  }).detach();
  ASSERT_TRUE(Omvera::Test::waitFor([&] { return bDone.load(); })) << "the pool's lock was left held";
  EXPECT_FALSE(bThrew.load());
  EXPECT_TRUE(bNullOnFailure.load());
  EXPECT_TRUE(bServedAfter.load());
  const std::vector<std::string> vErrors = capture.messages(LogLevel::ERROR);
  ASSERT_EQ(1u, vErrors.size());
  EXPECT_EQ(0u, vErrors[0].find("no memory for the proxy data of thread "));
}

TEST_F(TSTaskObjectPoolTest, ThreadsAskingTogetherEachGetTheirOwnContainer) {
  WidgetTSPool pool;
  constexpr int NUM_THREADS = 6;
  constexpr int NUM_ROUNDS = 50;
  std::vector<const void*> vContainers(NUM_THREADS, nullptr);
  std::vector<const void*> vGenerators(NUM_THREADS, nullptr);
  std::vector<int> vMismatches(NUM_THREADS, 0);
  std::atomic<int> iReady{0};

  std::vector<std::thread> vThreads;
  for (int i = 0; i < NUM_THREADS; ++i) {
    vThreads.emplace_back([&, i] {
      ++iReady;
      while (iReady.load() < NUM_THREADS) std::this_thread::yield();
      for (int round = 0; round < NUM_ROUNDS; ++round) {
        ThreadView view(pool);
        if (round == 0) {
          vContainers[i] = view.m_pContainer.get();
          vGenerators[i] = view.m_pIDGenerator.get();
          // Ids drawn on this thread come from this thread's own generator.
          if (view.m_pIDGenerator->getID() != 0) ++vMismatches[i];
        } else if (vContainers[i] != view.m_pContainer.get() ||
                   vGenerators[i] != view.m_pIDGenerator.get()) {
          ++vMismatches[i];
        }
      }
    });
  }
  for (auto& thread : vThreads) thread.join();

  EXPECT_EQ(static_cast<std::size_t>(NUM_THREADS), pool.getNumProxyData());
  std::set<const void*> containers(vContainers.begin(), vContainers.end());
  std::set<const void*> generators(vGenerators.begin(), vGenerators.end());
  EXPECT_EQ(static_cast<std::size_t>(NUM_THREADS), containers.size());
  EXPECT_EQ(static_cast<std::size_t>(NUM_THREADS), generators.size());
  EXPECT_EQ(0u, containers.count(nullptr));
  for (int i = 0; i < NUM_THREADS; ++i) EXPECT_EQ(0, vMismatches[i]) << "thread " << i;

  // The test thread's container is yet another one, the same at every call.
  ThreadView mine(pool), again(pool);
  EXPECT_EQ(mine.m_pContainer, again.m_pContainer);
  EXPECT_EQ(mine.m_pIDGenerator, again.m_pIDGenerator);
  EXPECT_EQ(0u, containers.count(mine.m_pContainer.get()));
}

}  // namespace
}  // namespace Omvera
