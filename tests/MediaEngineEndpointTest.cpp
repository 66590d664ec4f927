// The engine endpoint interface as engines see it: the defaults an engine inherits, the
// always-failing endpoint, and the engine facade's endpoint ids and processor default.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/AssertionRecorder.h"
#include "support/FakeEngine.h"
#include "tidewave/MediaCallData.h"
#include "tidewave/MediaEndpointConfig.h"
#include "tidewave/MediaEngineEndpoint.h"
#include "tidewave/MediaEngineImpl.h"
#include "tidewave/MediaNotificationEvent.h"

namespace Omvera {
namespace {

using Test::AssertionRecorder;
using Test::CallbackLog;
using Test::FakeEngine;
using Test::RecordingCallback;
using D = MediaEndpoint;

// A configuration that counts its live instances.
class CountedConfig : public MediaEndpointConfig {
 public:
  CountedConfig() { ++s_iAlive; }
  ~CountedConfig() override { --s_iAlive; }
  static int s_iAlive;
};
int CountedConfig::s_iAlive = 0;

// An engine endpoint of the oldest kind: it overrides only the requests without a call
// snapshot, and records what reaches them.
class TwoArgumentEndpoint : public MediaEngineEndpointImpl {
 public:
  explicit TwoArgumentEndpoint(MediaEndpointSpec* in_pSpec = nullptr)
      : MediaEngineEndpointImpl(in_pSpec, "ept-7") {}
  using MediaEngineEndpointNoT::configure;
  using MediaEngineEndpointNoT::start;
  bool getCapacity(Direction) override { return true; }
  bool configure(Direction in_eDirection, MediaEndpointConfig* in_pConfig) override {
    m_vSeen.push_back("configure " + std::string(getDirectionString(in_eDirection)));
    m_pConfig.reset(in_pConfig);
    return true;
  }
  bool start(Direction in_eDirection) override {
    m_vSeen.push_back("start " + std::string(getDirectionString(in_eDirection)));
    return false;
  }
  bool stop(Direction) override { return true; }

  std::vector<std::string> m_vSeen;
  std::unique_ptr<MediaEndpointConfig> m_pConfig;
};

// Only what MediaEngineEndpointNoT leaves pure.
class BareEndpoint : public MediaEngineEndpointImpl {
 public:
  BareEndpoint() : MediaEngineEndpointImpl(nullptr, nullptr) {}
  bool getCapacity(Direction) override { return true; }
  bool stop(Direction) override { return true; }
};

TEST(EngineEndpoint, TypeAndIdComeFromWhatTheEndpointWasCreatedWith) {
  TwoArgumentEndpoint plain;
  EXPECT_TRUE(plain.getEndpointSpec().isNull());
  EXPECT_EQ(MediaEndpointSpec::eSND_RECV, plain.getEptType());
  EXPECT_STREQ("ept-7", plain.getEptId());

  auto* pSpec = new ForkTxEndpointSpec("ept-1");
  TwoArgumentEndpoint fork(pSpec);  // owns and deletes the spec
  EXPECT_EQ(pSpec, fork.getEndpointSpec().get());
  EXPECT_EQ(MediaEndpointSpec::eFORK_TX, fork.getEptType());
  EXPECT_STREQ("", BareEndpoint().getEptId());
}

TEST(EngineEndpoint, SnapshotRequestsReachTheOverloadsWithoutSnapshot) {
  TwoArgumentEndpoint endpoint;
  const MediaCallData snapshot;
  auto* pConfig = new MediaEndpointConfig();
  EXPECT_TRUE(endpoint.configure(D::TX_DIRECTION, pConfig, snapshot));
  EXPECT_EQ(pConfig, endpoint.m_pConfig.get());
  EXPECT_FALSE(endpoint.start(D::RX_DIRECTION, snapshot));  // the override's answer
  EXPECT_EQ((std::vector<std::string>{"configure TX_DIRECTION", "start RX_DIRECTION"}),
            endpoint.m_vSeen);
}

TEST(EngineEndpoint, UnimplementedRequestsAssertRefuseAndFreeWhatTheyWereGiven) {
  AssertionRecorder recorder;
  BareEndpoint endpoint;
  const MediaCallData snapshot;
  EXPECT_FALSE(endpoint.configure(D::RX_DIRECTION, new CountedConfig(), snapshot));
  EXPECT_EQ(0, CountedConfig::s_iAlive);
  EXPECT_FALSE(endpoint.start(D::TX_DIRECTION, snapshot));
  EXPECT_EQ(nullptr, endpoint.getProcessor());
  ASSERT_EQ(3u, recorder.count());
  EXPECT_EQ("Not implemented : MediaEngineEndpointNoT::configure", recorder.records()[0].m_strExpression);
  EXPECT_EQ("MediaEngineEndpoint", recorder.records()[0].m_strModule);
  EXPECT_EQ("Not implemented : MediaEngineEndpointNoT::start", recorder.records()[1].m_strExpression);
  EXPECT_EQ("Not implemented : MediaEndpointImpl::getProcessor", recorder.records()[2].m_strExpression);
  EXPECT_EQ("MediaEndpoint", recorder.records()[2].m_strModule);

  // Peer notifications are accepted and freed by default, null included.
  EXPECT_TRUE(endpoint.notifyPeerEvent(
      new MediaNotificationEvent(D::RX_DIRECTION, MediaNotificationEvent::eFIRST_PACKET_DETECTED)));
  EXPECT_TRUE(endpoint.notifyPeerEvent(nullptr));
  EXPECT_TRUE(endpoint.handleOutOfBandEvent(3));
}

// A callback that answers as told, to see that the always-failing endpoint passes its
// answer on.
class AnsweringCallback : public MediaEngineEndpointCallback {
 public:
  AnsweringCallback(std::shared_ptr<CallbackLog> in_pLog, bool in_bAnswer)
      : m_recorder(std::move(in_pLog)), m_bAnswer(in_bAnswer) {}
  bool setCapacity(D::Direction in_eDirection, MediaEndpointCapacity* in_pCapacity) override {
    return m_recorder.setCapacity(in_eDirection, in_pCapacity) && m_bAnswer;
  }
  bool getCapacityFailure(D::Direction in_eDirection) override {
    return m_recorder.getCapacityFailure(in_eDirection) && m_bAnswer;
  }
  bool configureStatus(D::Direction in_eDirection, EptOpStatus in_eStatus) override {
    return m_recorder.configureStatus(in_eDirection, in_eStatus) && m_bAnswer;
  }
  bool startStatus(D::Direction in_eDirection, EptOpStatus in_eStatus) override {
    return m_recorder.startStatus(in_eDirection, in_eStatus) && m_bAnswer;
  }
  bool stopStatus(D::Direction in_eDirection, EptOpStatus in_eStatus) override {
    return m_recorder.stopStatus(in_eDirection, in_eStatus) && m_bAnswer;
  }
  bool notifyEvent(MediaNotificationEvent* in_pEvent) override {
    return m_recorder.notifyEvent(in_pEvent) && m_bAnswer;
  }
  bool sendPeerData(D::Direction, MediaPeerData* in_pPeerData) override {
    delete in_pPeerData;
    return m_bAnswer;
  }

 private:
  RecordingCallback m_recorder;
  bool m_bAnswer;
};

TEST(AlwaysFailEngineEndpoint, EveryRequestFailsAtOnceThroughTheCallback) {
  for (const bool bCallbackAnswer : {true, false}) {
    auto pLog = std::make_shared<CallbackLog>();
    {
      AlwaysFailMediaEngineEndpointImpl endpoint(new RedirectRxEndpointSpec("x"), "ept-9",
                                                 new AnsweringCallback(pLog, bCallbackAnswer));
      EXPECT_STREQ("ept-9", endpoint.getEptId());
      EXPECT_EQ(MediaEndpointSpec::eREDIRECT_RX, endpoint.getEptType());
      const MediaCallData snapshot;
      EXPECT_EQ(bCallbackAnswer, endpoint.getCapacity(D::TX_DIRECTION));
      EXPECT_EQ(bCallbackAnswer, endpoint.configure(D::RX_DIRECTION, new CountedConfig(), snapshot));
      EXPECT_EQ(0, CountedConfig::s_iAlive);
      EXPECT_EQ(bCallbackAnswer, endpoint.start(D::RX_DIRECTION, snapshot));
      EXPECT_EQ(bCallbackAnswer, endpoint.stop(D::TX_DIRECTION));
      EXPECT_FALSE(pLog->m_bDestroyed);
    }
    EXPECT_TRUE(pLog->m_bDestroyed);  // the endpoint owned its callback
    EXPECT_EQ((std::vector<std::string>{"capacity TX_DIRECTION EPT_OP_FAILED",
                                        "configure RX_DIRECTION EPT_OP_FAILED",
                                        "start RX_DIRECTION EPT_OP_FAILED",
                                        "stop TX_DIRECTION EPT_OP_FAILED"}),
              pLog->lines());
  }
}

// An engine that hands every request back with the arguments it was given.
class EchoEngine : public FakeEngine {
 public:
  MediaEndpoint* getEndpoint(MediaEndpointCallback* in_pCallback, const char* in_szCallId,
                             const char* in_szEptId, MediaEndpointSpec* in_pSpec) override {
    m_vEptIds.push_back(in_szEptId);
    m_vCallIds.push_back(in_szCallId);
    delete in_pCallback;
    delete in_pSpec;
    return nullptr;
  }
  std::vector<std::string> m_vEptIds;
  std::vector<std::string> m_vCallIds;
};

TEST(EngineFacade, EndpointsWithoutIdGetAFreshUuidEach) {
  EchoEngine engine;
  MediaEngine& facade = engine;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(nullptr, facade.getEndpointNoId(new RecordingCallback(std::make_shared<CallbackLog>()),
                                              "call-4", nullptr));
  }
  ASSERT_EQ(3u, engine.m_vEptIds.size());
  EXPECT_EQ(3u, std::set<std::string>(engine.m_vEptIds.begin(), engine.m_vEptIds.end()).size());
  for (const std::string& strId : engine.m_vEptIds) {
    ASSERT_EQ(36u, strId.size());
    EXPECT_EQ('4', strId[14]) << strId;  // a version-4 UUID text
  }
  EXPECT_EQ("call-4", engine.m_vCallIds[2]);
}

TEST(EngineFacade, ProcessorsAreNotImplementedByDefault) {
  AssertionRecorder recorder;
  FakeEngine engine;
  EXPECT_EQ(nullptr, engine.getEndpointProcessor("ept-1", nullptr));
  ASSERT_EQ(1u, recorder.count());
  EXPECT_EQ("Not implemented : MediaEngineGetEndpointImpl::getEndpointProcessor",
            recorder.records()[0].m_strExpression);
  EXPECT_EQ("MediaEngineImpl", recorder.records()[0].m_strModule);
}

}  // namespace
}  // namespace Omvera
