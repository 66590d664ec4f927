// The endpoint state machine: the machine and its hooks into the call, the ten states both
// directions share and the three peer-following states of a Tx machine.
//
// Engine task thread only. The machine owns its states; each state refers to its machine by
// reference and reaches the call, the user callback and the engine endpoint through it.
#include "tidewave/MediaEndpointSM.h"

#include "tidewave/MediaEngineTask.h"

#include <string>

#include "tidewave/MediaCallData.h"
#include "tidewave/MediaCallSM.h"
#include "tidewave/MediaEndpointConfig.h"
#include "tidewave/MediaNotificationEvent.h"
#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/CheckedCast.h"
#include "tidewave/infra/Guards.h"
#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("MediaEndpointSM", "tidewave.media.EndpointSM")

namespace Omvera {

namespace {

constexpr long s_lSTATE_TIMEOUT_SEC = 300;
constexpr long s_lRX_START_TIMEOUT_MS = 5000;

constexpr const char* s_szNOT_CONFIGURED = "NOT_CONFIGURED";
constexpr const char* s_szINITIAL_CONFIGURATION = "INITIAL_CONFIGURATION";
constexpr const char* s_szCONFIGURING_STOPPED = "CONFIGURING_STOPPED";
constexpr const char* s_szCONFIGURING_STARTED = "CONFIGURING_STARTED";
constexpr const char* s_szSTOPPED = "STOPPED";
constexpr const char* s_szSTARTING = "STARTING";
constexpr const char* s_szSTARTED = "STARTED";
constexpr const char* s_szSTOPPING = "STOPPING";
constexpr const char* s_szSTOPPING_FINAL = "STOPPING_FINAL";
constexpr const char* s_szFINAL = "FINAL";
constexpr const char* s_szPEER_STOPPING_TX = "PEER_STOPPING_TX";
constexpr const char* s_szPEER_STOPPED_TX = "PEER_STOPPED_TX";
constexpr const char* s_szPEER_STARTING_TX = "PEER_STARTING_TX";

using EptOpStatus = MediaEndpointCallback::EptOpStatus;
constexpr EptOpStatus s_eOK = MediaEndpointCallback::EPT_OP_OK;
constexpr EptOpStatus s_eFAILED = MediaEndpointCallback::EPT_OP_FAILED;

// The call snapshot handed to engine configure and start requests: filled from the call
// just before the request and used only until the request returns, so one per thread is
// enough and no snapshot is allocated per request.
thread_local MediaCallData s_scratchCallData;
thread_local bool s_bScratchCallDataInUse = false;

ACE_Time_Value msecToTimeValue(long in_lMsec) {
  return ACE_Time_Value(in_lMsec / 1000, (in_lMsec % 1000) * 1000);
}

long long timeValueToMsec(const ACE_Time_Value& in_value) {
  return static_cast<long long>(in_value.sec()) * 1000 + in_value.usec() / 1000;
}

bool isTeardownEvent(MediaEvent::Type in_eType) {
  return in_eType == MediaEvent::eSTOP || in_eType == MediaEvent::eKILL ||
         in_eType == MediaEvent::eMEDIA_PROXY_DTOR;
}

bool isStatusEvent(MediaEvent::Type in_eType) {
  return in_eType == MediaEvent::eCONFIGURE_STATUS ||
         in_eType == MediaEvent::eSTART_ENDPOINT_STATUS ||
         in_eType == MediaEvent::eSTOP_ENDPOINT_STATUS;
}

// Calls in_request with a snapshot of io_SM's call, filled just before. Should the
// per-thread snapshot already be in use (reported), a private one is filled instead, so
// that its user's data is never overwritten. The answer is in_request's.
template <class Request>
bool withCallData(MediaEndpointSM& io_SM, const Request& in_request) {
  const bool bScratchFree = !s_bScratchCallDataInUse;
  ScratchMemberGuard scratch(s_bScratchCallDataInUse, s_szMODULE_NAME, __LINE__);
  MediaCallData privateCallData;
  MediaCallData& callData = bScratchFree ? s_scratchCallData : privateCallData;
  io_SM.getCallSM()->initMediaCallData(callData);
  return in_request(static_cast<const MediaCallData&>(callData));
}

// The user reports for the machine's direction. The callback's answer is not used.
void reportConfigure(MediaEndpointSM& io_SM, EptOpStatus in_eStatus) {
  io_SM.getEndpointCallback()->configureStatus(io_SM.getDirection(), in_eStatus);
  io_SM.requestAnswered(MediaEvent::eCONFIGURE);
}
void reportStart(MediaEndpointSM& io_SM, EptOpStatus in_eStatus) {
  io_SM.getEndpointCallback()->startStatus(io_SM.getDirection(), in_eStatus);
  io_SM.requestAnswered(MediaEvent::eSTART_ENDPOINT);
}
void reportStop(MediaEndpointSM& io_SM, EptOpStatus in_eStatus) {
  io_SM.getEndpointCallback()->stopStatus(io_SM.getDirection(), in_eStatus);
  io_SM.requestAnswered(MediaEvent::eSTOP_ENDPOINT);
}

// The engine stop of a teardown that does not go through stopStartedEndpoint() (so no
// rxStopping()). Its answer is not used: the state that follows waits or ends anyway.
void engineStop(MediaEndpointSM& io_SM) { io_SM.getEngineEndpoint()->stop(io_SM.getDirection()); }

// in_event as a status event; another class is the assertion "pEvent != 0" and null, on
// which the state answers false (no report, no transition).
const OpStatusMediaEvent* statusEvent(MediaEndpointSM& io_SM, const MediaEvent& in_event,
                                      int in_iLine) {
  const OpStatusMediaEvent* pEvent = dynamic_cast<const OpStatusMediaEvent*>(&in_event);
  Assertion(pEvent != nullptr, "pEvent != 0", io_SM.getLogger(), s_szMODULE_NAME, in_iLine);
  return pEvent;
}

// What a state does with an event it has no row for: the event waits in the machine's
// queue and is replayed after the next consumed event; the state stays. A configure,
// start or stop status is the exception: a state without a row for it has no request
// waiting for an answer (the answer came after a timeout, or the engine answered twice),
// so it is logged and dropped, and can never be taken for the answer to a later request.
void deferEvent(MediaEndpointSM& io_SM, MediaEndpointSMState& io_state, const MediaEvent& in_event,
                std::string& out_strStateName) {
  if (isStatusEvent(in_event.getType())) {
    OMVERA_LOG(io_SM.getLogger(), LogLevel::WARN,
               in_event << " : no request is waiting for this status, dropped");
  } else {
    io_state.unprocessedEvent(in_event);
  }
  out_strStateName = io_state.getName();
}

void logTimeout(MediaEndpointSM& io_SM, const char* in_szStateName) {
  OMVERA_LOG(io_SM.getLogger(), LogLevel::ERROR, "timeout in state " << in_szStateName);
}

// Sets the timeout of STOPPING and STOPPING_FINAL from the configuration when it holds a
// usable value; otherwise the timeout stays what it was.
void applyStopTimeout(const MediaEndpointSM& in_SM, TimeoutStateNoT& io_state) {
  int iSeconds = 0;
  if (in_SM.getConfig().getIntParameter(MediaEndpointSM::s_szSTOP_TIMEOUT_PARAM, iSeconds) &&
      iSeconds >= 1) {
    io_state.setTimeout(ACE_Time_Value(iSeconds));
  }
}

// The engine configure request of the three configuring states, entered on eCONFIGURE.
// Accepted: stay in in_szSelf and wait for the status. Refused: configureStatus(FAILED)
// and in_szFallback. An entering event that is not a ConfigureMediaEvent (assertion) is
// not read: the request is answered as failed without asking the engine.
void configureEndpoint(MediaEndpointSM& io_SM, const MediaEvent& in_event, const char* in_szSelf,
                       const char* in_szFallback, bool in_bLogNullConfig,
                       std::string& out_strStateName) {
  const ConfigureMediaEvent* pEvent = dynamic_cast<const ConfigureMediaEvent*>(&in_event);
  if (!Assertion(pEvent != nullptr, "pEvent != 0", io_SM.getLogger(), s_szMODULE_NAME, __LINE__)) {
    reportConfigure(io_SM, s_eFAILED);
    out_strStateName = in_szFallback;
    return;
  }
  const CloneableObjPtr<MediaEndpointConfig>& pEventConfig = pEvent->getConfig();
  if (in_bLogNullConfig && pEventConfig.isNull()) {
    OMVERA_LOG(io_SM.getLogger(), LogLevel::DEBUG, "cfg ptr is null");
  }
  // The engine endpoint owns the clone whatever it answers.
  MediaEndpointConfig* pConfig = pEventConfig.isNull() ? nullptr : pEventConfig->clone();
  const bool bAccepted = withCallData(io_SM, [&io_SM, pConfig](const MediaCallData& in_callData) {
    return io_SM.getEngineEndpoint()->configure(io_SM.getDirection(), pConfig, in_callData);
  });
  if (bAccepted) {
    out_strStateName = in_szSelf;
    return;
  }
  OMVERA_LOG(io_SM.getLogger(), LogLevel::ERROR, "engine ept configure failed");
  reportConfigure(io_SM, s_eFAILED);
  out_strStateName = in_szFallback;
}

}  // namespace

// ---- state base -------------------------------------------------------------------------

MediaEndpointSMState::~MediaEndpointSMState() = default;

void MediaEndpointSMState::unprocessedEvent(const MediaEvent& in_event) {
  OMVERA_LOG(m_SM.getLogger(), LogLevel::DEBUG, in_event << " unprocessed, enqueueing.");
  unprocessedEvent();
}

void MediaEndpointSMState::unprocessedEvent() {
  StateMachineWithEventQueueState::unprocessedEvent();
}

MediaEndpoint::Direction MediaEndpointSMState::getSMDirection() const { return m_SM.m_direction; }

const TaskObjectProxyData<MediaCallSM>& MediaEndpointSMState::getProxyData() const {
  return m_SM.m_proxyData;
}

// ---- NOT_CONFIGURED -----------------------------------------------------------------------

// The initial state: nothing is configured yet. Owned by its machine, engine task thread.
class MediaEndpointSM::NotConfigured : public MediaEndpointSMState,
                                       public NoTimeoutState<MediaEvent> {
 public:
  explicit NotConfigured(MediaEndpointSM& in_SM) : MediaEndpointSMState(in_SM) {}

  const char* getName() const override { return s_szNOT_CONFIGURED; }

  // A (re)initialised machine is not final.
  void entryAction(const MediaEvent& /*in_event*/, std::string& out_strStateName) override {
    m_SM.m_bFinal = false;
    out_strStateName = getName();
  }

  bool processEvent_i(const MediaEvent& in_event, std::string& out_strStateName) override {
    OMVERA_TRACE_SCOPE(m_SM.getLogger(), "NotConfigured::processEvent_i");
    switch (in_event.getType()) {
      case MediaEvent::eCONFIGURE:
        out_strStateName = s_szINITIAL_CONFIGURATION;
        return true;
      case MediaEvent::eALL_TX_STOPPED:
      case MediaEvent::ePEER_STOP_TXENDPOINT:
      case MediaEvent::eONEPLUS_RX_STARTED:
        out_strStateName = getName();
        return true;
      case MediaEvent::eSTOP:
      case MediaEvent::eKILL:
      case MediaEvent::eMEDIA_PROXY_DTOR:
        out_strStateName = s_szFINAL;
        return true;
      default:
        deferEvent(m_SM, *this, in_event, out_strStateName);
        return true;
    }
  }
};

// ---- INITIAL_CONFIGURATION ----------------------------------------------------------------

// The first configuration is with the engine; falls back to NOT_CONFIGURED when it fails.
// Owned by its machine, engine task thread.
class MediaEndpointSM::InitialConfiguration : public MediaEndpointSMState,
                                              public TimeoutState<MediaEvent> {
 public:
  explicit InitialConfiguration(MediaEndpointSM& in_SM)
      : MediaEndpointSMState(in_SM),
        TimeoutState<MediaEvent>(ACE_Time_Value(s_lSTATE_TIMEOUT_SEC)) {}

  const char* getName() const override { return s_szINITIAL_CONFIGURATION; }

  void entryAction_i(const MediaEvent& in_event, std::string& out_strStateName) override {
    OMVERA_TRACE_SCOPE(m_SM.getLogger(), "InitialConfiguration::entryAction_i");
    configureEndpoint(m_SM, in_event, getName(), s_szNOT_CONFIGURED, true, out_strStateName);
  }

  bool processEvent_i(const MediaEvent& in_event, std::string& out_strStateName) override {
    OMVERA_TRACE_SCOPE(m_SM.getLogger(), "InitialConfiguration::processEvent_i");
    switch (in_event.getType()) {
      case MediaEvent::eCONFIGURE_STATUS: {
        const OpStatusMediaEvent* pEvent = statusEvent(m_SM, in_event, __LINE__);
        if (pEvent == nullptr) return false;
        if (pEvent->getOpStatus() == s_eOK) {
          reportConfigure(m_SM, s_eOK);
          out_strStateName = s_szSTOPPED;
        } else {
          reportConfigure(m_SM, s_eFAILED);
          out_strStateName = s_szNOT_CONFIGURED;
        }
        return true;
      }
      case MediaEvent::eALL_TX_STOPPED:
      case MediaEvent::eONEPLUS_RX_STARTED:
        out_strStateName = getName();
        return true;
      case MediaEvent::eSTOP:
      case MediaEvent::eKILL:
      case MediaEvent::eMEDIA_PROXY_DTOR:
        reportConfigure(m_SM, s_eFAILED);
        out_strStateName = s_szFINAL;
        return true;
      default:
        deferEvent(m_SM, *this, in_event, out_strStateName);
        return true;
    }
  }

 protected:
  bool processTimeout_i(const TimeoutEvent& /*in_event*/, std::string& out_strStateName) override {
    OMVERA_TRACE_SCOPE(m_SM.getLogger(), "InitialConfiguration::processTimeout_i");
    logTimeout(m_SM, getName());
    m_SM.expectLateAnswer(MediaEvent::eCONFIGURE_STATUS);
    reportConfigure(m_SM, s_eFAILED);
    out_strStateName = s_szNOT_CONFIGURED;
    return true;
  }
};

// ---- CONFIGURING_STOPPED ------------------------------------------------------------------

// A reconfiguration of a stopped endpoint is with the engine; back to STOPPED in every
// outcome. Owned by its machine, engine task thread.
class MediaEndpointSM::ConfiguringStopped : public MediaEndpointSMState,
                                            public TimeoutState<MediaEvent> {
 public:
  explicit ConfiguringStopped(MediaEndpointSM& in_SM)
      : MediaEndpointSMState(in_SM),
        TimeoutState<MediaEvent>(ACE_Time_Value(s_lSTATE_TIMEOUT_SEC)) {}

  const char* getName() const override { return s_szCONFIGURING_STOPPED; }

  void entryAction_i(const MediaEvent& in_event, std::string& out_strStateName) override {
    configureEndpoint(m_SM, in_event, getName(), s_szSTOPPED, false, out_strStateName);
  }

  bool processEvent_i(const MediaEvent& in_event, std::string& out_strStateName) override {
    OMVERA_TRACE_SCOPE(m_SM.getLogger(), "ConfiguringStopped::processEvent_i");
    switch (in_event.getType()) {
      case MediaEvent::eCONFIGURE_STATUS: {
        const OpStatusMediaEvent* pEvent = statusEvent(m_SM, in_event, __LINE__);
        if (pEvent == nullptr) return false;
        reportConfigure(m_SM, pEvent->getOpStatus());
        out_strStateName = s_szSTOPPED;
        return true;
      }
      case MediaEvent::eALL_TX_STOPPED:
      case MediaEvent::eONEPLUS_RX_STARTED:
        out_strStateName = getName();
        return true;
      case MediaEvent::eSTOP:
      case MediaEvent::eKILL:
      case MediaEvent::eMEDIA_PROXY_DTOR:
        reportConfigure(m_SM, s_eFAILED);
        out_strStateName = s_szFINAL;
        return true;
      default:
        deferEvent(m_SM, *this, in_event, out_strStateName);
        return true;
    }
  }

 protected:
  bool processTimeout_i(const TimeoutEvent& /*in_event*/, std::string& out_strStateName) override {
    OMVERA_TRACE_SCOPE(m_SM.getLogger(), "ConfiguringStopped::processTimeout_i");
    logTimeout(m_SM, getName());
    m_SM.expectLateAnswer(MediaEvent::eCONFIGURE_STATUS);
    reportConfigure(m_SM, s_eFAILED);
    out_strStateName = s_szSTOPPED;
    return true;
  }
};

// ---- CONFIGURING_STARTED ------------------------------------------------------------------

// A reconfiguration of a started endpoint is with the engine; back to STARTED in every
// outcome but teardown. Owned by its machine, engine task thread.
class MediaEndpointSM::ConfiguringStarted : public MediaEndpointSMState,
                                            public TimeoutState<MediaEvent> {
 public:
  explicit ConfiguringStarted(MediaEndpointSM& in_SM)
      : MediaEndpointSMState(in_SM),
        TimeoutState<MediaEvent>(ACE_Time_Value(s_lSTATE_TIMEOUT_SEC)) {}

  const char* getName() const override { return s_szCONFIGURING_STARTED; }

  void entryAction_i(const MediaEvent& in_event, std::string& out_strStateName) override {
    configureEndpoint(m_SM, in_event, getName(), s_szSTARTED, false, out_strStateName);
  }

  bool processEvent_i(const MediaEvent& in_event, std::string& out_strStateName) override {
    OMVERA_TRACE_SCOPE(m_SM.getLogger(), "ConfiguringStarted::processEvent_i");
    switch (in_event.getType()) {
      case MediaEvent::eCONFIGURE_STATUS: {
        const OpStatusMediaEvent* pEvent = statusEvent(m_SM, in_event, __LINE__);
        if (pEvent == nullptr) return false;
        reportConfigure(m_SM, pEvent->getOpStatus());
        out_strStateName = s_szSTARTED;
        return true;
      }
      case MediaEvent::eALL_TX_STOPPED:
      case MediaEvent::eONEPLUS_RX_STARTED:
        out_strStateName = getName();
        return true;
      case MediaEvent::eSTOP:
      case MediaEvent::eMEDIA_PROXY_DTOR:
        reportConfigure(m_SM, s_eFAILED);
        m_SM.stopStartedEndpoint();
        out_strStateName = s_szSTOPPING_FINAL;
        return true;
      case MediaEvent::eKILL:
        reportConfigure(m_SM, s_eFAILED);
        m_SM.stopStartedEndpoint();
        out_strStateName = s_szFINAL;
        return true;
      default:
        deferEvent(m_SM, *this, in_event, out_strStateName);
        return true;
    }
  }

 protected:
  bool processTimeout_i(const TimeoutEvent& /*in_event*/, std::string& out_strStateName) override {
    OMVERA_TRACE_SCOPE(m_SM.getLogger(), "ConfiguringStarted::processTimeout_i");
    logTimeout(m_SM, getName());
    m_SM.expectLateAnswer(MediaEvent::eCONFIGURE_STATUS);
    reportConfigure(m_SM, s_eFAILED);
    out_strStateName = s_szSTARTED;
    return true;
  }
};

// ---- STOPPED ------------------------------------------------------------------------------

// Configured and not running. Owned by its machine, engine task thread.
class MediaEndpointSM::Stopped : public MediaEndpointSMState, public NoTimeoutState<MediaEvent> {
 public:
  explicit Stopped(MediaEndpointSM& in_SM) : MediaEndpointSMState(in_SM) {}

  const char* getName() const override { return s_szSTOPPED; }

  void entryAction(const MediaEvent& /*in_event*/, std::string& out_strStateName) override {
    out_strStateName = getName();
    // A stopped Tx side is known to the call as stopped, whatever way it got here (a
    // refused, failed or timed-out start included), so that the Rx sides it feeds are
    // never left waiting for it.
    if (m_SM.m_direction == MediaEndpoint::TX_DIRECTION &&
        !m_SM.m_pCallSM->isTxStopped(m_SM.m_eptIndex.getValue(s_szMODULE_NAME, __LINE__))) {
      m_SM.txStopped();
    }
  }

  bool processEvent_i(const MediaEvent& in_event, std::string& out_strStateName) override {
    OMVERA_TRACE_SCOPE(m_SM.getLogger(), "Stopped::processEvent_i");
    switch (in_event.getType()) {
      case MediaEvent::eCONFIGURE:
        out_strStateName = s_szCONFIGURING_STOPPED;
        return true;
      case MediaEvent::eSTART_ENDPOINT:
        out_strStateName = s_szSTARTING;
        return true;
      case MediaEvent::eSTOP_ENDPOINT:
        reportStop(m_SM, s_eOK);
        out_strStateName = getName();
        return true;
      case MediaEvent::eALL_TX_STOPPED:
      case MediaEvent::ePEER_STOP_TXENDPOINT:
      case MediaEvent::eONEPLUS_RX_STARTED:
        out_strStateName = getName();
        return true;
      case MediaEvent::eSTOP:
      case MediaEvent::eKILL:
      case MediaEvent::eMEDIA_PROXY_DTOR:
        out_strStateName = s_szFINAL;
        return true;
      default:
        deferEvent(m_SM, *this, in_event, out_strStateName);
        return true;
    }
  }
};

// ---- STARTING -----------------------------------------------------------------------------

// A start is with the engine, or, for a Tx side without a started Rx peer, delayed until
// one starts (m_bDelayedStart). Owned by its machine, engine task thread.
class MediaEndpointSM::Starting : public MediaEndpointSMState, public TimeoutState<MediaEvent> {
 public:
  explicit Starting(MediaEndpointSM& in_SM)
      : MediaEndpointSMState(in_SM),
        TimeoutState<MediaEvent>(ACE_Time_Value(s_lSTATE_TIMEOUT_SEC)) {}

  const char* getName() const override { return s_szSTARTING; }

  void entryAction_i(const MediaEvent& /*in_event*/, std::string& out_strStateName) override {
    OMVERA_TRACE_SCOPE(m_SM.getLogger(), "Starting::entryAction_i");
    if (m_SM.m_direction == MediaEndpoint::TX_DIRECTION) {
      m_SM.txStarting();
      if (m_SM.onePlusRxStarted()) {
        m_bDelayedStart = false;
        startEndpoint(out_strStateName);
      } else {
        OMVERA_LOG(m_SM.getLogger(), LogLevel::DEBUG, "Tx endpoint will do a delayed start");
        m_bDelayedStart = true;
        out_strStateName = getName();
      }
      return;
    }
    Assertion(m_SM.m_direction == MediaEndpoint::RX_DIRECTION,
              "m_SM.m_direction == MediaEndpoint::RX_DIRECTION", m_SM.getLogger(), s_szMODULE_NAME,
              __LINE__);
    setTimeout(rxStartTimeout());
    m_bDelayedStart = false;
    startEndpoint(out_strStateName);
  }

  bool processEvent_i(const MediaEvent& in_event, std::string& out_strStateName) override {
    OMVERA_TRACE_SCOPE(m_SM.getLogger(), "Starting::processEvent_i");
    switch (in_event.getType()) {
      case MediaEvent::eSTOP_ENDPOINT:
        if (!m_bDelayedStart) {
          deferEvent(m_SM, *this, in_event, out_strStateName);
          return true;
        }
        m_bDelayedStart = false;
        if (m_SM.m_direction == MediaEndpoint::TX_DIRECTION) m_SM.txStopped();
        reportStart(m_SM, s_eFAILED);
        reportStop(m_SM, s_eOK);
        out_strStateName = s_szSTOPPED;
        return true;
      case MediaEvent::eSTART_ENDPOINT_STATUS: {
        if (m_bDelayedStart) {
          return Assertion(false, "m_bDelayedStart == false", m_SM.getLogger(), s_szMODULE_NAME,
                           __LINE__);
        }
        const OpStatusMediaEvent* pEvent = statusEvent(m_SM, in_event, __LINE__);
        if (pEvent == nullptr) return false;
        if (pEvent->getOpStatus() == s_eOK) {
          reportStart(m_SM, s_eOK);
          if (m_SM.m_direction == MediaEndpoint::RX_DIRECTION) m_SM.rxStarted();
          out_strStateName = s_szSTARTED;
        } else {
          reportStart(m_SM, s_eFAILED);
          if (m_SM.m_direction == MediaEndpoint::TX_DIRECTION) m_SM.txStopped();
          out_strStateName = s_szSTOPPED;
        }
        return true;
      }
      case MediaEvent::eALL_TX_STOPPED:
        out_strStateName = getName();
        return true;
      case MediaEvent::eONEPLUS_RX_STARTED:
        if (m_bDelayedStart) {
          m_bDelayedStart = false;
          startEndpoint(out_strStateName);
        } else {
          out_strStateName = getName();
        }
        return true;
      case MediaEvent::eSTOP:
      case MediaEvent::eMEDIA_PROXY_DTOR:
        if (m_bDelayedStart) {
          out_strStateName = s_szFINAL;
        } else {
          engineStop(m_SM);
          out_strStateName = s_szSTOPPING_FINAL;
        }
        return true;
      case MediaEvent::eKILL:
        if (!m_bDelayedStart) engineStop(m_SM);
        out_strStateName = s_szFINAL;
        return true;
      default:
        deferEvent(m_SM, *this, in_event, out_strStateName);
        return true;
    }
  }

 protected:
  bool processTimeout_i(const TimeoutEvent& /*in_event*/, std::string& out_strStateName) override {
    OMVERA_TRACE_SCOPE(m_SM.getLogger(), "Starting::processTimeout_i");
    logTimeout(m_SM, getName());
    // A delayed start never reached the engine: no answer is due.
    if (!m_bDelayedStart) m_SM.expectLateAnswer(MediaEvent::eSTART_ENDPOINT_STATUS);
    reportStart(m_SM, s_eFAILED);
    out_strStateName = s_szSTOPPED;
    return true;
  }

 private:
  // The configured Rx start timeout when it is at least 1 ms, else the default.
  ACE_Time_Value rxStartTimeout() const {
    int iMsec = 0;
    if (m_SM.getConfig().getIntParameter(MediaEndpointSM::s_szRX_START_TIMEOUT_PARAM, iMsec) &&
        iMsec >= 1) {
      return msecToTimeValue(iMsec);
    }
    return msecToTimeValue(s_lRX_START_TIMEOUT_MS);
  }

  // The engine start request. Accepted: stay and wait for the status. Refused:
  // startStatus(FAILED) and STOPPED.
  void startEndpoint(std::string& out_strStateName) {
    OMVERA_TRACE_SCOPE(m_SM.getLogger(), "Starting::startEndpoint");
    const bool bAccepted = withCallData(m_SM, [this](const MediaCallData& in_callData) {
      if (!m_SM.m_pCallSM->TxDontWaitForPeer() && m_SM.m_direction == MediaEndpoint::TX_DIRECTION) {
        MediaCallData::IndexVector vPeerIndex;
        in_callData.findStartedPeers(m_SM.m_eptIndex.getValue(s_szMODULE_NAME, __LINE__),
                                     MediaEndpoint::TX_DIRECTION, vPeerIndex);
        Assertion(!vPeerIndex.empty(), "!vPeerIndex.empty()", m_SM.getLogger(), s_szMODULE_NAME,
                  __LINE__);
      }
      return m_SM.m_pEngineEndpoint->start(m_SM.m_direction, in_callData);
    });
    if (bAccepted) {
      out_strStateName = getName();
      return;
    }
    OMVERA_LOG(m_SM.getLogger(), LogLevel::ERROR, "engine ept start failed");
    reportStart(m_SM, s_eFAILED);
    out_strStateName = s_szSTOPPED;
  }

  bool m_bDelayedStart = false;
};

// ---- STARTED ------------------------------------------------------------------------------

// Running. Owned by its machine, engine task thread.
class MediaEndpointSM::Started : public MediaEndpointSMState, public NoTimeoutState<MediaEvent> {
 public:
  explicit Started(MediaEndpointSM& in_SM) : MediaEndpointSMState(in_SM) {}

  const char* getName() const override { return s_szSTARTED; }

  bool processEvent_i(const MediaEvent& in_event, std::string& out_strStateName) override {
    OMVERA_TRACE_SCOPE(m_SM.getLogger(), "Started::processEvent_i");
    switch (in_event.getType()) {
      case MediaEvent::eCONFIGURE:
        out_strStateName = s_szCONFIGURING_STARTED;
        return true;
      case MediaEvent::eSTOP_ENDPOINT:
        out_strStateName = s_szSTOPPING;
        return true;
      case MediaEvent::eALL_TX_STOPPED:
      case MediaEvent::eONEPLUS_RX_STARTED:
        out_strStateName = getName();
        return true;
      case MediaEvent::ePEER_STOP_TXENDPOINT:
        if (m_SM.getDirection() != MediaEndpoint::TX_DIRECTION) {
          return Assertion(false, "m_SM.getDirection() == MediaEndpoint::TX_DIRECTION",
                           m_SM.getLogger(), s_szMODULE_NAME, __LINE__);
        }
        out_strStateName = s_szPEER_STOPPING_TX;
        return true;
      case MediaEvent::eSTOP:
      case MediaEvent::eMEDIA_PROXY_DTOR:
        m_SM.stopStartedEndpoint();
        out_strStateName = s_szSTOPPING_FINAL;
        return true;
      case MediaEvent::eKILL:
        m_SM.stopStartedEndpoint();
        out_strStateName = s_szFINAL;
        return true;
      case MediaEvent::eHANDLE_OOB_EVENT: {
        const HandleOOBMediaEvent* pEvent = dynamic_cast<const HandleOOBMediaEvent*>(&in_event);
        if (!Assertion(pEvent != nullptr, "pEvent", m_SM.getLogger(), s_szMODULE_NAME, __LINE__)) {
          return false;
        }
        m_SM.m_pEngineEndpoint->handleOutOfBandEvent(pEvent->getOOBEvent());
        out_strStateName = getName();
        return true;
      }
      default:
        deferEvent(m_SM, *this, in_event, out_strStateName);
        return true;
    }
  }
};

// ---- STOPPING -----------------------------------------------------------------------------

// A user stop is with the engine, or, for an Rx side whose Tx peers still run, delayed
// until they have stopped (m_bStopDelayed). A teardown arriving meanwhile (m_bFinalStop)
// makes the stop end in FINAL. Owned by its machine, engine task thread.
class MediaEndpointSM::Stopping : public MediaEndpointSMState, public TimeoutState<MediaEvent> {
 public:
  explicit Stopping(MediaEndpointSM& in_SM)
      : MediaEndpointSMState(in_SM),
        TimeoutState<MediaEvent>(ACE_Time_Value(s_lSTATE_TIMEOUT_SEC)) {}

  const char* getName() const override { return s_szSTOPPING; }

  void entryAction_i(const MediaEvent& /*in_event*/, std::string& out_strStateName) override {
    OMVERA_TRACE_SCOPE(m_SM.getLogger(), "Stopping::entryAction_i");
    m_bStopDelayed = false;
    m_bFinalStop = false;
    applyStopTimeout(m_SM, *this);
    if (m_SM.m_direction == MediaEndpoint::TX_DIRECTION || m_SM.allTxStopped()) {
      stopEndpoint(out_strStateName);
      return;
    }
    OMVERA_LOG(m_SM.getLogger(), LogLevel::DEBUG,
               "Stopping::entryAction_i : Rx endpoint stop delayed");
    m_bStopDelayed = true;
    m_SM.stopAllTx();
    // A Tx peer that stopped at once (its engine refused the stop) has told the call while
    // this machine was busy here, so its eALL_TX_STOPPED could not reach it: look again.
    if (m_SM.allTxStopped()) {
      m_bStopDelayed = false;
      stopEndpoint(out_strStateName);
      return;
    }
    out_strStateName = getName();
  }

  bool processEvent_i(const MediaEvent& in_event, std::string& out_strStateName) override {
    OMVERA_TRACE_SCOPE(m_SM.getLogger(), "Stopping::processEvent_i");
    switch (in_event.getType()) {
      case MediaEvent::eSTOP_ENDPOINT_STATUS: {
        // While the Rx stop is delayed the engine has not been asked: a stop status now
        // answers nothing of this stop (late or repeated) and must not complete it.
        if (m_bStopDelayed) {
          deferEvent(m_SM, *this, in_event, out_strStateName);
          return true;
        }
        if (m_SM.m_direction == MediaEndpoint::TX_DIRECTION) m_SM.txStopped();
        const OpStatusMediaEvent* pEvent = statusEvent(m_SM, in_event, __LINE__);
        if (pEvent == nullptr) return false;
        if (pEvent->getOpStatus() == s_eOK) {
          reportStop(m_SM, s_eOK);
          out_strStateName = m_bFinalStop ? s_szFINAL : s_szSTOPPED;
        } else {
          reportStop(m_SM, s_eFAILED);
          out_strStateName = s_szFINAL;
        }
        return true;
      }
      case MediaEvent::eALL_TX_STOPPED:
        if (m_bStopDelayed) {
          m_bStopDelayed = false;
          stopEndpoint(out_strStateName);
        } else {
          out_strStateName = getName();
        }
        return true;
      case MediaEvent::eONEPLUS_RX_STARTED:
        out_strStateName = getName();
        return true;
      case MediaEvent::eSTOP:
      case MediaEvent::eMEDIA_PROXY_DTOR:
        m_bFinalStop = true;
        out_strStateName = getName();
        return true;
      case MediaEvent::eKILL:
        if (m_bStopDelayed) m_SM.stopStartedEndpoint();
        out_strStateName = s_szFINAL;
        return true;
      default:
        deferEvent(m_SM, *this, in_event, out_strStateName);
        return true;
    }
  }

 protected:
  bool processTimeout_i(const TimeoutEvent& /*in_event*/, std::string& out_strStateName) override {
    OMVERA_TRACE_SCOPE(m_SM.getLogger(), "Stopping::processTimeout_i");
    OMVERA_LOG(m_SM.getLogger(), LogLevel::ERROR,
               "timeout (" << timeValueToMsec(getTimeout_i()) << "ms) in state " << getName());
    reportStop(m_SM, s_eFAILED);
    out_strStateName = s_szFINAL;
    return true;
  }

 private:
  // The engine stop request. Accepted: stay and wait for the status. Refused:
  // stopStatus(FAILED) and FINAL.
  void stopEndpoint(std::string& out_strStateName) {
    OMVERA_TRACE_SCOPE(m_SM.getLogger(), "Stopping::stopEndpoint");
    if (m_SM.stopStartedEndpoint()) {
      out_strStateName = getName();
      return;
    }
    OMVERA_LOG(m_SM.getLogger(), LogLevel::ERROR, "engine ept stop failed");
    reportStop(m_SM, s_eFAILED);
    out_strStateName = s_szFINAL;
  }

  bool m_bStopDelayed = false;
  bool m_bFinalStop = false;
};

// ---- STOPPING_FINAL -----------------------------------------------------------------------

// A teardown waits for the engine stop requested by the state that led here, then ends in
// FINAL. Owned by its machine, engine task thread.
class MediaEndpointSM::StoppingFinal : public MediaEndpointSMState,
                                       public TimeoutState<MediaEvent> {
 public:
  explicit StoppingFinal(MediaEndpointSM& in_SM)
      : MediaEndpointSMState(in_SM),
        TimeoutState<MediaEvent>(ACE_Time_Value(s_lSTATE_TIMEOUT_SEC)) {}

  const char* getName() const override { return s_szSTOPPING_FINAL; }

  void entryAction_i(const MediaEvent& /*in_event*/, std::string& out_strStateName) override {
    applyStopTimeout(m_SM, *this);
    out_strStateName = getName();
  }

  bool processEvent_i(const MediaEvent& in_event, std::string& out_strStateName) override {
    OMVERA_TRACE_SCOPE(m_SM.getLogger(), "StoppingFinal::processEvent_i");
    switch (in_event.getType()) {
      case MediaEvent::eCONFIGURE_STATUS:
      case MediaEvent::eSTART_ENDPOINT_STATUS:
      case MediaEvent::eALL_TX_STOPPED:
      case MediaEvent::eONEPLUS_RX_STARTED:
      case MediaEvent::eSTOP:
      case MediaEvent::eMEDIA_PROXY_DTOR:
        out_strStateName = getName();
        return true;
      case MediaEvent::eSTOP_ENDPOINT_STATUS: {
        const OpStatusMediaEvent* pEvent = statusEvent(m_SM, in_event, __LINE__);
        if (pEvent == nullptr) return false;
        if (pEvent->getOpStatus() == s_eOK) {
          if (m_SM.m_direction == MediaEndpoint::TX_DIRECTION) m_SM.txStopped();
          reportStop(m_SM, s_eOK);
        } else {
          reportStop(m_SM, s_eFAILED);
        }
        out_strStateName = s_szFINAL;
        return true;
      }
      case MediaEvent::eKILL:
        out_strStateName = s_szFINAL;
        return true;
      default:
        deferEvent(m_SM, *this, in_event, out_strStateName);
        return true;
    }
  }

 protected:
  bool processTimeout_i(const TimeoutEvent& /*in_event*/, std::string& out_strStateName) override {
    OMVERA_TRACE_SCOPE(m_SM.getLogger(), "StoppingFinal::processTimeout_i");
    logTimeout(m_SM, getName());
    reportStart(m_SM, s_eFAILED);
    out_strStateName = s_szFINAL;
    return true;
  }
};

// ---- FINAL --------------------------------------------------------------------------------

// The end of the machine's life: it lets go of its call, callback and engine endpoint and
// accepts every further event without effect. Owned by its machine, engine task thread.
class MediaEndpointSM::Final : public MediaEndpointSMState, public NoTimeoutState<MediaEvent> {
 public:
  explicit Final(MediaEndpointSM& in_SM) : MediaEndpointSMState(in_SM) {}

  const char* getName() const override { return s_szFINAL; }

  void entryAction(const MediaEvent& in_event, std::string& out_strStateName) override {
    // A Tx side ends known to the call as stopped, whatever way it got here (teardown of a
    // delayed or running start, kill, failed or timed-out stop or peer stop), so that the
    // Rx sides it feeds are never left waiting for it.
    if (m_SM.m_direction == MediaEndpoint::TX_DIRECTION &&
        !m_SM.m_pCallSM->isTxStopped(m_SM.m_eptIndex.getValue(s_szMODULE_NAME, __LINE__))) {
      m_SM.txStopped();
    }
    // Unless a teardown began (which ends waiting requests without a report), every
    // configure, start and stop still waiting in the queue is answered as failed, in
    // order, so that no request the user issued goes unanswered. The event that led here,
    // when it is itself a replayed request, has been answered by the state it reached.
    if (!m_SM.m_bTeardown) {
      for (EventPtr pEvent = m_SM.dequeueEvent(); !pEvent.isNull(); pEvent = m_SM.dequeueEvent()) {
        if (pEvent.get() != &in_event) answerRequestFailed(pEvent->getType());
      }
    }
    // Without a teardown the user may still make requests of this side: the callback is
    // kept to answer each of them as failed, until a teardown event or the next
    // initialize() lets it go.
    const CountedObjPtr<MediaEndpointCallback> pKeptCallback =
        m_SM.m_bTeardown ? CountedObjPtr<MediaEndpointCallback>() : m_SM.m_pEndpointCallback;
    m_SM.resetStateData();
    m_SM.m_pEndpointCallback = pKeptCallback;
    m_SM.m_bFinal = true;
    out_strStateName = getName();
  }

  bool processEvent_i(const MediaEvent& in_event, std::string& out_strStateName) override {
    out_strStateName = getName();
    const MediaEvent::Type eType = in_event.getType();
    if (isTeardownEvent(eType)) {
      m_SM.releaseCallback();
      return true;
    }
    if (!m_SM.m_pEndpointCallback.isNull()) answerRequestFailed(eType);
    return true;
  }

 private:
  // A configure, start or stop is answered EPT_OP_FAILED; any other event type, nothing.
  void answerRequestFailed(MediaEvent::Type in_eType) {
    switch (in_eType) {
      case MediaEvent::eCONFIGURE:
        reportConfigure(m_SM, s_eFAILED);
        break;
      case MediaEvent::eSTART_ENDPOINT:
        reportStart(m_SM, s_eFAILED);
        break;
      case MediaEvent::eSTOP_ENDPOINT:
        reportStop(m_SM, s_eFAILED);
        break;
      default:
        break;
    }
  }
};

// ---- PEER_STOPPING_TX ---------------------------------------------------------------------

// A started Tx side stops its engine side because a feeding Rx side stops; no user report.
// Owned by its Tx machine, engine task thread.
class MediaEndpointSM::PeerStoppingTx : public MediaEndpointSMState,
                                        public TimeoutState<MediaEvent> {
 public:
  explicit PeerStoppingTx(MediaEndpointSM& in_SM)
      : MediaEndpointSMState(in_SM),
        TimeoutState<MediaEvent>(ACE_Time_Value(s_lSTATE_TIMEOUT_SEC)) {}

  const char* getName() const override { return s_szPEER_STOPPING_TX; }

  void entryAction_i(const MediaEvent& in_event, std::string& out_strStateName) override {
    Assertion(in_event.getType() == MediaEvent::ePEER_STOP_TXENDPOINT,
              "in_event.getType() == MediaEvent::ePEER_STOP_TXENDPOINT", m_SM.getLogger(),
              s_szMODULE_NAME, __LINE__);
    if (m_SM.stopStartedEndpoint()) {
      out_strStateName = getName();
      return;
    }
    OMVERA_LOG(m_SM.getLogger(), LogLevel::ERROR, "engine ept stop failed");
    out_strStateName = s_szFINAL;
  }

  bool processEvent_i(const MediaEvent& in_event, std::string& out_strStateName) override {
    OMVERA_TRACE_SCOPE(m_SM.getLogger(), "PeerStoppingTx::processEvent_i");
    switch (in_event.getType()) {
      case MediaEvent::eSTOP_ENDPOINT_STATUS: {
        const OpStatusMediaEvent* pEvent = statusEvent(m_SM, in_event, __LINE__);
        if (pEvent == nullptr) return false;
        out_strStateName = pEvent->getOpStatus() == s_eOK ? s_szPEER_STOPPED_TX : s_szFINAL;
        return true;
      }
      case MediaEvent::eONEPLUS_RX_STARTED:
        out_strStateName = getName();
        return true;
      case MediaEvent::eSTOP:
      case MediaEvent::eMEDIA_PROXY_DTOR:
        out_strStateName = s_szSTOPPING_FINAL;
        return true;
      case MediaEvent::eKILL:
        out_strStateName = s_szFINAL;
        return true;
      default:
        deferEvent(m_SM, *this, in_event, out_strStateName);
        return true;
    }
  }

 protected:
  bool processTimeout_i(const TimeoutEvent& /*in_event*/, std::string& out_strStateName) override {
    OMVERA_TRACE_SCOPE(m_SM.getLogger(), "PeerStoppingTx::processTimeout_i");
    logTimeout(m_SM, getName());
    out_strStateName = s_szFINAL;
    return true;
  }
};

// ---- PEER_STOPPED_TX ----------------------------------------------------------------------

// A Tx side stopped by its peers waits for a feeding Rx side to start again. Owned by its
// Tx machine, engine task thread.
class MediaEndpointSM::PeerStoppedTx : public MediaEndpointSMState,
                                       public NoTimeoutState<MediaEvent> {
 public:
  explicit PeerStoppedTx(MediaEndpointSM& in_SM) : MediaEndpointSMState(in_SM) {}

  const char* getName() const override { return s_szPEER_STOPPED_TX; }

  void entryAction(const MediaEvent& /*in_event*/, std::string& out_strStateName) override {
    out_strStateName = getName();
    m_SM.txStopped();
  }

  bool processEvent_i(const MediaEvent& in_event, std::string& out_strStateName) override {
    OMVERA_TRACE_SCOPE(m_SM.getLogger(), "PeerStoppedTx::processEvent_i");
    switch (in_event.getType()) {
      case MediaEvent::eONEPLUS_RX_STARTED:
        out_strStateName = s_szPEER_STARTING_TX;
        return true;
      case MediaEvent::eSTOP_ENDPOINT:
        Assertion((in_event.getDirection() == MediaEndpoint::TX_DIRECTION) ||
                      (in_event.getDirection() == MediaEndpoint::RXTX_DIRECTION),
                  "(in_event.getDirection() == MediaEndpoint::TX_DIRECTION) || "
                  "(in_event.getDirection() == MediaEndpoint:: RXTX_DIRECTION)",
                  m_SM.getLogger(), s_szMODULE_NAME, __LINE__);
        m_SM.m_pEndpointCallback->stopStatus(MediaEndpoint::TX_DIRECTION, s_eOK);
        out_strStateName = s_szSTOPPED;
        return true;
      case MediaEvent::ePEER_STOP_TXENDPOINT:
        // Already stopped: a further feeding Rx side stopping changes nothing, and the
        // request must not block the queue for the user's requests behind it.
        out_strStateName = getName();
        return true;
      case MediaEvent::eSTOP:
      case MediaEvent::eKILL:
      case MediaEvent::eMEDIA_PROXY_DTOR:
        out_strStateName = s_szFINAL;
        return true;
      default:
        deferEvent(m_SM, *this, in_event, out_strStateName);
        return true;
    }
  }
};

// ---- PEER_STARTING_TX ---------------------------------------------------------------------

// A Tx side stopped by its peers starts its engine side again because a feeding Rx side
// has started; no user report. Owned by its Tx machine, engine task thread.
class MediaEndpointSM::PeerStartingTx : public MediaEndpointSMState,
                                        public TimeoutState<MediaEvent> {
 public:
  explicit PeerStartingTx(MediaEndpointSM& in_SM)
      : MediaEndpointSMState(in_SM),
        TimeoutState<MediaEvent>(ACE_Time_Value(s_lSTATE_TIMEOUT_SEC)) {}

  const char* getName() const override { return s_szPEER_STARTING_TX; }

  void entryAction_i(const MediaEvent& in_event, std::string& out_strStateName) override {
    Assertion(in_event.getType() == MediaEvent::eONEPLUS_RX_STARTED,
              "in_event.getType() == MediaEvent::eONEPLUS_RX_STARTED", m_SM.getLogger(),
              s_szMODULE_NAME, __LINE__);
    m_SM.txStarting();
    const bool bAccepted = withCallData(m_SM, [this](const MediaCallData& in_callData) {
      return m_SM.m_pEngineEndpoint->start(m_SM.m_direction, in_callData);
    });
    if (bAccepted) {
      out_strStateName = getName();
      return;
    }
    OMVERA_LOG(m_SM.getLogger(), LogLevel::ERROR, "engine ept start failed");
    out_strStateName = s_szPEER_STOPPED_TX;
  }

  bool processEvent_i(const MediaEvent& in_event, std::string& out_strStateName) override {
    OMVERA_TRACE_SCOPE(m_SM.getLogger(), "PeerStartingTx::processEvent_i");
    switch (in_event.getType()) {
      case MediaEvent::eSTART_ENDPOINT_STATUS: {
        const OpStatusMediaEvent* pEvent = statusEvent(m_SM, in_event, __LINE__);
        if (pEvent == nullptr) return false;
        out_strStateName = pEvent->getOpStatus() == s_eOK ? s_szSTARTED : s_szPEER_STOPPED_TX;
        return true;
      }
      case MediaEvent::eONEPLUS_RX_STARTED:
        out_strStateName = getName();
        return true;
      case MediaEvent::eSTOP:
      case MediaEvent::eMEDIA_PROXY_DTOR:
        engineStop(m_SM);
        out_strStateName = s_szSTOPPING_FINAL;
        return true;
      case MediaEvent::eKILL:
        engineStop(m_SM);
        out_strStateName = s_szFINAL;
        return true;
      default:
        deferEvent(m_SM, *this, in_event, out_strStateName);
        return true;
    }
  }

 protected:
  bool processTimeout_i(const TimeoutEvent& /*in_event*/, std::string& out_strStateName) override {
    OMVERA_TRACE_SCOPE(m_SM.getLogger(), "PeerStartingTx::processTimeout_i");
    logTimeout(m_SM, getName());
    m_SM.expectLateAnswer(MediaEvent::eSTART_ENDPOINT_STATUS);
    out_strStateName = s_szPEER_STOPPED_TX;
    return true;
  }
};

// ---- the machine --------------------------------------------------------------------------

const ACE_Time_Value MediaEndpointSM::s_defaultStateTimeout(s_lSTATE_TIMEOUT_SEC);
const ACE_Time_Value MediaEndpointSM::s_defaultRxStartTimeout(
    msecToTimeValue(s_lRX_START_TIMEOUT_MS));

MediaEndpointSM::MediaEndpointSM(MediaEndpoint::Direction in_eDirection)
    : m_direction(in_eDirection) {
  LoggingIdLogger logger(fileScopeLogger());
  logger.cacheLogLevel();
  setLogger(logger);

  setInitialStateName(s_szNOT_CONFIGURED);
  setInitialState(StatePtr(new NotConfigured(*this)));
  const StatePtr vStates[] = {StatePtr(new InitialConfiguration(*this)),
                              StatePtr(new ConfiguringStopped(*this)),
                              StatePtr(new ConfiguringStarted(*this)),
                              StatePtr(new Stopped(*this)),
                              StatePtr(new Starting(*this)),
                              StatePtr(new Started(*this)),
                              StatePtr(new Stopping(*this)),
                              StatePtr(new StoppingFinal(*this))};
  for (const StatePtr& pState : vStates) addEndpointState(pState);
  const StatePtr pFinal(new Final(*this));
  addFinalState(pFinal->getName(), pFinal);
}

MediaEndpointSM::~MediaEndpointSM() = default;

void MediaEndpointSM::addEndpointState(const StatePtr& in_pState) {
  addState(in_pState->getName(), in_pState);
  if (auto* pTimed = dynamic_cast<TimeoutState<MediaEvent>*>(in_pState.get())) {
    m_vTimedStates.push_back(pTimed);
  }
}

bool MediaEndpointSM::initialize(const char* /*in_szCallId*/, unsigned long in_uiEptIndex,
                                 LimitedObjPtr<TimerScheduler> in_pScheduler,
                                 LimitedObjPtr<MediaCallSM> in_pCallSM,
                                 const TaskObjectProxyData<MediaCallSM>& in_proxyData,
                                 CountedObjPtr<MediaEndpointCallback> in_pEndpointCallback,
                                 CountedObjPtr<MediaEngineEndpointNoT> in_pEngineEndpoint) {
  if (!Assertion(!in_pCallSM.isNull(), "! in_pCallSM.isNull()", getLogger(), s_szMODULE_NAME,
                 __LINE__) ||
      !Assertion(!in_pEndpointCallback.isNull(), "! in_pEndpointCallback.isNull()", getLogger(),
                 s_szMODULE_NAME, __LINE__) ||
      !Assertion(!in_pEngineEndpoint.isNull(), "! in_pEngineEndpoint.isNull()", getLogger(),
                 s_szMODULE_NAME, __LINE__)) {
    return false;
  }

  // No timer of an earlier life may fire into the new one: every timed state's armed
  // timer is cancelled here, whatever scheduler it was armed on and whether or not the
  // new scheduler is usable.
  for (TimeoutState<MediaEvent>* pTimed : m_vTimedStates) {
    if (pTimed->timerArmed()) pTimed->cancelTimer();
  }
  TimeoutStateMachine<MediaEvent, MediaEndpointSMState, LoggingIdLogger>::initialize(
      in_pScheduler, LimitedObjPtr<TimeoutProcessor>(in_pCallSM.get()));

  resetStateData();
  endOutstandingRequests();
  const LimitedObjPtr<MediaEngineTask> pTask = in_pCallSM->getMediaTask();
  m_pLedger = pTask.isNull() ? nullptr : &pTask->getRequestLedger();

  m_pCallSM = in_pCallSM;
  m_proxyData = in_proxyData;
  m_eptIndex = in_uiEptIndex;
  m_pEndpointCallback = in_pEndpointCallback;
  m_pEngineEndpoint = in_pEngineEndpoint;

  getLogger().clearLoggingIds();
  getLogger().logCallId(m_pCallSM->getCallId());
  getLogger().addLoggingId("ept-id=" + std::to_string(in_uiEptIndex));
  getLogger().addLoggingId(MediaEndpoint::getDirectionString(m_direction));

  return goToInitialState(MediaEventWithDirImpl(MediaEvent::eUNDEF, m_direction));
}

void MediaEndpointSM::resetStateData() {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaEndpointSM::resetStateData");
  m_bFinal = false;
  m_bTeardown = false;
  m_uiLateConfigureAnswers = 0;
  m_uiLateStartAnswers = 0;
  m_pCallSM = nullptr;
  m_pEndpointCallback.reset();
  m_pEngineEndpoint.reset();
  emptyEventQueue();
}

void MediaEndpointSM::releaseCallback() {
  if (!m_bFinal) return;
  m_pEndpointCallback.reset();
  endOutstandingRequests();
}

namespace {
// The slot of a request kind in the outstanding counts; -1 for other events.
int requestSlot(MediaEvent::Type in_eType) {
  switch (in_eType) {
    case MediaEvent::eCONFIGURE:
      return 0;
    case MediaEvent::eSTART_ENDPOINT:
      return 1;
    case MediaEvent::eSTOP_ENDPOINT:
      return 2;
    default:
      return -1;
  }
}
}  // namespace

void MediaEndpointSM::requestAnswered(MediaEvent::Type in_eRequest) {
  // A report that answers no request of its kind (the stop report of a teardown, the start
  // report of a torn-down stop's timeout) is not counted.
  const int iSlot = requestSlot(in_eRequest);
  if (iSlot < 0 || m_aullOutstanding[iSlot] == 0) return;
  --m_aullOutstanding[iSlot];
  if (m_pLedger != nullptr) m_pLedger->reportDelivered();
}

void MediaEndpointSM::endOutstandingRequests() {
  const std::uint64_t ullOutstanding =
      m_aullOutstanding[0] + m_aullOutstanding[1] + m_aullOutstanding[2];
  if (ullOutstanding == 0) return;
  if (m_pLedger != nullptr) m_pLedger->endedByTeardown(ullOutstanding);
  m_aullOutstanding[0] = m_aullOutstanding[1] = m_aullOutstanding[2] = 0;
}

namespace {
// A request that bypasses the states reached a machine that holds no callback or engine
// endpoint: after FINAL it is accepted without effect; before initialize() it is also an
// assertion. True.
bool servedWhileUnbound(const MediaEndpointSM& in_SM, int in_iLine) {
  Assertion(in_SM.isInFinalState(), "isInFinalState()", in_SM.getLogger(), s_szMODULE_NAME,
            in_iLine);
  return true;
}
}  // namespace

bool MediaEndpointSM::processEvent(const MediaEvent& in_event) {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaEndpointSM::processEvent");
  RecursivityGuard recursion(m_bProcessEventRecursion, s_szMODULE_NAME, __LINE__);
  if (recursion.reentered()) return false;
  OMVERA_LOG(getLogger(), LogLevel::DEBUG, "MediaEndpointSM processing " << in_event);

  const MediaEvent::Type eType = in_event.getType();
  if (isTeardownEvent(eType)) m_bTeardown = true;
  const int iRequestSlot = requestSlot(eType);
  if (iRequestSlot >= 0) {
    ++m_aullOutstanding[iRequestSlot];
    if (m_pLedger != nullptr) m_pLedger->requestReceived();
  }
  // The answer to a request that already timed out (and was reported failed) is dropped
  // here, whatever the state: it must never complete a newer request of the same kind.
  unsigned* puiLateAnswers = eType == MediaEvent::eCONFIGURE_STATUS      ? &m_uiLateConfigureAnswers
                             : eType == MediaEvent::eSTART_ENDPOINT_STATUS ? &m_uiLateStartAnswers
                                                                           : nullptr;
  if (puiLateAnswers != nullptr && *puiLateAnswers > 0) {
    --*puiLateAnswers;
    OMVERA_LOG(getLogger(), LogLevel::WARN,
               in_event << " : answer to a request that timed out, dropped");
    return true;
  }

  switch (eType) {
    case MediaEvent::eGET_CAPACITY:
      if (m_pEngineEndpoint.isNull()) {
        return servedWhileUnbound(*this, __LINE__);
      }
      return m_pEngineEndpoint->getCapacity(in_event.getDirection());
    case MediaEvent::eSET_CAPACITY: {
      if (m_bFinal || m_pEndpointCallback.isNull()) {
        return servedWhileUnbound(*this, __LINE__);
      }
      const SetCapacityMediaEvent* pEvent = OMVERA_DYNCAST_ASSERT_L(
          const SetCapacityMediaEvent, &in_event, getLogger(), s_szMODULE_NAME);
      if (pEvent == nullptr) return false;
      // The callback takes the copy.
      MediaEndpointCapacity* pCapacity = pEvent->getCapacity().isNull()
                                             ? nullptr
                                             : new MediaEndpointCapacity(*pEvent->getCapacity());
      return m_pEndpointCallback->setCapacity(in_event.getDirection(), pCapacity);
    }
    case MediaEvent::eGET_CAPACITY_FAILURE:
      if (m_bFinal || m_pEndpointCallback.isNull()) {
        return servedWhileUnbound(*this, __LINE__);
      }
      return m_pEndpointCallback->getCapacityFailure(in_event.getDirection());
    case MediaEvent::eNOTIFICATION: {
      if (m_bFinal || m_pEndpointCallback.isNull()) {
        return servedWhileUnbound(*this, __LINE__);
      }
      const MediaEngineNotificationEvent* pEngNotifEvent = OMVERA_DYNCAST_ASSERT_L(
          const MediaEngineNotificationEvent, &in_event, getLogger(), s_szMODULE_NAME);
      if (pEngNotifEvent == nullptr) return false;
      // An event built without a notification is reported as a failed cast of a null clone.
      MediaNotificationEvent* pNotification = CheckedCastAssert<MediaNotificationEvent>::cast(
          pEngNotifEvent->hasEvent() ? pEngNotifEvent->getEvent().clone() : nullptr,
          "pEngNotifEvent->getEvent().clone() != 0", getLogger(), s_szMODULE_NAME, __LINE__);
      if (pNotification == nullptr) return false;
      // The callback takes the clone.
      return m_pEndpointCallback->notifyEvent(pNotification);
    }
    default: {
      const bool bResult = StateMachineWithEventQueue::processEvent(in_event);
      // A side that ended without a callback answers nothing more.
      if (m_bFinal && m_pEndpointCallback.isNull()) endOutstandingRequests();
      return bResult;
    }
  }
}

void MediaEndpointSM::expectLateAnswer(MediaEvent::Type in_eType) {
  if (in_eType == MediaEvent::eCONFIGURE_STATUS) ++m_uiLateConfigureAnswers;
  if (in_eType == MediaEvent::eSTART_ENDPOINT_STATUS) ++m_uiLateStartAnswers;
}

bool MediaEndpointSM::processTimeout(const ACE_Time_Value& /*in_now*/,
                                     const TimeoutData* /*in_pTimeoutData*/) {
  return Assertion(false, "Not implemented : MediaEndpointSM::processTimeout", getLogger(),
                   s_szMODULE_NAME, __LINE__);
}

const ROConfiguration& MediaEndpointSM::getConfig() const {
  if (!Assertion(!m_pCallSM.isNull(), "! m_pCallSM.isNull()", getLogger(), s_szMODULE_NAME,
                 __LINE__)) {
    return GlobalConfig::getInstance();
  }
  return m_pCallSM->getConfig();
}

// The hooks. A machine not bound to a call (before initialize(), after FINAL) has nobody to
// tell: assertion, false.
namespace {
bool callBound(const MediaEndpointSM& in_SM, int in_iLine) {
  return Assertion(!in_SM.getCallSM().isNull(), "! m_pCallSM.isNull()", in_SM.getLogger(),
                   s_szMODULE_NAME, in_iLine);
}
}  // namespace

bool MediaEndpointSM::rxStarted() {
  if (!callBound(*this, __LINE__)) return false;
  return m_pCallSM->rxStarted(m_eptIndex.getValue(s_szMODULE_NAME, __LINE__));
}

bool MediaEndpointSM::rxStopping() {
  if (!callBound(*this, __LINE__)) return false;
  return m_pCallSM->rxStopping(m_eptIndex.getValue(s_szMODULE_NAME, __LINE__));
}

bool MediaEndpointSM::txStarting() {
  if (!callBound(*this, __LINE__)) return false;
  return m_pCallSM->txStarting(m_eptIndex.getValue(s_szMODULE_NAME, __LINE__));
}

bool MediaEndpointSM::txStopped() {
  if (!callBound(*this, __LINE__)) return false;
  return m_pCallSM->txStopped(m_eptIndex.getValue(s_szMODULE_NAME, __LINE__));
}

bool MediaEndpointSM::allTxStopped() {
  if (!callBound(*this, __LINE__)) return false;
  return m_pCallSM->allTxStopped(m_eptIndex.getValue(s_szMODULE_NAME, __LINE__));
}

bool MediaEndpointSM::stopAllTx() {
  if (!callBound(*this, __LINE__)) return false;
  return m_pCallSM->stopAllTx(m_eptIndex.getValue(s_szMODULE_NAME, __LINE__));
}

bool MediaEndpointSM::onePlusRxStarted() {
  if (!callBound(*this, __LINE__)) return false;
  return m_pCallSM->onePlusRxStarted(m_eptIndex.getValue(s_szMODULE_NAME, __LINE__));
}

bool MediaEndpointSM::stopStartedEndpoint() {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaEndpointSM::stopStartedEndpoint");
  if (!Assertion(!m_pEngineEndpoint.isNull(), "! m_pEngineEndpoint.isNull()", getLogger(),
                 s_szMODULE_NAME, __LINE__)) {
    return false;
  }
  if (m_direction == MediaEndpoint::RX_DIRECTION) rxStopping();
  OMVERA_LOG(getLogger(), LogLevel::DEBUG,
             "MediaEndpointSM::stopStartedEndpoint : Stopping MediaEngineEndpoint");
  return m_pEngineEndpoint->stop(m_direction);
}

// ---- the two directions -------------------------------------------------------------------

RxMediaEndpointSM::RxMediaEndpointSM() : MediaEndpointSM(MediaEndpoint::RX_DIRECTION) {}

TxMediaEndpointSM::TxMediaEndpointSM() : MediaEndpointSM(MediaEndpoint::TX_DIRECTION) {
  const StatePtr vStates[] = {StatePtr(new PeerStoppingTx(*this)),
                              StatePtr(new PeerStoppedTx(*this)),
                              StatePtr(new PeerStartingTx(*this))};
  for (const StatePtr& pState : vStates) addEndpointState(pState);
}

}  // namespace Omvera
