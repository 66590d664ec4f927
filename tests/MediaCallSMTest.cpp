// The call state machine with real endpoint state machines underneath: routing by either
// key of an endpoint, the peer links each endpoint type makes in any order of addition,
// the coordination of Tx sides with the Rx sides feeding them, peer data and notifications
// along the links, the call snapshot engines receive, timeouts, the count of finished
// calls and the return of endpoints to the pool. The endpoint states' own reactions are
// tested with the endpoint state machines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/AssertionRecorder.h"
#include "support/CallHarness.h"
#include "support/FakeEngine.h"
#include "support/LogCapture.h"
#include "support/NullCallContainer.h"
#include "support/TextOf.h"
#include "tidewave/MediaCallData.h"
#include "tidewave/MediaCallSM.h"
#include "tidewave/MediaEngineTask.h"
#include "tidewave/MediaEvent.h"
#include "tidewave/MediaNotificationEvent.h"
#include "tidewave/MediaPeerData.h"
#include "tidewave/infra/Configuration.h"
#include "tidewave/infra/Logger.h"

namespace Omvera {
namespace {

using Test::AssertionRecorder;
using Test::CallbackLog;
using Test::CallHarness;
using Test::EngineLog;
using Test::EngineRequest;
using Test::FakeEngineEndpoint;
using Test::LogCapture;
using Test::NullCallContainer;
using Test::Op;
using Test::RecordingCallback;
using Test::textOf;
using D = MediaEndpoint;
using IndexVector = MediaCallSM::IndexVector;
using ProxyData = TaskObjectProxyData<MediaCallSM>;
using Lines = std::vector<std::string>;

constexpr D::Direction RX = D::RX_DIRECTION;
constexpr D::Direction TX = D::TX_DIRECTION;
constexpr D::Direction RXTX = D::RXTX_DIRECTION;
constexpr const char* s_szMEDIA_LOGGER = "tidewave.media";
constexpr const char* s_szCALL_LOGGER = "tidewave.media.CallSM";

// "1,2,3".
std::string listText(const IndexVector& in_vIndexes) {
  std::string strText;
  for (const auto uiIndex : in_vIndexes)
    strText += (strText.empty() ? "" : ",") + std::to_string(uiIndex);
  return strText;
}

// An endpoint's links as "rx=<Tx sides its Rx side feeds> tx=<Rx sides feeding its Tx
// side> for=<bound endpoint or ->".
std::string linksOf(const CallHarness& in_harness, unsigned long in_uiIndex) {
  const MediaCallSMEndpoint& endpoint = in_harness.endpoint(in_uiIndex);
  const std::string strFor = endpoint.m_redirectForkIndex.valid()
                                 ? std::to_string(endpoint.m_redirectForkIndex.getValue())
                                 : std::string("-");
  return "rx=" + listText(endpoint.m_vRxPeerIndex) + " tx=" + listText(endpoint.m_vTxPeerIndex) +
         " for=" + strFor;
}

// linksOf every endpoint the harness added.
Lines allLinks(const CallHarness& in_harness) {
  Lines vLinks;
  for (unsigned long i = 0; i < in_harness.numAdded(); ++i)
    vLinks.push_back(linksOf(in_harness, i));
  return vLinks;
}

Lines statesOf(const CallHarness& in_harness, unsigned long in_uiFirst, unsigned long in_uiEnd,
               D::Direction in_eDirection) {
  Lines vStates;
  for (unsigned long i = in_uiFirst; i < in_uiEnd; ++i)
    vStates.push_back(in_harness.state(i, in_eDirection));
  return vStates;
}

std::size_t countOf(const Lines& in_vLines, const std::string& in_strLine) {
  return static_cast<std::size_t>(std::count(in_vLines.begin(), in_vLines.end(), in_strLine));
}

// Endpoints in_uiFirst to in_uiEnd - 1 answer every request at once and configure both sides.
void configureAll(CallHarness& io_harness, unsigned long in_uiEnd, unsigned long in_uiFirst = 0) {
  for (unsigned long i = in_uiFirst; i < in_uiEnd; ++i) {
    io_harness.setAutoAnswer(i);
    io_harness.configure(i, RXTX);
  }
}

// The Rx sides feeding in_uiTxIndex's Tx side that were started in the snapshot an engine
// request carried.
IndexVector startedFeeders(const EngineRequest& in_request, unsigned long in_uiTxIndex) {
  IndexVector vStarted;
  in_request.m_callData.findStartedPeers(in_uiTxIndex, TX, vStarted);
  return vStarted;
}

// No assertion was raised and the endpoint contract held.
void expectClean(const CallHarness& in_harness, const AssertionRecorder& in_recorder) {
  EXPECT_EQ(Lines{}, in_recorder.expressions());
  EXPECT_EQ(Lines{}, in_harness.contractViolations());
}

// A spec that claims a type it does not have the class of.
class MislabelledSpec : public MediaEndpointSpec {
 public:
  explicit MislabelledSpec(EptType in_eType) : m_eType(in_eType) {}
  EptType getEptType() const override { return m_eType; }

 private:
  EptType m_eType;
};

class ForeignTimeoutData : public TimeoutData {};

// ---- routing -------------------------------------------------------------------------------

// Either key of an endpoint reaches that endpoint only; what no key routes is logged and
// ignored.
TEST(CallRouting, EitherKeyOfAnEndpointReachesThatEndpointOnlyAndTheRestIsIgnored) {
  LogCapture capture(s_szMEDIA_LOGGER, LogLevel::DEBUG);
  CallHarness harness;
  for (const char* szId : {"a", "b"}) harness.add(szId);

  // The user's key and the engine's key of endpoint 1.
  EXPECT_TRUE(harness.getCapacity(1, RX));
  EXPECT_TRUE(harness.capacityFailure(1, RX));
  EXPECT_EQ((Lines{"capacity RX_DIRECTION"}), harness.engineLog(1).lines());
  EXPECT_EQ((Lines{"capacity RX_DIRECTION EPT_OP_FAILED"}), harness.callbackLog(1).lines());
  EXPECT_TRUE(harness.engineLog(0).lines().empty());
  EXPECT_TRUE(harness.callbackLog(0).lines().empty());

  // The keys are not tied to the kind of event they usually carry.
  EXPECT_TRUE(harness.deliver(
      ProxyMediaEvent(MediaEvent::eGET_CAPACITY, TX, harness.callbackProxyData(0))));
  EXPECT_TRUE(harness.deliver(
      ProxyMediaEvent(MediaEvent::eGET_CAPACITY_FAILURE, TX, harness.eptProxyData(0))));
  EXPECT_EQ((Lines{"capacity TX_DIRECTION"}), harness.engineLog(0).lines());
  EXPECT_EQ((Lines{"capacity TX_DIRECTION EPT_OP_FAILED"}), harness.callbackLog(0).lines());

  // A key nobody registered, and endpoint 0's user proxy id under the engine's container.
  EXPECT_TRUE(
      harness.deliver(ProxyMediaEvent(MediaEvent::eSTART_ENDPOINT, RX, harness.eptProxyData(7))));
  EXPECT_TRUE(
      harness.deliver(ProxyMediaEvent(MediaEvent::eSTOP_ENDPOINT, TX,
                                      ProxyData(harness.callbackProxyData(0).getObjContainer(),
                                                harness.eptProxyData(0).getProxyID()))));
  // Not a proxy event, and not one for every endpoint.
  EXPECT_TRUE(harness.deliver(MediaEventWithDirImpl(MediaEvent::eONEPLUS_RX_STARTED, TX)));
  // A known key, but no side to give the event to.
  EXPECT_TRUE(harness.deliver(
      ProxyMediaEvent(MediaEvent::eGET_CAPACITY, D::UNDEF_DIRECTION, harness.eptProxyData(0))));

  EXPECT_EQ((Lines{"[call-1] eSTART_ENDPOINT dir=RX_DIRECTION : invalid proxy data event. Ignoring",
                   "[call-1] eSTOP_ENDPOINT dir=TX_DIRECTION : invalid proxy data event. Ignoring",
                   "[call-1] Ignoring unexpected event eONEPLUS_RX_STARTED dir=TX_DIRECTION",
                   "[call-1] [ept-id=0] eGET_CAPACITY dir=UNDEF_DIRECTION : unexpected event "
                   "direction. Ignoring"}),
            capture.messages(LogLevel::WARN));
  EXPECT_EQ(Lines{"capacity RX_DIRECTION"}, harness.engineLog(1).lines());
  EXPECT_EQ(Lines{"capacity TX_DIRECTION"}, harness.engineLog(0).lines());
  EXPECT_EQ((Lines{"NOT_CONFIGURED", "NOT_CONFIGURED"}), statesOf(harness, 0, 2, RX));
  EXPECT_EQ((Lines{"NOT_CONFIGURED", "NOT_CONFIGURED"}), statesOf(harness, 0, 2, TX));
}

// ---- topology ------------------------------------------------------------------------------

enum class Kind { SND_RECV, REDIRECT, FORK };

struct AddStep {
  Kind m_eKind;
  const char* m_szId;
  const char* m_szForId;  // redirect and fork: null builds a spec without an ID
  std::size_t m_uiEngine;
};

bool addStep(CallHarness& io_harness, const AddStep& in_step) {
  MediaEndpointSpec* pSpec = nullptr;
  if (in_step.m_eKind == Kind::REDIRECT) pSpec = new RedirectRxEndpointSpec(in_step.m_szForId);
  if (in_step.m_eKind == Kind::FORK) pSpec = new ForkTxEndpointSpec(in_step.m_szForId);
  bool bAdded = false;
  io_harness.add(in_step.m_szId, pSpec, in_step.m_uiEngine, &bAdded);
  return bAdded;
}

struct TopologyRow {
  const char* m_szName;
  std::vector<AddStep> m_vSteps;
  Lines m_vLinks;  // linksOf each endpoint once all are added
};

TEST(CallTopology, LinksFollowTheTypesWhateverTheOrderOfAddition) {
  const Kind SR = Kind::SND_RECV;
  const Kind RD = Kind::REDIRECT;
  const Kind FK = Kind::FORK;
  const TopologyRow aRows[] = {
      {"send-receive endpoints (requested without spec) all feed each other",
       {{SR, "a", nullptr, 0}, {SR, "b", nullptr, 0}, {SR, "c", nullptr, 0}},
       {"rx=1,2 tx=1,2 for=-", "rx=0,2 tx=0,2 for=-", "rx=0,1 tx=0,1 for=-"}},
      {"redirect added after the endpoint it names",
       {{SR, "a", nullptr, 0}, {SR, "b", nullptr, 0}, {RD, "r", "a", 1}},
       {"rx=1,2 tx=1 for=-", "rx=0 tx=0 for=-", "rx= tx=0 for=0"}},
      {"redirect added before the endpoint it names",
       {{RD, "r", "a", 1}, {SR, "b", nullptr, 0}, {SR, "a", nullptr, 0}},
       {"rx= tx=2 for=2", "rx=2 tx=2 for=-", "rx=1,0 tx=1 for=-"}},
      {"a later send-receive endpoint of the redirect's engine object feeds it too",
       {{SR, "a", nullptr, 0}, {RD, "r", "a", 1}, {SR, "c", nullptr, 1}, {SR, "d", nullptr, 2}},
       {"rx=1,2,3 tx=2,3 for=-", "rx= tx=0,2 for=2", "rx=0,1,3 tx=0,3 for=-",
        "rx=0,2 tx=0,2 for=-"}},
      {"redirect naming no endpoint stays unbound",
       {{SR, "a", nullptr, 0}, {RD, "r", "zzz", 1}},
       {"rx= tx= for=-", "rx= tx= for=-"}},
      {"redirect without an ID is bound by its engine object only",
       {{RD, "r", nullptr, 1}, {SR, "a", nullptr, 0}, {SR, "b", nullptr, 1}},
       {"rx= tx=2 for=2", "rx=2 tx=2 for=-", "rx=1,0 tx=1 for=-"}},
      {"fork added after the endpoint it forks follows that endpoint's feeders",
       {{SR, "a", nullptr, 0}, {SR, "b", nullptr, 0}, {FK, "f", "a", 0}, {SR, "d", nullptr, 0}},
       {"rx=1,3 tx=1,3 for=-", "rx=0,2,3 tx=0,3 for=-", "rx= tx=1,3 for=0",
        "rx=0,1,2 tx=0,1 for=-"}},
      // The feeders that exist when the fork gets bound do not list it.
      {"fork added before the endpoint it forks",
       {{FK, "f", "a", 0}, {SR, "b", nullptr, 0}, {SR, "a", nullptr, 0}},
       {"rx= tx=1 for=2", "rx=2 tx=2 for=-", "rx=1 tx=1 for=-"}},
  };
  for (const TopologyRow& row : aRows) {
    SCOPED_TRACE(row.m_szName);
    AssertionRecorder recorder;
    CallHarness harness;
    for (const AddStep& step : row.m_vSteps) EXPECT_TRUE(addStep(harness, step)) << step.m_szId;
    EXPECT_EQ(row.m_vLinks, allLinks(harness));
    EXPECT_EQ(Lines{}, recorder.expressions());
  }
}

TEST(CallTopology, ARedirectOrForkNamingItselfIsLeftUnbound) {
  LogCapture capture(s_szCALL_LOGGER, LogLevel::WARN);
  CallHarness harness;
  harness.add("x");
  EXPECT_EQ(1u, harness.addRedirect("r", "r", 1));
  EXPECT_EQ(2u, harness.addFork("f", "f", 2));
  harness.add("y");

  EXPECT_EQ((Lines{"[call-1] MediaCallSM::updatePeerInfoRedirect : ept1 names itself as the "
                   "endpoint it is for; left unbound",
                   "[call-1] MediaCallSM::updatePeerInfoFork : ept2 names itself as the endpoint "
                   "it is for; left unbound"}),
            capture.messages(LogLevel::WARN));
  EXPECT_EQ((Lines{"rx=3 tx=3 for=-", "rx= tx= for=-", "rx= tx= for=-", "rx=0 tx=0 for=-"}),
            allLinks(harness));

  // Unbound, the redirect's Rx side starting does not feed its own Tx side.
  configureAll(harness, 2, 1);
  harness.start(1, TX);
  harness.start(1, RX);
  EXPECT_EQ("STARTED", harness.state(1, RX));
  EXPECT_EQ("STARTING", harness.state(1, TX));
  EXPECT_EQ(1u, harness.engineLog(1).count(Op::START));
}

// ---- coordination ----------------------------------------------------------------------------

TEST(CallCoordination, ATxSideWaitsForAFeedingRxSideUnlessConfiguredNotTo) {
  for (const bool bDontWait : {false, true}) {
    SCOPED_TRACE(bDontWait ? "txDontWaitForPeer" : "default");
    if (bDontWait) {
      GlobalConfig::getWritable().setParameter(
          MediaCallSM::s_szMEDIA_CALLSM_TXDONTWAITFORPEER_PARAM, ParameterValue(true));
    }
    LogCapture capture(s_szCALL_LOGGER, LogLevel::DEBUG);
    AssertionRecorder recorder;
    CallHarness harness;
    EXPECT_EQ(bDontWait, harness.call().TxDontWaitForPeer());
    harness.addFork("f", "nobody");  // 0: no Rx side feeds it
    harness.add("a");                // 1
    harness.add("b");                // 2
    configureAll(harness, 3);

    harness.start(0, TX);
    harness.start(1, TX);
    harness.start(1, RX);  // a's own Rx side does not feed a's Tx side
    const std::string strStarted = bDontWait ? "STARTED" : "STARTING";
    EXPECT_EQ(strStarted, harness.state(0, TX));
    EXPECT_EQ(strStarted, harness.state(1, TX));
    EXPECT_EQ(bDontWait ? 1u : 0u, harness.engineLog(0).count(Op::START));
    EXPECT_EQ(
        bDontWait ? 0u : 1u,
        capture.count(LogLevel::DEBUG,
                      "[call-1] onePlusRxStarted is false because this Tx endpoint has no peers"));

    harness.start(2, RX);  // b feeds a
    EXPECT_EQ("STARTED", harness.state(1, TX));
    EXPECT_EQ(1u, countOf(harness.engineLog(1).lines(), "start TX_DIRECTION"));
    EXPECT_EQ(strStarted, harness.state(0, TX));
    harness.stopCall();
    expectClean(harness, recorder);
    GlobalConfig::getWritable().removeParameter(
        MediaCallSM::s_szMEDIA_CALLSM_TXDONTWAITFORPEER_PARAM);
  }
}

// a's Rx side feeds the Tx sides of b, c and d; d's Tx side never started.
class RxStopWaitsForItsTxPeers : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* szId : {"a", "b", "c", "d"}) m_harness.add(szId);
    configureAll(m_harness, 3);
    m_harness.setAutoAnswer(3);
    m_harness.configure(3, RX);
    m_harness.start(1, TX);
    m_harness.start(2, TX);
    m_harness.start(0, RX);
    ASSERT_EQ((Lines{"STARTED", "STARTED", "NOT_CONFIGURED"}), statesOf(m_harness, 1, 4, TX));
  }

  AssertionRecorder m_recorder;
  CallHarness m_harness;
};

TEST_F(RxStopWaitsForItsTxPeers, TheRxSideStopsWhenItsLastStartedTxPeerHasStopped) {
  for (unsigned long i = 0; i < 4; ++i) m_harness.engineEndpoint(i)->setAutoAnswer(nullptr);

  m_harness.stop(0, RX);
  EXPECT_EQ("STOPPING", m_harness.state(0, RX));
  EXPECT_EQ(0u, m_harness.engineLog(0).count(Op::STOP));
  EXPECT_EQ((Lines{"PEER_STOPPING_TX", "PEER_STOPPING_TX", "NOT_CONFIGURED"}),
            statesOf(m_harness, 1, 4, TX));

  m_harness.stopStatus(1, TX);
  EXPECT_EQ("PEER_STOPPED_TX", m_harness.state(1, TX));
  EXPECT_EQ(0u, m_harness.engineLog(0).count(Op::STOP));

  m_harness.stopStatus(2, TX);
  ASSERT_EQ(1u, m_harness.engineLog(0).count(Op::STOP));
  EXPECT_EQ(RX, m_harness.engineLog(0).last(Op::STOP)->m_eDirection);

  m_harness.stopStatus(0, RX);
  EXPECT_EQ("STOPPED", m_harness.state(0, RX));
  EXPECT_EQ(1u, countOf(m_harness.callbackLog(0).lines(), "stop RX_DIRECTION EPT_OP_OK"));
  expectClean(m_harness, m_recorder);
}

// The Tx peers stop at once (their engines refuse the stop), while a's Rx side is still
// processing its own stop request: the call does not hand it a nested event, and the Rx
// side finds by itself that its peers have stopped.
TEST_F(RxStopWaitsForItsTxPeers, TxPeersStoppingInsideTheRxStopEndItOnceWithoutNestedDelivery) {
  m_harness.engineEndpoint(1)->refuse(Op::STOP);
  m_harness.engineEndpoint(2)->refuse(Op::STOP);

  m_harness.stop(0, RX);
  // Both peers of the walk were visited although each stop re-entered the call.
  EXPECT_EQ((Lines{"FINAL", "FINAL", "NOT_CONFIGURED"}), statesOf(m_harness, 1, 4, TX));
  EXPECT_EQ("STOPPED", m_harness.state(0, RX));
  EXPECT_EQ(1u, m_harness.engineLog(0).count(Op::STOP));
  EXPECT_EQ(1u, countOf(m_harness.callbackLog(0).lines(), "stop RX_DIRECTION EPT_OP_OK"));
  expectClean(m_harness, m_recorder);
}

// 0..7: send-receive "sr<k>" (engine 0); 8..11: redirects for sr0..sr3 (engines 1..4);
// 12..15: forks of sr4..sr7 (engine 5). Each Rx side feeds only some of the 15 others.
TEST(CallCoordination, PeerEventsReachExactlyThePeersInASixteenEndpointCall) {
  LogCapture capture(s_szMEDIA_LOGGER, LogLevel::WARN);
  AssertionRecorder recorder;
  CallHarness harness;
  for (int k = 0; k < 8; ++k) harness.add("sr" + std::to_string(k));
  for (int k = 0; k < 4; ++k) {
    harness.addRedirect("rd" + std::to_string(k), "sr" + std::to_string(k), 1 + k);
  }
  for (int k = 4; k < 8; ++k)
    harness.addFork("fk" + std::to_string(k), "sr" + std::to_string(k), 5);
  ASSERT_EQ(16u, harness.call().numEndpoint());
  EXPECT_EQ("rx=1,2,3,4,5,6,7,8,12,13,14,15 tx=1,2,3,4,5,6,7 for=-", linksOf(harness, 0));
  EXPECT_EQ("rx=0,1,2,3,5,6,7,13,14,15 tx=0,1,2,3,5,6,7 for=-", linksOf(harness, 4));
  EXPECT_EQ("rx= tx=1 for=1", linksOf(harness, 9));
  EXPECT_EQ("rx= tx=0,1,2,3,5,6,7 for=4", linksOf(harness, 12));

  configureAll(harness, 16);
  for (unsigned long i = 8; i < 16; ++i) harness.start(i, TX);
  const std::string W = "STARTING";
  const std::string S = "STARTED";
  EXPECT_EQ(Lines(8, W), statesOf(harness, 8, 16, TX));

  harness.start(4, RX);
  EXPECT_EQ((Lines{W, W, W, W, W, S, S, S}), statesOf(harness, 8, 16, TX));
  harness.start(1, RX);
  EXPECT_EQ((Lines{W, S, W, W, S, S, S, S}), statesOf(harness, 8, 16, TX));

  // Sr4's Rx side stopping takes the forks it feeds with it, and only them.
  harness.stop(4, RX);
  const std::string P = "PEER_STOPPED_TX";
  EXPECT_EQ((Lines{W, S, W, W, S, P, P, P}), statesOf(harness, 8, 16, TX));
  EXPECT_EQ("STOPPED", harness.state(4, RX));
  EXPECT_EQ(Lines(8, "STOPPED"), statesOf(harness, 0, 8, TX));

  // The Rx sides feeding fork 12, and no other.
  EXPECT_TRUE(harness.call().txPeerProcessEvent(12, MediaEventWithDirImpl(MediaEvent::eKILL, RX)));
  const std::string F = "FINAL";
  EXPECT_EQ((Lines{F, F, F, F, "STOPPED", F, F, F}), statesOf(harness, 0, 8, RX));
  EXPECT_EQ(Lines(8, "STOPPED"), statesOf(harness, 8, 16, RX));

  EXPECT_TRUE(harness.stopCall());
  EXPECT_TRUE(harness.call().allEndpointInFinalState());
  EXPECT_EQ(1u, harness.task().getNumCallAllEptInFinalState());
  EXPECT_TRUE(capture.lines().empty());
  expectClean(harness, recorder);
}

// ---- peer data and notifications ---------------------------------------------------------

TEST(CallPeerData, PeerDataIsStoredAndReachesTheLinkedOppositeSidesThroughTheirEngines) {
  CallHarness harness;
  harness.add("a");                  // 0
  harness.add("b");                  // 1
  harness.addRedirect("r", "a", 1);  // 2: fed by a
  harness.addRedirect("x", "b", 2);  // 3: fed by b
  const auto peerData = [&harness](unsigned long in_uiIndex) {
    Lines vLines;
    for (const std::string& strLine : harness.engineLog(in_uiIndex).lines()) {
      if (strLine.compare(0, 9, "peer-data") == 0) vLines.push_back(strLine);
    }
    return vLines;
  };

  // a's Rx side reaches the Tx sides it feeds; b's Tx side the Rx sides feeding it.
  EXPECT_TRUE(harness.sendPeerData(0, RX, new CTBusPeerData(17)));
  EXPECT_TRUE(harness.sendPeerData(1, TX, new CTBusPeerData(5)));
  EXPECT_EQ((Lines{"peer-data RX_DIRECTION timeslot=5"}), peerData(0));
  EXPECT_EQ((Lines{"peer-data TX_DIRECTION timeslot=17"}), peerData(1));
  EXPECT_EQ((Lines{"peer-data TX_DIRECTION timeslot=17"}), peerData(2));
  EXPECT_TRUE(peerData(3).empty());
  EXPECT_EQ(1u, harness.engine(1).numPeerDataDelivered());  // r's engine delivered r's copy
  EXPECT_EQ(0u, harness.engine(2).numPeerDataDelivered());

  // New data replaces the stored data.
  EXPECT_TRUE(harness.sendPeerData(0, RX, new CTBusPeerData(18)));
  const auto* pStored =
      dynamic_cast<const CTBusPeerData*>(harness.endpoint(0).getPeerData(RX).get());
  ASSERT_NE(nullptr, pStored);
  EXPECT_EQ(18u, pStored->getTimeSlot());

  // Endpoints added later get at once what their linked peers published.
  const unsigned long uiC = harness.add("c");
  EXPECT_EQ((Lines{"peer-data RX_DIRECTION timeslot=5", "peer-data TX_DIRECTION timeslot=18"}),
            peerData(uiC));
  const unsigned long uiY = harness.addRedirect("y", "a", 3);
  EXPECT_EQ((Lines{"peer-data TX_DIRECTION timeslot=18"}), peerData(uiY));

  // A final side drops what it published and receives nothing more.
  harness.deliver(ProxyMediaEvent(MediaEvent::eKILL, TX, harness.eptProxyData(1)));
  EXPECT_EQ("FINAL", harness.state(1, TX));
  EXPECT_TRUE(harness.endpoint(1).getPeerData(TX).isNull());
  const std::size_t uiBefore = peerData(1).size();
  EXPECT_TRUE(harness.sendPeerData(0, RX, new CTBusPeerData(19)));
  EXPECT_EQ(uiBefore, peerData(1).size());
  EXPECT_EQ("peer-data TX_DIRECTION timeslot=19", peerData(2).back());
  EXPECT_EQ("peer-data TX_DIRECTION timeslot=19", peerData(uiC).back());
  EXPECT_EQ("peer-data TX_DIRECTION timeslot=19", peerData(uiY).back());
  const unsigned long uiD = harness.add("d");
  EXPECT_EQ((Lines{"peer-data TX_DIRECTION timeslot=19"}), peerData(uiD));
}

// A user callback that runs a hook whenever it is notified, before recording.
class HookedCallback : public RecordingCallback {
 public:
  HookedCallback(std::shared_ptr<CallbackLog> in_pLog, std::function<void()> in_fnHook)
      : RecordingCallback(std::move(in_pLog)), m_fnHook(std::move(in_fnHook)) {}
  bool notifyEvent(MediaNotificationEvent* in_pEvent) override {
    m_fnHook();
    return RecordingCallback::notifyEvent(in_pEvent);
  }

 private:
  std::function<void()> m_fnHook;
};

TEST(CallPeerData, NotificationsReachThePeersBeforeTheSourceUser) {
  NullCallContainer container;  // outlives the call's keys
  Lines vSeen;  // the peer notification counts of endpoints 0, 1, 2 when s's user hears
  CallHarness harness;
  harness.add("a");                  // 0
  harness.add("b");                  // 1
  harness.addRedirect("r", "a", 1);  // 2: not linked to s
  const auto peerEvents = [&harness]() {
    std::string strCounts;
    for (unsigned long i = 0; i < 3; ++i) {
      strCounts += std::to_string(harness.engineLog(i).count(Op::PEER_EVENT));
    }
    return strCounts;
  };

  // The source s (3) is added by hand, so that its user notes what the peers were told.
  const LimitedObjPtr<TaskObjectContainer<MediaCallSM>> pContainer(&container);
  auto pSourceLog = std::make_shared<CallbackLog>();
  auto pSourceEngineLog = std::make_shared<EngineLog>();
  ASSERT_TRUE(harness.call().addEndpoint(
      ProxyData(pContainer, 1),
      new HookedCallback(pSourceLog, [&]() { vSeen.push_back(peerEvents()); }),
      ProxyData(pContainer, 2), new FakeEngineEndpoint(nullptr, "s", 3, pSourceEngineLog),
      harness.engine(0), "s"));
  EXPECT_EQ("rx=0,1 tx=0,1 for=-", linksOf(harness, 3));
  const auto notify = [&](D::Direction in_eDirection) {
    return harness.deliver(MediaEngineNotificationEvent(
        in_eDirection, pContainer, 2,
        new MediaNotificationEvent(in_eDirection, MediaNotificationEvent::eFIRST_PACKET_DETECTED)));
  };
  const std::string strRx =
      textOf(MediaNotificationEvent(RX, MediaNotificationEvent::eFIRST_PACKET_DETECTED));
  const std::string strTx =
      textOf(MediaNotificationEvent(TX, MediaNotificationEvent::eFIRST_PACKET_DETECTED));

  // Rx: to the Tx sides s feeds; Tx: to the Rx sides feeding s.
  EXPECT_TRUE(notify(RX));
  EXPECT_TRUE(notify(TX));
  for (unsigned long i = 0; i < 2; ++i) {
    EXPECT_EQ((Lines{"peer-event RX_DIRECTION " + strRx, "peer-event TX_DIRECTION " + strTx}),
              harness.engineLog(i).lines());
  }
  EXPECT_TRUE(harness.engineLog(2).lines().empty());
  EXPECT_EQ(0u, pSourceEngineLog->count(Op::PEER_EVENT));
  EXPECT_EQ((Lines{"110", "220"}), vSeen);
  EXPECT_EQ((Lines{"peer-event RX_DIRECTION EPT_OP_OK " + strRx,
                   "peer-event TX_DIRECTION EPT_OP_OK " + strTx}),
            pSourceLog->lines());

  // A peer whose receiving side is final is not told.
  harness.deliver(ProxyMediaEvent(MediaEvent::eKILL, RX, harness.eptProxyData(1)));
  EXPECT_TRUE(notify(TX));
  EXPECT_EQ(3u, harness.engineLog(0).count(Op::PEER_EVENT));
  EXPECT_EQ(2u, harness.engineLog(1).count(Op::PEER_EVENT));
  EXPECT_EQ(3u, pSourceLog->lines().size());
}

// ---- call snapshot ---------------------------------------------------------------------------

TEST(CallSnapshot, ATxStartCarriesTheCallWithTheStartedRxSidesFeedingIt) {
  AssertionRecorder recorder;
  CallHarness harness;
  harness.add("a");                  // 0
  harness.add("b");                  // 1
  harness.addRedirect("r", "a", 1);  // 2: fed by a only
  configureAll(harness, 3);
  harness.sendPeerData(0, RX, new CTBusPeerData(17));
  harness.sendPeerData(1, RX, new CTBusPeerData(23));
  harness.start(1, RX);
  harness.start(2, TX);  // waits: b does not feed r
  EXPECT_EQ(0u, harness.engineLog(2).count(Op::START));
  harness.start(0, RX);

  const EngineRequest* pStart = harness.engineLog(2).last(Op::START);
  ASSERT_NE(nullptr, pStart);
  EXPECT_EQ(TX, pStart->m_eDirection);
  const MediaCallData& snapshot = pStart->m_callData;
  ASSERT_EQ(3u, snapshot.m_vEptData.size());
  EXPECT_STREQ("r", snapshot.m_vEptData[2].getEptId());
  EXPECT_EQ(MediaEndpointSpec::eREDIRECT_RX, snapshot.m_vEptData[2].getEptType());
  EXPECT_EQ(0u, snapshot.m_vEptData[2].m_redirectForkIndex.getValue());
  EXPECT_TRUE(snapshot.m_vEptData[0].m_bRxStarted);
  EXPECT_TRUE(snapshot.m_vEptData[1].m_bRxStarted);
  EXPECT_EQ((IndexVector{0}), startedFeeders(*pStart, 2));
  unsigned long uiTimeSlot = 0;
  EXPECT_TRUE(CTBusPeerData::getStartedRxPeerTimeslot(2, snapshot, uiTimeSlot));
  EXPECT_EQ(17u, uiTimeSlot);

  // The caller's snapshot is resized to the call.
  MediaCallData callData;
  callData.m_vEptData.resize(5);
  EXPECT_TRUE(harness.call().initMediaCallData(callData));
  ASSERT_EQ(3u, callData.m_vEptData.size());
  EXPECT_STREQ("b", callData.m_vEptData[1].getEptId());
  expectClean(harness, recorder);
}

// ---- final states, timeouts, reuse ----------------------------------------------------------

TEST(CallFinalState, TheTaskHearsOnceEachTimeTheLastEndpointBecomesFinal) {
  LogCapture capture(s_szCALL_LOGGER, LogLevel::DEBUG);
  const std::string strIdle =
      "[call-1] not processing event because all endpoints are in a final State";
  {
    // A call without endpoints drops everything and reports nothing.
    CallHarness empty;
    EXPECT_TRUE(empty.stopCall());
    EXPECT_EQ(1u, capture.count(LogLevel::DEBUG, strIdle));
    EXPECT_EQ(0u, empty.task().getNumCallAllEptInFinalState());
  }
  capture.clear();

  CallHarness harness;
  const MediaEngineTask& task = harness.task();
  for (const char* szId : {"a", "b"}) harness.add(szId);
  configureAll(harness, 2);
  harness.start(1, RX);
  harness.engineEndpoint(1)->setAutoAnswer(nullptr);

  harness.destroy(0);
  EXPECT_EQ(1u, harness.call().getNumEptInFinalState());
  EXPECT_EQ(0u, task.getNumCallAllEptInFinalState());

  // b's Rx side waits for its engine stop; the stop's timeout makes the call final.
  harness.destroy(1);
  ASSERT_EQ("STOPPING_FINAL", harness.state(1, RX));
  const auto pTimedState = harness.endpoint(1).getRxSM().getCurrentState();
  EXPECT_EQ(0u, task.getNumCallAllEptInFinalState());
  EXPECT_EQ(1u, harness.advanceMs(300 * 1000));
  EXPECT_TRUE(harness.call().allEndpointInFinalState());
  EXPECT_EQ(1u, task.getNumCallAllEptInFinalState());

  // Late arrivals at the finished call are not reported again.
  EXPECT_TRUE(harness.call().processTimeout(harness.timers().now(),
                                            dynamic_cast<const TimeoutData*>(pTimedState.get())));
  EXPECT_TRUE(harness.stopStatus(1, RX));
  EXPECT_TRUE(harness.stopCall());
  EXPECT_EQ(1u, task.getNumCallAllEptInFinalState());
  EXPECT_EQ(2u, capture.count(LogLevel::DEBUG, strIdle));

  // An endpoint added to the finished call makes it active again (the task stops counting
  // it) until it too is final.
  harness.add("c");
  EXPECT_FALSE(harness.call().allEndpointInFinalState());
  EXPECT_EQ(0u, task.getNumCallAllEptInFinalState());
  harness.destroy(2);
  EXPECT_EQ(1u, task.getNumCallAllEptInFinalState());
  EXPECT_EQ(3u, harness.call().getNumEptInFinalState());
  EXPECT_TRUE(harness.contractViolations().empty());
}

TEST(CallFinalState, AFinishedCallStillAnswersRequestsToSidesThatFailedUntilTornDown) {
  CallHarness harness;
  for (const char* szId : {"a", "b"}) harness.add(szId);
  configureAll(harness, 2);
  harness.start(0, RX);
  harness.start(1, RX);
  harness.start(0, TX);
  harness.setAutoAnswer(0, CallHarness::FAILED);
  harness.stop(0, TX);
  harness.stop(0, RX);
  harness.destroy(1);
  ASSERT_EQ("FINAL", harness.state(0, RX));
  ASSERT_EQ("FINAL", harness.state(0, TX));
  ASSERT_TRUE(harness.call().allEndpointInFinalState());
  EXPECT_EQ(1u, harness.task().getNumCallAllEptInFinalState());
  const std::size_t uiReports = harness.callbackLog(0).lines().size();

  harness.configure(0, RX);
  harness.start(0, TX);
  const Lines& vLines = harness.callbackLog(0).lines();
  EXPECT_EQ((Lines{"configure RX_DIRECTION EPT_OP_FAILED", "start TX_DIRECTION EPT_OP_FAILED"}),
            Lines(vLines.begin() + uiReports, vLines.end()));
  EXPECT_EQ(1u, harness.task().getNumCallAllEptInFinalState()) << "not reported again";

  // The teardown lets the user's callback go: nothing more is reported.
  harness.destroy(0);
  EXPECT_TRUE(harness.endpoint(0).getRxSM().getEndpointCallback().isNull());
  EXPECT_TRUE(harness.endpoint(0).getTxSM().getEndpointCallback().isNull());
  EXPECT_TRUE(harness.contractViolations().empty());
}

TEST(CallFinalState, TimeoutsReachTheEndpointSideThatArmedThem) {
  AssertionRecorder recorder;
  CallHarness harness;
  for (const char* szId : {"a", "b"}) harness.add(szId);
  harness.setAutoAnswer(1);
  harness.configure(1, RX);
  harness.engineEndpoint(1)->setAutoAnswer(nullptr);
  harness.start(1, RX);      // b Rx: 5 s
  harness.configure(0, RX);  // a Rx: 300 s
  harness.advanceMs(1000);
  harness.configure(0, TX);  // a Tx: 301 s

  EXPECT_EQ(1u, harness.advanceMs(4000));
  EXPECT_TRUE(harness.callbackLog(0).lines().empty());
  EXPECT_EQ((Lines{"configure RX_DIRECTION EPT_OP_OK", "start RX_DIRECTION EPT_OP_FAILED"}),
            harness.callbackLog(1).lines());
  EXPECT_EQ(1u, harness.advanceMs(295 * 1000));
  EXPECT_EQ((Lines{"configure RX_DIRECTION EPT_OP_FAILED"}), harness.callbackLog(0).lines());
  EXPECT_EQ("INITIAL_CONFIGURATION", harness.state(0, TX));
  EXPECT_EQ(1u, harness.advanceMs(1000));
  EXPECT_EQ((Lines{"configure RX_DIRECTION EPT_OP_FAILED", "configure TX_DIRECTION EPT_OP_FAILED"}),
            harness.callbackLog(0).lines());
  EXPECT_EQ(2u, harness.callbackLog(1).lines().size());
  expectClean(harness, recorder);

  // Expiries that are not an endpoint state's.
  const ForeignTimeoutData foreign;
  EXPECT_FALSE(harness.call().processTimeout(harness.timers().now(), nullptr));
  EXPECT_FALSE(harness.call().processTimeout(harness.timers().now(), &foreign));
  ASSERT_EQ((Lines{"in_pTimeoutData != 0", "pState != 0"}), recorder.expressions());
  EXPECT_EQ("MediaEndpointSM", recorder.records()[0].m_strModule);
  EXPECT_EQ("MediaEndpointSM", recorder.records()[1].m_strModule);
}

TEST(CallFinalState, ReuseGivesEveryEndpointBackAndTheNextCallStartsClean) {
  AssertionRecorder recorder;
  CallHarness harness;
  const MediaEngineTask::EndpointPool& pool = harness.task().getEndpointPool();
  harness.add("a", nullptr, 0);      // 0
  harness.addRedirect("r", "a", 2);  // 1
  harness.add("b", nullptr, 1);      // 2
  configureAll(harness, 1);
  harness.start(0, RX);
  harness.sendPeerData(0, RX, new CTBusPeerData(17));

  harness.reuse();  // a is killed on the way
  EXPECT_EQ(0u, harness.call().numEndpoint());
  EXPECT_EQ(3u, pool.getNumUnusedObject());
  EXPECT_EQ(0u, pool.getNumObjectOut());
  EXPECT_EQ(0u, harness.task().getNumCallAllEptInFinalState());

  // The same records again, in another order. Nothing of the last call links them: b's
  // engine object made index 2 then, and no endpoint of it is at index 2 now.
  EXPECT_EQ(0u, harness.addRedirect("r2", "zzz", 1));
  EXPECT_EQ(1u, harness.add("c", nullptr, 2));
  EXPECT_EQ(2u, harness.add("d", nullptr, 0));
  EXPECT_EQ(3u, pool.getNumNewObject());
  EXPECT_EQ((Lines{"rx= tx= for=-", "rx=2 tx=2 for=-", "rx=1 tx=1 for=-"}), allLinks(harness));
  for (unsigned long i = 0; i < 3; ++i) {
    EXPECT_TRUE(harness.endpoint(i).getPeerData(RX).isNull());
    EXPECT_EQ(0u, harness.engineLog(i).count(Op::PEER_DATA));
  }
  EXPECT_FALSE(harness.endpoint(1).m_strRedirectForEptId.valid());
  EXPECT_EQ("zzz", harness.endpoint(0).m_strRedirectForEptId.getValue());
  EXPECT_EQ("NOT_CONFIGURED", harness.state(2, RX));
  EXPECT_TRUE(recorder.expressions().empty());
}

// ---- bad input -------------------------------------------------------------------------------

TEST(CallBadInput, RefusedEndpointsFreeWhatTheyWereGiven) {
  AssertionRecorder recorder;
  NullCallContainer container;
  CallHarness harness;
  MediaCallSM& call = harness.call();
  const LimitedObjPtr<TaskObjectContainer<MediaCallSM>> pContainer(&container);
  const ProxyData eptKey(pContainer, 1);
  const ProxyData callbackKey(pContainer, 2);
  const std::shared_ptr<EngineLog> apEngineLogs[] = {std::make_shared<EngineLog>(),
                                                     std::make_shared<EngineLog>()};
  const std::shared_ptr<CallbackLog> apCallbackLogs[] = {std::make_shared<CallbackLog>(),
                                                         std::make_shared<CallbackLog>()};
  const auto engineEndpoint = [&](int in_i) {
    return new FakeEngineEndpoint(nullptr, "x", 0, apEngineLogs[in_i]);
  };
  const auto callback = [&](int in_i) { return new RecordingCallback(apCallbackLogs[in_i]); };

  EXPECT_FALSE(
      call.addEndpoint(eptKey, nullptr, callbackKey, engineEndpoint(0), harness.engine(), "x"));
  EXPECT_FALSE(call.addEndpoint(eptKey, callback(0), callbackKey, nullptr, harness.engine(), "x"));
  // A call given back to the pool has no task any more.
  call.reset();
  EXPECT_FALSE(
      call.addEndpoint(eptKey, callback(1), callbackKey, engineEndpoint(1), harness.engine(), "x"));

  EXPECT_EQ((Lines{"! pEndpointCallback.isNull()", "! pEngineEndpoint.isNull()",
                   "! m_pMediaTask.isNull()"}),
            recorder.expressions());
  EXPECT_EQ(0u, call.numEndpoint());
  EXPECT_EQ(0u, harness.task().getEndpointPool().getNumNewObject());
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(apEngineLogs[i]->m_bDestroyed);
    EXPECT_TRUE(apCallbackLogs[i]->m_bDestroyed);
  }
}

TEST(CallBadInput, AnEndpointWhoseSpecDoesNotFitItsTypeIsReachedOnlyByTeardown) {
  struct Row {
    MediaEndpointSpec::EptType m_eType;
    std::string m_strAssertion;
  };
  const Row aRows[] = {{MediaEndpointSpec::eREDIRECT_RX, "&*pSpec != 0"},
                       {MediaEndpointSpec::eFORK_TX, "&*pSpec != 0"},
                       {MediaEndpointSpec::eUNDEF_EPT_TYPE, "0"}};
  for (const Row& row : aRows) {
    SCOPED_TRACE(MediaEndpointSpec::getEptTypeString(row.m_eType));
    LogCapture capture(s_szCALL_LOGGER, LogLevel::WARN);
    AssertionRecorder recorder;
    CallHarness harness;
    harness.add("a");
    bool bAdded = true;
    harness.add("m", new MislabelledSpec(row.m_eType), 0, &bAdded);
    EXPECT_FALSE(bAdded);
    EXPECT_EQ((Lines{row.m_strAssertion}), recorder.expressions());
    EXPECT_EQ(2u, harness.call().numEndpoint());
    EXPECT_EQ("rx= tx= for=-", linksOf(harness, 0));

    EXPECT_TRUE(harness.start(1, RX));
    EXPECT_TRUE(harness.sendPeerData(1, RX, new CTBusPeerData(3)));
    EXPECT_EQ(0u, harness.engineLog(1).count(Op::START));
    EXPECT_EQ(2u, capture.messages(LogLevel::WARN).size());
    EXPECT_TRUE(harness.stopCall());
    EXPECT_EQ("FINAL", harness.state(1, RX));
    EXPECT_EQ("FINAL", harness.state(1, TX));
    EXPECT_EQ(1u, harness.task().getNumCallAllEptInFinalState());
    EXPECT_TRUE(harness.contractViolations().empty());
  }
}

TEST(CallBadInput, EngineReportsWithoutTheirPayloadAreRefused) {
  AssertionRecorder recorder;
  CallHarness harness;
  for (const char* szId : {"a", "b"}) harness.add(szId);
  EXPECT_FALSE(harness.notify(0, nullptr));
  EXPECT_FALSE(harness.sendPeerData(0, RX, nullptr));
  EXPECT_EQ((Lines{"! m_pNotification.isNull()", "pEvent->hasEvent()", "in_pNewPeerData != 0"}),
            recorder.expressions());
  EXPECT_TRUE(harness.engineLog(1).lines().empty());
  EXPECT_TRUE(harness.callbackLog(0).lines().empty());
  EXPECT_TRUE(harness.endpoint(0).getPeerData(RX).isNull());
}

}  // namespace
}  // namespace Omvera
