// The endpoint state machines (Rx and Tx), driven through a real call on the test thread:
// every reaction of every state (what the user is told, what the engine endpoint is asked,
// what the call learns through the hooks, the next state), the timeouts and their
// configuration, teardown from every state, statuses nobody waits for, late answers, bad input.
//
// Endpoints 0 and 1 are send-receive endpoints of one call, so endpoint 0's Rx side feeds
// endpoint 1's Tx side and endpoint 1's Rx side feeds endpoint 0's Tx side. The side under
// test is always one side of endpoint 0; endpoint 1 plays its peer.
#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "support/AssertionRecorder.h"
#include "support/CallHarness.h"
#include "support/FakeEngine.h"
#include "support/LogCapture.h"
#include "tidewave/MediaCallSM.h"
#include "tidewave/MediaEndpointSM.h"
#include "tidewave/MediaEvent.h"
#include "tidewave/MediaNotificationEvent.h"
#include "tidewave/infra/Configuration.h"

namespace Omvera {
namespace {

using Test::AssertionRecorder;
using Test::CallbackLog;
using Test::CallHarness;
using Test::EngineLog;
using Test::FakeEngineEndpoint;
using Test::LogCapture;
using Test::Op;
using Test::RecordingCallback;
using Dir = MediaEndpoint::Direction;
using Lines = std::vector<std::string>;

constexpr Dir RX = MediaEndpoint::RX_DIRECTION;
constexpr Dir TX = MediaEndpoint::TX_DIRECTION;
constexpr Dir ANY = MediaEndpoint::UNDEF_DIRECTION;
constexpr MediaEndpointCallback::EptOpStatus OK = MediaEndpointCallback::EPT_OP_OK;
constexpr MediaEndpointCallback::EptOpStatus FAILED = MediaEndpointCallback::EPT_OP_FAILED;
constexpr int DEBUG = LogLevel::DEBUG;
constexpr int WARN = LogLevel::WARN;
constexpr int ERROR = LogLevel::ERROR;

constexpr long s_lSTATE_TIMEOUT_MS = 300000;
constexpr long s_lRX_START_TIMEOUT_MS = 5000;

Dir opposite(Dir in_eDirection) { return in_eDirection == RX ? TX : RX; }
const char* sideName(Dir in_eDirection) { return in_eDirection == RX ? "Rx_" : "Tx_"; }

// Sets an int parameter of the process configuration for the life of the object.
class ScopedParameter {
 public:
  ScopedParameter(const char* in_szName, int in_iValue) : m_strName(in_szName) {
    GlobalConfig::getWritable().setParameter(in_szName, ParameterValue(in_iValue));
  }
  ~ScopedParameter() { GlobalConfig::getWritable().removeParameter(m_strName.c_str()); }
  ScopedParameter(const ScopedParameter&) = delete;
  ScopedParameter& operator=(const ScopedParameter&) = delete;

 private:
  std::string m_strName;
};

// Where the side under test is brought before the event (see s_aPlaces).
// clang-format off
enum class At {
  NOT_CONFIGURED, INITIAL_CONFIGURATION, STOPPED, CONFIGURING_STOPPED, STOPPED_WITH_STARTED_PEER,
  STARTING, STARTING_DELAYED, STARTING_TX_WAITING, STARTED, STARTED_FEEDING_TX,
  CONFIGURING_STARTED, STOPPING, STOPPING_DELAYED, STOPPING_TORN_DOWN, STOPPING_FINAL,
  FINAL_OTHER_SIDE_STOPPING, PEER_STOPPING_TX, PEER_STOPPED_TX, PEER_STARTING_TX
};
// clang-format on

// Each place names the state it is in and, for test names, itself; the variants say what
// the peer endpoint is doing meanwhile.
struct PlaceInfo {
  const char* m_szState;
  const char* m_szName;
};
const PlaceInfo s_aPlaces[] = {
    {"NOT_CONFIGURED", "NotConfigured"},
    {"INITIAL_CONFIGURATION", "InitialConfiguration"},
    {"STOPPED", "Stopped"},
    {"CONFIGURING_STOPPED", "ConfiguringStopped"},
    {"STOPPED", "StoppedWithStartedPeer"},  // Tx: the Rx side feeding it has started
    {"STARTING", "Starting"},               // the engine start is under way (Tx: fed)
    {"STARTING", "StartingDelayed"},        // Tx: no feeding Rx side has started
    {"STARTING", "StartingTxWaiting"},      // Rx: the Tx side it feeds waits for it
    {"STARTED", "Started"},
    {"STARTED", "StartedFeedingTx"},  // Rx: the Tx side it feeds has started too
    {"CONFIGURING_STARTED", "ConfiguringStarted"},
    {"STOPPING", "Stopping"},
    {"STOPPING", "StoppingDelayed"},   // Rx: waits for the Tx side it feeds to stop
    {"STOPPING", "StoppingTornDown"},  // STOPPING, then the endpoint proxy went away
    {"STOPPING_FINAL", "StoppingFinal"},
    {"FINAL", "FinalOtherSideStopping"},  // Rx: torn down while the Tx side still stops
    {"PEER_STOPPING_TX", "PeerStoppingTx"},
    {"PEER_STOPPED_TX", "PeerStoppedTx"},
    {"PEER_STARTING_TX", "PeerStartingTx"}};

const char* stateOf(At in_eAt) { return s_aPlaces[static_cast<int>(in_eAt)].m_szState; }
const char* nameOf(At in_eAt) { return s_aPlaces[static_cast<int>(in_eAt)].m_szName; }

// What happens to the side under test (of endpoint 0, direction d).
// clang-format off
enum class Ev {
  CONFIGURE, START, STOP,  // user requests for d
  CONFIGURE_OK, CONFIGURE_FAILED, START_OK, START_FAILED, STOP_OK, STOP_FAILED,  // engine answers
  ALL_TX_STOPPED, PEER_STOP_TX, ONEPLUS_RX_STARTED,  // the call's coordination events for d
  STOP_CALL, KILL_CALL, DESTROY,  // teardowns
  TIMEOUT,         // the state's own timer expires (checked not to expire 1 ms earlier)
  OUT_OF_BAND,     // out-of-band code 7 (the harness sends it for RX_DIRECTION)
  PEER_RX_STARTS,  // endpoint 1's Rx side is started (configured first if need be)
  PEER_RX_STOPS,   // the user stops endpoint 1's Rx side
  PEER_TX_STOPS    // endpoint 1's engine confirms the stop of its Tx side
};
// clang-format on

const char* nameOf(Ev in_eEvent) {
  static const char* const s_aszNames[] = {
      "Configure",       "Start",        "Stop",        "ConfigureOk",
      "ConfigureFailed", "StartOk",      "StartFailed", "StopOk",
      "StopFailed",      "AllTxStopped", "PeerStopTx",  "OnePlusRxStarted",
      "StopCall",        "KillCall",     "Destroy",     "Timeout",
      "OutOfBand",       "PeerRxStarts", "PeerRxStops", "PeerTxStops"};
  return s_aszNames[static_cast<int>(in_eEvent)];
}

// One reaction of a state: how to get there, what happens, and everything that follows.
struct Row {
  Row(Dir in_eDirection, At in_eAt, std::vector<Ev> in_vEvents, const char* in_szNext,
      bool in_bFlag, Lines in_vReports, Lines in_vRequests)
      : m_eDirection(in_eDirection),
        m_eAt(in_eAt),
        m_vEvents(std::move(in_vEvents)),
        m_eEvent(m_vEvents.front()),
        m_strNext(in_szNext),
        m_bFlag(in_bFlag),
        m_vReports(std::move(in_vReports)),
        m_vRequests(std::move(in_vRequests)) {}

  template <typename T>
  Row& set(T& out_field, T in_value) {
    out_field = std::move(in_value);
    return *this;
  }
  Row& peer(Lines in_vRequests, std::string in_strState = std::string()) {
    set(m_vPeerRequests, std::move(in_vRequests));
    return set(m_strPeerState, std::move(in_strState));
  }
  Row& ms(long in_lMs) { return set(m_lTimeoutMs, in_lMs); }
  Row& queued() { return set<std::size_t>(m_uiQueued, 1); }
  Row& log(int in_iLevel, std::string in_strLine) {
    return set(m_iLogLevel, in_iLevel).set(m_strLog, std::move(in_strLine));
  }
  Row& error(std::string in_strLine) { return log(ERROR, std::move(in_strLine)); }
  // The state's timer expired, logged as such.
  Row& timedOut() { return error(std::string("timeout in state ") + stateOf(m_eAt)); }
  Row& asserts(std::string in_strExpression) { return set(m_strAssertion, in_strExpression); }
  // The engine endpoint refuses in_eOp: the refused request, and the error it causes.
  Row& refused(Op in_eOp) {
    const std::string strOp = Test::opName(in_eOp);
    set(m_bRefuse, true).set(m_eRefused, in_eOp);
    set(m_vRequests, {strOp + " " + MediaEndpoint::getDirectionString(m_eDirection) + " refused"});
    return error("engine ept " + strOp + " failed");
  }

  Dir m_eDirection;
  At m_eAt;
  std::vector<Ev> m_vEvents;  // a table line stands for a row of each of these events
  Ev m_eEvent;
  std::string m_strNext;
  // After the event. Rx: the call counts the Rx side as started; Tx: as stopped.
  bool m_bFlag;
  // The reports for the side's direction and the requests for it (or without direction)
  // to endpoint 0's engine endpoint that the event caused, in order.
  Lines m_vReports;
  Lines m_vRequests;
  // Every request endpoint 1's engine endpoint received meanwhile, and the state of its
  // opposite side afterwards (empty: not checked).
  Lines m_vPeerRequests;
  std::string m_strPeerState;
  bool m_bRefuse = false;
  Op m_eRefused = Op::CAPACITY;
  long m_lTimeoutMs = s_lSTATE_TIMEOUT_MS;  // TIMEOUT: when the state's timer expires
  std::size_t m_uiQueued = 0;               // events the side holds for later afterwards
  int m_iLogLevel = LogLevel::NOT_SET;
  std::string m_strLog;        // a line the side logs (without its logging ids)
  std::string m_strAssertion;  // the one assertion raised; empty: none
};

// The event or events of a table line.
struct Events {
  Events(Ev in_eEvent) : m_vEvents{in_eEvent} {}
  Events(std::initializer_list<Ev> in_events) : m_vEvents(in_events) {}
  std::vector<Ev> m_vEvents;
};

Row rxRow(At in_eAt, Events in_events, const char* in_szNext, bool in_bFlag, Lines in_vReports = {},
          Lines in_vRequests = {}) {
  return Row(RX, in_eAt, std::move(in_events.m_vEvents), in_szNext, in_bFlag,
             std::move(in_vReports), std::move(in_vRequests));
}
Row txRow(At in_eAt, Events in_events, const char* in_szNext, bool in_bFlag, Lines in_vReports = {},
          Lines in_vRequests = {}) {
  return Row(TX, in_eAt, std::move(in_events.m_vEvents), in_szNext, in_bFlag,
             std::move(in_vReports), std::move(in_vRequests));
}

// "Rx_Stopped_StartRefused": side, place, event, and whether the engine refuses.
std::string nameOf(const Row& in_row) {
  return sideName(in_row.m_eDirection) + std::string(nameOf(in_row.m_eAt)) + "_" +
         nameOf(in_row.m_eEvent) + (in_row.m_bRefuse ? "Refused" : "");
}

void PrintTo(const Row& in_row, std::ostream* out_pStream) { *out_pStream << nameOf(in_row); }

// A call with endpoints 0 and 1, log and assertion capture, and the ways to drive the side
// under test.
class EndpointSMTest : public ::testing::Test {
 protected:
  EndpointSMTest() {
    m_harness.add("ept-0");
    m_harness.add("ept-1");
  }

  static void SetUpTestSuite() {
    GlobalConfig::getWritable().removeParameter(MediaEndpointSM::s_szRX_START_TIMEOUT_PARAM);
    GlobalConfig::getWritable().removeParameter(MediaEndpointSM::s_szSTOP_TIMEOUT_PARAM);
  }

  // How many times endpoint 0's side in_eDirection logged in_strMessage at in_iLevel.
  std::size_t logged(int in_iLevel, Dir in_eDirection, const std::string& in_strMessage) const {
    return m_log.count(in_iLevel,
                       "[call-1] [ept-id=0] [" +
                           std::string(MediaEndpoint::getDirectionString(in_eDirection)) + "] " +
                           in_strMessage);
  }

  MediaEndpointSM& machine(Dir in_eDirection) {
    MediaCallSMEndpoint& endpoint = m_harness.endpoint(0);
    if (in_eDirection == RX) return endpoint.getRxSM();
    return endpoint.getTxSM();
  }
  std::string state(unsigned long in_uiIndex, Dir in_eDirection) const {
    return m_harness.state(in_uiIndex, in_eDirection);
  }
  // Rx: the call counts endpoint 0's side as started; Tx: as stopped.
  bool flag(Dir in_eDirection) const {
    const MediaCallSMEndpoint& endpoint = m_harness.endpoint(0);
    return in_eDirection == RX ? endpoint.m_bRxStarted : endpoint.m_bTxStopped;
  }

  // Endpoint 0's reports for in_eDirection, from position in_uiFrom on.
  Lines reports(Dir in_eDirection, std::size_t in_uiFrom = 0) const {
    const CallbackLog& log = m_harness.callbackLog(0);
    const Lines vAll = log.lines();
    Lines vLines;
    for (std::size_t uiPos = in_uiFrom; uiPos < log.m_vReports.size(); ++uiPos) {
      if (log.m_vReports[uiPos].m_eDirection == in_eDirection) vLines.push_back(vAll[uiPos]);
    }
    return vLines;
  }
  // Requests to endpoint in_uiIndex's engine endpoint from position in_uiFrom on: those for
  // in_eDirection and those without direction; all of them for ANY.
  Lines requests(unsigned long in_uiIndex, Dir in_eDirection = ANY,
                 std::size_t in_uiFrom = 0) const {
    const EngineLog& log = m_harness.engineLog(in_uiIndex);
    const Lines vAll = log.lines();
    Lines vLines;
    for (std::size_t uiPos = in_uiFrom; uiPos < log.m_vRequests.size(); ++uiPos) {
      const Dir eDirection = log.m_vRequests[uiPos].m_eDirection;
      if (in_eDirection == ANY || eDirection == in_eDirection || eDirection == ANY) {
        vLines.push_back(vAll[uiPos]);
      }
    }
    return vLines;
  }
  std::size_t numReports() const { return m_harness.callbackLog(0).m_vReports.size(); }
  std::size_t numRequests(unsigned long in_uiIndex) const {
    return m_harness.engineLog(in_uiIndex).m_vRequests.size();
  }
  void expectClean() const {
    EXPECT_EQ(Lines{}, m_harness.contractViolations());
    EXPECT_EQ(Lines{}, m_assertions.expressions());
  }
  // Nothing fires until in_lMs have passed; then one timer does.
  void expectTimerAfter(long in_lMs) {
    EXPECT_EQ(0u, m_harness.advanceMs(in_lMs - 1)) << "a timer fired early";
    EXPECT_EQ(1u, m_harness.advanceMs(1));
  }

  // An event of the call's own making (or a bare request), for one side of endpoint 0.
  bool deliverPlain(MediaEvent::Type in_eType, Dir in_eDirection) {
    return m_harness.deliver(ProxyMediaEvent(in_eType, in_eDirection, m_harness.eptProxyData(0)));
  }

  void configured(unsigned long in_uiIndex, Dir in_eDirection) {
    m_harness.configure(in_uiIndex, in_eDirection);
    m_harness.configureStatus(in_uiIndex, in_eDirection, OK);
  }
  // Endpoint 1's Rx side, the one feeding endpoint 0's Tx side, starts.
  bool startPeerRx() {
    if (state(1, RX) == "NOT_CONFIGURED") configured(1, RX);
    m_harness.start(1, RX);
    return m_harness.startStatus(1, RX, OK);
  }
  void starting(Dir in_eDirection) {
    if (in_eDirection == TX) startPeerRx();
    configured(0, in_eDirection);
    m_harness.start(0, in_eDirection);
  }
  void started(Dir in_eDirection) {
    starting(in_eDirection);
    m_harness.startStatus(0, in_eDirection, OK);
  }
  // Endpoint 1's Tx side (fed by endpoint 0's Rx side) is configured and asked to start.
  void startPeerTx() {
    configured(1, TX);
    m_harness.start(1, TX);
  }

  // clang-format off
  void reach(At in_eAt, Dir in_eDirection) {
    const Dir eDir = in_eDirection;
    switch (in_eAt) {
      case At::NOT_CONFIGURED: return;
      case At::INITIAL_CONFIGURATION: m_harness.configure(0, eDir); return;
      case At::STOPPED: return configured(0, eDir);
      case At::CONFIGURING_STOPPED: configured(0, eDir); m_harness.configure(0, eDir); return;
      case At::STOPPED_WITH_STARTED_PEER: startPeerRx(); return configured(0, TX);
      case At::STARTING: return starting(eDir);
      case At::STARTING_DELAYED: configured(0, TX); m_harness.start(0, TX); return;
      case At::STARTING_TX_WAITING: startPeerTx(); return starting(RX);
      case At::STARTED: return started(eDir);
      case At::STARTED_FEEDING_TX: started(RX); startPeerTx(); m_harness.startStatus(1, TX); return;
      case At::CONFIGURING_STARTED: started(eDir); m_harness.configure(0, eDir); return;
      case At::STOPPING: started(eDir); m_harness.stop(0, eDir); return;
      case At::STOPPING_DELAYED: reach(At::STARTED_FEEDING_TX, RX); m_harness.stop(0, RX); return;
      case At::STOPPING_TORN_DOWN: reach(At::STOPPING, eDir); m_harness.destroy(0); return;
      case At::STOPPING_FINAL: started(eDir); m_harness.destroy(0); return;
      case At::FINAL_OTHER_SIDE_STOPPING: started(TX); m_harness.destroy(0); return;
      case At::PEER_STOPPING_TX: started(TX); m_harness.stop(1, RX); return;
      case At::PEER_STOPPED_TX:
        reach(At::PEER_STOPPING_TX, TX);
        m_harness.stopStatus(0, TX);
        m_harness.stopStatus(1, RX);
        return;
      case At::PEER_STARTING_TX: reach(At::PEER_STOPPED_TX, TX); startPeerRx(); return;
    }
  }

  // Returns the call's answer to the event (true for a timeout).
  bool apply(Ev in_eEvent, Dir in_eDirection, long in_lTimeoutMs = s_lSTATE_TIMEOUT_MS) {
    const Dir eDir = in_eDirection;
    switch (in_eEvent) {
      case Ev::CONFIGURE: return m_harness.configure(0, eDir);
      case Ev::START: return m_harness.start(0, eDir);
      case Ev::STOP: return m_harness.stop(0, eDir);
      case Ev::CONFIGURE_OK: return m_harness.configureStatus(0, eDir, OK);
      case Ev::CONFIGURE_FAILED: return m_harness.configureStatus(0, eDir, FAILED);
      case Ev::START_OK: return m_harness.startStatus(0, eDir, OK);
      case Ev::START_FAILED: return m_harness.startStatus(0, eDir, FAILED);
      case Ev::STOP_OK: return m_harness.stopStatus(0, eDir, OK);
      case Ev::STOP_FAILED: return m_harness.stopStatus(0, eDir, FAILED);
      case Ev::ALL_TX_STOPPED: return deliverPlain(MediaEvent::eALL_TX_STOPPED, eDir);
      case Ev::PEER_STOP_TX: return deliverPlain(MediaEvent::ePEER_STOP_TXENDPOINT, eDir);
      case Ev::ONEPLUS_RX_STARTED: return deliverPlain(MediaEvent::eONEPLUS_RX_STARTED, eDir);
      case Ev::STOP_CALL: return m_harness.stopCall();
      case Ev::KILL_CALL: return m_harness.killCall();
      case Ev::DESTROY: return m_harness.destroy(0);
      case Ev::TIMEOUT: {
        const std::string strBefore = state(0, eDir);
        EXPECT_EQ(0u, m_harness.advanceMs(in_lTimeoutMs - 1)) << "a timer fired 1 ms early";
        EXPECT_EQ(strBefore, state(0, eDir));
        EXPECT_LE(1u, m_harness.advanceMs(1));
        return true;
      }
      case Ev::OUT_OF_BAND: return m_harness.outOfBand(0, 7);
      case Ev::PEER_RX_STARTS: return startPeerRx();
      case Ev::PEER_RX_STOPS: return m_harness.stop(1, RX);
      case Ev::PEER_TX_STOPS: return m_harness.stopStatus(1, TX, OK);
    }
    return false;
  }
  // clang-format on

  // Endpoint 1's Rx side is asked to stop while endpoint 0's Tx side (which it feeds) is
  // busy: the Rx stop waits for that Tx side, until the Tx side's timer expires.
  void expectRxStopReleasedWhenTheTxTimerExpires(const char* in_szTxState) {
    // 1 s after the Tx side's timer was armed, so that the Tx timer expires alone.
    m_harness.advanceMs(1000);
    const std::size_t uiPeerRequests = numRequests(1);
    m_harness.stop(1, RX);
    ASSERT_EQ("STOPPING", state(1, RX));
    ASSERT_EQ(Lines{}, requests(1, RX, uiPeerRequests)) << "the Rx stop should wait";
    m_harness.advanceMs(s_lSTATE_TIMEOUT_MS - 1000);
    EXPECT_EQ(in_szTxState, state(0, TX));
    EXPECT_TRUE(flag(TX));
    // The peer stop the Tx side was holding is spent.
    EXPECT_EQ(0u, machine(TX).getNumQueuedEvents());
    EXPECT_EQ(Lines{"stop RX_DIRECTION"}, requests(1, RX, uiPeerRequests));
    m_harness.stopStatus(1, RX, OK);
    EXPECT_EQ("STOPPED", state(1, RX));
    expectClean();
  }

  // Answers every engine stop a side still waits for.
  void answerPendingStops() {
    for (int iRound = 0; iRound < 3; ++iRound) {
      for (unsigned long uiIndex = 0; uiIndex < m_harness.numAdded(); ++uiIndex) {
        for (const Dir eDirection : {RX, TX}) {
          const std::string strState = state(uiIndex, eDirection);
          if (strState == "STOPPING" || strState == "STOPPING_FINAL" ||
              strState == "PEER_STOPPING_TX") {
            m_harness.stopStatus(uiIndex, eDirection, OK);
          }
        }
      }
    }
  }

  // Declared first: the machines cache their log level when the harness builds them.
  LogCapture m_log{"tidewave.media", LogLevel::DEBUG};
  AssertionRecorder m_assertions;
  CallHarness m_harness;
};

// ---- the reaction tables ----------------------------------------------------------------

std::vector<Row> rxRows() {
  const std::string CFG_OK = "configure RX_DIRECTION EPT_OP_OK";
  const std::string CFG_FAILED = "configure RX_DIRECTION EPT_OP_FAILED";
  const std::string START_OK = "start RX_DIRECTION EPT_OP_OK";
  const std::string START_FAILED = "start RX_DIRECTION EPT_OP_FAILED";
  const std::string STOP_OK = "stop RX_DIRECTION EPT_OP_OK";
  const std::string STOP_FAILED = "stop RX_DIRECTION EPT_OP_FAILED";
  const std::string CONFIGURE = "configure RX_DIRECTION";
  const std::string START = "start RX_DIRECTION";
  const std::string STOP = "stop RX_DIRECTION";
  // clang-format off
  return {
    // NOT_CONFIGURED
    rxRow(At::NOT_CONFIGURED, Ev::CONFIGURE, "INITIAL_CONFIGURATION", false, {}, {CONFIGURE}),
    rxRow(At::NOT_CONFIGURED, Ev::CONFIGURE, "NOT_CONFIGURED", false, {CFG_FAILED})
        .refused(Op::CONFIGURE),
    rxRow(At::NOT_CONFIGURED, {Ev::ALL_TX_STOPPED, Ev::PEER_STOP_TX, Ev::ONEPLUS_RX_STARTED},
          "NOT_CONFIGURED", false),
    rxRow(At::NOT_CONFIGURED, Ev::START, "NOT_CONFIGURED", false).queued()
        .log(DEBUG, "eSTART_ENDPOINT dir=RX_DIRECTION unprocessed, enqueueing."),
    rxRow(At::NOT_CONFIGURED, {Ev::STOP_CALL, Ev::KILL_CALL, Ev::DESTROY}, "FINAL", false),

    // INITIAL_CONFIGURATION
    rxRow(At::INITIAL_CONFIGURATION, Ev::CONFIGURE_OK, "STOPPED", false, {CFG_OK}),
    rxRow(At::INITIAL_CONFIGURATION, Ev::CONFIGURE_FAILED, "NOT_CONFIGURED", false, {CFG_FAILED}),
    rxRow(At::INITIAL_CONFIGURATION, {Ev::ALL_TX_STOPPED, Ev::ONEPLUS_RX_STARTED},
          "INITIAL_CONFIGURATION", false),
    rxRow(At::INITIAL_CONFIGURATION, Ev::STOP, "INITIAL_CONFIGURATION", false).queued(),
    rxRow(At::INITIAL_CONFIGURATION, {Ev::STOP_CALL, Ev::KILL_CALL, Ev::DESTROY},
          "FINAL", false, {CFG_FAILED}),
    rxRow(At::INITIAL_CONFIGURATION, Ev::TIMEOUT, "NOT_CONFIGURED", false, {CFG_FAILED}).timedOut(),

    // CONFIGURING_STOPPED
    rxRow(At::CONFIGURING_STOPPED, Ev::CONFIGURE_OK, "STOPPED", false, {CFG_OK}),
    rxRow(At::CONFIGURING_STOPPED, Ev::CONFIGURE_FAILED, "STOPPED", false, {CFG_FAILED}),
    rxRow(At::CONFIGURING_STOPPED, {Ev::ALL_TX_STOPPED, Ev::ONEPLUS_RX_STARTED},
          "CONFIGURING_STOPPED", false),
    rxRow(At::CONFIGURING_STOPPED, Ev::START, "CONFIGURING_STOPPED", false).queued(),
    rxRow(At::CONFIGURING_STOPPED, {Ev::STOP_CALL, Ev::KILL_CALL, Ev::DESTROY},
          "FINAL", false, {CFG_FAILED}),
    rxRow(At::CONFIGURING_STOPPED, Ev::TIMEOUT, "STOPPED", false, {CFG_FAILED}).timedOut(),

    // STOPPED
    rxRow(At::STOPPED, Ev::CONFIGURE, "CONFIGURING_STOPPED", false, {}, {CONFIGURE}),
    rxRow(At::STOPPED, Ev::CONFIGURE, "STOPPED", false, {CFG_FAILED}).refused(Op::CONFIGURE),
    rxRow(At::STOPPED, Ev::START, "STARTING", false, {}, {START}),
    rxRow(At::STOPPED, Ev::START, "STOPPED", false, {START_FAILED}).refused(Op::START),
    rxRow(At::STOPPED, Ev::STOP, "STOPPED", false, {STOP_OK}),
    rxRow(At::STOPPED, {Ev::ALL_TX_STOPPED, Ev::PEER_STOP_TX, Ev::ONEPLUS_RX_STARTED},
          "STOPPED", false),
    rxRow(At::STOPPED, {Ev::STOP_CALL, Ev::KILL_CALL, Ev::DESTROY}, "FINAL", false),

    // STARTING
    rxRow(At::STARTING, Ev::START_OK, "STARTED", true, {START_OK}),
    rxRow(At::STARTING_TX_WAITING, Ev::START_OK, "STARTED", true, {START_OK})
        .peer({"start TX_DIRECTION"}, "STARTING"),
    rxRow(At::STARTING, Ev::START_FAILED, "STOPPED", false, {START_FAILED}),
    rxRow(At::STARTING, {Ev::STOP, Ev::CONFIGURE}, "STARTING", false).queued(),
    rxRow(At::STARTING, {Ev::ALL_TX_STOPPED, Ev::ONEPLUS_RX_STARTED}, "STARTING", false),
    rxRow(At::STARTING, {Ev::STOP_CALL, Ev::DESTROY}, "STOPPING_FINAL", false, {}, {STOP}),
    rxRow(At::STARTING, Ev::KILL_CALL, "FINAL", false, {}, {STOP}),
    rxRow(At::STARTING, Ev::TIMEOUT, "STOPPED", false, {START_FAILED}).ms(s_lRX_START_TIMEOUT_MS)
        .timedOut(),

    // STARTED
    rxRow(At::STARTED, Ev::CONFIGURE, "CONFIGURING_STARTED", true, {}, {CONFIGURE}),
    rxRow(At::STARTED, Ev::CONFIGURE, "STARTED", true, {CFG_FAILED}).refused(Op::CONFIGURE),
    rxRow(At::STARTED, Ev::STOP, "STOPPING", false, {}, {STOP}),
    rxRow(At::STARTED_FEEDING_TX, Ev::STOP, "STOPPING", true)
        .peer({"stop TX_DIRECTION"}, "PEER_STOPPING_TX")
        .log(DEBUG, "Stopping::entryAction_i : Rx endpoint stop delayed"),
    rxRow(At::STARTED, Ev::STOP, "FINAL", false, {STOP_FAILED}).refused(Op::STOP),
    rxRow(At::STARTED, Ev::START, "STARTED", true).queued(),
    rxRow(At::STARTED, {Ev::ALL_TX_STOPPED, Ev::ONEPLUS_RX_STARTED}, "STARTED", true),
    rxRow(At::STARTED, Ev::PEER_STOP_TX, "STARTED", true)
        .asserts("m_SM.getDirection() == MediaEndpoint::TX_DIRECTION"),
    rxRow(At::STARTED, {Ev::STOP_CALL, Ev::DESTROY}, "STOPPING_FINAL", false, {}, {STOP}),
    rxRow(At::STARTED, Ev::KILL_CALL, "FINAL", false, {}, {STOP}),
    rxRow(At::STARTED, Ev::OUT_OF_BAND, "STARTED", true, {}, {"oob UNDEF_DIRECTION 7"}),

    // CONFIGURING_STARTED
    rxRow(At::CONFIGURING_STARTED, Ev::CONFIGURE_OK, "STARTED", true, {CFG_OK}),
    rxRow(At::CONFIGURING_STARTED, Ev::CONFIGURE_FAILED, "STARTED", true, {CFG_FAILED}),
    rxRow(At::CONFIGURING_STARTED, {Ev::ALL_TX_STOPPED, Ev::ONEPLUS_RX_STARTED},
          "CONFIGURING_STARTED", true),
    rxRow(At::CONFIGURING_STARTED, Ev::STOP, "CONFIGURING_STARTED", true).queued(),
    rxRow(At::CONFIGURING_STARTED, {Ev::STOP_CALL, Ev::DESTROY},
          "STOPPING_FINAL", false, {CFG_FAILED}, {STOP}),
    rxRow(At::CONFIGURING_STARTED, Ev::KILL_CALL, "FINAL", false, {CFG_FAILED}, {STOP}),
    rxRow(At::CONFIGURING_STARTED, Ev::TIMEOUT, "STARTED", true, {CFG_FAILED}).timedOut(),

    // STOPPING
    rxRow(At::STOPPING, Ev::STOP_OK, "STOPPED", false, {STOP_OK}),
    rxRow(At::STOPPING, Ev::STOP_FAILED, "FINAL", false, {STOP_FAILED}),
    rxRow(At::STOPPING, {Ev::ALL_TX_STOPPED, Ev::ONEPLUS_RX_STARTED, Ev::STOP_CALL, Ev::DESTROY},
          "STOPPING", false),
    rxRow(At::STOPPING, Ev::START, "STOPPING", false).queued(),
    rxRow(At::STOPPING, Ev::KILL_CALL, "FINAL", false),
    rxRow(At::STOPPING, Ev::TIMEOUT, "FINAL", false, {STOP_FAILED})
        .error("timeout (300000ms) in state STOPPING"),
    rxRow(At::STOPPING_TORN_DOWN, Ev::STOP_OK, "FINAL", false, {STOP_OK}),
    rxRow(At::STOPPING_TORN_DOWN, Ev::STOP_FAILED, "FINAL", false, {STOP_FAILED}),
    rxRow(At::STOPPING_DELAYED, Ev::PEER_TX_STOPS, "STOPPING", false, {}, {STOP})
        .peer({}, "PEER_STOPPED_TX"),
    rxRow(At::STOPPING_DELAYED, Ev::ALL_TX_STOPPED, "STOPPING", false, {}, {STOP}),
    rxRow(At::STOPPING_DELAYED, Ev::STOP_OK, "STOPPING", true)
        .log(WARN, "eSTOP_ENDPOINT_STATUS dir=RX_DIRECTION EPT_OP_OK : no request is waiting for "
                   "this status, dropped"),
    rxRow(At::STOPPING_DELAYED, Ev::DESTROY, "STOPPING", true),
    rxRow(At::STOPPING_DELAYED, Ev::KILL_CALL, "FINAL", false, {}, {STOP}).peer({}, "FINAL"),

    // STOPPING_FINAL
    rxRow(At::STOPPING_FINAL, {Ev::CONFIGURE_OK, Ev::START_OK, Ev::ALL_TX_STOPPED,
                               Ev::ONEPLUS_RX_STARTED, Ev::STOP_CALL, Ev::DESTROY},
          "STOPPING_FINAL", false),
    rxRow(At::STOPPING_FINAL, Ev::STOP_OK, "FINAL", false, {STOP_OK}),
    rxRow(At::STOPPING_FINAL, Ev::STOP_FAILED, "FINAL", false, {STOP_FAILED}),
    rxRow(At::STOPPING_FINAL, Ev::KILL_CALL, "FINAL", false),
    rxRow(At::STOPPING_FINAL, Ev::TIMEOUT, "FINAL", false, {START_FAILED}).timedOut(),

    // FINAL, reached by a teardown while the endpoint's Tx side still stops: requests
    // that arrive are dropped without a report.
    rxRow(At::FINAL_OTHER_SIDE_STOPPING, {Ev::CONFIGURE, Ev::START, Ev::STOP, Ev::STOP_OK},
          "FINAL", false),
  };
  // clang-format on
}

std::vector<Row> txRows() {
  const std::string CFG_OK = "configure TX_DIRECTION EPT_OP_OK";
  const std::string CFG_FAILED = "configure TX_DIRECTION EPT_OP_FAILED";
  const std::string START_OK = "start TX_DIRECTION EPT_OP_OK";
  const std::string START_FAILED = "start TX_DIRECTION EPT_OP_FAILED";
  const std::string STOP_OK = "stop TX_DIRECTION EPT_OP_OK";
  const std::string STOP_FAILED = "stop TX_DIRECTION EPT_OP_FAILED";
  const std::string CONFIGURE = "configure TX_DIRECTION";
  const std::string START = "start TX_DIRECTION";
  const std::string STOP = "stop TX_DIRECTION";
  const std::string PEER_STOP = "stop RX_DIRECTION";  // endpoint 1's Rx side stopping
  // clang-format off
  return {
    // NOT_CONFIGURED, INITIAL_CONFIGURATION, CONFIGURING_STOPPED
    txRow(At::NOT_CONFIGURED, Ev::CONFIGURE, "INITIAL_CONFIGURATION", true, {}, {CONFIGURE}),
    txRow(At::NOT_CONFIGURED, Ev::PEER_STOP_TX, "NOT_CONFIGURED", true),
    txRow(At::NOT_CONFIGURED, Ev::KILL_CALL, "FINAL", true),
    txRow(At::INITIAL_CONFIGURATION, Ev::CONFIGURE_OK, "STOPPED", true, {CFG_OK}),
    txRow(At::INITIAL_CONFIGURATION, Ev::DESTROY, "FINAL", true, {CFG_FAILED}),
    txRow(At::INITIAL_CONFIGURATION, Ev::TIMEOUT, "NOT_CONFIGURED", true, {CFG_FAILED}).timedOut(),
    txRow(At::CONFIGURING_STOPPED, Ev::CONFIGURE_FAILED, "STOPPED", true, {CFG_FAILED}),
    txRow(At::CONFIGURING_STOPPED, Ev::TIMEOUT, "STOPPED", true, {CFG_FAILED}).timedOut(),

    // STOPPED
    txRow(At::STOPPED, Ev::START, "STARTING", false)
        .log(DEBUG, "Tx endpoint will do a delayed start"),
    txRow(At::STOPPED_WITH_STARTED_PEER, Ev::START, "STARTING", false, {}, {START}),
    txRow(At::STOPPED_WITH_STARTED_PEER, Ev::START, "STOPPED", true, {START_FAILED})
        .refused(Op::START),
    txRow(At::STOPPED, Ev::STOP, "STOPPED", true, {STOP_OK}),
    txRow(At::STOPPED, {Ev::PEER_STOP_TX, Ev::ONEPLUS_RX_STARTED}, "STOPPED", true),
    txRow(At::STOPPED, Ev::DESTROY, "FINAL", true),

    // STARTING, start under way
    txRow(At::STARTING, Ev::START_OK, "STARTED", false, {START_OK}),
    txRow(At::STARTING, Ev::START_FAILED, "STOPPED", true, {START_FAILED}),
    txRow(At::STARTING, Ev::STOP, "STARTING", false).queued(),
    txRow(At::STARTING, {Ev::ONEPLUS_RX_STARTED, Ev::ALL_TX_STOPPED}, "STARTING", false),
    txRow(At::STARTING, Ev::DESTROY, "STOPPING_FINAL", false, {}, {STOP}),
    txRow(At::STARTING, Ev::KILL_CALL, "FINAL", true, {}, {STOP}).peer({PEER_STOP}, "FINAL"),
    txRow(At::STARTING, Ev::TIMEOUT, "STOPPED", true, {START_FAILED}).timedOut(),

    // STARTING, start delayed until a feeding Rx side starts
    txRow(At::STARTING_DELAYED, Ev::STOP, "STOPPED", true, {START_FAILED, STOP_OK}),
    txRow(At::STARTING_DELAYED, Ev::PEER_RX_STARTS, "STARTING", false, {}, {START})
        .peer({"configure RX_DIRECTION", "start RX_DIRECTION"}, "STARTED"),
    txRow(At::STARTING_DELAYED, Ev::ONEPLUS_RX_STARTED, "STARTING", false, {}, {START})
        .asserts("!vPeerIndex.empty()"),
    txRow(At::STARTING_DELAYED, Ev::START_OK, "STARTING", false)
        .asserts("m_bDelayedStart == false"),
    txRow(At::STARTING_DELAYED, Ev::ALL_TX_STOPPED, "STARTING", false),
    txRow(At::STARTING_DELAYED, {Ev::STOP_CALL, Ev::DESTROY, Ev::KILL_CALL}, "FINAL", true),
    txRow(At::STARTING_DELAYED, Ev::TIMEOUT, "STOPPED", true, {START_FAILED}).timedOut(),

    // STARTED
    txRow(At::STARTED, Ev::CONFIGURE, "CONFIGURING_STARTED", false, {}, {CONFIGURE}),
    txRow(At::STARTED, Ev::STOP, "STOPPING", false, {}, {STOP}),
    txRow(At::STARTED, Ev::PEER_RX_STOPS, "PEER_STOPPING_TX", false, {}, {STOP})
        .peer({}, "STOPPING"),
    txRow(At::STARTED, Ev::PEER_RX_STOPS, "FINAL", true).peer({PEER_STOP}, "STOPPING")
        .refused(Op::STOP),
    txRow(At::STARTED, Ev::START, "STARTED", false).queued(),
    txRow(At::STARTED, {Ev::ALL_TX_STOPPED, Ev::ONEPLUS_RX_STARTED}, "STARTED", false),
    txRow(At::STARTED, Ev::DESTROY, "STOPPING_FINAL", false, {}, {STOP}),
    txRow(At::STARTED, Ev::STOP_CALL, "STOPPING_FINAL", false, {}, {STOP})
        .peer({PEER_STOP}, "STOPPING_FINAL"),
    txRow(At::STARTED, Ev::KILL_CALL, "FINAL", true, {}, {STOP}).peer({PEER_STOP}, "FINAL"),

    // CONFIGURING_STARTED
    txRow(At::CONFIGURING_STARTED, Ev::CONFIGURE_OK, "STARTED", false, {CFG_OK}),
    txRow(At::CONFIGURING_STARTED, Ev::DESTROY, "STOPPING_FINAL", false, {CFG_FAILED}, {STOP}),
    txRow(At::CONFIGURING_STARTED, Ev::KILL_CALL, "FINAL", true, {CFG_FAILED}, {STOP})
        .peer({PEER_STOP}, "FINAL"),

    // STOPPING
    txRow(At::STOPPING, Ev::STOP_OK, "STOPPED", true, {STOP_OK}),
    txRow(At::STOPPING, Ev::STOP_FAILED, "FINAL", true, {STOP_FAILED}),
    txRow(At::STOPPING, Ev::DESTROY, "STOPPING", false),
    txRow(At::STOPPING, Ev::KILL_CALL, "FINAL", true).peer({PEER_STOP}, "FINAL"),
    txRow(At::STOPPING, Ev::TIMEOUT, "FINAL", true, {STOP_FAILED})
        .error("timeout (300000ms) in state STOPPING"),
    txRow(At::STOPPING_TORN_DOWN, Ev::STOP_OK, "FINAL", true, {STOP_OK}),

    // STOPPING_FINAL
    txRow(At::STOPPING_FINAL, Ev::STOP_OK, "FINAL", true, {STOP_OK}),
    txRow(At::STOPPING_FINAL, Ev::STOP_FAILED, "FINAL", true, {STOP_FAILED}),
    txRow(At::STOPPING_FINAL, Ev::TIMEOUT, "FINAL", true, {START_FAILED}).timedOut(),

    // PEER_STOPPING_TX: endpoint 1's Rx side waits for this stop
    txRow(At::PEER_STOPPING_TX, Ev::STOP_OK, "PEER_STOPPED_TX", true).peer({PEER_STOP}, "STOPPING"),
    txRow(At::PEER_STOPPING_TX, Ev::STOP_FAILED, "FINAL", true).peer({PEER_STOP}, "STOPPING"),
    txRow(At::PEER_STOPPING_TX, Ev::ONEPLUS_RX_STARTED, "PEER_STOPPING_TX", false),
    txRow(At::PEER_STOPPING_TX, Ev::STOP, "PEER_STOPPING_TX", false).queued(),
    txRow(At::PEER_STOPPING_TX, Ev::DESTROY, "STOPPING_FINAL", false),
    txRow(At::PEER_STOPPING_TX, Ev::STOP_CALL, "STOPPING_FINAL", false).peer({}, "STOPPING"),
    txRow(At::PEER_STOPPING_TX, Ev::KILL_CALL, "FINAL", true).peer({PEER_STOP}, "FINAL"),
    txRow(At::PEER_STOPPING_TX, Ev::TIMEOUT, "FINAL", true).peer({PEER_STOP}).timedOut(),

    // PEER_STOPPED_TX: endpoint 1's Rx side has stopped
    txRow(At::PEER_STOPPED_TX, Ev::PEER_RX_STARTS, "PEER_STARTING_TX", false, {}, {START})
        .peer({"start RX_DIRECTION"}, "STARTED"),
    txRow(At::PEER_STOPPED_TX, Ev::PEER_RX_STARTS, "PEER_STOPPED_TX", true)
        .peer({"start RX_DIRECTION"}, "STARTED").refused(Op::START),
    txRow(At::PEER_STOPPED_TX, Ev::STOP, "STOPPED", true, {STOP_OK}),
    txRow(At::PEER_STOPPED_TX, Ev::PEER_STOP_TX, "PEER_STOPPED_TX", true),
    txRow(At::PEER_STOPPED_TX, Ev::START, "PEER_STOPPED_TX", true).queued(),
    txRow(At::PEER_STOPPED_TX, {Ev::STOP_CALL, Ev::KILL_CALL, Ev::DESTROY}, "FINAL", true),

    // PEER_STARTING_TX: endpoint 1's Rx side has started again
    txRow(At::PEER_STARTING_TX, Ev::START_OK, "STARTED", false),
    txRow(At::PEER_STARTING_TX, Ev::START_FAILED, "PEER_STOPPED_TX", true),
    txRow(At::PEER_STARTING_TX, Ev::ONEPLUS_RX_STARTED, "PEER_STARTING_TX", false),
    txRow(At::PEER_STARTING_TX, Ev::STOP, "PEER_STARTING_TX", false).queued(),
    txRow(At::PEER_STARTING_TX, Ev::DESTROY, "STOPPING_FINAL", false, {}, {STOP}),
    txRow(At::PEER_STARTING_TX, Ev::KILL_CALL, "FINAL", true, {}, {STOP})
        .peer({PEER_STOP}, "FINAL"),
    txRow(At::PEER_STARTING_TX, Ev::TIMEOUT, "PEER_STOPPED_TX", true).timedOut(),
  };
  // clang-format on
}

std::vector<Row> allRows() {
  std::vector<Row> vRows;
  for (const std::vector<Row>& vTable : {rxRows(), txRows()}) {
    for (const Row& line : vTable) {
      for (const Ev eEvent : line.m_vEvents) {
        vRows.push_back(line);
        vRows.back().m_eEvent = eEvent;
      }
    }
  }
  return vRows;
}

class EndpointStateTable : public EndpointSMTest, public ::testing::WithParamInterface<Row> {};

TEST_P(EndpointStateTable, ReportsRequestsHooksAndNextState) {
  const Row& row = GetParam();
  const Dir eDirection = row.m_eDirection;
  reach(row.m_eAt, eDirection);
  ASSERT_EQ(stateOf(row.m_eAt), state(0, eDirection)) << "could not reach the state";
  ASSERT_EQ(Lines{}, m_assertions.expressions());
  m_log.clear();
  const std::size_t uiReports = numReports();
  const std::size_t uiRequests = numRequests(0);
  const std::size_t uiPeerRequests = numRequests(1);
  if (row.m_bRefuse) m_harness.engineEndpoint(0)->refuse(row.m_eRefused);

  EXPECT_NO_THROW(apply(row.m_eEvent, eDirection, row.m_lTimeoutMs));

  EXPECT_EQ(row.m_vReports, reports(eDirection, uiReports));
  EXPECT_EQ(row.m_vRequests, requests(0, eDirection, uiRequests));
  EXPECT_EQ(row.m_strNext, state(0, eDirection));
  EXPECT_EQ(row.m_bFlag, flag(eDirection)) << (eDirection == RX ? "Rx started" : "Tx stopped");
  EXPECT_EQ(row.m_vPeerRequests, requests(1, ANY, uiPeerRequests));
  if (!row.m_strPeerState.empty()) {
    EXPECT_EQ(row.m_strPeerState, state(1, opposite(eDirection)));
  }
  EXPECT_EQ(row.m_uiQueued, machine(eDirection).getNumQueuedEvents());
  if (row.m_iLogLevel != LogLevel::NOT_SET) {
    EXPECT_EQ(1u, logged(row.m_iLogLevel, eDirection, row.m_strLog)) << row.m_strLog;
  }
  const Lines vAssertions = row.m_strAssertion.empty() ? Lines{} : Lines{row.m_strAssertion};
  EXPECT_EQ(vAssertions, m_assertions.expressions());
}

INSTANTIATE_TEST_SUITE_P(Rows, EndpointStateTable, ::testing::ValuesIn(allRows()),
                         [](const ::testing::TestParamInfo<Row>& in_info) {
                           return nameOf(in_info.param);
                         });

// ---- teardown from every state ---------------------------------------------------------

struct Place {
  At m_eAt;
  Dir m_eDirection;
};

enum class Teardown { STOP_CALL, KILL_CALL, DESTROY };
using TeardownCase = std::tuple<Place, Teardown>;

void PrintTo(const Place& in_place, std::ostream* out_pStream) {
  *out_pStream << sideName(in_place.m_eDirection) << nameOf(in_place.m_eAt);
}

class EndpointTeardown : public EndpointSMTest,
                         public ::testing::WithParamInterface<TeardownCase> {};

// Whatever the state, a teardown ends the side in FINAL (once the engine has confirmed a
// stop it had to ask for), and every request the user issued before it got at most one
// report.
TEST_P(EndpointTeardown, EndsInFinalAndKeepsTheContract) {
  const Place& place = std::get<0>(GetParam());
  const Teardown eTeardown = std::get<1>(GetParam());
  reach(place.m_eAt, place.m_eDirection);
  ASSERT_EQ(stateOf(place.m_eAt), state(0, place.m_eDirection));

  EXPECT_TRUE(eTeardown == Teardown::STOP_CALL   ? m_harness.stopCall()
              : eTeardown == Teardown::KILL_CALL ? m_harness.killCall()
                                                 : m_harness.destroy(0));
  answerPendingStops();
  EXPECT_EQ("FINAL", state(0, place.m_eDirection));
  EXPECT_TRUE(machine(place.m_eDirection).isInFinalState());
  EXPECT_EQ("FINAL", state(0, opposite(place.m_eDirection)));

  // The peer endpoint goes too, so that nothing it was asked stays unanswered.
  if (eTeardown == Teardown::DESTROY) {
    m_harness.destroy(1);
    answerPendingStops();
  }
  EXPECT_TRUE(m_harness.call().allEndpointInFinalState());
  expectClean();
}

std::vector<Place> everyPlace() {
  std::vector<Place> vPlaces;
  for (const At eAt : {At::NOT_CONFIGURED, At::INITIAL_CONFIGURATION, At::CONFIGURING_STOPPED,
                       At::STOPPED, At::STARTING, At::STARTING_TX_WAITING, At::STARTED,
                       At::STARTED_FEEDING_TX, At::CONFIGURING_STARTED, At::STOPPING,
                       At::STOPPING_DELAYED, At::STOPPING_TORN_DOWN, At::STOPPING_FINAL}) {
    vPlaces.push_back({eAt, RX});
  }
  for (const At eAt :
       {At::NOT_CONFIGURED, At::INITIAL_CONFIGURATION, At::CONFIGURING_STOPPED, At::STOPPED,
        At::STARTING, At::STARTING_DELAYED, At::STARTED, At::CONFIGURING_STARTED, At::STOPPING,
        At::STOPPING_FINAL, At::PEER_STOPPING_TX, At::PEER_STOPPED_TX, At::PEER_STARTING_TX}) {
    vPlaces.push_back({eAt, TX});
  }
  return vPlaces;
}

std::string teardownCaseName(const ::testing::TestParamInfo<TeardownCase>& in_info) {
  static const char* const s_aszTeardown[] = {"StopCall", "KillCall", "Destroy"};
  const Place& place = std::get<0>(in_info.param);
  return sideName(place.m_eDirection) + std::string(nameOf(place.m_eAt)) + "_" +
         s_aszTeardown[static_cast<int>(std::get<1>(in_info.param))];
}

INSTANTIATE_TEST_SUITE_P(EveryState, EndpointTeardown,
                         ::testing::Combine(::testing::ValuesIn(everyPlace()),
                                            ::testing::Values(Teardown::STOP_CALL,
                                                              Teardown::KILL_CALL,
                                                              Teardown::DESTROY)),
                         teardownCaseName);

// ---- timeouts, hooks and queued requests ------------------------------------------------

TEST_F(EndpointSMTest, StartTimeoutsAre5000MsForRxUnlessConfiguredToAtLeastOneMsAndFixedForTx) {
  configured(0, RX);
  const std::size_t uiReports = numReports();
  // Starts the stopped Rx side; the start times out after exactly in_lMs.
  const auto expectRxStartTimeout = [this](long in_lMs) {
    m_harness.start(0, RX);
    ASSERT_EQ("STARTING", state(0, RX));
    expectTimerAfter(in_lMs);
    EXPECT_EQ("STOPPED", state(0, RX));
  };
  expectRxStartTimeout(5000);  // absent
  for (const int iUnusable : {0, -20}) {
    const ScopedParameter unusable(MediaEndpointSM::s_szRX_START_TIMEOUT_PARAM, iUnusable);
    expectRxStartTimeout(5000);
  }
  {
    const ScopedParameter one(MediaEndpointSM::s_szRX_START_TIMEOUT_PARAM, 1);
    expectRxStartTimeout(1);
  }
  {
    // Read again on every entry; the Tx side's start does not use it.
    const ScopedParameter twoSeconds(MediaEndpointSM::s_szRX_START_TIMEOUT_PARAM, 2000);
    expectRxStartTimeout(2000);
    starting(TX);
    expectTimerAfter(s_lSTATE_TIMEOUT_MS);
    EXPECT_EQ("STOPPED", state(0, TX));
  }
  expectRxStartTimeout(5000);
  EXPECT_EQ(Lines(6, "start RX_DIRECTION EPT_OP_FAILED"), reports(RX, uiReports));
}

TEST_F(EndpointSMTest, StopTimeoutsComeFromTheKeyInSecondsAndKeepTheLastUsableValue) {
  {
    // A value below 1 s leaves the default.
    const ScopedParameter zero(MediaEndpointSM::s_szSTOP_TIMEOUT_PARAM, 0);
    reach(At::STOPPING, TX);
    expectTimerAfter(s_lSTATE_TIMEOUT_MS);
    EXPECT_EQ("FINAL", state(0, TX));
  }
  {
    const ScopedParameter seven(MediaEndpointSM::s_szSTOP_TIMEOUT_PARAM, 7);
    reach(At::STOPPING, RX);
    EXPECT_EQ(0u, m_harness.advanceMs(6999));
    m_harness.stopStatus(0, RX, OK);
    ASSERT_EQ("STOPPED", state(0, RX));
  }
  // The key is gone: the next stop of the same side keeps the 7 s of the last entry that
  // found a usable value.
  m_harness.start(0, RX);
  m_harness.startStatus(0, RX, OK);
  m_harness.stop(0, RX);
  ASSERT_EQ("STOPPING", state(0, RX));
  expectTimerAfter(7000);
  EXPECT_EQ("FINAL", state(0, RX));
  EXPECT_EQ(1u, logged(ERROR, RX, "timeout (7000ms) in state STOPPING"));
}

TEST_F(EndpointSMTest, StoppingFinalUsesTheStopTimeoutKey) {
  const ScopedParameter three(MediaEndpointSM::s_szSTOP_TIMEOUT_PARAM, 3);
  reach(At::STOPPING_FINAL, RX);
  const std::size_t uiReports = numReports();
  expectTimerAfter(3000);
  EXPECT_EQ("FINAL", state(0, RX));
  EXPECT_EQ(Lines{"start RX_DIRECTION EPT_OP_FAILED"}, reports(RX, uiReports));
}

TEST_F(EndpointSMTest, ATxStartThatTimesOutReleasesTheRxStopWaitingForIt) {
  starting(TX);
  expectRxStopReleasedWhenTheTxTimerExpires("STOPPED");
}

TEST_F(EndpointSMTest, ATxStopThatTimesOutReleasesTheRxStopWaitingForIt) {
  reach(At::STOPPING, TX);
  expectRxStopReleasedWhenTheTxTimerExpires("FINAL");
}

TEST_F(EndpointSMTest, StopStartedEndpointTellsTheCallOnlyForRxAndPassesTheEngineAnswerOn) {
  started(RX);
  started(TX);  // fed by endpoint 1's Rx side
  ASSERT_TRUE(flag(RX));
  const std::size_t uiRequests = numRequests(0);

  EXPECT_TRUE(machine(TX).stopStartedEndpoint());
  EXPECT_TRUE(flag(RX)) << "a Tx stop says nothing about the Rx side";
  EXPECT_FALSE(flag(TX)) << "the Tx side is stopped only when the engine confirms it";

  m_harness.engineEndpoint(0)->refuse(Op::STOP);
  EXPECT_FALSE(machine(RX).stopStartedEndpoint());
  EXPECT_FALSE(flag(RX));
  EXPECT_EQ((Lines{"stop TX_DIRECTION", "stop RX_DIRECTION refused"}),
            requests(0, ANY, uiRequests));
  EXPECT_EQ(
      1u, logged(DEBUG, RX, "MediaEndpointSM::stopStartedEndpoint : Stopping MediaEngineEndpoint"));
  EXPECT_EQ(Lines{}, m_assertions.expressions());
}

// Requests issued during an operation wait for it and are replayed in order, each in the
// first state that takes it; a start arriving in STARTED waits for the next stop.
TEST_F(EndpointSMTest, RequestsIssuedDuringAnOperationAreReplayedInOrder) {
  m_harness.configure(0, RX);
  m_harness.start(0, RX);
  m_harness.stop(0, RX);
  m_harness.outOfBand(0, 3);
  EXPECT_EQ(Lines{"configure RX_DIRECTION"}, requests(0));

  m_harness.configureStatus(0, RX, OK);
  EXPECT_EQ("STARTING", state(0, RX));
  m_harness.startStatus(0, RX, OK);
  // The stop was replayed on STARTED before the out-of-band event, which waits on.
  EXPECT_EQ("STOPPING", state(0, RX));
  m_harness.stopStatus(0, RX, OK);
  EXPECT_EQ("STOPPED", state(0, RX));
  m_harness.start(0, RX);
  m_harness.startStatus(0, RX, OK);
  EXPECT_EQ((Lines{"configure RX_DIRECTION", "start RX_DIRECTION", "stop RX_DIRECTION",
                   "start RX_DIRECTION", "oob UNDEF_DIRECTION 3"}),
            requests(0));
  EXPECT_EQ(0u, machine(RX).getNumQueuedEvents());

  m_harness.start(0, RX);
  EXPECT_EQ("STARTED", state(0, RX));
  m_harness.stop(0, RX);
  m_harness.stopStatus(0, RX, OK);
  EXPECT_EQ("STARTING", state(0, RX));
  m_harness.startStatus(0, RX, OK);
  EXPECT_EQ((Lines{"configure RX_DIRECTION EPT_OP_OK", "start RX_DIRECTION EPT_OP_OK",
                   "stop RX_DIRECTION EPT_OP_OK", "start RX_DIRECTION EPT_OP_OK",
                   "stop RX_DIRECTION EPT_OP_OK", "start RX_DIRECTION EPT_OP_OK"}),
            reports(RX));
  EXPECT_EQ(Lines{}, m_harness.contractViolations());
}

TEST_F(EndpointSMTest, CapacityAndNotificationsAreServedInAnyStateAndDroppedAfterFinal) {
  m_harness.configure(0, RX);  // a configuration in progress queues requests, not these
  m_harness.getCapacity(0, RX);
  m_harness.setCapacity(0, RX, nullptr);
  m_harness.notify(0,
                   new MediaNotificationEvent(RX, MediaNotificationEvent::eFIRST_PACKET_DETECTED));
  EXPECT_EQ("INITIAL_CONFIGURATION", state(0, RX));
  EXPECT_EQ(0u, machine(RX).getNumQueuedEvents());
  EXPECT_EQ((Lines{"configure RX_DIRECTION", "capacity RX_DIRECTION"}), requests(0));
  ASSERT_EQ(2u, numReports());
  EXPECT_EQ(Op::CAPACITY, m_harness.callbackLog(0).m_vReports[0].m_eOp);
  EXPECT_EQ(Op::PEER_EVENT, m_harness.callbackLog(0).m_vReports[1].m_eOp);

  // The Rx side is torn down at once while the Tx side still stops.
  m_harness.configureStatus(0, RX, OK);
  started(TX);
  m_harness.destroy(0);
  ASSERT_EQ("FINAL", state(0, RX));
  ASSERT_EQ("STOPPING_FINAL", state(0, TX));
  const std::size_t uiReports = numReports();
  EXPECT_TRUE(m_harness.notify(
      0, new MediaNotificationEvent(RX, MediaNotificationEvent::eFIRST_PACKET_DETECTED)));
  EXPECT_EQ(uiReports, numReports());
  EXPECT_EQ(Lines{}, m_assertions.expressions());
}

// ---- statuses nobody waits for ----------------------------------------------------------

struct Stray {
  Dir m_eDirection;
  At m_eAt;
  Ev m_eStatus;             // an engine answer (OK) that no request of the state waits for
  const char* m_szType;     // its event type, as logged
  Ev m_eFollowUp;           // a user request the stray status must not answer
  const char* m_szWaiting;  // the state the follow-up request waits in
};

std::string nameOf(const Stray& in_stray) {
  return sideName(in_stray.m_eDirection) + std::string(nameOf(in_stray.m_eAt)) + "_" +
         nameOf(in_stray.m_eStatus);
}

void PrintTo(const Stray& in_stray, std::ostream* out_pStream) { *out_pStream << nameOf(in_stray); }

class EndpointStrayStatus : public EndpointSMTest, public ::testing::WithParamInterface<Stray> {};

// A status that answers no request of the state is dropped, not kept for a later request:
// the request that follows still waits for its own answer.
TEST_P(EndpointStrayStatus, IsDroppedWithAWarningAndAnswersNothingLater) {
  const Stray& stray = GetParam();
  const Dir eDirection = stray.m_eDirection;
  reach(stray.m_eAt, eDirection);
  const std::string strState = state(0, eDirection);
  const std::size_t uiReports = numReports();

  EXPECT_TRUE(apply(stray.m_eStatus, eDirection));
  EXPECT_EQ(strState, state(0, eDirection));
  EXPECT_EQ(0u, machine(eDirection).getNumQueuedEvents());
  EXPECT_EQ(1u, logged(WARN, eDirection,
                       std::string(stray.m_szType) +
                           " dir=" + MediaEndpoint::getDirectionString(eDirection) +
                           " EPT_OP_OK : no request is waiting for this status, dropped"));

  apply(stray.m_eFollowUp, eDirection);
  EXPECT_EQ(stray.m_szWaiting, state(0, eDirection));
  EXPECT_EQ(uiReports, numReports());
  EXPECT_EQ(Lines{}, m_assertions.expressions());
}

INSTANTIATE_TEST_SUITE_P(
    States, EndpointStrayStatus,
    ::testing::Values(
        Stray{RX, At::NOT_CONFIGURED, Ev::CONFIGURE_OK, "eCONFIGURE_STATUS", Ev::CONFIGURE,
              "INITIAL_CONFIGURATION"},
        Stray{RX, At::STOPPED, Ev::START_OK, "eSTART_ENDPOINT_STATUS", Ev::START, "STARTING"},
        Stray{RX, At::STARTED, Ev::STOP_OK, "eSTOP_ENDPOINT_STATUS", Ev::STOP, "STOPPING"},
        Stray{RX, At::STARTING, Ev::STOP_OK, "eSTOP_ENDPOINT_STATUS", Ev::STOP, "STARTING"},
        Stray{TX, At::STARTED, Ev::CONFIGURE_OK, "eCONFIGURE_STATUS", Ev::CONFIGURE,
              "CONFIGURING_STARTED"},
        Stray{TX, At::STOPPED_WITH_STARTED_PEER, Ev::START_OK, "eSTART_ENDPOINT_STATUS", Ev::START,
              "STARTING"},
        Stray{TX, At::STOPPING, Ev::START_OK, "eSTART_ENDPOINT_STATUS", Ev::START, "STOPPING"},
        Stray{TX, At::PEER_STOPPED_TX, Ev::STOP_OK, "eSTOP_ENDPOINT_STATUS", Ev::START,
              "PEER_STOPPED_TX"}),
    [](const ::testing::TestParamInfo<Stray>& in_info) { return nameOf(in_info.param); });

// ---- FINAL answers what is left ---------------------------------------------------------------

// Without a teardown, FINAL answers the requests it finds queued, and those that come
// later, as failed, in order; a teardown drops queued requests without reports.
TEST_F(EndpointSMTest, FinalAnswersQueuedAndLaterRequestsAsFailedUnlessATeardownBegan) {
  reach(At::STOPPING, RX);
  const std::size_t uiReports = numReports();
  m_harness.configure(0, RX);
  m_harness.start(0, RX);
  m_harness.stop(0, RX);
  m_harness.stopStatus(0, RX, FAILED);
  EXPECT_EQ("FINAL", state(0, RX));
  ASSERT_EQ("NOT_CONFIGURED", state(0, TX)) << "the endpoint as a whole still lives";
  EXPECT_NO_THROW(m_harness.configure(0, RX));
  EXPECT_NO_THROW(m_harness.start(0, RX));
  EXPECT_NO_THROW(m_harness.stop(0, RX));
  EXPECT_EQ((Lines{"stop RX_DIRECTION EPT_OP_FAILED", "configure RX_DIRECTION EPT_OP_FAILED",
                   "start RX_DIRECTION EPT_OP_FAILED", "stop RX_DIRECTION EPT_OP_FAILED",
                   "configure RX_DIRECTION EPT_OP_FAILED", "start RX_DIRECTION EPT_OP_FAILED",
                   "stop RX_DIRECTION EPT_OP_FAILED"}),
            reports(RX, uiReports));

  reach(At::CONFIGURING_STARTED, TX);
  const std::size_t uiTxReports = numReports();
  m_harness.start(0, TX);
  m_harness.stop(0, TX);
  m_harness.killCall();
  EXPECT_EQ("FINAL", state(0, TX));
  EXPECT_EQ(Lines{"configure TX_DIRECTION EPT_OP_FAILED"}, reports(TX, uiTxReports));
  EXPECT_EQ(Lines{}, m_harness.contractViolations());
}

// ---- answers after a timeout ------------------------------------------------------------------

// How a side logs an answer that came after its request timed out, after the event text.
const std::string s_strLATE = " : answer to a request that timed out, dropped";

// The late answer is not taken for the answer to a new request of the same kind, nor
// does it move a side that waits for nothing.
TEST_F(EndpointSMTest, TheLateAnswerToATimedOutConfigureOrStartIsDropped) {
  m_harness.configure(0, RX);
  m_harness.advanceMs(s_lSTATE_TIMEOUT_MS);
  ASSERT_EQ("NOT_CONFIGURED", state(0, RX));
  m_harness.configure(0, RX);
  m_harness.configureStatus(0, RX, FAILED);  // the first request's answer
  EXPECT_EQ("INITIAL_CONFIGURATION", state(0, RX));
  m_harness.configureStatus(0, RX, OK);
  EXPECT_EQ("STOPPED", state(0, RX));

  m_harness.start(0, RX);
  m_harness.advanceMs(s_lRX_START_TIMEOUT_MS);
  ASSERT_EQ("STOPPED", state(0, RX));
  m_harness.startStatus(0, RX, OK);  // late, while stopped
  EXPECT_EQ("STOPPED", state(0, RX));
  EXPECT_FALSE(flag(RX));
  m_harness.start(0, RX);
  m_harness.startStatus(0, RX, OK);
  EXPECT_EQ("STARTED", state(0, RX));
  EXPECT_EQ((Lines{"configure RX_DIRECTION EPT_OP_FAILED", "configure RX_DIRECTION EPT_OP_OK",
                   "start RX_DIRECTION EPT_OP_FAILED", "start RX_DIRECTION EPT_OP_OK"}),
            reports(RX));
  EXPECT_EQ(1u, logged(WARN, RX, "eCONFIGURE_STATUS dir=RX_DIRECTION EPT_OP_FAILED" + s_strLATE));
  EXPECT_EQ(1u, logged(WARN, RX, "eSTART_ENDPOINT_STATUS dir=RX_DIRECTION EPT_OP_OK" + s_strLATE));
  EXPECT_EQ(Lines{}, m_harness.contractViolations());
}

TEST_F(EndpointSMTest, TheLateAnswerToATimedOutPeerStartIsDroppedAndTheNextPeerStartCounts) {
  reach(At::PEER_STARTING_TX, TX);
  m_harness.advanceMs(s_lSTATE_TIMEOUT_MS);
  ASSERT_EQ("PEER_STOPPED_TX", state(0, TX));
  // The feeding Rx side stops and starts again: a second peer start.
  m_harness.stop(1, RX);
  m_harness.stopStatus(1, RX, OK);
  startPeerRx();
  ASSERT_EQ("PEER_STARTING_TX", state(0, TX));
  m_harness.startStatus(0, TX, FAILED);  // the first peer start's answer
  EXPECT_EQ("PEER_STARTING_TX", state(0, TX));
  m_harness.startStatus(0, TX, OK);
  EXPECT_EQ("STARTED", state(0, TX));
  EXPECT_EQ(1u,
            logged(WARN, TX, "eSTART_ENDPOINT_STATUS dir=TX_DIRECTION EPT_OP_FAILED" + s_strLATE));
  EXPECT_EQ(Lines{}, m_assertions.expressions());
}

TEST_F(EndpointSMTest, ADelayedStartThatTimesOutExpectsNoLateAnswer) {
  reach(At::STARTING_DELAYED, TX);
  m_harness.advanceMs(s_lSTATE_TIMEOUT_MS);
  ASSERT_EQ("STOPPED", state(0, TX));
  startPeerRx();
  m_harness.start(0, TX);
  m_harness.startStatus(0, TX, OK);
  EXPECT_EQ("STARTED", state(0, TX));
  EXPECT_FALSE(m_log.containsPart(WARN, "answer to a request that timed out"));
  EXPECT_EQ(Lines{}, m_harness.contractViolations());
}

TEST_F(EndpointSMTest, InitializeCancelsTheTimersOfTheMachinesEarlierLife) {
  reach(At::STARTING, RX);
  ASSERT_EQ(1u, m_harness.timers().numArmed());
  MediaEndpointSM& rx = machine(RX);
  const std::size_t uiReports = numReports();

  EXPECT_TRUE(rx.initialize("call-1", 0, LimitedObjPtr<TimerScheduler>(&m_harness.timers()),
                            LimitedObjPtr<MediaCallSM>(&m_harness.call()),
                            m_harness.eptProxyData(0), rx.getEndpointCallback(),
                            rx.getEngineEndpoint()));
  EXPECT_EQ("NOT_CONFIGURED", state(0, RX));
  EXPECT_EQ(0u, m_harness.timers().numArmed());
  EXPECT_EQ(0u, m_harness.advanceMs(s_lSTATE_TIMEOUT_MS));
  EXPECT_EQ(uiReports, numReports());
}

// ---- bad input ------------------------------------------------------------------------------

TEST_F(EndpointSMTest, InitializeWithoutCallCallbackOrEngineEndpointAssertsAndChangesNothing) {
  TxMediaEndpointSM tx;
  const LimitedObjPtr<TimerScheduler> pTimers(&m_harness.timers());
  const LimitedObjPtr<MediaCallSM> pCall(&m_harness.call());
  const CountedObjPtr<MediaEndpointCallback> pCallback(
      new RecordingCallback(std::make_shared<CallbackLog>()));
  const CountedObjPtr<MediaEngineEndpointNoT> pEngineEndpoint(
      new FakeEngineEndpoint(nullptr, "ept-9", 9, std::make_shared<EngineLog>()));
  const CountedObjPtr<MediaEndpointCallback> pNoCallback;
  const CountedObjPtr<MediaEngineEndpointNoT> pNoEngineEndpoint;
  const TaskObjectProxyData<MediaCallSM> proxyData = m_harness.eptProxyData(9);
  const std::string strUnbound = tx.getCurrentStateName();

  EXPECT_FALSE(tx.initialize("call-1", 9, pTimers, LimitedObjPtr<MediaCallSM>(), proxyData,
                             pNoCallback, pNoEngineEndpoint));
  EXPECT_FALSE(tx.initialize("call-1", 9, pTimers, pCall, proxyData, pNoCallback, pEngineEndpoint));
  EXPECT_FALSE(tx.initialize("call-1", 9, pTimers, pCall, proxyData, pCallback, pNoEngineEndpoint));
  EXPECT_EQ((Lines{"! in_pCallSM.isNull()", "! in_pEndpointCallback.isNull()",
                   "! in_pEngineEndpoint.isNull()"}),
            m_assertions.expressions());
  EXPECT_EQ("MediaEndpointSM", m_assertions.records()[0].m_strModule);
  EXPECT_EQ(strUnbound, tx.getCurrentStateName());
  EXPECT_TRUE(tx.getCallSM().isNull());

  // A bound machine refuses a broken re-initialisation and stays bound.
  ASSERT_TRUE(tx.initialize("call-1", 9, pTimers, pCall, proxyData, pCallback, pEngineEndpoint));
  EXPECT_STREQ("NOT_CONFIGURED", tx.getCurrentStateName());
  EXPECT_FALSE(tx.initialize("call-1", 9, pTimers, pCall, proxyData, pCallback, pNoEngineEndpoint));
  EXPECT_EQ(pEngineEndpoint.get(), tx.getEngineEndpoint().get());
  EXPECT_EQ(pCallback.get(), tx.getEndpointCallback().get());
}

TEST_F(EndpointSMTest, AMachineRefusesTimeoutsAndUnboundNotificationsWithAssertions) {
  RxMediaEndpointSM rx;
  bool bResult = true;
  EXPECT_NO_THROW(bResult = rx.processTimeout(ACE_Time_Value::zero, nullptr));
  EXPECT_FALSE(bResult);
  const TaskObjectProxyData<MediaCallSM> proxyData = m_harness.callbackProxyData(0);
  EXPECT_NO_THROW(
      bResult = rx.processEvent(MediaEngineNotificationEvent(
          RX, proxyData.getObjContainer(), proxyData.getProxyID(),
          new MediaNotificationEvent(RX, MediaNotificationEvent::eFIRST_PACKET_DETECTED))));
  EXPECT_TRUE(bResult);
  EXPECT_EQ((Lines{"Not implemented : MediaEndpointSM::processTimeout", "isInFinalState()"}),
            m_assertions.expressions());
}

TEST_F(EndpointSMTest, EventsOfTheWrongClassAreAssertedAndChangeNothing) {
  // A configure request without its configuration event: answered as failed, unasked.
  EXPECT_NO_THROW(deliverPlain(MediaEvent::eCONFIGURE, RX));
  EXPECT_EQ("NOT_CONFIGURED", state(0, RX));
  EXPECT_EQ(Lines{"configure RX_DIRECTION EPT_OP_FAILED"}, reports(RX));
  EXPECT_EQ(Lines{}, requests(0));

  // A status without its status.
  m_harness.configure(0, RX);
  bool bResult = true;
  EXPECT_NO_THROW(bResult = m_harness.deliver(ProxyMediaEvent(MediaEvent::eCONFIGURE_STATUS, RX,
                                                              m_harness.callbackProxyData(0))));
  EXPECT_FALSE(bResult);
  EXPECT_EQ("INITIAL_CONFIGURATION", state(0, RX));
  EXPECT_EQ(1u, reports(RX).size());

  // An out-of-band request without its code.
  m_harness.configureStatus(0, RX, OK);
  m_harness.start(0, RX);
  m_harness.startStatus(0, RX, OK);
  const std::size_t uiRequests = numRequests(0);
  EXPECT_NO_THROW(bResult = deliverPlain(MediaEvent::eHANDLE_OOB_EVENT, RX));
  EXPECT_FALSE(bResult);
  EXPECT_EQ("STARTED", state(0, RX));
  EXPECT_EQ(uiRequests, numRequests(0));

  // A Tx side hears its stop status as such before reading it: the call learns that the
  // side stopped even when the status is unreadable.
  reach(At::STOPPING, TX);
  const std::size_t uiReports = numReports();
  EXPECT_NO_THROW(bResult = m_harness.deliver(ProxyMediaEvent(MediaEvent::eSTOP_ENDPOINT_STATUS, TX,
                                                              m_harness.callbackProxyData(0))));
  EXPECT_FALSE(bResult);
  EXPECT_EQ("STOPPING", state(0, TX));
  EXPECT_TRUE(flag(TX));
  EXPECT_EQ(uiReports, numReports());

  EXPECT_EQ((Lines{"pEvent != 0", "pEvent != 0", "pEvent", "pEvent != 0"}),
            m_assertions.expressions());
}

TEST_F(EndpointSMTest, AStopOfTheWrongDirectionInPeerStoppedTxIsAssertedAndStillStopsTheTx) {
  reach(At::PEER_STOPPED_TX, TX);
  const std::size_t uiReports = numReports();
  bool bResult = false;
  EXPECT_NO_THROW(bResult = machine(TX).processEvent(
                      ProxyMediaEvent(MediaEvent::eSTOP_ENDPOINT, RX, m_harness.eptProxyData(0))));
  EXPECT_TRUE(bResult);
  EXPECT_EQ("STOPPED", state(0, TX));
  EXPECT_EQ(Lines{"stop TX_DIRECTION EPT_OP_OK"}, reports(TX, uiReports));
  EXPECT_EQ(Lines{"(in_event.getDirection() == MediaEndpoint::TX_DIRECTION) || "
                  "(in_event.getDirection() == MediaEndpoint:: RXTX_DIRECTION)"},
            m_assertions.expressions());
}

}  // namespace
}  // namespace Omvera
