// Call data snapshot, peer data and the CT-bus time-slot query.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "support/AssertionRecorder.h"
#include "support/LogCapture.h"
#include "tidewave/MediaCallData.h"
#include "tidewave/MediaPeerData.h"

namespace Omvera {
namespace {

using Test::AssertionRecorder;
using Test::LogCapture;
using Indexes = std::vector<unsigned long>;

constexpr auto RX = MediaEndpoint::RX_DIRECTION;
constexpr auto TX = MediaEndpoint::TX_DIRECTION;

// Counts the live objects that hold one, so that leaks and shared objects show up.
struct AliveToken {
  AliveToken() { ++s_iAlive; }
  AliveToken(const AliveToken&) { ++s_iAlive; }
  AliveToken& operator=(const AliveToken&) = default;
  ~AliveToken() { --s_iAlive; }
  static int s_iAlive;
};
int AliveToken::s_iAlive = 0;

// Peer data of another engine kind.
class OtherPeerData : public MediaPeerData {
 public:
  explicit OtherPeerData(std::string in_strText) : m_strText(std::move(in_strText)) {}
  OtherPeerData* clone() const override { return new OtherPeerData(*this); }

  std::string m_strText;
  AliveToken m_token;
  static int alive() { return AliveToken::s_iAlive; }
};

// A record extended the way the call extends it: clone() copies only the data part.
struct ExtendedRecord : public MediaCallEndpointData {
  int m_iExtra = 7;
};

unsigned long timeSlotOf(const MediaCallEndpointData::PeerDataPtr& in_pData) {
  const auto* pCTBus = dynamic_cast<const CTBusPeerData*>(in_pData.get());
  return pCTBus != nullptr ? pCTBus->getTimeSlot() : ~0UL;
}

// A snapshot of in_uiCount sendrecv endpoints, all stopped, without links.
MediaCallData makeCall(unsigned long in_uiCount) {
  MediaCallData call;
  for (unsigned long i = 0; i < in_uiCount; ++i) {
    call.m_vEptData.emplace_back(i, "ept-" + std::to_string(i), MediaEndpointSpec::eSND_RECV);
  }
  return call;
}

// ---- MediaCallEndpointData -----------------------------------------------------------

TEST(MediaCallEndpointData, PeerDataByDirectionIsOwnedReplacedAndResetClearsIt) {
  ASSERT_EQ(0, OtherPeerData::alive());
  {
    MediaCallEndpointData ept(5, "ept-5", MediaEndpointSpec::eREDIRECT_RX);
    ept.setPeerData(TX, new CTBusPeerData(5));
    ept.setPeerData(MediaEndpoint::RXTX_DIRECTION, new OtherPeerData("rx"));
    EXPECT_EQ(5UL, timeSlotOf(ept.m_pTxPeerData));
    EXPECT_EQ(ept.m_pRxPeerData.get(), ept.getPeerData(MediaEndpoint::UNDEF_DIRECTION).get());
    ept.setPeerData(RX, new OtherPeerData("rx2"));  // the replaced object is deleted
    EXPECT_EQ(1, OtherPeerData::alive());
    ept.setPeerData(RX, nullptr);
    EXPECT_EQ(0, OtherPeerData::alive());
    ept.setPeerData(RX, new OtherPeerData("rx3"));

    // Reset clears links and peer data but keeps the identity fields for the next owner.
    ept.m_vRxPeerIndex = {1};
    ept.m_redirectForkIndex = 1UL;
    ept.m_bRxStarted = true;
    ept.reset();
    EXPECT_EQ(0UL, ept.getEptIndex());
    EXPECT_EQ(0, OtherPeerData::alive());
    EXPECT_TRUE(ept.m_pTxPeerData.isNull());
    EXPECT_TRUE(ept.m_vRxPeerIndex.empty());
    EXPECT_FALSE(ept.m_redirectForkIndex.valid());
    EXPECT_STREQ("ept-5", ept.getEptId());
    EXPECT_TRUE(ept.m_bRxStarted);
    ept.setPeerData(RX, new OtherPeerData("rx4"));
  }
  EXPECT_EQ(0, OtherPeerData::alive());
}

TEST(MediaCallEndpointData, CopiesAndClonesOwnDistinctPeerData) {
  auto pSource = std::make_unique<MediaCallEndpointData>(3, "ept-3", MediaEndpointSpec::eFORK_TX);
  pSource->setPeerData(RX, new CTBusPeerData(17));
  pSource->setPeerData(TX, new OtherPeerData("tx"));
  pSource->m_vRxPeerIndex = {1, 2};
  pSource->m_strRedirectForEptId = std::string("ept-0");
  pSource->m_redirectForkIndex = 0UL;
  pSource->m_bRxStarted = true;

  MediaCallEndpointData copy(*pSource);
  MediaCallEndpointData assigned(9, "other", MediaEndpointSpec::eSND_RECV);
  assigned.setPeerData(RX, new OtherPeerData("old"));
  assigned = *pSource;
  std::unique_ptr<Cloneable> pClone(static_cast<const Cloneable&>(*pSource).clone());
  EXPECT_EQ(4, OtherPeerData::alive());  // source, copy, assigned, clone
  const auto* pCloned = dynamic_cast<const MediaCallEndpointData*>(pClone.get());
  ASSERT_NE(nullptr, pCloned);
  const MediaCallEndpointData* const apCopies[] = {&copy, &assigned, pCloned};
  for (const MediaCallEndpointData* pRec : apCopies) {
    EXPECT_NE(pSource->m_pTxPeerData.get(), pRec->m_pTxPeerData.get());
  }
  pSource.reset();  // the copies survive their source
  for (const MediaCallEndpointData* pRec : apCopies) {
    EXPECT_EQ(3UL, pRec->getEptIndex());
    EXPECT_STREQ("ept-3", pRec->getEptId());
    EXPECT_EQ(MediaEndpointSpec::eFORK_TX, pRec->getEptType());
    EXPECT_EQ(17UL, timeSlotOf(pRec->m_pRxPeerData));
    EXPECT_EQ("tx", dynamic_cast<const OtherPeerData&>(*pRec->m_pTxPeerData).m_strText);
    EXPECT_EQ(Indexes({1, 2}), pRec->m_vRxPeerIndex);
    EXPECT_EQ("ept-0", pRec->m_strRedirectForEptId.getValue());
    EXPECT_EQ(0UL, pRec->m_redirectForkIndex.getValue());
    EXPECT_TRUE(pRec->m_bRxStarted);
  }
  pClone.reset();
  EXPECT_EQ(2, OtherPeerData::alive());

  ExtendedRecord record;  // a clone copies only the data part
  record.setPeerData(RX, new CTBusPeerData(4));
  std::unique_ptr<MediaCallEndpointData> pPlain(record.clone());
  const MediaCallEndpointData& plain = *pPlain;
  EXPECT_EQ(typeid(MediaCallEndpointData), typeid(plain));
  EXPECT_EQ(4UL, timeSlotOf(pPlain->m_pRxPeerData));
}

TEST(MediaCallEndpointData, FindPeersByDirection) {
  AssertionRecorder recorder;
  MediaCallEndpointData ept;
  ept.m_vRxPeerIndex = {2, 1, 2};
  ept.m_vTxPeerIndex = {4};
  Indexes out{9, 9};
  ept.findPeers(RX, out);
  EXPECT_EQ(Indexes({2, 1, 2}), out);
  ept.findPeers(TX, out);
  ept.findPeers(MediaEndpoint::RXTX_DIRECTION, out);  // reported, out untouched
  ept.findPeers(MediaEndpoint::UNDEF_DIRECTION, out);
  EXPECT_EQ(Indexes({4}), out);
  ASSERT_EQ(2U, recorder.count("0"));
  EXPECT_EQ("MediaCallData", recorder.records()[0].m_strModule);
}

// ---- MediaCallData -------------------------------------------------------------------

TEST(MediaCallData, CopyAndCloneAreDeep) {
  auto pSource = std::make_unique<MediaCallData>(makeCall(2));
  pSource->m_vEptData[0].setPeerData(RX, new CTBusPeerData(10));
  pSource->m_vEptData[1].setPeerData(TX, new OtherPeerData("one"));

  MediaCallData copy(*pSource);
  std::unique_ptr<MediaCallData> pClone(pSource->clone());
  ASSERT_EQ(2U, copy.m_vEptData.size());
  ASSERT_EQ(2U, pClone->m_vEptData.size());
  EXPECT_NE(pSource->m_vEptData[0].m_pRxPeerData.get(), copy.m_vEptData[0].m_pRxPeerData.get());
  EXPECT_NE(pSource->m_vEptData[1].m_pTxPeerData.get(), pClone->m_vEptData[1].m_pTxPeerData.get());

  copy.m_vEptData[0].setPeerData(RX, new CTBusPeerData(11));
  EXPECT_EQ(10UL, timeSlotOf(pSource->m_vEptData[0].m_pRxPeerData));

  pSource.reset();
  EXPECT_EQ(10UL, timeSlotOf(pClone->m_vEptData[0].m_pRxPeerData));
  EXPECT_EQ(11UL, timeSlotOf(copy.m_vEptData[0].m_pRxPeerData));
  EXPECT_EQ(2, OtherPeerData::alive());
  EXPECT_STREQ("ept-1", pClone->m_vEptData[1].getEptId());
}

TEST(MediaCallData, FindStartedPeersKeepsRunningPeersInListOrder) {
  AssertionRecorder recorder;
  MediaCallData call = makeCall(5);
  // Rx of 0 feeds the Tx sides of 1..4; Tx of 0 is fed by the Rx sides of 4, 3, 2, 1.
  call.m_vEptData[0].m_vRxPeerIndex = {1, 2, 3, 4};
  call.m_vEptData[0].m_vTxPeerIndex = {4, 3, 2, 1};
  call.m_vEptData[2].m_bTxStopped = false;
  call.m_vEptData[4].m_bTxStopped = false;
  call.m_vEptData[1].m_bRxStarted = true;
  call.m_vEptData[3].m_bRxStarted = true;
  call.m_vEptData[4].m_bRxStarted = true;

  Indexes out;
  call.findStartedPeers(0, RX, out);  // Tx peers not stopped; fresh (stopped) ones dropped
  EXPECT_EQ(Indexes({2, 4}), out);
  call.findStartedPeers(0, TX, out);  // Rx peers started
  EXPECT_EQ(Indexes({4, 3, 1}), out);
  call.findStartedPeers(0, MediaEndpoint::RXTX_DIRECTION, out);  // no such peer list
  EXPECT_EQ(Indexes({4, 3, 1}), out);
  EXPECT_EQ(1U, recorder.count("0"));

  call.findStartedPeers(1, TX, out);  // no peers
  EXPECT_TRUE(out.empty());
  call.m_vEptData[2].m_vTxPeerIndex = {0, 0};  // none started
  call.findStartedPeers(2, TX, out);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(1U, recorder.count());
}

TEST(MediaCallData, FindStartedPeersStopsAtABrokenPeerIndexAndLogsItsInputs) {
  AssertionRecorder recorder;
  LogCapture capture("tidewave.media.CallData", LogLevel::DEBUG);
  MediaCallData call = makeCall(3);
  call.m_vEptData[0].m_vTxPeerIndex = {1, 9, 2};  // 1 and 2 not started
  Indexes out;
  call.findStartedPeers(0, TX, out);
  EXPECT_EQ(Indexes({9, 2}), out);  // filtered only up to the broken index
  EXPECT_EQ(std::vector<std::string>({"out_vPeerIndex[i] < m_vEptData.size()"}), recorder.expressions());
  EXPECT_EQ(std::vector<std::string>({"MediaCallData::findStartedPeers : in_eptIndex=0",
                                      "MediaCallData::findStartedPeers : in_eptDirection=TX_DIRECTION",
                                      "MediaCallData::findStartedPeers : m_vEptData.size()=3",
                                      "MediaCallData::findStartedPeers : out_vPeerIndex.size()=3"}),
            capture.messages(LogLevel::DEBUG));

  recorder.clear();
  call.m_vEptData[0].m_vTxPeerIndex = {1, 0, 2};
  call.findStartedPeers(0, TX, out);
  EXPECT_EQ(Indexes({0, 2}), out);
  EXPECT_EQ(std::vector<std::string>({"out_vPeerIndex[i] != in_eptIndex"}), recorder.expressions());
  EXPECT_EQ("MediaCallData", recorder.records()[0].m_strModule);
}

// ---- CTBusPeerData::getStartedRxPeerTimeslot ----------------------------------------

// Endpoint 0 is the Tx side asking; endpoints 1 and 2 feed it.
class CTBusTimeSlot : public ::testing::Test {
 protected:
  CTBusTimeSlot() : m_call(makeCall(3)), m_capture("tidewave.media.CTBusPeerData", LogLevel::DEBUG) {
    m_call.m_vEptData[0].m_vTxPeerIndex = {1, 2};
  }
  bool query() {
    m_uiSlot = 99;
    return CTBusPeerData::getStartedRxPeerTimeslot(0, m_call, m_uiSlot);
  }

  MediaCallData m_call;
  LogCapture m_capture;
  AssertionRecorder m_recorder;
  unsigned long m_uiSlot = 99;
};

TEST_F(CTBusTimeSlot, OneStartedCTBusPeerGivesItsTimeSlot) {
  m_call.m_vEptData[1].setPeerData(RX, new CTBusPeerData(17));
  m_call.m_vEptData[1].m_bRxStarted = true;
  m_call.m_vEptData[2].setPeerData(RX, new CTBusPeerData(23));  // not started
  EXPECT_TRUE(query());
  EXPECT_EQ(17UL, m_uiSlot);
  EXPECT_EQ(0U, m_recorder.count());
}

TEST_F(CTBusTimeSlot, NoneOrSeveralStartedPeersAreRefused) {
  EXPECT_FALSE(query());
  EXPECT_EQ(0UL, m_uiSlot);
  EXPECT_TRUE(m_capture.contains(
      LogLevel::ERROR, "CTBusPeerData::getStartedRxPeerTimeslot : Tx ept 0 has 0 started Rx peer(s)"));

  m_call.m_vEptData[1].m_bRxStarted = true;
  m_call.m_vEptData[2].m_bRxStarted = true;
  m_call.m_vEptData[1].setPeerData(RX, new CTBusPeerData(17));
  m_call.m_vEptData[2].setPeerData(RX, new CTBusPeerData(18));
  EXPECT_FALSE(query());
  EXPECT_TRUE(m_capture.contains(
      LogLevel::ERROR, "CTBusPeerData::getStartedRxPeerTimeslot : Tx ept 0 has 2 started Rx peer(s)"));
  EXPECT_EQ(0U, m_recorder.count());

  m_call.m_vEptData[0].m_vTxPeerIndex = {7};  // outside the snapshot
  EXPECT_FALSE(query());
  EXPECT_EQ(std::vector<std::string>({"out_vPeerIndex[i] < m_vEptData.size()",
                                      "in_callData.m_vEptData.size() > uiPeerIndex"}),
            m_recorder.expressions());
}

TEST_F(CTBusTimeSlot, StartedPeerWithoutSuitableRxPeerData) {
  m_call.m_vEptData[1].m_bRxStarted = true;
  m_call.m_vEptData[1].setPeerData(TX, new CTBusPeerData(17));  // the Tx side's data does not count
  EXPECT_FALSE(query());
  EXPECT_EQ(0UL, m_uiSlot);
  EXPECT_EQ(std::vector<std::string>({"! in_callData.m_vEptData[uiPeerIndex].m_pRxPeerData.isNull()"}),
            m_recorder.expressions());
  EXPECT_EQ("CTBusPeerData", m_recorder.records()[0].m_strModule);

  m_recorder.clear();
  m_call.m_vEptData[1].setPeerData(RX, new OtherPeerData("rtp"));
  EXPECT_FALSE(query());
  EXPECT_EQ(0U, m_recorder.count());
  const std::vector<std::string> vErrors = m_capture.messages(LogLevel::ERROR);
  ASSERT_EQ(1U, vErrors.size());
  const std::string strPrefix =
      "CTBusPeerData::getStartedRxPeerTimeslot : Tx ept 0 Rx peer does not have a ctbus peer "
      "data. Peer type = ";
  EXPECT_EQ(strPrefix, vErrors[0].substr(0, strPrefix.size()));
  EXPECT_NE(std::string::npos, vErrors[0].find("OtherPeerData", strPrefix.size()));
}

}  // namespace
}  // namespace Omvera
