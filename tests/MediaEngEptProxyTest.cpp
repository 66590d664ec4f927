// The engine endpoint proxy driving a real event processor on a real engine task: what each
// request delivers, the copies and ownership of what it carries, and the failure paths.
// TIDEWAVE_THREADED_TEST
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <typeinfo>
#include <vector>

#include "support/AssertionRecorder.h"
#include "support/LogCapture.h"
#include "support/TaskTestSupport.h"
#include "tidewave/MediaCallData.h"
#include "tidewave/MediaEndpointConfig.h"
#include "tidewave/MediaEngEptProxy.h"
#include "tidewave/MediaPeerData.h"
#include "tidewave/TSTaskObjectPool.h"
#include "tidewave/infra/Task.h"

namespace Omvera {
namespace {

using D = MediaEndpoint;
using Test::AssertionRecorder;
using Test::FnRequest;
using Test::Gate;
using Test::LogCapture;
using Test::runOnTask;

// ---- helpers ----

// Live instances are counted on both threads: the engine task deletes what the events carry.
class CountingConfig : public MediaEndpointConfig {
 public:
  explicit CountingConfig(int in_iJitter) {
    setIntParameter("jitter", in_iJitter);
    ++s_iLive;
  }
  CountingConfig(const CountingConfig& in_rhs) : Object(), Cloneable(), MediaEndpointConfig(in_rhs) {
    ++s_iLive;
  }
  ~CountingConfig() override { --s_iLive; }
  CountingConfig* clone() const override { return new CountingConfig(*this); }
  int jitter() const {
    int iJitter = 0;
    getIntParameter("jitter", iJitter);
    return iJitter;
  }
  static std::atomic<int> s_iLive;
};
std::atomic<int> CountingConfig::s_iLive{0};

class CountingPeerData : public MediaPeerData {
 public:
  explicit CountingPeerData(int in_iSlot) : m_iSlot(in_iSlot) { ++s_iLive; }
  CountingPeerData(const CountingPeerData& in_rhs)
      : Object(), Cloneable(), MediaPeerData(), m_iSlot(in_rhs.m_iSlot) {
    ++s_iLive;
  }
  ~CountingPeerData() override { --s_iLive; }
  CountingPeerData* clone() const override { return new CountingPeerData(*this); }
  const int m_iSlot;
  static std::atomic<int> s_iLive;
};
std::atomic<int> CountingPeerData::s_iLive{0};

// What the engine's processor saw of one request, taken inside processEvent (the event is
// only borrowed there).
struct SeenRequest {
  std::thread::id m_thread;
  const std::type_info* m_pClass;
  MediaEvent::Type m_eType;
  D::Direction m_eDirection;
  const MediaEndpointConfig* m_pConfig;  // address only: the event deletes it
  int m_iJitter;
  bool m_bHasSnapshot;
  std::vector<std::string> m_vEptIds;
  int m_iRxSlotOfFirst;  // -1: no peer data
};

// The engine's processor: records each request and answers m_bAnswer. Task thread only.
class RecordingProcessor : public MediaEngEptProxyNoT::EngineProcessor {
 public:
  bool processEvent(const CloneableEvent& in_event) override {
    const auto& event = dynamic_cast<const MediaEvent&>(in_event);
    SeenRequest seen{std::this_thread::get_id(), &typeid(in_event), event.getType(),
                     event.getDirection(), nullptr, 0, false, {}, -1};
    if (const auto* pConfigure = dynamic_cast<const EptConfigMediaEvent*>(&in_event)) {
      seen.m_pConfig = pConfigure->getConfig().get();
      seen.m_iJitter = dynamic_cast<const CountingConfig&>(*pConfigure->getConfig()).jitter();
    }
    if (const auto* pStart = dynamic_cast<const MediaCallDataEventImpl*>(&in_event)) {
      seen.m_bHasSnapshot = true;
      for (const auto& entry : pStart->getCallData().m_vEptData) {
        seen.m_vEptIds.emplace_back(entry.getEptId());
      }
      const auto& vEntries = pStart->getCallData().m_vEptData;
      if (!vEntries.empty() && !vEntries[0].m_pRxPeerData.isNull()) {
        seen.m_iRxSlotOfFirst = dynamic_cast<const CountingPeerData&>(*vEntries[0].m_pRxPeerData).m_iSlot;
      }
    }
    m_vSeen.push_back(seen);
    return m_bAnswer;
  }
  std::vector<SeenRequest> m_vSeen;
  bool m_bAnswer = true;
};

using ProcessorPool = TSTaskObjectPool<MediaEngEptProxyNoT::EngineProcessor, RecordingProcessor>;

// A call snapshot of two endpoints; the first one's Rx side published slot in_iSlot.
MediaCallData snapshot(int in_iSlot) {
  MediaCallData callData;
  callData.m_vEptData.emplace_back(0, "ept-a", MediaEndpointSpec::eSND_RECV);
  callData.m_vEptData.emplace_back(1, "ept-b", MediaEndpointSpec::eSND_RECV);
  callData.m_vEptData[0].setPeerData(D::RX_DIRECTION, new CountingPeerData(in_iSlot));
  return callData;
}

class EngEptProxyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CountingConfig::s_iLive = 0;
    CountingPeerData::s_iLive = 0;
    m_engineTask.setTaskName("Engine Task");
    ASSERT_TRUE(m_engineTask.start());
    ASSERT_TRUE(runOnTask(m_engineTask, [this] { m_engineThread = std::this_thread::get_id(); }));
    m_pool.getObjContainerAndIDGenerator(m_pContainer, m_pGenerator);
  }
  void TearDown() override {
    m_engineTask.stop();
    m_engineTask.waitUntilDone();
    EXPECT_EQ(0, CountingConfig::s_iLive.load());
  }

  std::unique_ptr<MediaEngEptProxyNoT> makeProxy(MediaEndpointSpec* in_pSpec = nullptr) {
    return std::make_unique<MediaEngEptProxyNoT>(in_pSpec, "ept-7", *m_pGenerator,
                                                 m_engineTask.getActivationQueue(), m_pContainer);
  }

  // Registers a new processor under the proxy's id, as the engine's task does.
  RecordingProcessor* registerProcessor(const MediaEngEptProxyNoT& in_proxy) {
    RecordingProcessor* pProcessor = nullptr;
    EXPECT_TRUE(runOnTask(m_engineTask, [&] {
      CountedObjPtr<MediaEngEptProxyNoT::EngineProcessor> pObject = m_pool.getObject();
      pProcessor = static_cast<RecordingProcessor*>(pObject.get());
      in_proxy.getProxyData().insertObject(pObject);
    }));
    return pProcessor;
  }

  // Waits until the engine task has served everything queued so far; what the processor
  // recorded may then be read here.
  void drain() { ASSERT_TRUE(runOnTask(m_engineTask, [] {})); }

  AssertionRecorder m_assertions;
  // Declared before the task so that the task (and its thread) goes first.
  ProcessorPool m_pool;
  StaticReactorTaskImpl m_engineTask;
  std::thread::id m_engineThread;
  LimitedObjPtr<MediaEngEptProxyNoT::EngineProcessorContainer> m_pContainer;
  LimitedObjPtr<IDGenerator> m_pGenerator;
};

// ---- what each request delivers ----

TEST_F(EngEptProxyTest, EachRequestReachesTheProcessorOnTheEngineTaskAsItsEvent) {
  LogCapture taskLog("tidewave.infra.Task", LogLevel::WARN);
  auto pProxy = makeProxy();
  RecordingProcessor* pProcessor = registerProcessor(*pProxy);
  ASSERT_NE(nullptr, pProcessor);
  // The processor refuses everything, so that the task names each request in a warning.
  ASSERT_TRUE(runOnTask(m_engineTask, [&] { pProcessor->m_bAnswer = false; }));

  auto* pTxConfig = new CountingConfig(40);
  auto* pRxConfig = new CountingConfig(60);
  const MediaCallData callData = snapshot(5);
  struct Row {
    std::function<bool()> m_request;
    const char* m_szName;
    const std::type_info& m_class;
    MediaEvent::Type m_eType;
    D::Direction m_eDirection;
    const MediaEndpointConfig* m_pConfig;
    int m_iJitter;
    bool m_bHasSnapshot;
  };
  using P = MediaEngEptProxyNoT;
  const std::vector<Row> rows{
      {[&] { return pProxy->getCapacity(D::RX_DIRECTION); }, "getCapacity", typeid(P::ProxyEvt),
       MediaEvent::eGET_CAPACITY, D::RX_DIRECTION, nullptr, 0, false},
      {[&] { return pProxy->configure(D::TX_DIRECTION, pTxConfig); }, "configure",
       typeid(P::ConfigProxyEvt), MediaEvent::eCONFIGURE, D::TX_DIRECTION, pTxConfig, 40, false},
      // The snapshot overload sends the configuration only.
      {[&] { return pProxy->configure(D::RX_DIRECTION, pRxConfig, callData); }, "configure",
       typeid(P::ConfigProxyEvt), MediaEvent::eCONFIGURE, D::RX_DIRECTION, pRxConfig, 60, false},
      {[&] { return pProxy->start(D::TX_DIRECTION, callData); }, "start",
       typeid(P::MediaCallDataProxyEvt), MediaEvent::eSTART_ENDPOINT, D::TX_DIRECTION, nullptr, 0,
       true},
      {[&] { return pProxy->stop(D::RX_DIRECTION); }, "stop", typeid(P::ProxyEvt),
       MediaEvent::eSTOP_ENDPOINT, D::RX_DIRECTION, nullptr, 0, false},
  };
  for (const Row& row : rows) EXPECT_TRUE(row.m_request()) << row.m_szName;
  drain();

  ASSERT_EQ(rows.size(), pProcessor->m_vSeen.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    const SeenRequest& seen = pProcessor->m_vSeen[i];
    SCOPED_TRACE(row.m_szName);
    EXPECT_EQ(m_engineThread, seen.m_thread);
    EXPECT_EQ(row.m_class, *seen.m_pClass);
    EXPECT_EQ(row.m_eType, seen.m_eType);
    EXPECT_EQ(row.m_eDirection, seen.m_eDirection);
    EXPECT_EQ(row.m_pConfig, seen.m_pConfig);  // the configuration itself, not a copy
    EXPECT_EQ(row.m_iJitter, seen.m_iJitter);
    EXPECT_EQ(row.m_bHasSnapshot, seen.m_bHasSnapshot);
    if (row.m_bHasSnapshot) {
      EXPECT_EQ((std::vector<std::string>{"ept-a", "ept-b"}), seen.m_vEptIds);
      EXPECT_EQ(5, seen.m_iRxSlotOfFirst);
    }
  }
  const std::vector<std::string> vExpectedWarnings{
      "Engine Task : method request MediaEngEptProxyNoT::getCapacity failed with status 1",
      "Engine Task : method request MediaEngEptProxyNoT::configure failed with status 1",
      "Engine Task : method request MediaEngEptProxyNoT::configure failed with status 1",
      "Engine Task : method request MediaEngEptProxyNoT::start failed with status 1",
      "Engine Task : method request MediaEngEptProxyNoT::stop failed with status 1"};
  EXPECT_EQ(vExpectedWarnings, taskLog.messages(LogLevel::WARN));
  // The served events took their configurations with them.
  EXPECT_EQ(0, CountingConfig::s_iLive.load());
  EXPECT_EQ(0u, m_assertions.count());
}

TEST_F(EngEptProxyTest, StartCarriesTheSnapshotAsItWasWhenRequested) {
  auto pProxy = makeProxy();
  RecordingProcessor* pProcessor = registerProcessor(*pProxy);
  ASSERT_NE(nullptr, pProcessor);
  Gate gate;
  ASSERT_TRUE(gate.holdTask(m_engineTask));

  MediaCallData callData = snapshot(5);
  ASSERT_TRUE(pProxy->start(D::TX_DIRECTION, callData));
  EXPECT_EQ(2, CountingPeerData::s_iLive.load());  // the call's and the queued copy
  // The call moves on before the engine task gets to the request.
  callData.m_vEptData[0].setPeerData(D::RX_DIRECTION, new CountingPeerData(9));
  callData.m_vEptData[1].m_strEptId = "ept-changed";
  callData.m_vEptData.emplace_back(2, "ept-c", MediaEndpointSpec::eFORK_TX);
  gate.open();
  drain();

  ASSERT_EQ(1u, pProcessor->m_vSeen.size());
  EXPECT_EQ((std::vector<std::string>{"ept-a", "ept-b"}), pProcessor->m_vSeen[0].m_vEptIds);
  EXPECT_EQ(5, pProcessor->m_vSeen[0].m_iRxSlotOfFirst);
  EXPECT_EQ(1, CountingPeerData::s_iLive.load());  // the copy went with the served event
}

TEST_F(EngEptProxyTest, RequestsKeepTheirPlaceInTheEngineQueueAndOutliveTheProxy) {
  auto pProxy = makeProxy(new ForkTxEndpointSpec("ept-1"));
  RecordingProcessor* pProcessor = registerProcessor(*pProxy);
  ASSERT_NE(nullptr, pProcessor);
  Gate gate;
  ASSERT_TRUE(gate.holdTask(m_engineTask));
  ASSERT_TRUE(pProxy->configure(D::RX_DIRECTION, new CountingConfig(20), snapshot(3)));
  // Work of the engine's own, at the default priority, between two requests.
  ASSERT_TRUE(m_engineTask.enqueue(new FnRequest([pProcessor] {
                                     pProcessor->m_vSeen.push_back(SeenRequest{});
                                     return 0;
                                   }),
                                   "engine work"));
  ASSERT_TRUE(pProxy->stop(D::TX_DIRECTION));
  pProxy.reset();
  gate.open();
  drain();

  ASSERT_EQ(4u, pProcessor->m_vSeen.size());
  EXPECT_EQ(20, pProcessor->m_vSeen[0].m_iJitter);
  EXPECT_EQ(nullptr, pProcessor->m_vSeen[1].m_pClass);  // the engine's work, in arrival order
  EXPECT_EQ(MediaEvent::eSTOP_ENDPOINT, pProcessor->m_vSeen[2].m_eType);
  EXPECT_EQ(D::TX_DIRECTION, pProcessor->m_vSeen[2].m_eDirection);
  // The destroyed proxy's last word: the endpoint is gone.
  EXPECT_EQ(MediaEvent::eMEDIA_PROXY_DTOR, pProcessor->m_vSeen[3].m_eType);
  EXPECT_EQ(D::RXTX_DIRECTION, pProcessor->m_vSeen[3].m_eDirection);
}

// ---- requests that are not served ----

TEST_F(EngEptProxyTest, RequestsDeletedUnservedFreeWhatTheyCarry) {
  LogCapture taskLog("tidewave.infra.Task", LogLevel::TRACE);
  auto pProxy = makeProxy();
  RecordingProcessor* pProcessor = registerProcessor(*pProxy);
  ASSERT_NE(nullptr, pProcessor);
  Gate gate;
  ASSERT_TRUE(gate.holdTask(m_engineTask));
  ASSERT_TRUE(pProxy->configure(D::TX_DIRECTION, new CountingConfig(40)));
  {
    const MediaCallData callData = snapshot(5);
    ASSERT_TRUE(pProxy->start(D::TX_DIRECTION, callData));
  }
  EXPECT_EQ(1, CountingConfig::s_iLive.load());
  EXPECT_EQ(1, CountingPeerData::s_iLive.load());

  // The kill goes ahead of the queued requests, which are then deleted without being served.
  ASSERT_TRUE(m_engineTask.kill());
  gate.open();
  ASSERT_TRUE(m_engineTask.waitUntilDone());
  EXPECT_TRUE(pProcessor->m_vSeen.empty());
  EXPECT_EQ(0, CountingConfig::s_iLive.load());
  EXPECT_EQ(0, CountingPeerData::s_iLive.load());
  EXPECT_EQ(1u, taskLog.count(LogLevel::TRACE, "Engine Task : method request "
                                               "MediaEngEptProxyNoT::configure deleted unserved"));
  EXPECT_EQ(1u, taskLog.count(LogLevel::TRACE, "Engine Task : method request "
                                               "MediaEngEptProxyNoT::start deleted unserved"));
}

TEST_F(EngEptProxyTest, AfterTheEngineTaskStoppedRequestsAnswerFalseAndFreeWhatTheyCarry) {
  auto pProxy = makeProxy();
  ASSERT_TRUE(m_engineTask.stop());
  ASSERT_TRUE(m_engineTask.waitUntilDone());

  const MediaCallData callData = snapshot(5);
  EXPECT_FALSE(pProxy->getCapacity(D::RX_DIRECTION));
  EXPECT_FALSE(pProxy->configure(D::RX_DIRECTION, new CountingConfig(1)));
  EXPECT_FALSE(pProxy->configure(D::TX_DIRECTION, new CountingConfig(2), callData));
  EXPECT_FALSE(pProxy->start(D::TX_DIRECTION, callData));
  EXPECT_FALSE(pProxy->stop(D::TX_DIRECTION));
  EXPECT_EQ(0, CountingConfig::s_iLive.load());
  EXPECT_EQ(1, CountingPeerData::s_iLive.load());  // the caller's snapshot only
  EXPECT_EQ(0u, m_assertions.count());
}

TEST_F(EngEptProxyTest, ARequestWhoseProcessorIsGoneIsDroppedSilently) {
  LogCapture taskLog("tidewave.infra.Task", LogLevel::WARN);
  auto pProxy = makeProxy();
  RecordingProcessor* pProcessor = registerProcessor(*pProxy);
  ASSERT_NE(nullptr, pProcessor);
  // The engine's task lets go of the processor.
  ASSERT_TRUE(runOnTask(m_engineTask, [&] {
    TaskObjectProxyData<MediaEngEptProxyNoT::EngineProcessor> data = pProxy->getProxyData();
    data.disableProxy();
  }));

  EXPECT_TRUE(pProxy->getCapacity(D::TX_DIRECTION));
  EXPECT_TRUE(pProxy->configure(D::TX_DIRECTION, new CountingConfig(40)));
  EXPECT_TRUE(pProxy->start(D::TX_DIRECTION, snapshot(5)));
  EXPECT_TRUE(pProxy->stop(D::TX_DIRECTION));
  drain();

  EXPECT_TRUE(pProcessor->m_vSeen.empty());
  EXPECT_TRUE(taskLog.messages().empty());
  EXPECT_EQ(0, CountingConfig::s_iLive.load());
  EXPECT_EQ(0, CountingPeerData::s_iLive.load());
  EXPECT_EQ(0u, m_assertions.count());
}

// ---- what the proxy does not forward ----

TEST_F(EngEptProxyTest, StartWithoutSnapshotAndGetProcessorAssertAndQueueNothing) {
  LogCapture assertionLog("tidewave.infra.Assertion", LogLevel::ERROR);  // keeps them quiet
  auto* pSpec = new RedirectRxEndpointSpec("ept-1");
  auto pProxy = makeProxy(pSpec);
  RecordingProcessor* pProcessor = registerProcessor(*pProxy);
  ASSERT_NE(nullptr, pProcessor);

  EXPECT_FALSE(pProxy->start(D::RX_DIRECTION));
  EXPECT_EQ(nullptr, pProxy->getProcessor());
  EXPECT_TRUE(pProxy->handleOutOfBandEvent(4));
  EXPECT_TRUE(pProxy->notifyPeerEvent(nullptr));
  drain();
  EXPECT_TRUE(pProcessor->m_vSeen.empty());

  const auto records = m_assertions.records();
  ASSERT_EQ(2u, records.size());
  EXPECT_EQ("Not implemented : MediaEngineEndpointNoT::start", records[0].m_strExpression);
  EXPECT_EQ("MediaEngineEndpoint", records[0].m_strModule);
  EXPECT_EQ("Not implemented : MediaEndpointImpl::getProcessor", records[1].m_strExpression);
  EXPECT_EQ("MediaEndpoint", records[1].m_strModule);

  // The endpoint's identity is what the engine built it with.
  EXPECT_STREQ("ept-7", pProxy->getEptId());
  EXPECT_EQ(pSpec, pProxy->getEndpointSpec().get());
  EXPECT_EQ(MediaEndpointSpec::eREDIRECT_RX, pProxy->getEptType());
}

}  // namespace
}  // namespace Omvera
