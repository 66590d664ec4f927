// The singleton registry and on-demand singletons.
// TIDEWAVE_THREADED_TEST
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/AssertionRecorder.h"
#include "tidewave/OnDemandSingleton.h"
#include "tidewave/infra/Singleton.h"

namespace Omvera {
namespace {

std::vector<int>& destroyedOrder() {
  static std::vector<int> s_vOrder;
  return s_vOrder;
}

void destroyInt(void* in_pObject) {
  destroyedOrder().push_back(*static_cast<int*>(in_pObject));
  delete static_cast<int*>(in_pObject);
}

TEST(SingletonRegistries, FirstRegistrationWinsAndCleanupIsNewestFirst) {
  SingletonRegistry& registry = SingletonRegistry::getInstance();
  int* pFirst = new int(1);
  EXPECT_EQ(pFirst, registry.registerSingleton("test.one", pFirst, destroyInt));
  int* pDuplicate = new int(99);
  EXPECT_EQ(pFirst, registry.registerSingleton("test.one", pDuplicate, destroyInt));
  delete pDuplicate;
  registry.registerSingleton("test.two", new int(2), destroyInt);
  registry.registerSingleton("test.three", new int(3), destroyInt);
  EXPECT_EQ(pFirst, registry.find("test.one"));
  EXPECT_EQ(nullptr, registry.find("test.none"));

  Omvera::Test::AssertionRecorder recorder;
  EXPECT_EQ(nullptr, registry.registerSingleton("test.null", nullptr, destroyInt));
  EXPECT_EQ(1u, recorder.count("in_pObject != 0 && in_pfCleanup != 0"));

  destroyedOrder().clear();
  registry.cleanup();
  EXPECT_EQ((std::vector<int>{3, 2, 1}), destroyedOrder());
  EXPECT_EQ(0u, registry.size());
}

std::atomic<int> s_iConstructed{0};
std::atomic<int> s_iDestroyed{0};

struct Inner {
  Inner() { ++s_iConstructed; }
  ~Inner() { ++s_iDestroyed; }
};

// Its constructor asks for another on-demand singleton on the same thread, as the shared
// engine task adapter does.
struct Outer {
  Outer() : m_pInner(OnDemandSingleton<Inner>::getInstance("test.Inner")) { ++s_iConstructed; }
  ~Outer() { ++s_iDestroyed; }
  Inner* m_pInner;
};

TEST(OnDemandSingletons, ConcurrentFirstUseCreatesOnceEvenWhenNested) {
  std::vector<Outer*> vSeen(8, nullptr);
  std::atomic<bool> bGo{false};
  std::vector<std::thread> vThreads;
  for (std::size_t i = 0; i < vSeen.size(); ++i) {
    vThreads.emplace_back([&, i] {
      while (!bGo.load()) std::this_thread::yield();
      vSeen[i] = OnDemandSingleton<Outer>::getInstance("test.Outer");
      // The second look-up comes from the thread's own cell.
      EXPECT_EQ(vSeen[i], OnDemandSingleton<Outer>::getInstance("test.Outer"));
    });
  }
  bGo = true;
  for (auto& thread : vThreads) thread.join();

  ASSERT_NE(nullptr, vSeen[0]);
  for (Outer* pSeen : vSeen) EXPECT_EQ(vSeen[0], pSeen);
  EXPECT_EQ(2, s_iConstructed.load());
  EXPECT_EQ(vSeen[0]->m_pInner, OnDemandSingleton<Inner>::getInstance("test.Inner"));
  EXPECT_EQ(vSeen[0], SingletonRegistry::getInstance().find("test.Outer"));

  SingletonRegistry::getInstance().cleanup();
  EXPECT_EQ(2, s_iDestroyed.load());
}

}  // namespace
}  // namespace Omvera
