#pragma once
// The per-call object of the engine task: owns the endpoints of one call, routes every
// event of the call to the endpoint side it is for, links the Rx sides to the Tx sides
// they feed, and coordinates them.
//
// What a call guarantees:
// - an event reaches the endpoint it names, found by either of the endpoint's two keys (the
//   proxy data of its endpoint proxy and of its engine endpoint callback proxy), and the
//   side(s) its direction names; events for unknown keys or unexpected directions are
//   logged at WARN and ignored;
// - a Tx side starts once one of the Rx sides feeding it has started (at once when
//   "tidewave.media.CallSM.txDontWaitForPeer" is true); a stopping Rx side first stops the
//   Tx sides it feeds and stops its own engine side once all of them have stopped;
// - peer data an endpoint side publishes is stored and delivered, through the peers'
//   engines, to the opposite sides of the endpoints linked to it, including endpoints added
//   later; engine notifications reach the linked peers before the source endpoint's user;
// - the engine task hears once, through MediaEngineTask::allEndpointInFinalState(), each
//   time the last of the call's endpoints reaches its final state; of the events reaching a
//   call whose endpoints are all final, only the user's requests (answered failed) and
//   teardowns reach the endpoints.
//
// Topology, by endpoint type: all eSND_RECV endpoints feed each other; an eREDIRECT_RX
// endpoint's Tx side is fed by the endpoint whose ID its spec names (and by later eSND_RECV
// endpoints of the same engine object); an eFORK_TX endpoint's Tx side is fed by the same
// Rx sides as the endpoint it forks. Links are made when an endpoint is added, in any order
// of addition, and kept until reset(), with one exception: a fork added before the
// endpoint it forks lists that endpoint's feeders once bound, but those feeders do not list
// it: a fork start waiting for them is not resumed when they start, and their stops do not
// wait for the fork (add a fork after the endpoint it forks).
//
// Threads and ownership: engine task thread only; nothing is locked. Calls live in the
// engine task's call pool and are held by counted handles (the task's call hash, the proxy
// containers); endpoints come from the task's endpoint pool and are held by the call. The
// engine task and the engines outlive the call's use of them.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include <ace/Time_Value.h>

#include "tidewave/ClassAllocator.h"
#include "tidewave/CountedObjPtr.h"
#include "tidewave/EventProcessor.h"
#include "tidewave/Fallible.h"
#include "tidewave/LimitedObjPtr.h"
#include "tidewave/MediaCallData.h"
#include "tidewave/MediaEndpoint.h"
#include "tidewave/MediaEndpointSM.h"
#include "tidewave/MediaEngineEndpoint.h"
#include "tidewave/MediaEvent.h"
#include "tidewave/TaskObjectProxy.h"
#include "tidewave/infra/Configuration.h"
#include "tidewave/infra/Logger.h"
#include "tidewave/infra/Logging.h"
#include "tidewave/infra/Object.h"
#include "tidewave/infra/TimerScheduler.h"

namespace Omvera {

class MediaCallSM;
class MediaEngineGetEndpointImpl;
class MediaEngineTask;
class MediaNotificationEvent;
class MediaPeerData;

// One endpoint of a call: what the call knows of it (the MediaCallEndpointData part:
// index, ID, type, peer data, peer lists, flags), the engine that created it and the state
// machines of its two sides. Built once and reused through the engine task's endpoint
// pool. Engine task thread only.
class MediaCallSMEndpoint : public MediaCallEndpointData,
                            protected ObjectWithLoggerImpl,
                            public virtual Object {
 public:
  MediaCallSMEndpoint();
  ~MediaCallSMEndpoint() override;
  MediaCallSMEndpoint(const MediaCallSMEndpoint&) = delete;
  MediaCallSMEndpoint& operator=(const MediaCallSMEndpoint&) = delete;

  // Copies the MediaCallEndpointData part only.
  MediaCallEndpointData* clone() const override;

  // Prepares the endpoint for call in_pCall: index, ID, engine, type (from the engine
  // endpoint), empty peer lists, Rx not started and Tx stopped, and both state machines
  // initialised with the call, in_proxyData, the callback, the engine endpoint and the
  // timer scheduler. False when the engine handle is null (assertion) or a state machine
  // refused its initialisation.
  bool initialize(const char* in_szCallId, unsigned long in_uiEptIndex, const char* in_szEptId,
                  const TaskObjectProxyData<MediaCallSM>& in_proxyData,
                  LimitedObjPtr<MediaEngineGetEndpointImpl> in_pMediaEngineImpl,
                  LimitedObjPtr<MediaCallSM> in_pCall,
                  CountedObjPtr<MediaEndpointCallback> in_pEndpointCallback,
                  CountedObjPtr<MediaEngineEndpointNoT> in_pEngineEndpoint,
                  LimitedObjPtr<TimerScheduler> in_pTimers);

  // Routes the event by its direction: RX_DIRECTION to the Rx machine, TX_DIRECTION to the
  // Tx machine, RXTX_DIRECTION to the Rx machine and, when it answered true, to the Tx
  // machine (true when both did). Any other direction: WARN "<event> : unexpected event
  // direction. Ignoring", true. A side found final afterwards loses its peer data.
  bool processEvent(const MediaEvent& in_event);
  // Delivers what a peer's side of in_eDirection produced to this endpoint's opposite side
  // (TX_DIRECTION: the Rx side, any other: the Tx side): peer data through this endpoint's
  // engine (deliverPeerData), a notification as a clone to that side's engine endpoint
  // (notifyPeerEvent). Nothing when that side holds no engine endpoint. Always true.
  bool sendPeerData(MediaEndpoint::Direction in_eDirection, const MediaPeerData& in_peerData);
  bool notifyPeerEvent(MediaEndpoint::Direction in_eDirection,
                       const MediaNotificationEvent& in_event);
  // processEvent of eKILL with RXTX_DIRECTION.
  bool kill();
  // Both sides are final.
  bool isInFinalState() const;
  // For the pool: drops the engine handle and resets the MediaCallEndpointData part.
  void reset();

  RxMediaEndpointSM& getRxSM() { return m_rxSM; }
  TxMediaEndpointSM& getTxSM() { return m_txSM; }
  const RxMediaEndpointSM& getRxSM() const { return m_rxSM; }
  const TxMediaEndpointSM& getTxSM() const { return m_txSM; }

  // The engine that created the endpoint; null while pooled.
  LimitedObjPtr<MediaEngineGetEndpointImpl> m_pMediaEngineImpl;

 private:
  RxMediaEndpointSM m_rxSM;
  TxMediaEndpointSM m_txSM;
};

class MediaCallSM : public EventProcessor<MediaEvent>,
                    public ObjectWithLogger<LoggingIdLogger>,
                    public TimeoutProcessor,
                    public virtual Object {
 public:
  class TimeoutProxyMediaEvent;

  using EndpointPtr = CountedObjPtr<MediaCallSMEndpoint>;
  using IndexVector = MediaCallEndpointData::IndexVector;

  // The endpoints one engine object created in this call, by index, in order of addition.
  struct EngineData {
    IndexVector m_vEptIndex;
  };
  // Keys the engine hash by the engine object's address shifted right by 2.
  struct EngineHash {
    std::size_t operator()(const LimitedObjPtr<MediaEngineGetEndpointImpl>& in_pEngine) const {
      return reinterpret_cast<std::uintptr_t>(in_pEngine.get()) >> 2;
    }
  };
  using EngineDataHash =
      std::unordered_map<LimitedObjPtr<MediaEngineGetEndpointImpl>, EngineData, EngineHash>;
  using ProxyDataHash =
      std::unordered_map<TaskObjectProxyData<MediaCallSM>, EndpointPtr,
                         TaskObjectProxyData<MediaCallSM>::HashFunc,
                         TaskObjectProxyData<MediaCallSM>::DataCompare>;

  // "tidewave.media.CallSM.txDontWaitForPeer": Tx sides start without waiting for a
  // started Rx peer.
  static constexpr const char* s_szMEDIA_CALLSM_TXDONTWAITFORPEER_PARAM =
      "tidewave.media.CallSM.txDontWaitForPeer";

  // An empty call, logging through "tidewave.media.CallSM".
  MediaCallSM();
  MediaCallSM(const MediaCallSM&) = delete;
  MediaCallSM& operator=(const MediaCallSM&) = delete;
  ~MediaCallSM() override;

  // ---- life cycle (engine task) -----------------------------------------------------

  // Starts a call with the ID in_szCallId owned by in_pMediaTask, and reads
  // "tidewave.media.CallSM.txDontWaitForPeer" from the task's configuration. A null task:
  // assertion "! m_pMediaTask.isNull()", false.
  bool initialize(const char* in_szCallId, LimitedObjPtr<MediaEngineTask> in_pMediaTask);

  // Adds an endpoint: takes one from the task's endpoint pool, initialises it with the
  // next index, links it to its peers by its type and hands it the peer data its peers
  // already published. Takes ownership of in_pEndpointCallback and in_pEngineEndpoint in
  // every outcome. The endpoint is found afterwards under in_eptProxyData (the user's
  // endpoint proxy) and in_callbackProxyData (the engine endpoint's callback proxy).
  // False: a null callback, engine endpoint or task (assertions; nothing is added), a
  // failed endpoint initialisation (ERROR "failed to initialize endpoint"; nothing is
  // added), or a failed link or peer data step (the endpoint stays in the call).
  bool addEndpoint(const TaskObjectProxyData<MediaCallSM>& in_eptProxyData,
                   MediaEndpointCallback* in_pEndpointCallback,
                   const TaskObjectProxyData<MediaCallSM>& in_callbackProxyData,
                   MediaEngineEndpointNoT* in_pEngineEndpoint,
                   MediaEngineGetEndpointImpl& in_mediaEngine, const char* in_szEptId);

  // An event for one of the call's endpoints (proxy events, found by their proxy data) or
  // for all of them (eSTOP, eKILL). The event is borrowed. True when it was consumed or
  // ignored; false when its processing failed.
  bool processEvent(const MediaEvent& in_event) override;
  // The expiry of a timed endpoint state's timer (in_pTimeoutData is the state): routed to
  // the machine that armed it. Null or foreign data: assertion, false.
  bool processTimeout(const ACE_Time_Value& in_now, const TimeoutData* in_pTimeoutData) override;

  // eSTOP / eKILL with RXTX_DIRECTION to every endpoint (processEvent's answer).
  bool stop();
  bool kill();

  // For the call pool: kills what is not final, gives every endpoint back to the endpoint
  // pool and forgets the call's ID, task, links and counts. The txDontWaitForPeer setting
  // stays until the next initialize().
  void reset();

  // ---- queries ------------------------------------------------------------------------

  unsigned long numEndpoint() const { return m_endpointVector.size(); }
  // The index the next added endpoint gets.
  unsigned long nextEndpointIndex() const { return numEndpoint(); }
  // Every endpoint is final (also true for a call without endpoints).
  bool allEndpointInFinalState() const { return m_uiNumEptInFinalState == numEndpoint(); }
  std::uint64_t getNumEptInFinalState() const { return m_uiNumEptInFinalState; }
  const char* getCallId() const { return m_strCallId.c_str(); }
  // The engine task the call belongs to (null after reset()).
  LimitedObjPtr<MediaEngineTask> getMediaTask() const { return m_pMediaTask; }
  bool TxDontWaitForPeer() const { return m_bTxDontWaitForPeer; }
  // The lowest index whose endpoint has exactly the ID in_szEptId; invalid when none.
  Fallible<unsigned long> findEndpoint(const char* in_szEptId) const;
  // The endpoint of index in_uiEndpointIndex; null when out of range.
  EndpointPtr getEndpoint(unsigned long in_uiEndpointIndex) const;
  // The proxy data in_proxyData was disabled by the engine task. Nothing to do.
  void proxyDisabled(const TaskObjectProxyData<MediaCallSM>& in_proxyData);
  // The configuration the endpoints read their parameters from: the engine task's
  // configuration cache, or (assertion) the process-wide configuration when it has none.
  const ROConfiguration& getConfig() const;
  // Fills in_callData with a snapshot of every endpoint's MediaCallEndpointData, entry i
  // for index i. Reuses in_callData's storage.
  bool initMediaCallData(MediaCallData& io_callData);

  // ---- coordination, called by the endpoint state machines ---------------------------
  // Each takes the calling endpoint's index; an index out of range or a null endpoint is
  // an assertion and answers false.

  // The Rx side started: sets the flag and sends eONEPLUS_RX_STARTED (TX_DIRECTION) to the
  // Tx sides it feeds.
  bool rxStarted(unsigned long in_uiEndpointIndex);
  // The Rx side begins to stop: clears the flag.
  bool rxStopping(unsigned long in_uiEndpointIndex);
  // The Tx side is about to start: clears its stopped flag.
  bool txStarting(unsigned long in_uiEndpointIndex);
  // The Tx side has stopped: sets the flag and sends eALL_TX_STOPPED (RX_DIRECTION) to
  // each Rx side feeding it whose Tx peers have now all stopped.
  bool txStopped(unsigned long in_uiEndpointIndex);
  // The Tx side's stopped flag (true before it ever started).
  bool isTxStopped(unsigned long in_uiEndpointIndex) const;
  // Every Tx side fed by this Rx side has stopped (true when it feeds none).
  bool allTxStopped(unsigned long in_uiEndpointIndex) const;
  // Sends ePEER_STOP_TXENDPOINT (TX_DIRECTION) to the Tx sides this Rx side feeds.
  bool stopAllTx(unsigned long in_uiEndpointIndex);
  // At least one Rx side feeding this Tx side has started (or txDontWaitForPeer is set).
  bool onePlusRxStarted(unsigned long in_uiEndpointIndex) const;

  // ---- distribution ------------------------------------------------------------------

  // The event to each endpoint fed by in_uiEndpointIndex's Rx side (rx) / feeding its Tx
  // side (tx). The list walked is the one of the start of the walk.
  bool rxPeerProcessEvent(unsigned long in_uiEndpointIndex, const MediaEvent& in_event);
  bool txPeerProcessEvent(unsigned long in_uiEndpointIndex, const MediaEvent& in_event);
  // The event to the listed endpoints in order; false when one answered false (the others
  // still get it) or an index is out of range (assertion; the walk stops).
  bool endpointSetProcessEvent(const IndexVector& in_vIndexes, const MediaEvent& in_event);
  // The event to every endpoint but in_uiExceptIndex, in index order; the first false
  // stops the walk and is returned.
  bool allEndpointsProcessEvent(const MediaEvent& in_event, unsigned long in_uiExceptIndex);
  // The event to one endpoint unless it is final; counts it when it becomes final.
  bool endpointProcessEvent(MediaCallSMEndpoint& io_endpoint, const MediaEvent& in_event);
  // Tells the engine task when every endpoint is final.
  void finalStateCheck();
  // Resets the endpoint and gives it back to the task's endpoint pool; the pool's answer.
  bool endpointPoolTakeBack(EndpointPtr& io_pEndpoint);

  // ---- topology and peer data ----------------------------------------------------------

  // Link a new endpoint (its index) of type eSND_RECV, eREDIRECT_RX or eFORK_TX.
  bool updatePeerInfoSndRecv(unsigned long in_newEptId);
  bool updatePeerInfoRedirect(unsigned long in_newEptId);
  bool updatePeerInfoFork(unsigned long in_newEptId);
  // Both endpoints were created by the same engine object.
  bool eptsFromSameEngine(const EndpointPtr& in_pEpt1, const EndpointPtr& in_pEpt2) const;
  // Stores the peer data (ownership passes) as in_pSrcEndpoint's for in_eDirection and
  // delivers copies to the linked opposite sides.
  bool processSendPeerDataEvent(MediaEndpoint::Direction in_eDirection,
                                MediaPeerData* in_pNewPeerData, EndpointPtr in_pSrcEndpoint);
  // Hands a new endpoint the peer data its linked peers already published.
  bool sendPeerDataNewEndpoint(EndpointPtr in_pNewEndpoint);

 private:
  bool processProxyEvent(const MediaEvent& in_event);
  bool processOtherEvent(const MediaEvent& in_event);
  // A redirect or fork endpoint whose redirect-for ID is its own would feed itself: it is
  // left unbound (WARN).
  void unbindSelf(MediaCallSMEndpoint& io_endpoint, unsigned long in_uiIndex,
                  const char* in_szScope);

  std::string m_strCallId;
  LimitedObjPtr<MediaEngineTask> m_pMediaTask;
  EngineDataHash m_engineDataHash;
  bool m_bTxDontWaitForPeer = false;
  ProxyDataHash m_proxyDataHash;
  std::vector<EndpointPtr> m_endpointVector;
  std::uint64_t m_uiNumEptInFinalState = 0;
  // Reusable list of endpoint indexes, held under a ScratchMemberGuard on the flag.
  mutable IndexVector m_scratchEptIdVector;
  mutable bool m_bScratchEptIdVectorInUse = false;
};

// The expiry of an endpoint state's timer, routed through the call to the state machine of
// the direction that armed it (eTIMEOUT). The timeout data is not owned: it is the timed
// state that armed the timer. Text: the base text.
class MediaCallSM::TimeoutProxyMediaEvent : public virtual TimeoutEvent, public ProxyMediaEvent {
  OMVERA_CLASS_ALLOCATOR_NAMED(TimeoutProxyMediaEvent, "MediaCallSM::TimeoutProxyMediaEvent",
                               "in_uiSize == sizeof(MediaCallSM::TimeoutProxyMediaEvent)",
                               "MediaEvent")

  // in_proxyData names the endpoint whose state armed the timer.
  TimeoutProxyMediaEvent(const ACE_Time_Value& in_timeValue, const TimeoutData* in_pData,
                         MediaEndpoint::Direction in_eDirection,
                         const TaskObjectProxyData<MediaCallSM>& in_proxyData);
  TimeoutProxyMediaEvent(const TimeoutProxyMediaEvent& in_rhs);
  ~TimeoutProxyMediaEvent() override;

  void write(std::ostream& out_stream) const override;
  TimeoutProxyMediaEvent* clone() const override;
};

}  // namespace Omvera
