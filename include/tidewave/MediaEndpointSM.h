#pragma once
// The endpoint state machine: the life cycle of one direction (Rx or Tx) of one endpoint
// of a call, between the user who configures, starts and stops it and the concrete engine
// endpoint that does the work.
//
// Guarantees to the user, through the MediaEndpointCallback the machine holds:
// - every configure, start and stop ends in exactly one configureStatus, startStatus or
//   stopStatus for the machine's direction, after the engine endpoint answered, refused the
//   request, or did not answer within the state's timeout. Teardown (eSTOP, eKILL,
//   eMEDIA_PROXY_DTOR) may end a pending request without a report: a pending configuration
//   is reported failed, a start under way gets no report, requests still waiting are
//   dropped;
// - requests that arrive while an operation is in progress wait in the machine's queue and
//   are replayed, in order, once it has ended;
// - a status the engine sends for a request that has already ended (late after a timeout,
//   or sent twice) never completes another request: it is logged and dropped. Engines are
//   expected to answer one side's requests of one kind in the order they were made.
// Capacity requests, capacity answers and notifications bypass the states and are served
// in every state.
//
// A Tx machine also follows the Rx sides that feed it (PEER_STOPPING_TX, PEER_STOPPED_TX,
// PEER_STARTING_TX): it stops its engine side when a feeding Rx side stops and starts it
// again when one starts, without reports to the user.
//
// Threads and ownership: engine task thread only; nothing is locked. The machine owns its
// states, holds the user callback and the engine endpoint through counted handles and its
// call through a non-owning handle; entering FINAL drops all three. Its timed states arm
// their timers on the scheduler given to initialize() and the expiries reach the call
// (MediaCallSM::processTimeout), which routes them back here.

#include <cstdint>
#include <vector>

#include <ace/Time_Value.h>

#include "tidewave/CountedObjPtr.h"
#include "tidewave/Fallible.h"
#include "tidewave/LimitedObjPtr.h"
#include "tidewave/MediaEndpoint.h"
#include "tidewave/MediaEngineEndpoint.h"
#include "tidewave/MediaEvent.h"
#include "tidewave/RequestLedger.h"
#include "tidewave/StateMachine.h"
#include "tidewave/StateMachineWithEventQueue.h"
#include "tidewave/TaskObjectProxy.h"
#include "tidewave/infra/Configuration.h"
#include "tidewave/infra/Logger.h"
#include "tidewave/infra/TimerScheduler.h"

namespace Omvera {

class MediaCallSM;
class MediaEndpointSM;

// The base of every endpoint state. Engine task thread only; the state refers to its
// machine, which owns it.
class MediaEndpointSMState : public StateMachineWithEventQueueState,
                             public virtual TimeoutStateInterface<MediaEvent> {
 public:
  explicit MediaEndpointSMState(MediaEndpointSM& in_SM) : m_SM(in_SM) {}
  ~MediaEndpointSMState() override;

  // Logs at DEBUG the event's text followed by " unprocessed, enqueueing.", then
  // unprocessedEvent(): the machine queues the event for replay.
  virtual void unprocessedEvent(const MediaEvent& in_event);
  // Marks the event being processed as deferred.
  virtual void unprocessedEvent();

  // The machine's direction.
  MediaEndpoint::Direction getSMDirection() const;
  // The machine's call proxy data (the endpoint's key in its call).
  const TaskObjectProxyData<MediaCallSM>& getProxyData() const;

 protected:
  MediaEndpointSM& m_SM;
};

class MediaEndpointSM
    : public StateMachineWithEventQueue<
          MediaEvent, MediaEndpointSMState, LoggingIdLogger,
          TimeoutStateMachine<MediaEvent, MediaEndpointSMState, LoggingIdLogger>> {
 public:
  // The states, nested so that they reach the machine's members; defined with the machine.
  class NotConfigured;
  class InitialConfiguration;
  class ConfiguringStopped;
  class ConfiguringStarted;
  class Stopped;
  class Starting;
  class Started;
  class Stopping;
  class StoppingFinal;
  class Final;
  class PeerStoppingTx;
  class PeerStoppedTx;
  class PeerStartingTx;

  // The timeout of every timed state until an entry replaces it, and the defaults of the
  // configurable ones.
  static const ACE_Time_Value s_defaultStateTimeout;        // 300 s
  static const ACE_Time_Value s_defaultRxStartTimeout;      // 5000 ms
  // "tidewave.media.rxStartTimeoutMs": an Rx start's timeout in milliseconds (at least 1).
  static constexpr const char* s_szRX_START_TIMEOUT_PARAM = "tidewave.media.rxStartTimeoutMs";
  // "tidewave.media.EndpointSM.stopTimeoutSec": a stop's timeout in seconds (at least 1).
  static constexpr const char* s_szSTOP_TIMEOUT_PARAM = "tidewave.media.EndpointSM.stopTimeoutSec";

  // RX_DIRECTION or TX_DIRECTION, for the derived machines; registers the ten common
  // states (initial NOT_CONFIGURED, final FINAL). No current state until initialize().
  explicit MediaEndpointSM(MediaEndpoint::Direction in_eDirection);
  ~MediaEndpointSM() override;

  // Binds the machine to its call and enters NOT_CONFIGURED (also when it was bound
  // before: a re-initialised machine keeps nothing, and no timer of its earlier life stays
  // armed). in_szCallId is not used (the call's own ID is logged). A null call, callback or
  // engine endpoint: assertion ("! in_pCallSM.isNull()", "! in_pEndpointCallback.isNull()",
  // "! in_pEngineEndpoint.isNull()"), false, machine unchanged.
  bool initialize(const char* in_szCallId, unsigned long in_uiEptIndex,
                  LimitedObjPtr<TimerScheduler> in_pScheduler, LimitedObjPtr<MediaCallSM> in_pCallSM,
                  const TaskObjectProxyData<MediaCallSM>& in_proxyData,
                  CountedObjPtr<MediaEndpointCallback> in_pEndpointCallback,
                  CountedObjPtr<MediaEngineEndpointNoT> in_pEngineEndpoint);

  // Clears the final flag, drops the call, the callback and the engine endpoint, and
  // empties the deferred-event queue.
  void resetStateData();
  // A final machine reached without a teardown keeps the user callback, to answer the
  // requests still made of it as failed; this lets the callback go. No effect before FINAL.
  void releaseCallback();
  // A configure, start or stop report (in_eRequest: eCONFIGURE, eSTART_ENDPOINT,
  // eSTOP_ENDPOINT) went to the user callback; it answers a request of that kind when one
  // is outstanding (for the ledger).
  void requestAnswered(MediaEvent::Type in_eRequest);

  // Processes one event of the machine's direction. eGET_CAPACITY, eSET_CAPACITY,
  // eGET_CAPACITY_FAILURE and eNOTIFICATION are served at once whatever the state; every
  // other event goes to the current state (and may be deferred). Re-entry on the same
  // machine: recursivityAssert, false.
  bool processEvent(const MediaEvent& in_event) override;
  // Never used (expiries reach the call): assertion "Not implemented :
  // MediaEndpointSM::processTimeout", false.
  bool processTimeout(const ACE_Time_Value& in_now, const TimeoutData* in_pTimeoutData) override;
  // True once FINAL was entered (until the next initialize()).
  virtual bool isInFinalState() const { return m_bFinal; }

  MediaEndpoint::Direction getDirection() const { return m_direction; }
  // The call's configuration, where the states read their timeouts. The machine must be
  // bound to a call.
  const ROConfiguration& getConfig() const;
  // Null after FINAL (and before initialize()).
  const CountedObjPtr<MediaEngineEndpointNoT>& getEngineEndpoint() const { return m_pEngineEndpoint; }
  const CountedObjPtr<MediaEndpointCallback>& getEndpointCallback() const {
    return m_pEndpointCallback;
  }
  LimitedObjPtr<MediaCallSM> getCallSM() const { return m_pCallSM; }
  const TaskObjectProxyData<MediaCallSM>& getProxyData() const { return m_proxyData; }
  // Invalid until initialize().
  const Fallible<unsigned long>& getEndpointIndex() const { return m_eptIndex; }

  // The hooks through which the states tell the call (MediaCallSM) about this side; each
  // passes the endpoint index and returns the call's answer.
  bool rxStarted();
  bool rxStopping();
  bool txStarting();
  bool txStopped();
  bool allTxStopped();
  bool stopAllTx();
  bool onePlusRxStarted();

  // Asks the engine endpoint to stop this side; an Rx machine first tells the call
  // (rxStopping()). The engine's answer.
  bool stopStartedEndpoint();

  // True while the machine is inside processEvent (the call does not hand it an event
  // from a nested delivery: it would be refused as a re-entry).
  bool isProcessingEvent() const { return m_bProcessEventRecursion; }
  // A request of in_eType (eCONFIGURE_STATUS, eSTART_ENDPOINT_STATUS) was accepted by the
  // engine and then timed out: its answer is still due and is dropped when it comes.
  void expectLateAnswer(MediaEvent::Type in_eType);

 protected:
  // Adds in_pState as an ordinary state and remembers it if it arms a timer. Construction
  // only.
  void addEndpointState(const StatePtr& in_pState);

 private:
  // The requests still unanswered end without a report (teardown, re-initialisation).
  void endOutstandingRequests();

  friend class MediaEndpointSMState;

  const MediaEndpoint::Direction m_direction;
  bool m_bFinal = false;
  LimitedObjPtr<MediaCallSM> m_pCallSM;
  TaskObjectProxyData<MediaCallSM> m_proxyData;
  Fallible<unsigned long> m_eptIndex;
  CountedObjPtr<MediaEndpointCallback> m_pEndpointCallback;
  CountedObjPtr<MediaEngineEndpointNoT> m_pEngineEndpoint;
  bool m_bProcessEventRecursion = false;
  // A teardown event (eSTOP, eKILL, eMEDIA_PROXY_DTOR) has been processed since the last
  // initialize(): requests still waiting when FINAL is reached end without a report.
  bool m_bTeardown = false;
  // Answers still due from the engine for configure and start requests that timed out.
  unsigned m_uiLateConfigureAnswers = 0;
  unsigned m_uiLateStartAnswers = 0;
  // The states that arm a timer; initialize() cancels whatever they left armed.
  std::vector<TimeoutState<MediaEvent>*> m_vTimedStates;
  // The engine task's ledger (kept through FINAL until the next initialize()), and the
  // configure, start and stop requests (in that order) this side received and has not
  // answered yet.
  RequestLedger* m_pLedger = nullptr;
  std::uint64_t m_aullOutstanding[3] = {0, 0, 0};
};

// The Rx side of an endpoint: the ten common states.
class RxMediaEndpointSM : public MediaEndpointSM {
 public:
  RxMediaEndpointSM();
};

// The Tx side of an endpoint: the ten common states and the three peer-following states.
class TxMediaEndpointSM : public MediaEndpointSM {
 public:
  TxMediaEndpointSM();
};

}  // namespace Omvera
