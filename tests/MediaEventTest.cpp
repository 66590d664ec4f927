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

// ---- type names and implementation bases ----

TEST(MediaEventType, NamesMatchTheEnumerators) {
  const std::vector<std::pair<int, const char*>> names = {
      {0, "eGET_CAPACITY"},         {1, "eSET_CAPACITY"},
      {2, "eGET_CAPACITY_FAILURE"}, {3, "eCONFIGURE"},
      {4, "eSTART_ENDPOINT"},       {5, "eSTOP_ENDPOINT"},
      {6, "eCONFIGURE_STATUS"},     {7, "eSTART_ENDPOINT_STATUS"},
      {8, "eSTOP_ENDPOINT_STATUS"}, {9, "eSEND_PEER_DATA"},
      {10, "eALL_TX_STOPPED"},      {11, "ePEER_STOP_TXENDPOINT"},
      {12, "eONEPLUS_RX_STARTED"},  {13, "eTONE_DETECTED"},
      {14, "eSTOP"},                {15, "eKILL"},
      {16, "eMEDIA_PROXY_DTOR"},    {17, "eTIMEOUT"},
      {18, "eNOTIFICATION"},        {19, "eHANDLE_OOB_EVENT"},
      {20, "eDERIVED_MEDIA_EVENT"}, {23, "eUNDEF"}};
  for (const auto& entry : names) {
    EXPECT_STREQ(entry.second, MediaEvent::getTypeString(static_cast<MediaEvent::Type>(entry.first)))
        << entry.first;
  }
  for (int iValue : {21, 22, 24, -1, 1000}) {
    EXPECT_STREQ("???", MediaEvent::getTypeString(static_cast<MediaEvent::Type>(iValue)))
        << iValue;
  }
}

TEST(MediaEventImplementationBases, TypeDirectionAndText) {
  const MediaEventImpl plain(MediaEvent::eSTOP);
  EXPECT_EQ(MediaEvent::eSTOP, plain.getType());
  EXPECT_EQ(MediaEndpoint::UNDEF_DIRECTION, plain.getDirection());
  EXPECT_EQ("eSTOP", textOf(plain));

  const MediaEventWithDirImpl withDir(MediaEvent::eALL_TX_STOPPED, MediaEndpoint::RX_DIRECTION);
  EXPECT_EQ(MediaEvent::eALL_TX_STOPPED, withDir.getType());
  EXPECT_EQ(MediaEndpoint::RX_DIRECTION, withDir.getDirection());
  EXPECT_EQ("eALL_TX_STOPPED dir=RX_DIRECTION", textOf(withDir));

  // Values outside the enumerations print their fallbacks.
  const MediaEventWithDirImpl odd(static_cast<MediaEvent::Type>(22),
                                  static_cast<MediaEndpoint::Direction>(9));
  EXPECT_EQ("??? dir=???", textOf(odd));
}

// ---- events addressed to a call ----

TEST_F(MediaEventTest, ProxyMediaEventWritesTheBaseTextAndCarriesTheProxyData) {
  const ProxyMediaEvent event(MediaEvent::eSTART_ENDPOINT, MediaEndpoint::TX_DIRECTION,
                              &m_container, 5);
  EXPECT_EQ("eSTART_ENDPOINT dir=TX_DIRECTION", textOf(event));
  EXPECT_EQ(MediaEvent::eSTART_ENDPOINT, event.getType());
  EXPECT_EQ(MediaEndpoint::TX_DIRECTION, event.getDirection());
  EXPECT_EQ(&m_container, event.getProxyData().getObjContainer().get());
  EXPECT_EQ(5u, event.getProxyData().getProxyID());
  EXPECT_TRUE(event.getProxyData().proxyActive());

  // Built from proxy data, the flag is kept as given.
  TaskObjectProxyData<MediaCallSM> disabled(&m_container, 9);
  disabled.disableProxy();
  const ProxyMediaEvent fromData(MediaEvent::eGET_CAPACITY, MediaEndpoint::RX_DIRECTION, disabled);
  EXPECT_EQ(9u, fromData.getProxyData().getProxyID());
  EXPECT_FALSE(fromData.getProxyData().proxyActive());

  std::unique_ptr<ProxyMediaEvent> pClone(event.clone());
  EXPECT_EQ(typeid(ProxyMediaEvent), typeid(*pClone));
  EXPECT_TRUE(pClone->getProxyData() == event.getProxyData());
  EXPECT_EQ(textOf(event), textOf(*pClone));
}

TEST_F(MediaEventTest, TextFormsOfTheProxyEvents) {
  EXPECT_EQ("eCONFIGURE_STATUS dir=RX_DIRECTION EPT_OP_FAILED",
            textOf(OpStatusMediaEvent(MediaEvent::eCONFIGURE_STATUS, MediaEndpoint::RX_DIRECTION,
                                      &m_container, 1, MediaEndpointCallback::EPT_OP_FAILED)));
  EXPECT_EQ("eSTART_ENDPOINT_STATUS dir=TX_DIRECTION ???",
            textOf(OpStatusMediaEvent(MediaEvent::eSTART_ENDPOINT_STATUS,
                                      MediaEndpoint::TX_DIRECTION, &m_container, 1,
                                      static_cast<MediaEndpointCallback::EptOpStatus>(2))));
  EXPECT_EQ("eHANDLE_OOB_EVENT dir=RXTX_DIRECTION Event (int):  7",
            textOf(HandleOOBMediaEvent(MediaEndpoint::RXTX_DIRECTION, &m_container, 1, 7)));
  EXPECT_EQ("SetCapacityMediaEvent eSET_CAPACITY dir=TX_DIRECTION",
            textOf(SetCapacityMediaEvent(MediaEndpoint::TX_DIRECTION, &m_container, 1,
                                         new MediaEndpointCapacity())));
  EXPECT_EQ("eCONFIGURE dir=RX_DIRECTION",
            textOf(ConfigureMediaEvent(MediaEndpoint::RX_DIRECTION, &m_container, 1, nullptr)));
  EXPECT_EQ("eSEND_PEER_DATA dir=TX_DIRECTION",
            textOf(PeerDataMediaEvent(MediaEndpoint::TX_DIRECTION, &m_container, 1,
                                      new CountingPeerData(3))));
  EXPECT_EQ("eNOTIFICATION dir=RX_DIRECTION",
            textOf(MediaEngineNotificationEvent(
                MediaEndpoint::RX_DIRECTION, &m_container, 1,
                new MediaNotificationEvent(MediaEndpoint::RX_DIRECTION,
                                           MediaNotificationEvent::eFIRST_PACKET_DETECTED))));
  EXPECT_EQ(0u, m_assertions.count());
}

TEST_F(MediaEventTest, ConfigureMediaEventAppendsTheConfigurationText) {
  auto* pConfig = new CountingConfig();
  pConfig->setIntParameter("jitter", 40);
  pConfig->setStringParameter("codec", "pcmu");
  const std::string strConfigText = textOf(*pConfig);
  ASSERT_FALSE(strConfigText.empty());

  const ConfigureMediaEvent event(MediaEndpoint::TX_DIRECTION, &m_container, 2, pConfig);
  EXPECT_EQ("eCONFIGURE dir=TX_DIRECTION " + strConfigText, textOf(event));
  EXPECT_EQ(MediaEvent::eCONFIGURE, event.getType());
  EXPECT_EQ(pConfig, event.getConfig().get());
  EXPECT_EQ(2u, event.getProxyData().getProxyID());
}

TEST_F(MediaEventTest, ClonesOfOwningEventsOwnTheirOwnCopies) {
  auto* pConfig = new CountingConfig();
  pConfig->setIntParameter("jitter", 40);
  std::unique_ptr<ConfigureMediaEvent> pConfigure(
      new ConfigureMediaEvent(MediaEndpoint::RX_DIRECTION, &m_container, 4, pConfig));
  const std::string strText = textOf(*pConfigure);
  std::unique_ptr<MediaEvent> pConfigureClone(pConfigure->clone());
  EXPECT_EQ(2, CountingConfig::s_iLive);
  pConfigure.reset();
  EXPECT_EQ(1, CountingConfig::s_iLive);
  auto* pConfigureCopy = dynamic_cast<ConfigureMediaEvent*>(pConfigureClone.get());
  ASSERT_NE(nullptr, pConfigureCopy);
  int iJitter = 0;
  EXPECT_TRUE(pConfigureCopy->getConfig()->getIntParameter("jitter", iJitter));
  EXPECT_EQ(40, iJitter);
  EXPECT_EQ(strText, textOf(*pConfigureCopy));
  EXPECT_EQ(4u, pConfigureCopy->getProxyData().getProxyID());
  pConfigureClone.reset();
  EXPECT_EQ(0, CountingConfig::s_iLive);

  auto* pCapacity = new MediaEndpointCapacity();
  (*pCapacity)["ports"] = ParameterValueVector{ParameterValue(2)};
  std::unique_ptr<SetCapacityMediaEvent> pSetCapacity(
      new SetCapacityMediaEvent(MediaEndpoint::TX_DIRECTION, &m_container, 1, pCapacity));
  std::unique_ptr<SetCapacityMediaEvent> pSetCapacityClone(pSetCapacity->clone());
  pSetCapacity.reset();
  ASSERT_FALSE(pSetCapacityClone->getCapacity().isNull());
  EXPECT_NE(pCapacity, pSetCapacityClone->getCapacity().get());
  EXPECT_EQ(1u, pSetCapacityClone->getCapacity()->count("ports"));

  std::unique_ptr<PeerDataMediaEvent> pPeerData(new PeerDataMediaEvent(
      MediaEndpoint::RX_DIRECTION, &m_container, 1, new CountingPeerData(17)));
  std::unique_ptr<PeerDataMediaEvent> pPeerDataClone(pPeerData->clone());
  EXPECT_EQ(2, CountingPeerData::s_iLive);
  EXPECT_NE(pPeerData->getPeerData().get(), pPeerDataClone->getPeerData().get());
  pPeerData.reset();
  auto* pPeer = dynamic_cast<CountingPeerData*>(pPeerDataClone->getPeerData().get());
  ASSERT_NE(nullptr, pPeer);
  EXPECT_EQ(17, pPeer->m_iValue);
  pPeerDataClone.reset();
  EXPECT_EQ(0, CountingPeerData::s_iLive);

  auto* pTone = new ToneDetectedEvent(MediaEndpoint::TX_DIRECTION,
                                      MediaNotificationEvent::eCPA_UPDATE, 4, 12);
  std::unique_ptr<MediaEngineNotificationEvent> pNotification(new MediaEngineNotificationEvent(
      MediaEndpoint::TX_DIRECTION, &m_container, 1, pTone));
  EXPECT_EQ(pTone, &pNotification->getEvent());
  std::unique_ptr<MediaEngineNotificationEvent> pNotificationClone(pNotification->clone());
  pNotification.reset();
  ASSERT_TRUE(pNotificationClone->hasEvent());
  EXPECT_EQ(typeid(ToneDetectedEvent), typeid(pNotificationClone->getEvent()));
  EXPECT_EQ("eTONE_DETECTED dir=TX_DIRECTION eCPA_UPDATE,toneid=4,toneevtid=12",
            textOf(pNotificationClone->getEvent()));

  // Empty owning fields clone as empty.
  const ConfigureMediaEvent noConfig(MediaEndpoint::RX_DIRECTION, &m_container, 1, nullptr);
  std::unique_ptr<ConfigureMediaEvent> pNoConfigClone(noConfig.clone());
  EXPECT_TRUE(pNoConfigClone->getConfig().isNull());
  const SetCapacityMediaEvent noCapacity(MediaEndpoint::RX_DIRECTION, &m_container, 1, nullptr);
  std::unique_ptr<SetCapacityMediaEvent> pNoCapacityClone(noCapacity.clone());
  EXPECT_TRUE(pNoCapacityClone->getCapacity().isNull());
  EXPECT_EQ(0u, m_assertions.count());
}

TEST_F(MediaEventTest, ClonesThroughTheInterfaceKeepTheDynamicClass) {
  std::vector<std::unique_ptr<MediaEvent>> events;
  events.emplace_back(new MediaEventImpl(MediaEvent::eKILL));
  events.emplace_back(new MediaEventWithDirImpl(MediaEvent::eSTOP, MediaEndpoint::RXTX_DIRECTION));
  events.emplace_back(new ProxyMediaEvent(MediaEvent::eSTOP_ENDPOINT, MediaEndpoint::RX_DIRECTION,
                                          &m_container, 1));
  events.emplace_back(new HandleOOBMediaEvent(MediaEndpoint::RX_DIRECTION, &m_container, 1, 3));
  events.emplace_back(new OpStatusMediaEvent(MediaEvent::eSTART_ENDPOINT_STATUS,
                                             MediaEndpoint::TX_DIRECTION, &m_container, 1,
                                             MediaEndpointCallback::EPT_OP_OK));
  events.emplace_back(new MediaCallSM::TimeoutProxyMediaEvent(
      ACE_Time_Value(3), nullptr, MediaEndpoint::RX_DIRECTION,
      TaskObjectProxyData<MediaCallSM>(&m_container, 1)));
  events.emplace_back(new EptConfigMediaEvent(MediaEndpoint::TX_DIRECTION, new CountingConfig()));
  events.emplace_back(new MediaEngEptProxyNoT::ProxyEvt(MediaEvent::eGET_CAPACITY,
                                                        MediaEndpoint::TX_DIRECTION));
  for (const auto& pEvent : events) {
    std::unique_ptr<MediaEvent> pClone(pEvent->clone());
    EXPECT_EQ(typeid(*pEvent), typeid(*pClone));
    EXPECT_EQ(pEvent->getType(), pClone->getType());
    EXPECT_EQ(pEvent->getDirection(), pClone->getDirection());
    EXPECT_EQ(textOf(*pEvent), textOf(*pClone));
  }
  // The proxy events are recognisable as such through the interface.
  EXPECT_NE(nullptr, dynamic_cast<const ProxyMediaEvent*>(events[5].get()));
  EXPECT_EQ(nullptr, dynamic_cast<const ProxyMediaEvent*>(events[6].get()));
  EXPECT_EQ(0u, m_assertions.count());
}

TEST_F(MediaEventTest, NotificationEventWithoutNotificationIsReportedAndStillBuilt) {
  const MediaEngineNotificationEvent event(MediaEndpoint::RX_DIRECTION, &m_container, 6, nullptr);
  ASSERT_EQ(1u, m_assertions.count());
  EXPECT_EQ("! m_pNotification.isNull()", m_assertions.records()[0].m_strExpression);
  EXPECT_EQ("MediaEngEptCallbackProxy", m_assertions.records()[0].m_strModule);
  EXPECT_FALSE(event.hasEvent());
  EXPECT_EQ("eNOTIFICATION dir=RX_DIRECTION", textOf(event));
  std::unique_ptr<MediaEngineNotificationEvent> pClone(event.clone());
  EXPECT_FALSE(pClone->hasEvent());
  EXPECT_EQ(1u, m_assertions.count());  // copying does not check again
}

TEST_F(MediaEventTest, TimeoutProxyMediaEventCarriesTheTimerAndTheProxyData) {
  const TimerId timer;
  const ACE_Time_Value expiry(1700000000, 250000);
  const MediaCallSM::TimeoutProxyMediaEvent event(
      expiry, &timer, MediaEndpoint::TX_DIRECTION,
      TaskObjectProxyData<MediaCallSM>(&m_container, 8));
  EXPECT_EQ("eTIMEOUT dir=TX_DIRECTION", textOf(event));
  EXPECT_EQ(MediaEvent::eTIMEOUT, event.getType());

  std::unique_ptr<MediaEvent> pClone(event.clone());
  const auto* pTimeout = dynamic_cast<const TimeoutEvent*>(pClone.get());
  ASSERT_NE(nullptr, pTimeout);
  EXPECT_EQ(expiry, pTimeout->getTimeValue());
  EXPECT_EQ(&timer, pTimeout->getData());
  const auto* pProxy = dynamic_cast<const ProxyMediaEvent*>(pClone.get());
  ASSERT_NE(nullptr, pProxy);
  EXPECT_EQ(8u, pProxy->getProxyData().getProxyID());
  EXPECT_EQ(&m_container, pProxy->getProxyData().getObjContainer().get());
}

// ---- events sent to engine endpoints ----

TEST_F(MediaEventTest, EptConfigMediaEventOwnsItsConfigurationAndClonesIt) {
  EXPECT_EQ("eCONFIGURE dir=RXTX_DIRECTION",
            textOf(EptConfigMediaEvent(MediaEndpoint::RXTX_DIRECTION, nullptr)));

  auto* pConfig = new CountingConfig();
  pConfig->setBoolParameter("recording.enable", true);
  const std::string strConfigText = textOf(*pConfig);
  {
    const EptConfigMediaEvent event(MediaEndpoint::RX_DIRECTION, pConfig);
    EXPECT_EQ("eCONFIGURE dir=RX_DIRECTION " + strConfigText, textOf(event));
    EXPECT_EQ(MediaEvent::eCONFIGURE, event.getType());
    std::unique_ptr<EptConfigMediaEvent> pClone(event.clone());
    EXPECT_EQ(2, CountingConfig::s_iLive);
    EXPECT_NE(event.getConfig().get(), pClone->getConfig().get());
    EXPECT_EQ(textOf(event), textOf(*pClone));
  }
  // Both events gone: both configurations destroyed.
  EXPECT_EQ(0, CountingConfig::s_iLive);
}

TEST_F(MediaEventTest, CallDataEventsCarryACopyOfTheSnapshot) {
  MediaCallData callData;
  callData.m_vEptData.emplace_back(0, "ept-a", MediaEndpointSpec::eSND_RECV);
  callData.m_vEptData[0].setPeerData(MediaEndpoint::RX_DIRECTION, new CountingPeerData(5));

  const MediaCallDataEventImpl event(MediaEvent::eSTART_ENDPOINT, MediaEndpoint::TX_DIRECTION,
                                     callData);
  EXPECT_EQ("eSTART_ENDPOINT dir=TX_DIRECTION", textOf(event));
  EXPECT_EQ(2, CountingPeerData::s_iLive);

  // Changing the call afterwards does not change what the event carries.
  callData.m_vEptData[0].m_strEptId = "changed";
  callData.m_vEptData.clear();
  ASSERT_EQ(1u, event.getCallData().m_vEptData.size());
  EXPECT_STREQ("ept-a", event.getCallData().m_vEptData[0].getEptId());

  std::unique_ptr<MediaCallDataEventImpl> pClone(event.clone());
  EXPECT_EQ(2, CountingPeerData::s_iLive);
  EXPECT_NE(event.getCallData().m_vEptData[0].m_pRxPeerData.get(),
            pClone->getCallData().m_vEptData[0].m_pRxPeerData.get());
}

TEST_F(MediaEventTest, EngineEndpointRequestEvents) {
  const MediaEngEptProxyNoT::ProxyEvt stop(MediaEvent::eSTOP_ENDPOINT, MediaEndpoint::RX_DIRECTION);
  EXPECT_EQ("eSTOP_ENDPOINT dir=RX_DIRECTION", textOf(stop));
  EXPECT_FALSE(stop.getProxyData().proxyActive());
  EXPECT_TRUE(stop.getProxyData().getObjContainer().isNull());

  // A queued configure request that is never served still deletes its configuration.
  auto* pRequest = new MediaEngEptProxyNoT::ConfigProxyEvt(MediaEndpoint::TX_DIRECTION,
                                                           new CountingConfig());
  EXPECT_EQ("eCONFIGURE dir=TX_DIRECTION ", textOf(*pRequest));  // an empty map writes nothing
  std::unique_ptr<CloneableEvent> pQueued(pRequest);
  std::unique_ptr<Cloneable> pCopy(pQueued->clone());
  auto* pConfigCopy = dynamic_cast<MediaEngEptProxyNoT::ConfigProxyEvt*>(pCopy.get());
  ASSERT_NE(nullptr, pConfigCopy);
  EXPECT_EQ(2, CountingConfig::s_iLive);
  EXPECT_NE(pRequest->getConfig().get(), pConfigCopy->getConfig().get());
  pQueued.reset();
  pCopy.reset();
  EXPECT_EQ(0, CountingConfig::s_iLive);

  MediaCallData callData;
  callData.m_vEptData.emplace_back(0, "ept-a", MediaEndpointSpec::eFORK_TX);
  const MediaEngEptProxyNoT::MediaCallDataProxyEvt start(MediaEvent::eSTART_ENDPOINT,
                                                         MediaEndpoint::TX_DIRECTION, callData);
  callData.m_vEptData[0].m_eptType = MediaEndpointSpec::eSND_RECV;
  EXPECT_EQ("eSTART_ENDPOINT dir=TX_DIRECTION", textOf(start));
  EXPECT_EQ(MediaEndpointSpec::eFORK_TX, start.getCallData().m_vEptData[0].getEptType());
  std::unique_ptr<MediaEngEptProxyNoT::MediaCallDataProxyEvt> pStartClone(start.clone());
  EXPECT_EQ(MediaEndpointSpec::eFORK_TX, pStartClone->getCallData().m_vEptData[0].getEptType());
  EXPECT_FALSE(pStartClone->getProxyData().proxyActive());
  EXPECT_EQ(0u, m_assertions.count());
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
