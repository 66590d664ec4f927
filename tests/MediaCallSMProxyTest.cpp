// The call proxy: its method objects served by a real engine task against a recording call
// (queue order, statuses for accepted, rejected and released targets, ownership of queued
// events).
// TIDEWAVE_THREADED_TEST
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/AssertionRecorder.h"
#include "support/FakeEngine.h"
#include "support/TaskTestSupport.h"
#include "support/TextOf.h"
#include "support/Wait.h"
#include "tidewave/MediaCallSM.h"
#include "tidewave/MediaCallSMProxy.h"
#include "tidewave/MediaEngineTask.h"
#include "tidewave/MediaEvent.h"
#include "tidewave/TSTaskObjectPool.h"
#include "tidewave/infra/ManualTimerScheduler.h"

namespace Omvera {
namespace {

using Test::AssertionRecorder;
using Test::FakeEngine;
using Test::Gate;
using Test::runOnTask;
using Test::textOf;
using Test::waitFor;

// What a fake call saw of one event.
struct SeenEvent {
  std::string m_strText;
  bool m_bProxyEvent;
  unsigned long m_ulProxyID;
  const void* m_pContainer;
  std::thread::id m_threadID;
};

// A call that records the events handed to it and answers as told, instead of routing them
// to endpoints.
class FakeCall : public MediaCallSM {
 public:
  bool processEvent(const MediaEvent& in_event) override {
    SeenEvent seen{textOf(in_event), false, 0, nullptr, std::this_thread::get_id()};
    if (const auto* pProxyEvent = dynamic_cast<const ProxyMediaEvent*>(&in_event)) {
      seen.m_bProxyEvent = true;
      seen.m_ulProxyID = pProxyEvent->getProxyData().getProxyID();
      seen.m_pContainer = pProxyEvent->getProxyData().getObjContainer().get();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vSeen.push_back(seen);
    return m_bAccept;
  }
  void setAccept(bool in_bAccept) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bAccept = in_bAccept;
  }
  std::vector<SeenEvent> seen() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_vSeen;
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<SeenEvent> m_vSeen;
  bool m_bAccept = true;
};

// An engine task that records the name and status of every request it served.
class RecordingTask : public MediaEngineTask {
 public:
  // The thread must be gone before the record goes.
  ~RecordingTask() override { killAndWait(); }

  std::vector<std::pair<std::string, int>> served() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_vServed;
  }

 protected:
  void postMOCallProcessing(int in_iStatus, const char* in_szName) override {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_vServed.emplace_back(in_szName != nullptr ? in_szName : "", in_iStatus);
    }
    MediaEngineTask::postMOCallProcessing(in_iStatus, in_szName);
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<std::pair<std::string, int>> m_vServed;
};

// A peer data that counts its live instances, to see queued events deleted.
class CountingPeerData : public MediaPeerData {
 public:
  CountingPeerData() { ++s_iLive; }
  CountingPeerData(const CountingPeerData&) : Object(), Cloneable(), MediaPeerData() { ++s_iLive; }
  ~CountingPeerData() override { --s_iLive; }
  CountingPeerData* clone() const override { return new CountingPeerData(*this); }
  static std::atomic<int> s_iLive;
};
std::atomic<int> CountingPeerData::s_iLive{0};

using CallPool = TSTaskObjectPool<MediaCallSM, FakeCall>;
using CallContainer = TaskObjectContainer<MediaCallSM>;

class MediaCallSMProxyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CountingPeerData::s_iLive = 0;
    m_pool.getObjContainerAndIDGenerator(m_pContainer, m_pIDGenerator);
    ASSERT_FALSE(m_pContainer.isNull());
    m_task.setTimerScheduler(LimitedObjPtr<TimerScheduler>(&m_timers));
    ASSERT_TRUE(m_task.start());
  }
  void TearDown() override {
    m_task.stop();
    m_task.waitUntilDone();
  }

  // A proxy of the engine task registering in in_pContainer; without arguments, in this
  // thread's container of the recording calls.
  std::unique_ptr<MediaCallSMProxy> makeProxy(IDGenerator& in_idGenerator,
                                              LimitedObjPtr<CallContainer> in_pContainer) {
    return std::make_unique<MediaCallSMProxy>(in_idGenerator, in_pContainer, m_engine, m_task,
                                              m_task.getActivationQueue(),
                                              Logger("tidewave.media.CallSMProxy"));
  }
  std::unique_ptr<MediaCallSMProxy> makeProxy() { return makeProxy(*m_pIDGenerator, m_pContainer); }

  // Takes a call from the pool and registers it under each of in_vProxies' ids, on the task
  // thread.
  FakeCall* registerCall(const std::vector<const MediaCallSMProxy*>& in_vProxies) {
    FakeCall* pCall = nullptr;
    EXPECT_TRUE(runOnTask(m_task, [&] {
      CountedObjPtr<MediaCallSM> pObj = m_pool.getObject();
      pCall = static_cast<FakeCall*>(pObj.get());
      for (const MediaCallSMProxy* pProxy : in_vProxies) {
        pProxy->getProxyData().insertObject(pObj);
      }
    }));
    return pCall;
  }

  // A new peer-data event for in_proxy's call; its peer data counts in
  // CountingPeerData::s_iLive until the event is deleted.
  MediaEvent* countedEvent(const MediaCallSMProxy& in_proxy,
                           MediaEndpoint::Direction in_eDirection) {
    return new PeerDataMediaEvent(in_eDirection, m_pContainer, in_proxy.getID(),
                                  new CountingPeerData());
  }

  // Waits until the request named in_szName has been served and recorded. A count of
  // served requests would not do: the record of a runOnTask request may come after
  // runOnTask returned.
  bool waitServed(const char* in_szName) {
    return waitFor([this, in_szName] { return !statusesOf(in_szName).empty(); });
  }

  // Statuses of the served requests named in_strName, in serving order.
  std::vector<int> statusesOf(const std::string& in_strName) const {
    std::vector<int> vStatuses;
    for (const auto& entry : m_task.served()) {
      if (entry.first == in_strName) vStatuses.push_back(entry.second);
    }
    return vStatuses;
  }

  FakeEngine m_engine;
  ManualTimerScheduler m_timers;  // the endpoint states' timers; never moved here
  CallPool m_pool;
  RecordingTask m_task;  // destroyed (killed) before the pool, the timers and the engine
  LimitedObjPtr<CallContainer> m_pContainer;
  LimitedObjPtr<IDGenerator> m_pIDGenerator;
};

TEST_F(MediaCallSMProxyTest, RequestsAreServedInQueueOrderOnTheTaskThread) {
  auto pProxy = makeProxy();
  auto pOther = makeProxy();
  FakeCall* pCall = registerCall({pProxy.get(), pOther.get()});
  ASSERT_NE(nullptr, pCall);
  std::thread::id taskThread;
  ASSERT_TRUE(runOnTask(m_task, [&taskThread] { taskThread = std::this_thread::get_id(); }));

  Gate gate;
  ASSERT_TRUE(gate.enqueueOn(m_task));
  EXPECT_TRUE(pProxy->enqueueProxyMediaEvent_MO(MediaEvent::eSTART_ENDPOINT,
                                                MediaEndpoint::TX_DIRECTION, "start"));
  EXPECT_TRUE(pProxy->enqueueEvent_MO(
      new HandleOOBMediaEvent(MediaEndpoint::RX_DIRECTION, m_pContainer, pProxy->getID(), 7),
      "oob"));
  EXPECT_TRUE(pOther->enqueueProxyMediaEvent_MO(MediaEvent::eGET_CAPACITY_FAILURE,
                                                MediaEndpoint::RX_DIRECTION, "other"));
  EXPECT_TRUE(pProxy->enqueueEvent_MO(
      new OpStatusMediaEvent(MediaEvent::eSTOP_ENDPOINT_STATUS, MediaEndpoint::RXTX_DIRECTION,
                             m_pContainer, pProxy->getID(), MediaEndpointCallback::EPT_OP_OK),
      "status"));
  EXPECT_TRUE(pProxy->enqueueProxyMediaEvent_MO(MediaEvent::eSTOP_ENDPOINT,
                                                MediaEndpoint::RXTX_DIRECTION, "stop"));
  gate.open();
  ASSERT_TRUE(waitServed("stop"));

  // (text, proxy that queued it): the events built by the method objects carry their proxy.
  const std::vector<std::pair<std::string, unsigned long>> vExpected{
      {"eSTART_ENDPOINT dir=TX_DIRECTION", pProxy->getID()},
      {"eHANDLE_OOB_EVENT dir=RX_DIRECTION Event (int):  7", pProxy->getID()},
      {"eGET_CAPACITY_FAILURE dir=RX_DIRECTION", pOther->getID()},
      {"eSTOP_ENDPOINT_STATUS dir=RXTX_DIRECTION EPT_OP_OK", pProxy->getID()},
      {"eSTOP_ENDPOINT dir=RXTX_DIRECTION", pProxy->getID()}};
  std::vector<std::pair<std::string, unsigned long>> vSeen;
  for (const SeenEvent& event : pCall->seen()) {
    vSeen.emplace_back(event.m_strText, event.m_ulProxyID);
    EXPECT_EQ(taskThread, event.m_threadID);
    EXPECT_TRUE(event.m_bProxyEvent);
    EXPECT_EQ(static_cast<const void*>(m_pContainer.get()), event.m_pContainer);
  }
  EXPECT_EQ(vExpected, vSeen);
  for (const char* szName : {"start", "oob", "other", "status", "stop"}) {
    EXPECT_EQ(std::vector<int>{0}, statusesOf(szName)) << szName;
  }
}

TEST_F(MediaCallSMProxyTest, ARejectedEventAnswersOne) {
  auto pProxy = makeProxy();
  FakeCall* pCall = registerCall({pProxy.get()});
  ASSERT_NE(nullptr, pCall);
  pCall->setAccept(false);

  EXPECT_TRUE(pProxy->enqueueProxyMediaEvent_MO(MediaEvent::eGET_CAPACITY,
                                                MediaEndpoint::RX_DIRECTION, "refused-plain"));
  EXPECT_TRUE(
      pProxy->enqueueEvent_MO(countedEvent(*pProxy, MediaEndpoint::TX_DIRECTION), "refused-event"));
  ASSERT_TRUE(waitServed("refused-event"));
  EXPECT_EQ(std::vector<int>{1}, statusesOf("refused-plain"));
  EXPECT_EQ(std::vector<int>{1}, statusesOf("refused-event"));
  EXPECT_EQ(2u, pCall->seen().size());
  // The served event was deleted with its method object.
  EXPECT_EQ(0, CountingPeerData::s_iLive.load());
}

TEST_F(MediaCallSMProxyTest, ARequestForAReleasedCallIsDroppedWithStatusZero) {
  auto pProxy = makeProxy();
  auto pNeverRegistered = makeProxy();
  FakeCall* pCall = registerCall({pProxy.get()});
  ASSERT_NE(nullptr, pCall);
  pCall->setAccept(false);  // a call that was reached would answer 1
  ASSERT_TRUE(runOnTask(m_task, [&pProxy] {
    TaskObjectProxyData<MediaCallSM> data = pProxy->getProxyData();
    data.disableProxy();
  }));

  EXPECT_TRUE(pProxy->enqueueProxyMediaEvent_MO(MediaEvent::eSTART_ENDPOINT,
                                                MediaEndpoint::RX_DIRECTION, "released-plain"));
  EXPECT_TRUE(pProxy->enqueueEvent_MO(countedEvent(*pProxy, MediaEndpoint::RX_DIRECTION),
                                      "released-event"));
  EXPECT_TRUE(pNeverRegistered->enqueueProxyMediaEvent_MO(
      MediaEvent::eSTOP_ENDPOINT, MediaEndpoint::TX_DIRECTION, "never-registered"));
  ASSERT_TRUE(waitServed("never-registered"));
  EXPECT_EQ(std::vector<int>{0}, statusesOf("released-plain"));
  EXPECT_EQ(std::vector<int>{0}, statusesOf("released-event"));
  EXPECT_EQ(std::vector<int>{0}, statusesOf("never-registered"));
  EXPECT_TRUE(pCall->seen().empty());
  EXPECT_EQ(0, CountingPeerData::s_iLive.load());
}

TEST_F(MediaCallSMProxyTest, NullEventsAreReportedAndNotQueued) {
  AssertionRecorder assertions;
  auto pProxy = makeProxy();
  FakeCall* pCall = registerCall({pProxy.get()});
  ASSERT_NE(nullptr, pCall);

  EXPECT_FALSE(pProxy->enqueueEvent_MO(nullptr, "null"));
  ASSERT_EQ(1u, assertions.count("in_pEvent != 0"));

  // A method object built without an event fails when served, without touching the call.
  int iStatus = -1;
  const TaskObjectProxyData<MediaCallSM> data = pProxy->getProxyData();
  ASSERT_TRUE(runOnTask(m_task, [&iStatus, data] {
    MediaCallSMProxy::Event_MO request(data, nullptr);
    iStatus = request.call();
  }));
  EXPECT_EQ(1, iStatus);
  EXPECT_EQ(1u, assertions.count("! m_pEvent.isNull()"));
  EXPECT_TRUE(pCall->seen().empty());
  EXPECT_TRUE(statusesOf("null").empty()) << "never queued";
}

class UnallocatedProxyMediaEventMO : public MediaCallSMProxy::ProxyMediaEvent_MO {
 public:
  using MediaCallSMProxy::ProxyMediaEvent_MO::ProxyMediaEvent_MO;
  int m_iExtra = 0;
};

class UnallocatedEventMO : public MediaCallSMProxy::Event_MO {
 public:
  using MediaCallSMProxy::Event_MO::Event_MO;
  int m_iExtra = 0;
};

TEST(MediaCallSMProxyMethodObjects, DerivedClassesWithoutTheirOwnAllocatorAreReported) {
  AssertionRecorder assertions;
  delete new UnallocatedProxyMediaEventMO(1, nullptr, MediaEvent::eSTOP,
                                          MediaEndpoint::RX_DIRECTION);
  delete new UnallocatedEventMO(TaskObjectProxyData<MediaCallSM>(),
                                new MediaEventImpl(MediaEvent::eKILL));
  EXPECT_EQ((std::vector<std::string>{"in_uiSize == sizeof(MediaCallSMProxy::ProxyMediaEvent_MO)",
                                      "in_uiSize == sizeof(MediaCallSMProxy::Event_MO)"}),
            assertions.expressions());
  EXPECT_EQ("MediaCallSMProxy", assertions.records().at(0).m_strModule);
}

}  // namespace
}  // namespace Omvera
