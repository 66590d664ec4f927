// The endpoint state machines (Rx and Tx), driven through a real call on the test thread:
// every reaction of every state (what the user is told, what the engine endpoint is asked,
// what the call learns through the hooks, the next state), the timeouts and their
// configuration, teardown from every state, answers that come late or twice, and bad input.
//
// Endpoints 0 and 1 are send-receive endpoints of one call, so endpoint 0's Rx side feeds
// endpoint 1's Tx side and endpoint 1's Rx side feeds endpoint 0's Tx side. The side under
// test is always one side of endpoint 0; endpoint 1 plays its peer.
#include <gtest/gtest.h>

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

constexpr Dir RX = MediaEndpoint::RX_DIRECTION;
constexpr Dir TX = MediaEndpoint::TX_DIRECTION;
constexpr MediaEndpointCallback::EptOpStatus OK = MediaEndpointCallback::EPT_OP_OK;
constexpr MediaEndpointCallback::EptOpStatus FAILED = MediaEndpointCallback::EPT_OP_FAILED;

constexpr long s_lSTATE_TIMEOUT_MS = 300000;
constexpr long s_lRX_START_TIMEOUT_MS = 5000;

Dir opposite(Dir in_eDirection) { return in_eDirection == RX ? TX : RX; }

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

// Where the side under test is brought before the event. Each place names the state it
// is in; the variants say what the peer endpoint is doing meanwhile.
enum class At {
  NOT_CONFIGURED,
  INITIAL_CONFIGURATION,
  STOPPED,
  CONFIGURING_STOPPED,
  STOPPED_WITH_STARTED_PEER,  // Tx: the Rx side feeding it has started
  STARTING,                   // the engine start is under way (Tx: its feeding Rx started)
  STARTING_DELAYED,           // Tx: no feeding Rx side has started
  STARTING_TX_WAITING,        // Rx: the Tx side it feeds waits for it (delayed start)
  STARTED,
  STARTED_FEEDING_TX,  // Rx: the Tx side it feeds has started too
  CONFIGURING_STARTED,
  STOPPING,
  STOPPING_DELAYED,    // Rx: waits for the Tx side it feeds to stop
  STOPPING_TORN_DOWN,  // STOPPING, then the endpoint proxy went away
  STOPPING_FINAL,
  FINAL_OTHER_SIDE_STOPPING,  // Rx: torn down while the Tx side still stops
  PEER_STOPPING_TX,
  PEER_STOPPED_TX,
  PEER_STARTING_TX
};

const char* stateOf(At in_eAt) {
  switch (in_eAt) {
    case At::NOT_CONFIGURED:
      return "NOT_CONFIGURED";
    case At::INITIAL_CONFIGURATION:
      return "INITIAL_CONFIGURATION";
    case At::STOPPED:
    case At::STOPPED_WITH_STARTED_PEER:
      return "STOPPED";
    case At::CONFIGURING_STOPPED:
      return "CONFIGURING_STOPPED";
    case At::STARTING:
    case At::STARTING_DELAYED:
    case At::STARTING_TX_WAITING:
      return "STARTING";
    case At::STARTED:
    case At::STARTED_FEEDING_TX:
      return "STARTED";
    case At::CONFIGURING_STARTED:
      return "CONFIGURING_STARTED";
    case At::STOPPING:
    case At::STOPPING_DELAYED:
    case At::STOPPING_TORN_DOWN:
      return "STOPPING";
    case At::STOPPING_FINAL:
      return "STOPPING_FINAL";
    case At::FINAL_OTHER_SIDE_STOPPING:
      return "FINAL";
    case At::PEER_STOPPING_TX:
      return "PEER_STOPPING_TX";
    case At::PEER_STOPPED_TX:
      return "PEER_STOPPED_TX";
    case At::PEER_STARTING_TX:
      return "PEER_STARTING_TX";
  }
  return "?";
}

// The place's name, for test names.
const char* nameOf(At in_eAt) {
  switch (in_eAt) {
    case At::NOT_CONFIGURED:
      return "NotConfigured";
    case At::INITIAL_CONFIGURATION:
      return "InitialConfiguration";
    case At::STOPPED:
      return "Stopped";
    case At::CONFIGURING_STOPPED:
      return "ConfiguringStopped";
    case At::STOPPED_WITH_STARTED_PEER:
      return "StoppedWithStartedPeer";
    case At::STARTING:
      return "Starting";
    case At::STARTING_DELAYED:
      return "StartingDelayed";
    case At::STARTING_TX_WAITING:
      return "StartingTxWaiting";
    case At::STARTED:
      return "Started";
    case At::STARTED_FEEDING_TX:
      return "StartedFeedingTx";
    case At::CONFIGURING_STARTED:
      return "ConfiguringStarted";
    case At::STOPPING:
      return "Stopping";
    case At::STOPPING_DELAYED:
      return "StoppingDelayed";
    case At::STOPPING_TORN_DOWN:
      return "StoppingTornDown";
    case At::STOPPING_FINAL:
      return "StoppingFinal";
    case At::FINAL_OTHER_SIDE_STOPPING:
      return "FinalOtherSideStopping";
    case At::PEER_STOPPING_TX:
      return "PeerStoppingTx";
    case At::PEER_STOPPED_TX:
      return "PeerStoppedTx";
    case At::PEER_STARTING_TX:
      return "PeerStartingTx";
  }
  return "?";
}

// What happens to the side under test (of endpoint 0, direction d).
enum class Ev {
  CONFIGURE,  // user requests for d
  START,
  STOP,
  CONFIGURE_OK,  // engine answers for d
  CONFIGURE_FAILED,
  START_OK,
  START_FAILED,
  STOP_OK,
  STOP_FAILED,
  ALL_TX_STOPPED,  // the call's coordination events, direction d
  PEER_STOP_TX,
  ONEPLUS_RX_STARTED,
  STOP_CALL,  // teardowns
  KILL_CALL,
  DESTROY,
  TIMEOUT,         // the state's own timer expires (checked not to expire 1 ms earlier)
  OUT_OF_BAND,     // out-of-band code 7 (the harness sends it for RX_DIRECTION)
  PEER_RX_STARTS,  // endpoint 1's Rx side is started (configured first if need be)
  PEER_RX_STOPS,   // the user stops endpoint 1's Rx side
  PEER_TX_STOPS    // endpoint 1's engine confirms the stop of its Tx side
};

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
  Row(Dir in_eDirection, At in_eAt, Ev in_eEvent, std::string in_strNext, bool in_bFlag)
      : m_eDirection(in_eDirection),
        m_eAt(in_eAt),
        m_eEvent(in_eEvent),
        m_strNext(std::move(in_strNext)),
        m_bFlag(in_bFlag) {}

  Row& reports(std::vector<std::string> in_vLines) {
    m_vReports = std::move(in_vLines);
    return *this;
  }
  Row& requests(std::vector<std::string> in_vLines) {
    m_vRequests = std::move(in_vLines);
    return *this;
  }
  Row& peer(std::vector<std::string> in_vRequests, std::string in_strState = std::string()) {
    m_vPeerRequests = std::move(in_vRequests);
    m_strPeerState = std::move(in_strState);
    return *this;
  }
  Row& refuse(Op in_eOp) {
    m_bRefuse = true;
    m_eRefused = in_eOp;
    return *this;
  }
  Row& timeout(long in_lMs) {
    m_lTimeoutMs = in_lMs;
    return *this;
  }
  Row& queued(std::size_t in_uiQueued) {
    m_uiQueued = in_uiQueued;
    return *this;
  }
  Row& log(int in_iLevel, std::string in_strMessage) {
    m_iLogLevel = in_iLevel;
    m_strLog = std::move(in_strMessage);
    return *this;
  }
  Row& assertion(std::string in_strExpression) {
    m_strAssertion = std::move(in_strExpression);
    return *this;
  }

  Dir m_eDirection;
  At m_eAt;
  Ev m_eEvent;
  std::string m_strNext;
  // After the event. Rx: the call counts the Rx side as started; Tx: as stopped.
  bool m_bFlag;
  // The reports for the side's direction and the requests for it (or without direction)
  // to endpoint 0's engine endpoint that the event caused, in order.
  std::vector<std::string> m_vReports;
  std::vector<std::string> m_vRequests;
  // Every request endpoint 1's engine endpoint received meanwhile, and the state of its
  // opposite side afterwards (empty: not checked).
  std::vector<std::string> m_vPeerRequests;
  std::string m_strPeerState;
  bool m_bRefuse = false;
  Op m_eRefused = Op::CAPACITY;
  long m_lTimeoutMs = 0;
  std::size_t m_uiQueued = 0;  // events the side holds for later afterwards
  int m_iLogLevel = LogLevel::NOT_SET;
  std::string m_strLog;        // a line the side logs (without its logging ids)
  std::string m_strAssertion;  // the one assertion raised; empty: none
};

// "Rx_Stopped_StartRefused": side, place, event, and whether the engine refuses.
std::string nameOf(const Row& in_row) {
  return std::string(in_row.m_eDirection == RX ? "Rx_" : "Tx_") + nameOf(in_row.m_eAt) + "_" +
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

  // A line of endpoint in_uiIndex's side in_eDirection, as its logger writes it.
  static std::string sideLine(unsigned long in_uiIndex, Dir in_eDirection,
                              const std::string& in_strMessage) {
    return "[call-1] [ept-id=" + std::to_string(in_uiIndex) + "] [" +
           MediaEndpoint::getDirectionString(in_eDirection) + "] " + in_strMessage;
  }

  MediaEndpointSM& machine(unsigned long in_uiIndex, Dir in_eDirection) {
    MediaCallSMEndpoint& endpoint = m_harness.endpoint(in_uiIndex);
    if (in_eDirection == RX) return endpoint.getRxSM();
    return endpoint.getTxSM();
  }
  std::string state(unsigned long in_uiIndex, Dir in_eDirection) const {
    return m_harness.state(in_uiIndex, in_eDirection);
  }
  // Rx: the call counts the side as started; Tx: as stopped.
  bool flag(unsigned long in_uiIndex, Dir in_eDirection) const {
    const MediaCallSMEndpoint& endpoint = m_harness.endpoint(in_uiIndex);
    return in_eDirection == RX ? endpoint.m_bRxStarted : endpoint.m_bTxStopped;
  }

  // Reports of endpoint in_uiIndex for in_eDirection, from position in_uiFrom on.
  std::vector<std::string> reports(unsigned long in_uiIndex, Dir in_eDirection,
                                   std::size_t in_uiFrom = 0) const {
    const CallbackLog& log = m_harness.callbackLog(in_uiIndex);
    const std::vector<std::string> vAll = log.lines();
    std::vector<std::string> vLines;
    for (std::size_t uiPos = in_uiFrom; uiPos < log.m_vReports.size(); ++uiPos) {
      if (log.m_vReports[uiPos].m_eDirection == in_eDirection) vLines.push_back(vAll[uiPos]);
    }
    return vLines;
  }
  // Requests to endpoint in_uiIndex's engine endpoint from position in_uiFrom on: those for
  // in_eDirection and those without direction; all of them for UNDEF_DIRECTION.
  std::vector<std::string> requests(unsigned long in_uiIndex,
                                    Dir in_eDirection = MediaEndpoint::UNDEF_DIRECTION,
                                    std::size_t in_uiFrom = 0) const {
    const EngineLog& log = m_harness.engineLog(in_uiIndex);
    const std::vector<std::string> vAll = log.lines();
    std::vector<std::string> vLines;
    for (std::size_t uiPos = in_uiFrom; uiPos < log.m_vRequests.size(); ++uiPos) {
      const Dir eDirection = log.m_vRequests[uiPos].m_eDirection;
      if (in_eDirection == MediaEndpoint::UNDEF_DIRECTION || eDirection == in_eDirection ||
          eDirection == MediaEndpoint::UNDEF_DIRECTION) {
        vLines.push_back(vAll[uiPos]);
      }
    }
    return vLines;
  }
  std::size_t numReports(unsigned long in_uiIndex) const {
    return m_harness.callbackLog(in_uiIndex).m_vReports.size();
  }
  std::size_t numRequests(unsigned long in_uiIndex) const {
    return m_harness.engineLog(in_uiIndex).m_vRequests.size();
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
  void startPeerRx() {
    if (state(1, RX) == "NOT_CONFIGURED") configured(1, RX);
    m_harness.start(1, RX);
    m_harness.startStatus(1, RX, OK);
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

  void reach(At in_eAt, Dir in_eDirection) {
    switch (in_eAt) {
      case At::NOT_CONFIGURED:
        return;
      case At::INITIAL_CONFIGURATION:
        m_harness.configure(0, in_eDirection);
        return;
      case At::STOPPED:
        configured(0, in_eDirection);
        return;
      case At::CONFIGURING_STOPPED:
        configured(0, in_eDirection);
        m_harness.configure(0, in_eDirection);
        return;
      case At::STOPPED_WITH_STARTED_PEER:
        startPeerRx();
        configured(0, TX);
        return;
      case At::STARTING:
        starting(in_eDirection);
        return;
      case At::STARTING_DELAYED:
        configured(0, TX);
        m_harness.start(0, TX);
        return;
      case At::STARTING_TX_WAITING:
        configured(1, TX);
        m_harness.start(1, TX);
        starting(RX);
        return;
      case At::STARTED:
        started(in_eDirection);
        return;
      case At::STARTED_FEEDING_TX:
        started(RX);
        configured(1, TX);
        m_harness.start(1, TX);
        m_harness.startStatus(1, TX, OK);
        return;
      case At::CONFIGURING_STARTED:
        started(in_eDirection);
        m_harness.configure(0, in_eDirection);
        return;
      case At::STOPPING:
        started(in_eDirection);
        m_harness.stop(0, in_eDirection);
        return;
      case At::STOPPING_DELAYED:
        reach(At::STARTED_FEEDING_TX, RX);
        m_harness.stop(0, RX);
        return;
      case At::STOPPING_TORN_DOWN:
        started(in_eDirection);
        m_harness.stop(0, in_eDirection);
        m_harness.destroy(0);
        return;
      case At::STOPPING_FINAL:
        started(in_eDirection);
        m_harness.destroy(0);
        return;
      case At::FINAL_OTHER_SIDE_STOPPING:
        started(TX);
        m_harness.destroy(0);
        return;
      case At::PEER_STOPPING_TX:
        started(TX);
        m_harness.stop(1, RX);
        return;
      case At::PEER_STOPPED_TX:
        reach(At::PEER_STOPPING_TX, TX);
        m_harness.stopStatus(0, TX, OK);
        m_harness.stopStatus(1, RX, OK);
        return;
      case At::PEER_STARTING_TX:
        reach(At::PEER_STOPPED_TX, TX);
        startPeerRx();
        return;
    }
  }

  void apply(Ev in_eEvent, Dir in_eDirection, long in_lTimeoutMs = 0) {
    switch (in_eEvent) {
      case Ev::CONFIGURE:
        m_harness.configure(0, in_eDirection);
        return;
      case Ev::START:
        m_harness.start(0, in_eDirection);
        return;
      case Ev::STOP:
        m_harness.stop(0, in_eDirection);
        return;
      case Ev::CONFIGURE_OK:
        m_harness.configureStatus(0, in_eDirection, OK);
        return;
      case Ev::CONFIGURE_FAILED:
        m_harness.configureStatus(0, in_eDirection, FAILED);
        return;
      case Ev::START_OK:
        m_harness.startStatus(0, in_eDirection, OK);
        return;
      case Ev::START_FAILED:
        m_harness.startStatus(0, in_eDirection, FAILED);
        return;
      case Ev::STOP_OK:
        m_harness.stopStatus(0, in_eDirection, OK);
        return;
      case Ev::STOP_FAILED:
        m_harness.stopStatus(0, in_eDirection, FAILED);
        return;
      case Ev::ALL_TX_STOPPED:
        deliverPlain(MediaEvent::eALL_TX_STOPPED, in_eDirection);
        return;
      case Ev::PEER_STOP_TX:
        deliverPlain(MediaEvent::ePEER_STOP_TXENDPOINT, in_eDirection);
        return;
      case Ev::ONEPLUS_RX_STARTED:
        deliverPlain(MediaEvent::eONEPLUS_RX_STARTED, in_eDirection);
        return;
      case Ev::STOP_CALL:
        m_harness.stopCall();
        return;
      case Ev::KILL_CALL:
        m_harness.killCall();
        return;
      case Ev::DESTROY:
        m_harness.destroy(0);
        return;
      case Ev::TIMEOUT: {
        const std::string strBefore = state(0, in_eDirection);
        EXPECT_EQ(0u, m_harness.advanceMs(in_lTimeoutMs - 1)) << "a timer fired 1 ms early";
        EXPECT_EQ(strBefore, state(0, in_eDirection));
        EXPECT_LE(1u, m_harness.advanceMs(1));
        return;
      }
      case Ev::OUT_OF_BAND:
        m_harness.outOfBand(0, 7);
        return;
      case Ev::PEER_RX_STARTS:
        startPeerRx();
        return;
      case Ev::PEER_RX_STOPS:
        m_harness.stop(1, RX);
        return;
      case Ev::PEER_TX_STOPS:
        m_harness.stopStatus(1, TX, OK);
        return;
    }
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

constexpr int DEBUG = LogLevel::DEBUG;
constexpr int WARN = LogLevel::WARN;
constexpr int ERROR = LogLevel::ERROR;

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
  return {
      // NOT_CONFIGURED
      Row(RX, At::NOT_CONFIGURED, Ev::CONFIGURE, "INITIAL_CONFIGURATION", false)
          .requests({CONFIGURE}),
      Row(RX, At::NOT_CONFIGURED, Ev::CONFIGURE, "NOT_CONFIGURED", false)
          .refuse(Op::CONFIGURE)
          .requests({"configure RX_DIRECTION refused"})
          .reports({CFG_FAILED})
          .log(ERROR, "engine ept configure failed"),
      Row(RX, At::NOT_CONFIGURED, Ev::ALL_TX_STOPPED, "NOT_CONFIGURED", false),
      Row(RX, At::NOT_CONFIGURED, Ev::PEER_STOP_TX, "NOT_CONFIGURED", false),
      Row(RX, At::NOT_CONFIGURED, Ev::ONEPLUS_RX_STARTED, "NOT_CONFIGURED", false),
      Row(RX, At::NOT_CONFIGURED, Ev::START, "NOT_CONFIGURED", false)
          .queued(1)
          .log(DEBUG, "eSTART_ENDPOINT dir=RX_DIRECTION unprocessed, enqueueing."),
      Row(RX, At::NOT_CONFIGURED, Ev::STOP_CALL, "FINAL", false),
      Row(RX, At::NOT_CONFIGURED, Ev::KILL_CALL, "FINAL", false),
      Row(RX, At::NOT_CONFIGURED, Ev::DESTROY, "FINAL", false),

      // INITIAL_CONFIGURATION
      Row(RX, At::INITIAL_CONFIGURATION, Ev::CONFIGURE_OK, "STOPPED", false).reports({CFG_OK}),
      Row(RX, At::INITIAL_CONFIGURATION, Ev::CONFIGURE_FAILED, "NOT_CONFIGURED", false)
          .reports({CFG_FAILED}),
      Row(RX, At::INITIAL_CONFIGURATION, Ev::ALL_TX_STOPPED, "INITIAL_CONFIGURATION", false),
      Row(RX, At::INITIAL_CONFIGURATION, Ev::ONEPLUS_RX_STARTED, "INITIAL_CONFIGURATION", false),
      Row(RX, At::INITIAL_CONFIGURATION, Ev::STOP, "INITIAL_CONFIGURATION", false).queued(1),
      Row(RX, At::INITIAL_CONFIGURATION, Ev::STOP_CALL, "FINAL", false).reports({CFG_FAILED}),
      Row(RX, At::INITIAL_CONFIGURATION, Ev::KILL_CALL, "FINAL", false).reports({CFG_FAILED}),
      Row(RX, At::INITIAL_CONFIGURATION, Ev::DESTROY, "FINAL", false).reports({CFG_FAILED}),
      Row(RX, At::INITIAL_CONFIGURATION, Ev::TIMEOUT, "NOT_CONFIGURED", false)
          .timeout(s_lSTATE_TIMEOUT_MS)
          .reports({CFG_FAILED})
          .log(ERROR, "timeout in state INITIAL_CONFIGURATION"),

      // CONFIGURING_STOPPED
      Row(RX, At::CONFIGURING_STOPPED, Ev::CONFIGURE_OK, "STOPPED", false).reports({CFG_OK}),
      Row(RX, At::CONFIGURING_STOPPED, Ev::CONFIGURE_FAILED, "STOPPED", false)
          .reports({CFG_FAILED}),
      Row(RX, At::CONFIGURING_STOPPED, Ev::ALL_TX_STOPPED, "CONFIGURING_STOPPED", false),
      Row(RX, At::CONFIGURING_STOPPED, Ev::ONEPLUS_RX_STARTED, "CONFIGURING_STOPPED", false),
      Row(RX, At::CONFIGURING_STOPPED, Ev::START, "CONFIGURING_STOPPED", false).queued(1),
      Row(RX, At::CONFIGURING_STOPPED, Ev::STOP_CALL, "FINAL", false).reports({CFG_FAILED}),
      Row(RX, At::CONFIGURING_STOPPED, Ev::KILL_CALL, "FINAL", false).reports({CFG_FAILED}),
      Row(RX, At::CONFIGURING_STOPPED, Ev::DESTROY, "FINAL", false).reports({CFG_FAILED}),
      Row(RX, At::CONFIGURING_STOPPED, Ev::TIMEOUT, "STOPPED", false)
          .timeout(s_lSTATE_TIMEOUT_MS)
          .reports({CFG_FAILED})
          .log(ERROR, "timeout in state CONFIGURING_STOPPED"),

      // STOPPED
      Row(RX, At::STOPPED, Ev::CONFIGURE, "CONFIGURING_STOPPED", false).requests({CONFIGURE}),
      Row(RX, At::STOPPED, Ev::CONFIGURE, "STOPPED", false)
          .refuse(Op::CONFIGURE)
          .requests({"configure RX_DIRECTION refused"})
          .reports({CFG_FAILED})
          .log(ERROR, "engine ept configure failed"),
      Row(RX, At::STOPPED, Ev::START, "STARTING", false).requests({START}),
      Row(RX, At::STOPPED, Ev::START, "STOPPED", false)
          .refuse(Op::START)
          .requests({"start RX_DIRECTION refused"})
          .reports({START_FAILED})
          .log(ERROR, "engine ept start failed"),
      Row(RX, At::STOPPED, Ev::STOP, "STOPPED", false).reports({STOP_OK}),
      Row(RX, At::STOPPED, Ev::ALL_TX_STOPPED, "STOPPED", false),
      Row(RX, At::STOPPED, Ev::PEER_STOP_TX, "STOPPED", false),
      Row(RX, At::STOPPED, Ev::ONEPLUS_RX_STARTED, "STOPPED", false),
      Row(RX, At::STOPPED, Ev::STOP_CALL, "FINAL", false),
      Row(RX, At::STOPPED, Ev::KILL_CALL, "FINAL", false),
      Row(RX, At::STOPPED, Ev::DESTROY, "FINAL", false),

      // STARTING
      Row(RX, At::STARTING, Ev::START_OK, "STARTED", true).reports({START_OK}),
      Row(RX, At::STARTING_TX_WAITING, Ev::START_OK, "STARTED", true)
          .reports({START_OK})
          .peer({"start TX_DIRECTION"}, "STARTING"),
      Row(RX, At::STARTING, Ev::START_FAILED, "STOPPED", false).reports({START_FAILED}),
      Row(RX, At::STARTING, Ev::STOP, "STARTING", false).queued(1),
      Row(RX, At::STARTING, Ev::CONFIGURE, "STARTING", false).queued(1),
      Row(RX, At::STARTING, Ev::ALL_TX_STOPPED, "STARTING", false),
      Row(RX, At::STARTING, Ev::ONEPLUS_RX_STARTED, "STARTING", false),
      Row(RX, At::STARTING, Ev::STOP_CALL, "STOPPING_FINAL", false).requests({STOP}),
      Row(RX, At::STARTING, Ev::DESTROY, "STOPPING_FINAL", false).requests({STOP}),
      Row(RX, At::STARTING, Ev::KILL_CALL, "FINAL", false).requests({STOP}),
      Row(RX, At::STARTING, Ev::TIMEOUT, "STOPPED", false)
          .timeout(s_lRX_START_TIMEOUT_MS)
          .reports({START_FAILED})
          .log(ERROR, "timeout in state STARTING"),

      // STARTED
      Row(RX, At::STARTED, Ev::CONFIGURE, "CONFIGURING_STARTED", true).requests({CONFIGURE}),
      Row(RX, At::STARTED, Ev::CONFIGURE, "STARTED", true)
          .refuse(Op::CONFIGURE)
          .requests({"configure RX_DIRECTION refused"})
          .reports({CFG_FAILED})
          .log(ERROR, "engine ept configure failed"),
      Row(RX, At::STARTED, Ev::STOP, "STOPPING", false).requests({STOP}),
      Row(RX, At::STARTED_FEEDING_TX, Ev::STOP, "STOPPING", true)
          .peer({"stop TX_DIRECTION"}, "PEER_STOPPING_TX")
          .log(DEBUG, "Stopping::entryAction_i : Rx endpoint stop delayed"),
      Row(RX, At::STARTED, Ev::STOP, "FINAL", false)
          .refuse(Op::STOP)
          .requests({"stop RX_DIRECTION refused"})
          .reports({STOP_FAILED})
          .log(ERROR, "engine ept stop failed"),
      Row(RX, At::STARTED, Ev::START, "STARTED", true).queued(1),
      Row(RX, At::STARTED, Ev::ALL_TX_STOPPED, "STARTED", true),
      Row(RX, At::STARTED, Ev::ONEPLUS_RX_STARTED, "STARTED", true),
      Row(RX, At::STARTED, Ev::PEER_STOP_TX, "STARTED", true)
          .assertion("m_SM.getDirection() == MediaEndpoint::TX_DIRECTION"),
      Row(RX, At::STARTED, Ev::STOP_CALL, "STOPPING_FINAL", false).requests({STOP}),
      Row(RX, At::STARTED, Ev::DESTROY, "STOPPING_FINAL", false).requests({STOP}),
      Row(RX, At::STARTED, Ev::KILL_CALL, "FINAL", false).requests({STOP}),
      Row(RX, At::STARTED, Ev::OUT_OF_BAND, "STARTED", true).requests({"oob UNDEF_DIRECTION 7"}),

      // CONFIGURING_STARTED
      Row(RX, At::CONFIGURING_STARTED, Ev::CONFIGURE_OK, "STARTED", true).reports({CFG_OK}),
      Row(RX, At::CONFIGURING_STARTED, Ev::CONFIGURE_FAILED, "STARTED", true).reports({CFG_FAILED}),
      Row(RX, At::CONFIGURING_STARTED, Ev::ALL_TX_STOPPED, "CONFIGURING_STARTED", true),
      Row(RX, At::CONFIGURING_STARTED, Ev::ONEPLUS_RX_STARTED, "CONFIGURING_STARTED", true),
      Row(RX, At::CONFIGURING_STARTED, Ev::STOP, "CONFIGURING_STARTED", true).queued(1),
      Row(RX, At::CONFIGURING_STARTED, Ev::STOP_CALL, "STOPPING_FINAL", false)
          .reports({CFG_FAILED})
          .requests({STOP}),
      Row(RX, At::CONFIGURING_STARTED, Ev::DESTROY, "STOPPING_FINAL", false)
          .reports({CFG_FAILED})
          .requests({STOP}),
      Row(RX, At::CONFIGURING_STARTED, Ev::KILL_CALL, "FINAL", false)
          .reports({CFG_FAILED})
          .requests({STOP}),
      Row(RX, At::CONFIGURING_STARTED, Ev::TIMEOUT, "STARTED", true)
          .timeout(s_lSTATE_TIMEOUT_MS)
          .reports({CFG_FAILED})
          .log(ERROR, "timeout in state CONFIGURING_STARTED"),

      // STOPPING
      Row(RX, At::STOPPING, Ev::STOP_OK, "STOPPED", false).reports({STOP_OK}),
      Row(RX, At::STOPPING, Ev::STOP_FAILED, "FINAL", false).reports({STOP_FAILED}),
      Row(RX, At::STOPPING, Ev::ALL_TX_STOPPED, "STOPPING", false),
      Row(RX, At::STOPPING, Ev::ONEPLUS_RX_STARTED, "STOPPING", false),
      Row(RX, At::STOPPING, Ev::START, "STOPPING", false).queued(1),
      Row(RX, At::STOPPING, Ev::STOP_CALL, "STOPPING", false),
      Row(RX, At::STOPPING, Ev::DESTROY, "STOPPING", false),
      Row(RX, At::STOPPING, Ev::KILL_CALL, "FINAL", false),
      Row(RX, At::STOPPING, Ev::TIMEOUT, "FINAL", false)
          .timeout(s_lSTATE_TIMEOUT_MS)
          .reports({STOP_FAILED})
          .log(ERROR, "timeout (300000ms) in state STOPPING"),
      Row(RX, At::STOPPING_TORN_DOWN, Ev::STOP_OK, "FINAL", false).reports({STOP_OK}),
      Row(RX, At::STOPPING_TORN_DOWN, Ev::STOP_FAILED, "FINAL", false).reports({STOP_FAILED}),
      Row(RX, At::STOPPING_DELAYED, Ev::PEER_TX_STOPS, "STOPPING", false)
          .requests({STOP})
          .peer({}, "PEER_STOPPED_TX"),
      Row(RX, At::STOPPING_DELAYED, Ev::ALL_TX_STOPPED, "STOPPING", false).requests({STOP}),
      Row(RX, At::STOPPING_DELAYED, Ev::STOP_OK, "STOPPING", true)
          .log(WARN,
               "eSTOP_ENDPOINT_STATUS dir=RX_DIRECTION EPT_OP_OK : no request is waiting for this "
               "status, dropped"),
      Row(RX, At::STOPPING_DELAYED, Ev::DESTROY, "STOPPING", true),
      Row(RX, At::STOPPING_DELAYED, Ev::KILL_CALL, "FINAL", false)
          .requests({STOP})
          .peer({}, "FINAL"),

      // STOPPING_FINAL
      Row(RX, At::STOPPING_FINAL, Ev::CONFIGURE_OK, "STOPPING_FINAL", false),
      Row(RX, At::STOPPING_FINAL, Ev::START_OK, "STOPPING_FINAL", false),
      Row(RX, At::STOPPING_FINAL, Ev::ALL_TX_STOPPED, "STOPPING_FINAL", false),
      Row(RX, At::STOPPING_FINAL, Ev::ONEPLUS_RX_STARTED, "STOPPING_FINAL", false),
      Row(RX, At::STOPPING_FINAL, Ev::STOP_CALL, "STOPPING_FINAL", false),
      Row(RX, At::STOPPING_FINAL, Ev::DESTROY, "STOPPING_FINAL", false),
      Row(RX, At::STOPPING_FINAL, Ev::STOP_OK, "FINAL", false).reports({STOP_OK}),
      Row(RX, At::STOPPING_FINAL, Ev::STOP_FAILED, "FINAL", false).reports({STOP_FAILED}),
      Row(RX, At::STOPPING_FINAL, Ev::KILL_CALL, "FINAL", false),
      Row(RX, At::STOPPING_FINAL, Ev::TIMEOUT, "FINAL", false)
          .timeout(s_lSTATE_TIMEOUT_MS)
          .reports({START_FAILED})
          .log(ERROR, "timeout in state STOPPING_FINAL"),

      // FINAL, reached by a teardown while the endpoint's Tx side still stops: requests
      // that arrive are dropped without a report.
      Row(RX, At::FINAL_OTHER_SIDE_STOPPING, Ev::CONFIGURE, "FINAL", false),
      Row(RX, At::FINAL_OTHER_SIDE_STOPPING, Ev::START, "FINAL", false),
      Row(RX, At::FINAL_OTHER_SIDE_STOPPING, Ev::STOP, "FINAL", false),
      Row(RX, At::FINAL_OTHER_SIDE_STOPPING, Ev::STOP_OK, "FINAL", false),
  };
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
  return {
      // NOT_CONFIGURED, INITIAL_CONFIGURATION, CONFIGURING_STOPPED
      Row(TX, At::NOT_CONFIGURED, Ev::CONFIGURE, "INITIAL_CONFIGURATION", true)
          .requests({CONFIGURE}),
      Row(TX, At::NOT_CONFIGURED, Ev::PEER_STOP_TX, "NOT_CONFIGURED", true),
      Row(TX, At::NOT_CONFIGURED, Ev::KILL_CALL, "FINAL", true),
      Row(TX, At::INITIAL_CONFIGURATION, Ev::CONFIGURE_OK, "STOPPED", true).reports({CFG_OK}),
      Row(TX, At::INITIAL_CONFIGURATION, Ev::DESTROY, "FINAL", true).reports({CFG_FAILED}),
      Row(TX, At::INITIAL_CONFIGURATION, Ev::TIMEOUT, "NOT_CONFIGURED", true)
          .timeout(s_lSTATE_TIMEOUT_MS)
          .reports({CFG_FAILED})
          .log(ERROR, "timeout in state INITIAL_CONFIGURATION"),
      Row(TX, At::CONFIGURING_STOPPED, Ev::CONFIGURE_FAILED, "STOPPED", true).reports({CFG_FAILED}),
      Row(TX, At::CONFIGURING_STOPPED, Ev::TIMEOUT, "STOPPED", true)
          .timeout(s_lSTATE_TIMEOUT_MS)
          .reports({CFG_FAILED})
          .log(ERROR, "timeout in state CONFIGURING_STOPPED"),

      // STOPPED
      Row(TX, At::STOPPED, Ev::START, "STARTING", false)
          .log(DEBUG, "Tx endpoint will do a delayed start"),
      Row(TX, At::STOPPED_WITH_STARTED_PEER, Ev::START, "STARTING", false).requests({START}),
      Row(TX, At::STOPPED_WITH_STARTED_PEER, Ev::START, "STOPPED", true)
          .refuse(Op::START)
          .requests({"start TX_DIRECTION refused"})
          .reports({START_FAILED})
          .log(ERROR, "engine ept start failed"),
      Row(TX, At::STOPPED, Ev::STOP, "STOPPED", true).reports({STOP_OK}),
      Row(TX, At::STOPPED, Ev::PEER_STOP_TX, "STOPPED", true),
      Row(TX, At::STOPPED, Ev::ONEPLUS_RX_STARTED, "STOPPED", true),
      Row(TX, At::STOPPED, Ev::DESTROY, "FINAL", true),

      // STARTING, start under way
      Row(TX, At::STARTING, Ev::START_OK, "STARTED", false).reports({START_OK}),
      Row(TX, At::STARTING, Ev::START_FAILED, "STOPPED", true).reports({START_FAILED}),
      Row(TX, At::STARTING, Ev::STOP, "STARTING", false).queued(1),
      Row(TX, At::STARTING, Ev::ONEPLUS_RX_STARTED, "STARTING", false),
      Row(TX, At::STARTING, Ev::ALL_TX_STOPPED, "STARTING", false),
      Row(TX, At::STARTING, Ev::DESTROY, "STOPPING_FINAL", false).requests({STOP}),
      Row(TX, At::STARTING, Ev::KILL_CALL, "FINAL", true)
          .requests({STOP})
          .peer({PEER_STOP}, "FINAL"),
      Row(TX, At::STARTING, Ev::TIMEOUT, "STOPPED", true)
          .timeout(s_lSTATE_TIMEOUT_MS)
          .reports({START_FAILED})
          .log(ERROR, "timeout in state STARTING"),

      // STARTING, start delayed until a feeding Rx side starts
      Row(TX, At::STARTING_DELAYED, Ev::STOP, "STOPPED", true).reports({START_FAILED, STOP_OK}),
      Row(TX, At::STARTING_DELAYED, Ev::PEER_RX_STARTS, "STARTING", false)
          .requests({START})
          .peer({"configure RX_DIRECTION", "start RX_DIRECTION"}, "STARTED"),
      Row(TX, At::STARTING_DELAYED, Ev::ONEPLUS_RX_STARTED, "STARTING", false)
          .requests({START})
          .assertion("!vPeerIndex.empty()"),
      Row(TX, At::STARTING_DELAYED, Ev::START_OK, "STARTING", false)
          .assertion("m_bDelayedStart == false"),
      Row(TX, At::STARTING_DELAYED, Ev::ALL_TX_STOPPED, "STARTING", false),
      Row(TX, At::STARTING_DELAYED, Ev::STOP_CALL, "FINAL", true),
      Row(TX, At::STARTING_DELAYED, Ev::DESTROY, "FINAL", true),
      Row(TX, At::STARTING_DELAYED, Ev::KILL_CALL, "FINAL", true),
      Row(TX, At::STARTING_DELAYED, Ev::TIMEOUT, "STOPPED", true)
          .timeout(s_lSTATE_TIMEOUT_MS)
          .reports({START_FAILED})
          .log(ERROR, "timeout in state STARTING"),

      // STARTED
      Row(TX, At::STARTED, Ev::CONFIGURE, "CONFIGURING_STARTED", false).requests({CONFIGURE}),
      Row(TX, At::STARTED, Ev::STOP, "STOPPING", false).requests({STOP}),
      Row(TX, At::STARTED, Ev::PEER_RX_STOPS, "PEER_STOPPING_TX", false)
          .requests({STOP})
          .peer({}, "STOPPING"),
      Row(TX, At::STARTED, Ev::PEER_RX_STOPS, "FINAL", true)
          .refuse(Op::STOP)
          .requests({"stop TX_DIRECTION refused"})
          .peer({PEER_STOP}, "STOPPING")
          .log(ERROR, "engine ept stop failed"),
      Row(TX, At::STARTED, Ev::START, "STARTED", false).queued(1),
      Row(TX, At::STARTED, Ev::ALL_TX_STOPPED, "STARTED", false),
      Row(TX, At::STARTED, Ev::ONEPLUS_RX_STARTED, "STARTED", false),
      Row(TX, At::STARTED, Ev::DESTROY, "STOPPING_FINAL", false).requests({STOP}),
      Row(TX, At::STARTED, Ev::STOP_CALL, "STOPPING_FINAL", false)
          .requests({STOP})
          .peer({PEER_STOP}, "STOPPING_FINAL"),
      Row(TX, At::STARTED, Ev::KILL_CALL, "FINAL", true)
          .requests({STOP})
          .peer({PEER_STOP}, "FINAL"),

      // CONFIGURING_STARTED
      Row(TX, At::CONFIGURING_STARTED, Ev::CONFIGURE_OK, "STARTED", false).reports({CFG_OK}),
      Row(TX, At::CONFIGURING_STARTED, Ev::DESTROY, "STOPPING_FINAL", false)
          .reports({CFG_FAILED})
          .requests({STOP}),
      Row(TX, At::CONFIGURING_STARTED, Ev::KILL_CALL, "FINAL", true)
          .reports({CFG_FAILED})
          .requests({STOP})
          .peer({PEER_STOP}, "FINAL"),

      // STOPPING
      Row(TX, At::STOPPING, Ev::STOP_OK, "STOPPED", true).reports({STOP_OK}),
      Row(TX, At::STOPPING, Ev::STOP_FAILED, "FINAL", true).reports({STOP_FAILED}),
      Row(TX, At::STOPPING, Ev::DESTROY, "STOPPING", false),
      Row(TX, At::STOPPING, Ev::KILL_CALL, "FINAL", true).peer({PEER_STOP}, "FINAL"),
      Row(TX, At::STOPPING, Ev::TIMEOUT, "FINAL", true)
          .timeout(s_lSTATE_TIMEOUT_MS)
          .reports({STOP_FAILED})
          .log(ERROR, "timeout (300000ms) in state STOPPING"),
      Row(TX, At::STOPPING_TORN_DOWN, Ev::STOP_OK, "FINAL", true).reports({STOP_OK}),

      // STOPPING_FINAL
      Row(TX, At::STOPPING_FINAL, Ev::STOP_OK, "FINAL", true).reports({STOP_OK}),
      Row(TX, At::STOPPING_FINAL, Ev::STOP_FAILED, "FINAL", true).reports({STOP_FAILED}),
      Row(TX, At::STOPPING_FINAL, Ev::TIMEOUT, "FINAL", true)
          .timeout(s_lSTATE_TIMEOUT_MS)
          .reports({START_FAILED})
          .log(ERROR, "timeout in state STOPPING_FINAL"),

      // PEER_STOPPING_TX: endpoint 1's Rx side waits for this stop
      Row(TX, At::PEER_STOPPING_TX, Ev::STOP_OK, "PEER_STOPPED_TX", true)
          .peer({PEER_STOP}, "STOPPING"),
      Row(TX, At::PEER_STOPPING_TX, Ev::STOP_FAILED, "FINAL", true).peer({PEER_STOP}, "STOPPING"),
      Row(TX, At::PEER_STOPPING_TX, Ev::ONEPLUS_RX_STARTED, "PEER_STOPPING_TX", false),
      Row(TX, At::PEER_STOPPING_TX, Ev::STOP, "PEER_STOPPING_TX", false).queued(1),
      Row(TX, At::PEER_STOPPING_TX, Ev::DESTROY, "STOPPING_FINAL", false),
      Row(TX, At::PEER_STOPPING_TX, Ev::STOP_CALL, "STOPPING_FINAL", false).peer({}, "STOPPING"),
      Row(TX, At::PEER_STOPPING_TX, Ev::KILL_CALL, "FINAL", true).peer({PEER_STOP}, "FINAL"),
      Row(TX, At::PEER_STOPPING_TX, Ev::TIMEOUT, "FINAL", true)
          .timeout(s_lSTATE_TIMEOUT_MS)
          .peer({PEER_STOP})
          .log(ERROR, "timeout in state PEER_STOPPING_TX"),

      // PEER_STOPPED_TX: endpoint 1's Rx side has stopped
      Row(TX, At::PEER_STOPPED_TX, Ev::PEER_RX_STARTS, "PEER_STARTING_TX", false)
          .requests({START})
          .peer({"start RX_DIRECTION"}, "STARTED"),
      Row(TX, At::PEER_STOPPED_TX, Ev::PEER_RX_STARTS, "PEER_STOPPED_TX", true)
          .refuse(Op::START)
          .requests({"start TX_DIRECTION refused"})
          .peer({"start RX_DIRECTION"}, "STARTED")
          .log(ERROR, "engine ept start failed"),
      Row(TX, At::PEER_STOPPED_TX, Ev::STOP, "STOPPED", true).reports({STOP_OK}),
      Row(TX, At::PEER_STOPPED_TX, Ev::PEER_STOP_TX, "PEER_STOPPED_TX", true),
      Row(TX, At::PEER_STOPPED_TX, Ev::START, "PEER_STOPPED_TX", true).queued(1),
      Row(TX, At::PEER_STOPPED_TX, Ev::STOP_CALL, "FINAL", true),
      Row(TX, At::PEER_STOPPED_TX, Ev::KILL_CALL, "FINAL", true),
      Row(TX, At::PEER_STOPPED_TX, Ev::DESTROY, "FINAL", true),

      // PEER_STARTING_TX: endpoint 1's Rx side has started again
      Row(TX, At::PEER_STARTING_TX, Ev::START_OK, "STARTED", false),
      Row(TX, At::PEER_STARTING_TX, Ev::START_FAILED, "PEER_STOPPED_TX", true),
      Row(TX, At::PEER_STARTING_TX, Ev::ONEPLUS_RX_STARTED, "PEER_STARTING_TX", false),
      Row(TX, At::PEER_STARTING_TX, Ev::STOP, "PEER_STARTING_TX", false).queued(1),
      Row(TX, At::PEER_STARTING_TX, Ev::DESTROY, "STOPPING_FINAL", false).requests({STOP}),
      Row(TX, At::PEER_STARTING_TX, Ev::KILL_CALL, "FINAL", true)
          .requests({STOP})
          .peer({PEER_STOP}, "FINAL"),
      Row(TX, At::PEER_STARTING_TX, Ev::TIMEOUT, "PEER_STOPPED_TX", true)
          .timeout(s_lSTATE_TIMEOUT_MS)
          .log(ERROR, "timeout in state PEER_STARTING_TX"),
  };
}

std::vector<Row> allRows() {
  std::vector<Row> vRows = rxRows();
  for (Row& row : txRows()) vRows.push_back(std::move(row));
  return vRows;
}

class EndpointStateTable : public EndpointSMTest, public ::testing::WithParamInterface<Row> {};

TEST_P(EndpointStateTable, ReportsRequestsHooksAndNextState) {
  const Row& row = GetParam();
  const Dir eDirection = row.m_eDirection;
  const Dir ePeerDirection = opposite(eDirection);

  reach(row.m_eAt, eDirection);
  ASSERT_EQ(stateOf(row.m_eAt), state(0, eDirection)) << "could not reach the state";
  ASSERT_EQ(std::vector<std::string>{}, m_assertions.expressions());
  m_log.clear();
  const std::size_t uiReports = numReports(0);
  const std::size_t uiRequests = numRequests(0);
  const std::size_t uiPeerRequests = numRequests(1);
  if (row.m_bRefuse) m_harness.engineEndpoint(0)->refuse(row.m_eRefused);

  EXPECT_NO_THROW(apply(row.m_eEvent, eDirection, row.m_lTimeoutMs));

  EXPECT_EQ(row.m_vReports, reports(0, eDirection, uiReports));
  EXPECT_EQ(row.m_vRequests, requests(0, eDirection, uiRequests));
  EXPECT_EQ(row.m_strNext, state(0, eDirection));
  EXPECT_EQ(row.m_bFlag, flag(0, eDirection)) << (eDirection == RX ? "Rx started" : "Tx stopped");
  EXPECT_EQ(row.m_vPeerRequests, requests(1, MediaEndpoint::UNDEF_DIRECTION, uiPeerRequests));
  if (!row.m_strPeerState.empty()) {
    EXPECT_EQ(row.m_strPeerState, state(1, ePeerDirection));
  }
  EXPECT_EQ(row.m_uiQueued, machine(0, eDirection).getNumQueuedEvents());
  if (row.m_iLogLevel != LogLevel::NOT_SET) {
    EXPECT_TRUE(m_log.contains(row.m_iLogLevel, sideLine(0, eDirection, row.m_strLog)))
        << "missing: " << sideLine(0, eDirection, row.m_strLog);
  }
  if (row.m_strAssertion.empty()) {
    EXPECT_EQ(std::vector<std::string>{}, m_assertions.expressions());
  } else {
    EXPECT_EQ(std::vector<std::string>{row.m_strAssertion}, m_assertions.expressions());
  }
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

void PrintTo(const Place& in_place, std::ostream* out_pStream) {
  *out_pStream << MediaEndpoint::getDirectionString(in_place.m_eDirection) << " "
               << stateOf(in_place.m_eAt);
}

enum class Teardown { STOP_CALL, KILL_CALL, DESTROY };
using TeardownCase = std::tuple<Place, Teardown>;

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

  switch (eTeardown) {
    case Teardown::STOP_CALL:
      EXPECT_TRUE(m_harness.stopCall());
      break;
    case Teardown::KILL_CALL:
      EXPECT_TRUE(m_harness.killCall());
      break;
    case Teardown::DESTROY:
      EXPECT_TRUE(m_harness.destroy(0));
      break;
  }
  answerPendingStops();
  EXPECT_EQ("FINAL", state(0, place.m_eDirection));
  EXPECT_TRUE(machine(0, place.m_eDirection).isInFinalState());
  EXPECT_EQ("FINAL", state(0, opposite(place.m_eDirection)));

  // The peer endpoint goes too, so that nothing it was asked stays unanswered.
  if (eTeardown == Teardown::DESTROY) {
    m_harness.destroy(1);
    answerPendingStops();
  }
  EXPECT_TRUE(m_harness.call().allEndpointInFinalState());
  EXPECT_EQ(std::vector<std::string>{}, m_harness.contractViolations());
  EXPECT_EQ(std::vector<std::string>{}, m_assertions.expressions());
}

std::vector<Place> everyPlace() {
  return {{At::NOT_CONFIGURED, RX},
          {At::INITIAL_CONFIGURATION, RX},
          {At::CONFIGURING_STOPPED, RX},
          {At::STOPPED, RX},
          {At::STARTING, RX},
          {At::STARTING_TX_WAITING, RX},
          {At::STARTED, RX},
          {At::STARTED_FEEDING_TX, RX},
          {At::CONFIGURING_STARTED, RX},
          {At::STOPPING, RX},
          {At::STOPPING_DELAYED, RX},
          {At::STOPPING_TORN_DOWN, RX},
          {At::STOPPING_FINAL, RX},
          {At::NOT_CONFIGURED, TX},
          {At::INITIAL_CONFIGURATION, TX},
          {At::CONFIGURING_STOPPED, TX},
          {At::STOPPED, TX},
          {At::STARTING, TX},
          {At::STARTING_DELAYED, TX},
          {At::STARTED, TX},
          {At::CONFIGURING_STARTED, TX},
          {At::STOPPING, TX},
          {At::STOPPING_FINAL, TX},
          {At::PEER_STOPPING_TX, TX},
          {At::PEER_STOPPED_TX, TX},
          {At::PEER_STARTING_TX, TX}};
}

std::string teardownCaseName(const ::testing::TestParamInfo<TeardownCase>& in_info) {
  static const char* const s_aszTeardown[] = {"StopCall", "KillCall", "Destroy"};
  const Place& place = std::get<0>(in_info.param);
  return std::string(place.m_eDirection == RX ? "Rx_" : "Tx_") + nameOf(place.m_eAt) + "_" +
         s_aszTeardown[static_cast<int>(std::get<1>(in_info.param))];
}

INSTANTIATE_TEST_SUITE_P(EveryState, EndpointTeardown,
                         ::testing::Combine(::testing::ValuesIn(everyPlace()),
                                            ::testing::Values(Teardown::STOP_CALL,
                                                              Teardown::KILL_CALL,
                                                              Teardown::DESTROY)),
                         teardownCaseName);

// ---- timeouts and their configuration -----------------------------------------------------

class EndpointTimeouts : public EndpointSMTest {
 protected:
  // Starts endpoint 0's (stopped) Rx side and checks that the start times out after
  // exactly in_lMs.
  void expectRxStartTimeout(long in_lMs) {
    m_harness.start(0, RX);
    ASSERT_EQ("STARTING", state(0, RX));
    EXPECT_EQ(0u, m_harness.advanceMs(in_lMs - 1));
    EXPECT_EQ("STARTING", state(0, RX));
    EXPECT_EQ(1u, m_harness.advanceMs(1));
    EXPECT_EQ("STOPPED", state(0, RX));
  }
};

TEST_F(EndpointTimeouts, RxStartTimeoutIs5000MsUnlessConfiguredToAtLeastOneMs) {
  configured(0, RX);
  const std::size_t uiReports = numReports(0);
  expectRxStartTimeout(5000);  // absent
  {
    const ScopedParameter zero(MediaEndpointSM::s_szRX_START_TIMEOUT_PARAM, 0);
    expectRxStartTimeout(5000);
  }
  {
    const ScopedParameter negative(MediaEndpointSM::s_szRX_START_TIMEOUT_PARAM, -20);
    expectRxStartTimeout(5000);
  }
  {
    const ScopedParameter one(MediaEndpointSM::s_szRX_START_TIMEOUT_PARAM, 1);
    expectRxStartTimeout(1);
  }
  {
    // Read again on every entry.
    const ScopedParameter twoSeconds(MediaEndpointSM::s_szRX_START_TIMEOUT_PARAM, 2000);
    expectRxStartTimeout(2000);
  }
  expectRxStartTimeout(5000);
  EXPECT_EQ(std::vector<std::string>(6, "start RX_DIRECTION EPT_OP_FAILED"),
            reports(0, RX, uiReports));
}

TEST_F(EndpointTimeouts, TxStartTimeoutIgnoresTheRxStartKey) {
  const ScopedParameter rxTimeout(MediaEndpointSM::s_szRX_START_TIMEOUT_PARAM, 2000);
  starting(TX);
  EXPECT_EQ(0u, m_harness.advanceMs(s_lSTATE_TIMEOUT_MS - 1));
  EXPECT_EQ("STARTING", state(0, TX));
  EXPECT_EQ(1u, m_harness.advanceMs(1));
  EXPECT_EQ("STOPPED", state(0, TX));
}

TEST_F(EndpointTimeouts, StopTimeoutsComeFromTheKeyInSecondsAndKeepTheLastUsableValue) {
  {
    // A value below 1 s leaves the default.
    const ScopedParameter zero(MediaEndpointSM::s_szSTOP_TIMEOUT_PARAM, 0);
    reach(At::STOPPING, TX);
    EXPECT_EQ(0u, m_harness.advanceMs(s_lSTATE_TIMEOUT_MS - 1));
    EXPECT_EQ(1u, m_harness.advanceMs(1));
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
  EXPECT_EQ(0u, m_harness.advanceMs(6999));
  EXPECT_EQ(1u, m_harness.advanceMs(1));
  EXPECT_EQ("FINAL", state(0, RX));
  EXPECT_TRUE(m_log.contains(ERROR, sideLine(0, RX, "timeout (7000ms) in state STOPPING")));
}

TEST_F(EndpointTimeouts, StoppingFinalUsesTheStopTimeoutKey) {
  const ScopedParameter three(MediaEndpointSM::s_szSTOP_TIMEOUT_PARAM, 3);
  reach(At::STOPPING_FINAL, RX);
  const std::size_t uiReports = numReports(0);
  EXPECT_EQ(0u, m_harness.advanceMs(2999));
  EXPECT_EQ(1u, m_harness.advanceMs(1));
  EXPECT_EQ("FINAL", state(0, RX));
  EXPECT_EQ(std::vector<std::string>{"start RX_DIRECTION EPT_OP_FAILED"},
            reports(0, RX, uiReports));
}

// ---- stopStartedEndpoint ----------------------------------------------------------------

TEST_F(EndpointSMTest, StopStartedEndpointTellsTheCallOnlyForRxAndPassesTheEngineAnswerOn) {
  started(RX);
  started(TX);  // fed by endpoint 1's Rx side
  ASSERT_TRUE(flag(0, RX));
  const std::size_t uiRequests = numRequests(0);

  EXPECT_TRUE(machine(0, TX).stopStartedEndpoint());
  EXPECT_TRUE(flag(0, RX)) << "a Tx stop says nothing about the Rx side";
  EXPECT_FALSE(flag(0, TX)) << "the Tx side is stopped only when the engine confirms it";

  m_harness.engineEndpoint(0)->refuse(Op::STOP);
  EXPECT_FALSE(machine(0, RX).stopStartedEndpoint());
  EXPECT_FALSE(flag(0, RX));
  EXPECT_EQ((std::vector<std::string>{"stop TX_DIRECTION", "stop RX_DIRECTION refused"}),
            requests(0, MediaEndpoint::UNDEF_DIRECTION, uiRequests));
  EXPECT_EQ(1u, m_log.count(DEBUG, sideLine(0, RX,
                                            "MediaEndpointSM::stopStartedEndpoint : Stopping "
                                            "MediaEngineEndpoint")));
  EXPECT_EQ(std::vector<std::string>{}, m_assertions.expressions());
}

// ---- queued requests ------------------------------------------------------------------------

TEST_F(EndpointSMTest, RequestsIssuedDuringAnOperationAreReplayedInOrder) {
  m_harness.configure(0, RX);
  m_harness.start(0, RX);
  m_harness.stop(0, RX);
  m_harness.outOfBand(0, 3);
  EXPECT_EQ(std::vector<std::string>{"configure RX_DIRECTION"}, requests(0));

  m_harness.configureStatus(0, RX, OK);
  EXPECT_EQ("STARTING", state(0, RX));
  m_harness.startStatus(0, RX, OK);
  // The stop was replayed on STARTED before the out-of-band event, which waits on.
  EXPECT_EQ("STOPPING", state(0, RX));
  m_harness.stopStatus(0, RX, OK);
  EXPECT_EQ("STOPPED", state(0, RX));
  m_harness.start(0, RX);
  m_harness.startStatus(0, RX, OK);

  EXPECT_EQ(
      (std::vector<std::string>{"configure RX_DIRECTION", "start RX_DIRECTION", "stop RX_DIRECTION",
                                "start RX_DIRECTION", "oob UNDEF_DIRECTION 3"}),
      requests(0));
  EXPECT_EQ(
      (std::vector<std::string>{"configure RX_DIRECTION EPT_OP_OK", "start RX_DIRECTION EPT_OP_OK",
                                "stop RX_DIRECTION EPT_OP_OK", "start RX_DIRECTION EPT_OP_OK"}),
      reports(0, RX));
  EXPECT_EQ(0u, machine(0, RX).getNumQueuedEvents());
  EXPECT_EQ(std::vector<std::string>{}, m_harness.contractViolations());
}

TEST_F(EndpointSMTest, AStartArrivingInStartedWaitsForTheNextStop) {
  started(RX);
  m_harness.start(0, RX);
  EXPECT_EQ("STARTED", state(0, RX));
  m_harness.stop(0, RX);
  m_harness.stopStatus(0, RX, OK);
  EXPECT_EQ("STARTING", state(0, RX));
  m_harness.startStatus(0, RX, OK);
  EXPECT_EQ(
      (std::vector<std::string>{"configure RX_DIRECTION EPT_OP_OK", "start RX_DIRECTION EPT_OP_OK",
                                "stop RX_DIRECTION EPT_OP_OK", "start RX_DIRECTION EPT_OP_OK"}),
      reports(0, RX));
  EXPECT_EQ(std::vector<std::string>{}, m_harness.contractViolations());
}

// ---- requests that bypass the states ----------------------------------------------------------

TEST_F(EndpointSMTest, CapacityAndNotificationsAreServedInAnyStateAndDroppedAfterFinal) {
  m_harness.configure(0, RX);  // a configuration in progress queues requests, not these
  m_harness.getCapacity(0, RX);
  m_harness.setCapacity(0, RX, nullptr);
  m_harness.notify(0,
                   new MediaNotificationEvent(RX, MediaNotificationEvent::eFIRST_PACKET_DETECTED));
  EXPECT_EQ("INITIAL_CONFIGURATION", state(0, RX));
  EXPECT_EQ(0u, machine(0, RX).getNumQueuedEvents());
  EXPECT_EQ((std::vector<std::string>{"configure RX_DIRECTION", "capacity RX_DIRECTION"}),
            requests(0));
  ASSERT_EQ(2u, m_harness.callbackLog(0).m_vReports.size());
  EXPECT_EQ(Op::CAPACITY, m_harness.callbackLog(0).m_vReports[0].m_eOp);
  EXPECT_EQ(Op::PEER_EVENT, m_harness.callbackLog(0).m_vReports[1].m_eOp);

  // The Rx side is torn down at once while the Tx side still stops.
  m_harness.configureStatus(0, RX, OK);
  started(TX);
  m_harness.destroy(0);
  ASSERT_EQ("FINAL", state(0, RX));
  ASSERT_EQ("STOPPING_FINAL", state(0, TX));
  const std::size_t uiReports = numReports(0);
  EXPECT_TRUE(m_harness.notify(
      0, new MediaNotificationEvent(RX, MediaNotificationEvent::eFIRST_PACKET_DETECTED)));
  EXPECT_EQ(uiReports, numReports(0));
  EXPECT_EQ(std::vector<std::string>{}, m_assertions.expressions());
}

// ---- a Tx side that stops tells the call --------------------------------------------------

// Endpoint 1's Rx side is asked to stop while endpoint 0's Tx side (which it feeds) is
// busy: the Rx stop waits for that Tx side.
class TxStopReleasesWaitingRx : public EndpointSMTest {
 protected:
  // The Rx stop comes 1 s after the Tx side's timer was armed, so that the Tx timer
  // expires alone.
  void stopFeedingRx() {
    m_harness.advanceMs(1000);
    m_uiPeerRequests = numRequests(1);
    m_harness.stop(1, RX);
    ASSERT_EQ("STOPPING", state(1, RX));
    ASSERT_EQ(std::vector<std::string>{}, requests(1, RX, m_uiPeerRequests))
        << "the Rx stop should wait for the Tx side";
  }
  void expectRxStopProceeded() {
    EXPECT_EQ(std::vector<std::string>{"stop RX_DIRECTION"}, requests(1, RX, m_uiPeerRequests));
    m_harness.stopStatus(1, RX, OK);
    EXPECT_EQ("STOPPED", state(1, RX));
    EXPECT_EQ(std::vector<std::string>{}, m_harness.contractViolations());
    EXPECT_EQ(std::vector<std::string>{}, m_assertions.expressions());
  }
  std::size_t m_uiPeerRequests = 0;
};

TEST_F(TxStopReleasesWaitingRx, WhenItsStartTimesOut) {
  starting(TX);
  stopFeedingRx();
  m_harness.advanceMs(s_lSTATE_TIMEOUT_MS - 1000);
  EXPECT_EQ("STOPPED", state(0, TX));
  EXPECT_TRUE(flag(0, TX));
  expectRxStopProceeded();
  // The peer stop the Tx side was holding is spent on STOPPED.
  EXPECT_EQ(0u, machine(0, TX).getNumQueuedEvents());
}

TEST_F(TxStopReleasesWaitingRx, WhenItsStopTimesOut) {
  started(TX);
  m_harness.stop(0, TX);
  stopFeedingRx();
  m_harness.advanceMs(s_lSTATE_TIMEOUT_MS - 1000);
  EXPECT_EQ("FINAL", state(0, TX));
  expectRxStopProceeded();
}

// ---- PEER_STOPPED_TX takes further peer stops --------------------------------------------

TEST_F(EndpointSMTest, APeerStopInPeerStoppedTxIsConsumedAndDoesNotStopTheRestartedTx) {
  reach(At::PEER_STOPPED_TX, TX);
  m_log.clear();
  // A second feeding Rx side stopping.
  deliverPlain(MediaEvent::ePEER_STOP_TXENDPOINT, TX);
  EXPECT_EQ(0u, machine(0, TX).getNumQueuedEvents());
  for (const std::string& strMessage : m_log.messages(DEBUG)) {
    EXPECT_EQ(std::string::npos, strMessage.find("unprocessed, enqueueing.")) << strMessage;
  }

  const std::size_t uiRequests = numRequests(0);
  startPeerRx();
  m_harness.startStatus(0, TX, OK);
  EXPECT_EQ("STARTED", state(0, TX));
  EXPECT_EQ(std::vector<std::string>{"start TX_DIRECTION"}, requests(0, TX, uiRequests));
}

// ---- statuses nobody waits for ----------------------------------------------------------

struct Stray {
  const char* m_szName;
  Dir m_eDirection;
  At m_eAt;
  MediaEvent::Type m_eType;
  const char* m_szText;     // the status event's text
  Ev m_eFollowUp;           // a user request the stray status must not answer
  const char* m_szWaiting;  // the state the follow-up request waits in
};

void PrintTo(const Stray& in_stray, std::ostream* out_pStream) {
  *out_pStream << in_stray.m_szName;
}

class EndpointStrayStatus : public EndpointSMTest, public ::testing::WithParamInterface<Stray> {};

// A status that answers no request of the state is dropped, not kept for a later request:
// the request that follows still waits for its own answer.
TEST_P(EndpointStrayStatus, IsDroppedWithAWarningAndAnswersNothingLater) {
  const Stray& stray = GetParam();
  const Dir eDirection = stray.m_eDirection;
  reach(stray.m_eAt, eDirection);
  const std::string strState = state(0, eDirection);
  const std::size_t uiReports = numReports(0);
  const TaskObjectProxyData<MediaCallSM> proxyData = m_harness.callbackProxyData(0);

  EXPECT_TRUE(m_harness.deliver(OpStatusMediaEvent(
      stray.m_eType, eDirection, proxyData.getObjContainer(), proxyData.getProxyID(), OK)));
  EXPECT_EQ(strState, state(0, eDirection));
  EXPECT_EQ(0u, machine(0, eDirection).getNumQueuedEvents());
  EXPECT_EQ(1u,
            m_log.count(WARN, sideLine(0, eDirection,
                                       std::string(stray.m_szText) +
                                           " : no request is waiting for this status, dropped")));

  apply(stray.m_eFollowUp, eDirection);
  EXPECT_EQ(stray.m_szWaiting, state(0, eDirection));
  EXPECT_EQ(uiReports, numReports(0));
  EXPECT_EQ(std::vector<std::string>{}, m_assertions.expressions());
}

INSTANTIATE_TEST_SUITE_P(
    States, EndpointStrayStatus,
    ::testing::Values(
        Stray{"Rx_NotConfigured_ConfigureStatus", RX, At::NOT_CONFIGURED,
              MediaEvent::eCONFIGURE_STATUS, "eCONFIGURE_STATUS dir=RX_DIRECTION EPT_OP_OK",
              Ev::CONFIGURE, "INITIAL_CONFIGURATION"},
        Stray{"Rx_Stopped_StartStatus", RX, At::STOPPED, MediaEvent::eSTART_ENDPOINT_STATUS,
              "eSTART_ENDPOINT_STATUS dir=RX_DIRECTION EPT_OP_OK", Ev::START, "STARTING"},
        Stray{"Rx_Started_StopStatus", RX, At::STARTED, MediaEvent::eSTOP_ENDPOINT_STATUS,
              "eSTOP_ENDPOINT_STATUS dir=RX_DIRECTION EPT_OP_OK", Ev::STOP, "STOPPING"},
        Stray{"Rx_Starting_StopStatus", RX, At::STARTING, MediaEvent::eSTOP_ENDPOINT_STATUS,
              "eSTOP_ENDPOINT_STATUS dir=RX_DIRECTION EPT_OP_OK", Ev::STOP, "STARTING"},
        Stray{"Tx_Started_ConfigureStatus", TX, At::STARTED, MediaEvent::eCONFIGURE_STATUS,
              "eCONFIGURE_STATUS dir=TX_DIRECTION EPT_OP_OK", Ev::CONFIGURE, "CONFIGURING_STARTED"},
        Stray{"Tx_Stopped_StartStatus", TX, At::STOPPED_WITH_STARTED_PEER,
              MediaEvent::eSTART_ENDPOINT_STATUS,
              "eSTART_ENDPOINT_STATUS dir=TX_DIRECTION EPT_OP_OK", Ev::START, "STARTING"},
        Stray{"Tx_Stopping_StartStatus", TX, At::STOPPING, MediaEvent::eSTART_ENDPOINT_STATUS,
              "eSTART_ENDPOINT_STATUS dir=TX_DIRECTION EPT_OP_OK", Ev::START, "STOPPING"},
        Stray{"Tx_PeerStopped_StopStatus", TX, At::PEER_STOPPED_TX,
              MediaEvent::eSTOP_ENDPOINT_STATUS, "eSTOP_ENDPOINT_STATUS dir=TX_DIRECTION EPT_OP_OK",
              Ev::START, "PEER_STOPPED_TX"}),
    [](const ::testing::TestParamInfo<Stray>& in_info) { return in_info.param.m_szName; });

TEST_F(EndpointSMTest, AnEngineThatAnswersTwiceHasItsSecondAnswerDropped) {
  const std::string strDropped = " : no request is waiting for this status, dropped";
  m_harness.setAutoAnswer(0);  // every request answered once, at once
  m_harness.configure(0, RX);
  m_harness.configureStatus(0, RX, FAILED);
  m_harness.start(0, RX);
  m_harness.startStatus(0, RX, FAILED);
  m_harness.stop(0, RX);
  m_harness.stopStatus(0, RX, FAILED);
  EXPECT_EQ("STOPPED", state(0, RX));
  EXPECT_EQ(
      (std::vector<std::string>{"configure RX_DIRECTION EPT_OP_OK", "start RX_DIRECTION EPT_OP_OK",
                                "stop RX_DIRECTION EPT_OP_OK"}),
      reports(0, RX));
  for (const char* szText : {"eCONFIGURE_STATUS dir=RX_DIRECTION EPT_OP_FAILED",
                             "eSTART_ENDPOINT_STATUS dir=RX_DIRECTION EPT_OP_FAILED",
                             "eSTOP_ENDPOINT_STATUS dir=RX_DIRECTION EPT_OP_FAILED"}) {
    EXPECT_EQ(1u, m_log.count(WARN, sideLine(0, RX, szText + strDropped))) << szText;
  }
  EXPECT_EQ(std::vector<std::string>{}, m_harness.contractViolations());
}

// ---- FINAL answers what is left ---------------------------------------------------------------

TEST_F(EndpointSMTest, FinalAnswersQueuedRequestsAsFailedInOrderWhenNoTeardownBegan) {
  reach(At::STOPPING, RX);
  const std::size_t uiReports = numReports(0);
  m_harness.configure(0, RX);
  m_harness.start(0, RX);
  m_harness.stop(0, RX);
  m_harness.stopStatus(0, RX, FAILED);
  EXPECT_EQ("FINAL", state(0, RX));
  EXPECT_EQ((std::vector<std::string>{
                "stop RX_DIRECTION EPT_OP_FAILED", "configure RX_DIRECTION EPT_OP_FAILED",
                "start RX_DIRECTION EPT_OP_FAILED", "stop RX_DIRECTION EPT_OP_FAILED"}),
            reports(0, RX, uiReports));
  EXPECT_EQ(std::vector<std::string>{}, m_harness.contractViolations());
}

TEST_F(EndpointSMTest, FinalAnswersRequestsArrivingLaterAsFailedWhenNoTeardownBegan) {
  reach(At::STOPPING, RX);
  m_harness.stopStatus(0, RX, FAILED);
  ASSERT_EQ("FINAL", state(0, RX));
  ASSERT_EQ("NOT_CONFIGURED", state(0, TX)) << "the endpoint as a whole still lives";
  const std::size_t uiReports = numReports(0);

  EXPECT_NO_THROW(m_harness.configure(0, RX));
  EXPECT_NO_THROW(m_harness.start(0, RX));
  EXPECT_NO_THROW(m_harness.stop(0, RX));
  EXPECT_EQ((std::vector<std::string>{"configure RX_DIRECTION EPT_OP_FAILED",
                                      "start RX_DIRECTION EPT_OP_FAILED",
                                      "stop RX_DIRECTION EPT_OP_FAILED"}),
            reports(0, RX, uiReports));
  EXPECT_EQ(std::vector<std::string>{}, m_harness.contractViolations());
}

TEST_F(EndpointSMTest, TeardownDropsQueuedRequestsWithoutReports) {
  reach(At::CONFIGURING_STARTED, RX);
  const std::size_t uiReports = numReports(0);
  m_harness.start(0, RX);
  m_harness.stop(0, RX);
  m_harness.killCall();
  EXPECT_EQ("FINAL", state(0, RX));
  EXPECT_EQ(std::vector<std::string>{"configure RX_DIRECTION EPT_OP_FAILED"},
            reports(0, RX, uiReports));
  EXPECT_EQ(std::vector<std::string>{}, m_harness.contractViolations());
}

// ---- answers after a timeout ------------------------------------------------------------------

// How a side logs an answer that came after its request timed out, after the event text.
const std::string s_strLATE = " : answer to a request that timed out, dropped";

TEST_F(EndpointSMTest, TheLateAnswerToATimedOutConfigureIsDroppedAndTheNextAnswerCounts) {
  m_harness.configure(0, RX);
  m_harness.advanceMs(s_lSTATE_TIMEOUT_MS);
  ASSERT_EQ("NOT_CONFIGURED", state(0, RX));
  m_harness.configure(0, RX);
  m_harness.configureStatus(0, RX, FAILED);  // the first request's answer
  EXPECT_EQ("INITIAL_CONFIGURATION", state(0, RX));
  m_harness.configureStatus(0, RX, OK);
  EXPECT_EQ("STOPPED", state(0, RX));
  EXPECT_EQ((std::vector<std::string>{"configure RX_DIRECTION EPT_OP_FAILED",
                                      "configure RX_DIRECTION EPT_OP_OK"}),
            reports(0, RX));
  EXPECT_EQ(
      1u,
      m_log.count(WARN,
                  sideLine(0, RX, "eCONFIGURE_STATUS dir=RX_DIRECTION EPT_OP_FAILED" + s_strLATE)));
  EXPECT_EQ(std::vector<std::string>{}, m_harness.contractViolations());
}

TEST_F(EndpointSMTest, TheLateAnswerToATimedOutStartIsDroppedEvenWhenNothingWaits) {
  reach(At::STARTING, RX);
  m_harness.advanceMs(s_lRX_START_TIMEOUT_MS);
  ASSERT_EQ("STOPPED", state(0, RX));
  m_harness.startStatus(0, RX, OK);  // late, while stopped
  EXPECT_EQ("STOPPED", state(0, RX));
  EXPECT_FALSE(flag(0, RX));
  m_harness.start(0, RX);
  m_harness.startStatus(0, RX, OK);
  EXPECT_EQ("STARTED", state(0, RX));
  EXPECT_EQ((std::vector<std::string>{"configure RX_DIRECTION EPT_OP_OK",
                                      "start RX_DIRECTION EPT_OP_FAILED",
                                      "start RX_DIRECTION EPT_OP_OK"}),
            reports(0, RX));
  EXPECT_EQ(
      1u,
      m_log.count(
          WARN, sideLine(0, RX, "eSTART_ENDPOINT_STATUS dir=RX_DIRECTION EPT_OP_OK" + s_strLATE)));
  EXPECT_EQ(std::vector<std::string>{}, m_harness.contractViolations());
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
  EXPECT_EQ(1u, m_log.count(WARN, sideLine(0, TX,
                                           "eSTART_ENDPOINT_STATUS dir=TX_DIRECTION EPT_OP_FAILED" +
                                               s_strLATE)));
  EXPECT_EQ(std::vector<std::string>{}, m_assertions.expressions());
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
  EXPECT_EQ(std::vector<std::string>{}, m_harness.contractViolations());
}

// ---- a reused machine -------------------------------------------------------------------------

TEST_F(EndpointSMTest, InitializeCancelsTheTimersOfTheMachinesEarlierLife) {
  reach(At::STARTING, RX);
  ASSERT_EQ(1u, m_harness.timers().numArmed());
  MediaEndpointSM& rx = machine(0, RX);
  const CountedObjPtr<MediaEndpointCallback> pCallback = rx.getEndpointCallback();
  const CountedObjPtr<MediaEngineEndpointNoT> pEngineEndpoint = rx.getEngineEndpoint();
  const std::size_t uiReports = numReports(0);

  EXPECT_TRUE(rx.initialize("call-1", 0, LimitedObjPtr<TimerScheduler>(&m_harness.timers()),
                            LimitedObjPtr<MediaCallSM>(&m_harness.call()),
                            m_harness.eptProxyData(0), pCallback, pEngineEndpoint));
  EXPECT_EQ("NOT_CONFIGURED", state(0, RX));
  EXPECT_EQ(0u, m_harness.timers().numArmed());
  EXPECT_EQ(0u, m_harness.advanceMs(s_lSTATE_TIMEOUT_MS));
  EXPECT_EQ(uiReports, numReports(0));
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
  const std::string strUnbound = tx.getCurrentStateName();

  EXPECT_FALSE(tx.initialize("call-1", 9, pTimers, LimitedObjPtr<MediaCallSM>(),
                             m_harness.eptProxyData(9), CountedObjPtr<MediaEndpointCallback>(),
                             CountedObjPtr<MediaEngineEndpointNoT>()));
  EXPECT_FALSE(tx.initialize("call-1", 9, pTimers, pCall, m_harness.eptProxyData(9),
                             CountedObjPtr<MediaEndpointCallback>(), pEngineEndpoint));
  EXPECT_FALSE(tx.initialize("call-1", 9, pTimers, pCall, m_harness.eptProxyData(9), pCallback,
                             CountedObjPtr<MediaEngineEndpointNoT>()));
  EXPECT_EQ((std::vector<std::string>{"! in_pCallSM.isNull()", "! in_pEndpointCallback.isNull()",
                                      "! in_pEngineEndpoint.isNull()"}),
            m_assertions.expressions());
  EXPECT_EQ("MediaEndpointSM", m_assertions.records()[0].m_strModule);
  EXPECT_EQ(strUnbound, tx.getCurrentStateName());
  EXPECT_TRUE(tx.getCallSM().isNull());

  // A bound machine refuses a broken re-initialisation and stays bound.
  ASSERT_TRUE(tx.initialize("call-1", 9, pTimers, pCall, m_harness.eptProxyData(9), pCallback,
                            pEngineEndpoint));
  EXPECT_STREQ("NOT_CONFIGURED", tx.getCurrentStateName());
  EXPECT_FALSE(tx.initialize("call-1", 9, pTimers, pCall, m_harness.eptProxyData(9), pCallback,
                             CountedObjPtr<MediaEngineEndpointNoT>()));
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
  EXPECT_EQ((std::vector<std::string>{"Not implemented : MediaEndpointSM::processTimeout",
                                      "isInFinalState()"}),
            m_assertions.expressions());
}

TEST_F(EndpointSMTest, EventsOfTheWrongClassAreAssertedAndChangeNothing) {
  // A configure request without its configuration event: answered as failed, unasked.
  EXPECT_NO_THROW(deliverPlain(MediaEvent::eCONFIGURE, RX));
  EXPECT_EQ("NOT_CONFIGURED", state(0, RX));
  EXPECT_EQ(std::vector<std::string>{"configure RX_DIRECTION EPT_OP_FAILED"}, reports(0, RX));
  EXPECT_EQ(std::vector<std::string>{}, requests(0));

  // A status without its status.
  m_harness.configure(0, RX);
  bool bResult = true;
  EXPECT_NO_THROW(bResult = m_harness.deliver(ProxyMediaEvent(MediaEvent::eCONFIGURE_STATUS, RX,
                                                              m_harness.callbackProxyData(0))));
  EXPECT_FALSE(bResult);
  EXPECT_EQ("INITIAL_CONFIGURATION", state(0, RX));
  EXPECT_EQ(1u, reports(0, RX).size());

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
  started(TX);
  m_harness.stop(0, TX);
  const std::size_t uiReports = numReports(0);
  EXPECT_NO_THROW(bResult = m_harness.deliver(ProxyMediaEvent(MediaEvent::eSTOP_ENDPOINT_STATUS, TX,
                                                              m_harness.callbackProxyData(0))));
  EXPECT_FALSE(bResult);
  EXPECT_EQ("STOPPING", state(0, TX));
  EXPECT_TRUE(flag(0, TX));
  EXPECT_EQ(uiReports, numReports(0));

  EXPECT_EQ((std::vector<std::string>{"pEvent != 0", "pEvent != 0", "pEvent", "pEvent != 0"}),
            m_assertions.expressions());
}

TEST_F(EndpointSMTest, AStopOfTheWrongDirectionInPeerStoppedTxIsAssertedAndStillStopsTheTx) {
  reach(At::PEER_STOPPED_TX, TX);
  const std::size_t uiReports = numReports(0);
  bool bResult = false;
  EXPECT_NO_THROW(bResult = machine(0, TX).processEvent(
                      ProxyMediaEvent(MediaEvent::eSTOP_ENDPOINT, RX, m_harness.eptProxyData(0))));
  EXPECT_TRUE(bResult);
  EXPECT_EQ("STOPPED", state(0, TX));
  EXPECT_EQ(std::vector<std::string>{"stop TX_DIRECTION EPT_OP_OK"}, reports(0, TX, uiReports));
  EXPECT_EQ(std::vector<std::string>{"(in_event.getDirection() == MediaEndpoint::TX_DIRECTION) || "
                                     "(in_event.getDirection() == MediaEndpoint:: RXTX_DIRECTION)"},
            m_assertions.expressions());
}

}  // namespace
}  // namespace Omvera
