// Media events: type names, exact text forms, proxy data carried, deep clones and the
// class-specific allocators.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "support/AssertionRecorder.h"
#include "support/NullCallContainer.h"
#include "support/TextOf.h"
#include "tidewave/MediaCallSM.h"
#include "tidewave/MediaEngEptProxy.h"
#include "tidewave/MediaEvent.h"
#include "tidewave/MediaNotificationEvent.h"

namespace Omvera {
namespace {

using Test::AssertionRecorder;
using Test::NullCallContainer;
using Test::textOf;

// A configuration that counts its live instances; clones keep the class.
class CountingConfig : public MediaEndpointConfig {
 public:
  CountingConfig() { ++s_iLive; }
  CountingConfig(const CountingConfig& in_rhs) : Object(), Cloneable(), MediaEndpointConfig(in_rhs) {
    ++s_iLive;
  }
  ~CountingConfig() override { --s_iLive; }
  CountingConfig* clone() const override { return new CountingConfig(*this); }
  static int s_iLive;
};
int CountingConfig::s_iLive = 0;

class CountingPeerData : public MediaPeerData {
 public:
  explicit CountingPeerData(int in_iValue) : m_iValue(in_iValue) { ++s_iLive; }
  CountingPeerData(const CountingPeerData& in_rhs)
      : Object(), Cloneable(), MediaPeerData(), m_iValue(in_rhs.m_iValue) {
    ++s_iLive;
  }
  ~CountingPeerData() override { --s_iLive; }
  CountingPeerData* clone() const override { return new CountingPeerData(*this); }
  int m_iValue;
  static int s_iLive;
};
int CountingPeerData::s_iLive = 0;

class TimerId : public TimeoutData {};

class MediaEventTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CountingConfig::s_iLive = 0;
    CountingPeerData::s_iLive = 0;
  }
  NullCallContainer m_container;
  AssertionRecorder m_assertions;
};

// ---- type names, exact texts, clones ----

// The first and last names, a few between, and the gaps around eUNDEF.
TEST(MediaEventType, NamesMatchTheEnumerators) {
  const std::vector<std::pair<int, const char*>> names = {
      {0, "eGET_CAPACITY"}, {9, "eSEND_PEER_DATA"},     {16, "eMEDIA_PROXY_DTOR"},
      {20, "eDERIVED_MEDIA_EVENT"}, {23, "eUNDEF"}, {21, "???"}, {24, "???"}, {-1, "???"}};
  for (const auto& entry : names) {
    EXPECT_STREQ(entry.second, MediaEvent::getTypeString(static_cast<MediaEvent::Type>(entry.first)))
        << entry.first;
  }
}

// Every event class: its exact text, and a clone of the same dynamic class writing the same.
TEST_F(MediaEventTest, TextFormsAndClonesThroughTheInterface) {
  using D = MediaEndpoint;
  auto* pConfig = new CountingConfig();
  pConfig->setIntParameter("jitter", 40);
  const std::string strConfigText = textOf(*pConfig);
  ASSERT_FALSE(strConfigText.empty());
  std::vector<std::pair<std::unique_ptr<MediaEvent>, std::string>> events;
  auto add = [&](MediaEvent* in_pEvent, const std::string& in_strText) {
    events.emplace_back(std::unique_ptr<MediaEvent>(in_pEvent), in_strText);
  };
  add(new MediaEventImpl(MediaEvent::eSTOP), "eSTOP");
  add(new MediaEventWithDirImpl(MediaEvent::eALL_TX_STOPPED, D::RX_DIRECTION),
      "eALL_TX_STOPPED dir=RX_DIRECTION");
  add(new MediaEventWithDirImpl(static_cast<MediaEvent::Type>(22), static_cast<D::Direction>(9)),
      "??? dir=???");
  add(new ProxyMediaEvent(MediaEvent::eSTART_ENDPOINT, D::TX_DIRECTION, &m_container, 5),
      "eSTART_ENDPOINT dir=TX_DIRECTION");
  add(new OpStatusMediaEvent(MediaEvent::eCONFIGURE_STATUS, D::RX_DIRECTION, &m_container, 1,
                             MediaEndpointCallback::EPT_OP_FAILED),
      "eCONFIGURE_STATUS dir=RX_DIRECTION EPT_OP_FAILED");
  add(new OpStatusMediaEvent(MediaEvent::eSTART_ENDPOINT_STATUS, D::TX_DIRECTION, &m_container, 1,
                             static_cast<MediaEndpointCallback::EptOpStatus>(2)),
      "eSTART_ENDPOINT_STATUS dir=TX_DIRECTION ???");
  add(new HandleOOBMediaEvent(D::RXTX_DIRECTION, &m_container, 1, 7),
      "eHANDLE_OOB_EVENT dir=RXTX_DIRECTION Event (int):  7");
  add(new SetCapacityMediaEvent(D::TX_DIRECTION, &m_container, 1, new MediaEndpointCapacity()),
      "SetCapacityMediaEvent eSET_CAPACITY dir=TX_DIRECTION");
  add(new ConfigureMediaEvent(D::RX_DIRECTION, &m_container, 1, nullptr), "eCONFIGURE dir=RX_DIRECTION");
  add(new ConfigureMediaEvent(D::TX_DIRECTION, &m_container, 2, pConfig),
      "eCONFIGURE dir=TX_DIRECTION " + strConfigText);
  add(new PeerDataMediaEvent(D::TX_DIRECTION, &m_container, 1, new CountingPeerData(3)),
      "eSEND_PEER_DATA dir=TX_DIRECTION");
  add(new MediaEngineNotificationEvent(
          D::RX_DIRECTION, &m_container, 1,
          new MediaNotificationEvent(D::RX_DIRECTION, MediaNotificationEvent::eFIRST_PACKET_DETECTED)),
      "eNOTIFICATION dir=RX_DIRECTION");
  add(new MediaCallSM::TimeoutProxyMediaEvent(ACE_Time_Value(3), nullptr, D::TX_DIRECTION,
                                              TaskObjectProxyData<MediaCallSM>(&m_container, 1)),
      "eTIMEOUT dir=TX_DIRECTION");
  add(new EptConfigMediaEvent(D::RXTX_DIRECTION, nullptr), "eCONFIGURE dir=RXTX_DIRECTION");
  add(new EptConfigMediaEvent(D::RX_DIRECTION, new CountingConfig(*pConfig)),
      "eCONFIGURE dir=RX_DIRECTION " + strConfigText);
  add(new MediaEngEptProxyNoT::ProxyEvt(MediaEvent::eSTOP_ENDPOINT, D::RX_DIRECTION),
      "eSTOP_ENDPOINT dir=RX_DIRECTION");
  add(new MediaEngEptProxyNoT::ConfigProxyEvt(D::TX_DIRECTION, new CountingConfig()),
      "eCONFIGURE dir=TX_DIRECTION ");  // an empty map writes nothing
  for (const auto& entry : events) {
    EXPECT_EQ(entry.second, textOf(*entry.first));
    std::unique_ptr<MediaEvent> pClone(entry.first->clone());
    const MediaEvent& original = *entry.first;
    const MediaEvent& clone = *pClone;
    EXPECT_EQ(typeid(original), typeid(clone)) << entry.second;
    EXPECT_EQ(entry.second, textOf(*pClone));
  }
  EXPECT_EQ(0u, m_assertions.count());
}

// Clones keep the proxy data, the active flag included; a timeout event keeps its expiry too.
TEST_F(MediaEventTest, ProxyEventsAndTheirClonesCarryTheProxyData) {
  TaskObjectProxyData<MediaCallSM> disabled(&m_container, 9);
  disabled.disableProxy();
  const ProxyMediaEvent event(MediaEvent::eGET_CAPACITY, MediaEndpoint::RX_DIRECTION, disabled);
  std::unique_ptr<ProxyMediaEvent> pClone(event.clone());
  EXPECT_EQ(9u, pClone->getProxyData().getProxyID());
  EXPECT_EQ(&m_container, pClone->getProxyData().getObjContainer().get());
  EXPECT_FALSE(pClone->getProxyData().proxyActive());
  EXPECT_TRUE(ProxyMediaEvent(MediaEvent::eSTOP, MediaEndpoint::TX_DIRECTION, &m_container, 5)
                  .getProxyData()
                  .proxyActive());

  const TimerId timer;
  const ACE_Time_Value expiry(1700000000, 250000);
  const MediaCallSM::TimeoutProxyMediaEvent timeout(expiry, &timer, MediaEndpoint::TX_DIRECTION,
                                                    TaskObjectProxyData<MediaCallSM>(&m_container, 8));
  std::unique_ptr<MediaEvent> pTimeoutClone(timeout.clone());
  const auto* pTimeout = dynamic_cast<const TimeoutEvent*>(pTimeoutClone.get());
  const auto* pProxy = dynamic_cast<const ProxyMediaEvent*>(pTimeoutClone.get());
  ASSERT_TRUE(pTimeout != nullptr && pProxy != nullptr);
  EXPECT_EQ(expiry, pTimeout->getTimeValue());
  EXPECT_EQ(&timer, pTimeout->getData());
  EXPECT_EQ(8u, pProxy->getProxyData().getProxyID());
}

TEST_F(MediaEventTest, ClonesOfOwningEventsOwnTheirOwnCopies) {
  {
    auto* pConfig = new CountingConfig();
    pConfig->setIntParameter("jitter", 40);
    std::unique_ptr<ConfigureMediaEvent> pConfigure(
        new ConfigureMediaEvent(MediaEndpoint::RX_DIRECTION, &m_container, 4, pConfig));
    EXPECT_EQ(pConfig, pConfigure->getConfig().get());
    std::unique_ptr<ConfigureMediaEvent> pConfigureClone(pConfigure->clone());
    pConfigure.reset();
    int iJitter = 0;
    EXPECT_TRUE(pConfigureClone->getConfig()->getIntParameter("jitter", iJitter));
    EXPECT_EQ(40, iJitter);
    const EptConfigMediaEvent eptConfig(MediaEndpoint::RX_DIRECTION, new CountingConfig());
    std::unique_ptr<EptConfigMediaEvent> pClone(eptConfig.clone());
    EXPECT_NE(eptConfig.getConfig().get(), pClone->getConfig().get());
    // A queued configure request that is never served still deletes its configuration.
    std::unique_ptr<CloneableEvent> pQueued(
        new MediaEngEptProxyNoT::ConfigProxyEvt(MediaEndpoint::TX_DIRECTION, new CountingConfig()));
    std::unique_ptr<Cloneable> pCopy(pQueued->clone());
    EXPECT_EQ(5, CountingConfig::s_iLive);
  }
  EXPECT_EQ(0, CountingConfig::s_iLive);

  auto* pCapacity = new MediaEndpointCapacity();
  (*pCapacity)["ports"] = ParameterValueVector{ParameterValue(2)};
  std::unique_ptr<SetCapacityMediaEvent> pSetCapacity(
      new SetCapacityMediaEvent(MediaEndpoint::TX_DIRECTION, &m_container, 1, pCapacity));
  std::unique_ptr<SetCapacityMediaEvent> pSetCapacityClone(pSetCapacity->clone());
  pSetCapacity.reset();
  EXPECT_NE(pCapacity, pSetCapacityClone->getCapacity().get());
  EXPECT_EQ(1u, pSetCapacityClone->getCapacity()->count("ports"));

  std::unique_ptr<PeerDataMediaEvent> pPeerData(new PeerDataMediaEvent(
      MediaEndpoint::RX_DIRECTION, &m_container, 1, new CountingPeerData(17)));
  std::unique_ptr<PeerDataMediaEvent> pPeerDataClone(pPeerData->clone());
  pPeerData.reset();
  auto* pPeer = dynamic_cast<CountingPeerData*>(pPeerDataClone->getPeerData().get());
  ASSERT_NE(nullptr, pPeer);
  EXPECT_EQ(17, pPeer->m_iValue);
  EXPECT_EQ(1, CountingPeerData::s_iLive);
  pPeerDataClone.reset();
  EXPECT_EQ(0, CountingPeerData::s_iLive);

  auto* pTone = new ToneDetectedEvent(MediaEndpoint::TX_DIRECTION, MediaNotificationEvent::eCPA_UPDATE, 4, 12);
  std::unique_ptr<MediaEngineNotificationEvent> pNotification(
      new MediaEngineNotificationEvent(MediaEndpoint::TX_DIRECTION, &m_container, 1, pTone));
  EXPECT_EQ(pTone, &pNotification->getEvent());
  std::unique_ptr<MediaEngineNotificationEvent> pNotificationClone(pNotification->clone());
  pNotification.reset();
  EXPECT_EQ("eTONE_DETECTED dir=TX_DIRECTION eCPA_UPDATE,toneid=4,toneevtid=12",
            textOf(pNotificationClone->getEvent()));

  // Empty owning fields clone as empty.
  const ConfigureMediaEvent noConfig(MediaEndpoint::RX_DIRECTION, &m_container, 1, nullptr);
  EXPECT_TRUE(std::unique_ptr<ConfigureMediaEvent>(noConfig.clone())->getConfig().isNull());
  const SetCapacityMediaEvent noCapacity(MediaEndpoint::RX_DIRECTION, &m_container, 1, nullptr);
  EXPECT_TRUE(std::unique_ptr<SetCapacityMediaEvent>(noCapacity.clone())->getCapacity().isNull());
  EXPECT_EQ(0u, m_assertions.count());
}

TEST_F(MediaEventTest, NotificationEventWithoutNotificationIsReportedAndStillBuilt) {
  const MediaEngineNotificationEvent event(MediaEndpoint::RX_DIRECTION, &m_container, 6, nullptr);
  EXPECT_EQ("eNOTIFICATION dir=RX_DIRECTION", textOf(event));
  EXPECT_FALSE(std::unique_ptr<MediaEngineNotificationEvent>(event.clone())->hasEvent());
  ASSERT_EQ(1u, m_assertions.count());  // copying does not check again
  EXPECT_EQ("! m_pNotification.isNull()", m_assertions.records()[0].m_strExpression);
  EXPECT_EQ("MediaEngEptCallbackProxy", m_assertions.records()[0].m_strModule);
}

TEST_F(MediaEventTest, CallDataEventsCarryACopyOfTheSnapshot) {
  MediaCallData callData;
  callData.m_vEptData.emplace_back(0, "ept-a", MediaEndpointSpec::eSND_RECV);
  callData.m_vEptData[0].setPeerData(MediaEndpoint::RX_DIRECTION, new CountingPeerData(5));
  const MediaCallDataEventImpl event(MediaEvent::eSTART_ENDPOINT, MediaEndpoint::TX_DIRECTION, callData);
  EXPECT_EQ("eSTART_ENDPOINT dir=TX_DIRECTION", textOf(event));
  const MediaEngEptProxyNoT::MediaCallDataProxyEvt start(MediaEvent::eSTART_ENDPOINT,
                                                         MediaEndpoint::TX_DIRECTION, callData);
  EXPECT_EQ(3, CountingPeerData::s_iLive);

  // Changing the call afterwards does not change what the events carry.
  callData.m_vEptData.clear();
  ASSERT_EQ(1u, event.getCallData().m_vEptData.size());
  EXPECT_STREQ("ept-a", event.getCallData().m_vEptData[0].getEptId());
  std::unique_ptr<MediaCallDataEventImpl> pClone(event.clone());
  EXPECT_NE(event.getCallData().m_vEptData[0].m_pRxPeerData.get(),
            pClone->getCallData().m_vEptData[0].m_pRxPeerData.get());
  std::unique_ptr<MediaEngEptProxyNoT::MediaCallDataProxyEvt> pStartClone(start.clone());
  EXPECT_EQ(MediaEndpointSpec::eSND_RECV, pStartClone->getCallData().m_vEptData[0].getEptType());
  EXPECT_FALSE(pStartClone->getProxyData().proxyActive());
}

// ---- class-specific allocation ----

class UnallocatedConfigure : public ConfigureMediaEvent {
 public:
  using ConfigureMediaEvent::ConfigureMediaEvent;
  int m_iExtra = 0;
};

class UnallocatedTimeout : public MediaCallSM::TimeoutProxyMediaEvent {
 public:
  using MediaCallSM::TimeoutProxyMediaEvent::TimeoutProxyMediaEvent;
  int m_iExtra = 0;
};

class UnallocatedProxyEvt : public MediaEngEptProxyNoT::ProxyEvt {
 public:
  using MediaEngEptProxyNoT::ProxyEvt::ProxyEvt;
  int m_iExtra = 0;
};

TEST_F(MediaEventTest, DerivedClassesWithoutTheirOwnAllocatorAreReported) {
  delete new UnallocatedConfigure(MediaEndpoint::RX_DIRECTION, &m_container, 1, nullptr);
  delete new UnallocatedTimeout(ACE_Time_Value(1), nullptr, MediaEndpoint::RX_DIRECTION,
                                TaskObjectProxyData<MediaCallSM>());
  delete new UnallocatedProxyEvt(MediaEvent::eGET_CAPACITY, MediaEndpoint::RX_DIRECTION);
  const auto records = m_assertions.records();
  ASSERT_EQ(3u, records.size());
  EXPECT_EQ("in_uiSize == sizeof(ConfigureMediaEvent)", records[0].m_strExpression);
  EXPECT_EQ("MediaEvent", records[0].m_strModule);
  EXPECT_EQ("in_uiSize == sizeof(MediaCallSM::TimeoutProxyMediaEvent)",
            records[1].m_strExpression);
  EXPECT_EQ("in_uiSize == sizeof(MediaEngEptProxyNoT::ProxyEvt)", records[2].m_strExpression);
  EXPECT_EQ("MediaEngEptProxy", records[2].m_strModule);
}

}  // namespace
}  // namespace Omvera
