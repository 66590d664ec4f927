// The call proxy: its method objects served by a real engine task against a counting call
// (statuses for rejected, released and unknown targets, ownership of queued events).
// TIDEWAVE_THREADED_TEST
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "support/AssertionRecorder.h"
#include "support/FakeEngine.h"
#include "support/TaskTestSupport.h"
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
using Test::runOnTask;
using Test::waitFor;

// A call that counts the events handed to it and answers as told, instead of routing them
// to endpoints.
class FakeCall : public MediaCallSM {
 public:
  bool processEvent(const MediaEvent&) override {
    ++m_iSeen;
    return m_bAccept;
  }
  void setAccept(bool in_bAccept) { m_bAccept = in_bAccept; }
  std::size_t numSeen() const { return static_cast<std::size_t>(m_iSeen.load()); }

 private:
  std::atomic<int> m_iSeen{0};
  std::atomic<bool> m_bAccept{true};
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

  // A proxy of the engine task registering in this thread's container of the fake calls.
  std::unique_ptr<MediaCallSMProxy> makeProxy() {
    return std::make_unique<MediaCallSMProxy>(*m_pIDGenerator, m_pContainer, m_engine, m_task,
                                              m_task.getActivationQueue(),
                                              Logger("tidewave.media.CallSMProxy"));
  }

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

// A call that refuses answers 1; a released or never-registered one is not reached and 0 is
// answered. Served events go with their method objects.
TEST_F(MediaCallSMProxyTest, StatusesOfRefusedReleasedAndUnknownTargets) {
  auto pProxy = makeProxy();
  auto pReleased = makeProxy();
  auto pNeverRegistered = makeProxy();
  FakeCall* pCall = registerCall({pProxy.get(), pReleased.get()});
  ASSERT_NE(nullptr, pCall);
  pCall->setAccept(false);
  ASSERT_TRUE(runOnTask(m_task, [&pReleased] {
    TaskObjectProxyData<MediaCallSM> data = pReleased->getProxyData();
    data.disableProxy();
  }));

  EXPECT_TRUE(pProxy->enqueueProxyMediaEvent_MO(MediaEvent::eGET_CAPACITY,
                                                MediaEndpoint::RX_DIRECTION, "refused-plain"));
  EXPECT_TRUE(
      pProxy->enqueueEvent_MO(countedEvent(*pProxy, MediaEndpoint::TX_DIRECTION), "refused-event"));
  EXPECT_TRUE(pReleased->enqueueProxyMediaEvent_MO(MediaEvent::eSTART_ENDPOINT,
                                                   MediaEndpoint::RX_DIRECTION, "released-plain"));
  EXPECT_TRUE(pReleased->enqueueEvent_MO(countedEvent(*pReleased, MediaEndpoint::RX_DIRECTION),
                                         "released-event"));
  EXPECT_TRUE(pNeverRegistered->enqueueProxyMediaEvent_MO(
      MediaEvent::eSTOP_ENDPOINT, MediaEndpoint::TX_DIRECTION, "never-registered"));
  ASSERT_TRUE(waitServed("never-registered"));
  for (const char* szName : {"refused-plain", "refused-event"}) {
    EXPECT_EQ(std::vector<int>{1}, statusesOf(szName)) << szName;
  }
  for (const char* szName : {"released-plain", "released-event", "never-registered"}) {
    EXPECT_EQ(std::vector<int>{0}, statusesOf(szName)) << szName;
  }
  EXPECT_EQ(2u, pCall->numSeen());
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
  EXPECT_EQ(0u, pCall->numSeen());
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
