// Task object proxies: proxy data identity, registration and release, and the
// event-processor proxy served by a real task.
// TIDEWAVE_THREADED_TEST
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "support/LogCapture.h"
#include "support/TaskTestSupport.h"
#include "support/TextOf.h"
#include "tidewave/Cloneable.h"
#include "tidewave/EventProcessorProxy.h"
#include "tidewave/TSTaskObjectPool.h"
#include "tidewave/TaskObjectProxy.h"
#include "tidewave/infra/Task.h"

namespace Omvera {
namespace {

using Test::Gate;
using Test::LogCapture;
using Test::runOnTask;
using Test::textOf;

// ---- helpers ----

class Target {
 public:
  virtual ~Target() = default;
};
using TargetContainer = TaskObjectContainer<Target>;

// A container that only counts what is asked of it.
class CountingContainer : public TargetContainer {
 public:
  void releaseObject(unsigned long in_ulObjectID) override {
    ++m_iReleases;
    m_ulLastID = in_ulObjectID;
  }
  CountedObjPtr<Target> getObject(unsigned long) override { return CountedObjPtr<Target>(); }
  bool insertObject(unsigned long in_ulObjectID, const CountedObjPtr<Target>&) override {
    ++m_iInserts;
    m_ulLastID = in_ulObjectID;
    return true;
  }
  int m_iReleases = 0;
  int m_iInserts = 0;
  unsigned long m_ulLastID = 0;
};

// ---- proxy data ----

TEST(TaskObjectProxyData, TheActiveFlagIsNotPartOfTheIdentity) {
  CountingContainer container;
  CountingContainer otherContainer;
  TaskObjectProxyData<Target> active(&container, 3);
  TaskObjectProxyData<Target> disabled(active);
  disabled.disableProxy();
  ASSERT_FALSE(disabled.proxyActive());

  EXPECT_TRUE(active == disabled);
  EXPECT_TRUE(proxyDataEqual(active, disabled));
  EXPECT_TRUE(TaskObjectProxyData<Target>::DataCompare()(active, disabled));
  EXPECT_EQ(active.hash(), disabled.hash());
  EXPECT_EQ(std::hash<TaskObjectProxyData<Target>>()(active),
            TaskObjectProxyData<Target>::HashFunc()(disabled));

  EXPECT_FALSE(active == TaskObjectProxyData<Target>(&container, 4));
  EXPECT_TRUE(active != TaskObjectProxyData<Target>(&otherContainer, 3));

  // A key disabled after insertion still finds its entry.
  std::unordered_map<TaskObjectProxyData<Target>, int, TaskObjectProxyData<Target>::HashFunc,
                     TaskObjectProxyData<Target>::DataCompare>
      hash;
  hash[active] = 42;
  hash[TaskObjectProxyData<Target>(&container, 4)] = 43;
  EXPECT_EQ(42, hash.at(disabled));
  EXPECT_EQ(2u, hash.size());
}

TEST(TaskObjectProxyData, TextFormNamesContainerIdAndState) {
  CountingContainer container;
  TaskObjectProxyData<Target> data(&container, 9);
  const std::string strAddress =
      textOf(static_cast<const void*>(static_cast<TaskObjectContainer<Target>*>(&container)));
  EXPECT_EQ("(" + strAddress + ",9,active)", textOf(data));
  EXPECT_EQ("(0,0,disabled)", textOf(TaskObjectProxyData<Target>()));
}

TEST(TaskObjectProxyData, OnlyActiveDataWithAContainerRegistersAndReleases) {
  CountingContainer container;
  TaskObjectProxyData<Target> data(&container, 5);
  CountedObjPtr<Target> pTarget(new Target());

  EXPECT_TRUE(data.insertObject(pTarget));
  EXPECT_EQ(1, container.m_iInserts);
  EXPECT_EQ(5u, container.m_ulLastID);

  data.disableProxy();
  data.disableProxy();
  EXPECT_EQ(1, container.m_iReleases);

  // Disabled data neither registers nor releases.
  EXPECT_FALSE(data.insertObject(pTarget));
  EXPECT_EQ(1, container.m_iInserts);
  // Nor does data without a container.
  EXPECT_FALSE(TaskObjectProxyData<Target>().insertObject(pTarget));
}

// ---- the event-processor proxy ----

class NumberEvent;
using NumberProcessor = EventProcessor<NumberEvent>;

// An event that knows which proxy sent it.
class NumberEvent : public Cloneable, public ProxyEvent<NumberProcessor> {
 public:
  NumberEvent(int in_iValue, const TaskObjectProxyData<NumberProcessor>& in_sender)
      : ProxyEvent<NumberProcessor>(in_sender), m_iValue(in_iValue) {}
  NumberEvent(const NumberEvent&) = default;
  ~NumberEvent() override { ++s_iDestroyed; }
  Cloneable* clone() const override { return new NumberEvent(*this); }
  int m_iValue;
  static std::atomic<int> s_iDestroyed;
};
std::atomic<int> NumberEvent::s_iDestroyed{0};

// Accepts even numbers and refuses odd ones; records (sender id, value).
class NumberRecorder : public NumberProcessor {
 public:
  bool processEvent(const NumberEvent& in_event) override {
    m_vSeen.emplace_back(in_event.getProxyData().getProxyID(), in_event.m_iValue);
    return in_event.m_iValue % 2 == 0;
  }
  std::vector<std::pair<unsigned long, int>> m_vSeen;
};

using ProcessorPool = TSTaskObjectPool<NumberProcessor, NumberRecorder>;
using ProcessorContainer = TaskObjectContainer<NumberProcessor>;
using NumberProxy = EventProcessorProxy<NumberEvent>;

class EventProcessorProxyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NumberEvent::s_iDestroyed = 0;
    m_task.setTaskName("Processor Task");
    ASSERT_TRUE(m_task.start());
    m_pool.getObjContainerAndIDGenerator(m_pContainer, m_pGenerator);
  }
  void TearDown() override {
    m_task.stop();
    m_task.waitUntilDone();
  }

  // Registers one processor under each proxy's id (on the task thread); returns it.
  NumberRecorder* registerProcessor(std::vector<NumberProxy*> in_vProxies) {
    NumberRecorder* pRecorder = nullptr;
    runOnTask(m_task, [&] {
      CountedObjPtr<NumberProcessor> pProcessor = m_pool.getObject();
      pRecorder = static_cast<NumberRecorder*>(pProcessor.get());
      for (NumberProxy* pProxy : in_vProxies) pProxy->getProxyData().insertObject(pProcessor);
    });
    return pRecorder;
  }

  NumberEvent* event(int in_iValue, const NumberProxy& in_proxy) {
    return new NumberEvent(in_iValue, in_proxy.getProxyData());
  }

  ProcessorPool m_pool;
  StaticReactorTaskImpl m_task;
  LimitedObjPtr<ProcessorContainer> m_pContainer;
  LimitedObjPtr<IDGenerator> m_pGenerator;
};

TEST_F(EventProcessorProxyTest, EventsReachTheProcessorAndARefusedOneAnswersOne) {
  LogCapture capture("tidewave.infra.Task", LogLevel::TRACE);
  NumberProxy first(*m_pGenerator, m_task.getActivationQueue(), m_pContainer);
  NumberProxy second(*m_pGenerator, m_task.getActivationQueue(), m_pContainer);
  NumberRecorder* pRecorder = registerProcessor({&first, &second});
  ASSERT_NE(nullptr, pRecorder);

  EXPECT_TRUE(first.enqueueEvent_MO(event(2, first), "EventProcessorProxyTest::even"));
  EXPECT_TRUE(second.enqueueEvent_MO(event(3, second), "EventProcessorProxyTest::odd"));
  EXPECT_TRUE(first.enqueueEvent_MO(event(4, first), "EventProcessorProxyTest::even"));
  ASSERT_TRUE(runOnTask(m_task, [] {}));

  const std::vector<std::pair<unsigned long, int>> vExpected{
      {first.getTaskObjectProxy().getID(), 2},
      {second.getTaskObjectProxy().getID(), 3},
      {first.getTaskObjectProxy().getID(), 4}};
  ASSERT_TRUE(runOnTask(m_task, [&] { EXPECT_EQ(vExpected, pRecorder->m_vSeen); }));
  EXPECT_EQ(1u, capture.count(LogLevel::WARN,
                              "Processor Task : method request EventProcessorProxyTest::odd "
                              "failed with status 1"));
  // Every event went with its method object.
  EXPECT_EQ(3, NumberEvent::s_iDestroyed.load());
}

TEST_F(EventProcessorProxyTest, PrioritiesDecideTheServingOrderThenArrival) {
  NumberProxy proxy(*m_pGenerator, m_task.getActivationQueue(), m_pContainer);
  NumberRecorder* pRecorder = registerProcessor({&proxy});
  ASSERT_NE(nullptr, pRecorder);

  Gate gate;
  ASSERT_TRUE(gate.holdTask(m_task));
  // (value, priority): higher priority first, equal priorities in queueing order.
  const std::vector<std::pair<int, unsigned long>> vQueued{
      {10, 0}, {20, 3}, {30, 1}, {40, 3}, {50, 7}, {60, 0}};
  for (const auto& item : vQueued) {
    ASSERT_TRUE(proxy.enqueueEvent_MO(event(item.first, proxy), "prio", item.second));
  }
  gate.open();
  std::vector<int> vOrder;
  ASSERT_TRUE(runOnTask(m_task, [&] {
    for (const auto& seen : pRecorder->m_vSeen) vOrder.push_back(seen.second);
  }));
  EXPECT_EQ((std::vector<int>{50, 20, 40, 30, 10, 60}), vOrder);
}

TEST_F(EventProcessorProxyTest, ADestroyedProxysIdIsDrawnAgainOnlyAfterTheTaskServedItsEvents) {
  Gate gate;
  ASSERT_TRUE(gate.holdTask(m_task));
  unsigned long ulOldID = 0;
  {
    NumberProxy old(*m_pGenerator, m_task.getActivationQueue(), m_pContainer);
    ulOldID = old.getTaskObjectProxy().getID();
    ASSERT_TRUE(old.enqueueEvent_MO(event(2, old), "old"));
  }
  // The old proxy's event still waits: a new proxy must not take its id.
  NumberProxy next(*m_pGenerator, m_task.getActivationQueue(), m_pContainer);
  EXPECT_NE(ulOldID, next.getTaskObjectProxy().getID());
  gate.open();
  ASSERT_TRUE(runOnTask(m_task, [] {}));
  EXPECT_EQ(1u, m_pGenerator->numIDsInUse());
  {
    NumberProxy reused(*m_pGenerator, m_task.getActivationQueue(), m_pContainer);
    EXPECT_EQ(ulOldID, reused.getTaskObjectProxy().getID());
  }

  // A task that no longer accepts work cannot carry the id: it goes back at once.
  m_task.stop();
  m_task.waitUntilDone();
  { NumberProxy late(*m_pGenerator, m_task.getActivationQueue(), m_pContainer); }
  EXPECT_EQ(1u, m_pGenerator->numIDsInUse());
}

}  // namespace
}  // namespace Omvera
