#pragma once
// The engine task: the one worker thread on which every call and endpoint state machine
// lives, with the pools that recycle calls and call endpoints, the table of the calls that
// exist, and the timer scheduler of the endpoint states.
//
// Callers on other threads never touch a call: getEndpoint() (any thread) builds an
// endpoint proxy whose requests travel to this task as method objects; everything else
// runs on the task thread, one request at a time, in queueing order (higher priorities
// first). Nothing here is locked except what says "any thread".
//
// Who holds a call: its entry in the call table; one container entry per live endpoint
// proxy (in the proxy container of the thread that built the proxy); one container entry
// per engine endpoint callback proxy (in the task thread's own container). A call goes
// back to the pool when the table entry is its last holder.
//
// A call is counted as finished once all its endpoints are final, until an endpoint that
// is not final is added to it. A stop completes once every call is finished and the last
// proxy is gone; a kill gives every call back at once. Requests that reach the task after
// its stop completed create nothing.
//
// Ownership: the task owns its pools, the idle calls and endpoints in them, and the call
// table. The engines passed to getEndpoint outlive the endpoints they create.

#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "tidewave/CountedObjPtr.h"
#include "tidewave/LimitedObjPtr.h"
#include "tidewave/MediaCallSM.h"
#include "tidewave/ObjectPool.h"
#include "tidewave/RequestLedger.h"
#include "tidewave/TSTaskObjectPool.h"
#include "tidewave/TaskObjectProxy.h"
#include "tidewave/infra/Identifiers.h"
#include "tidewave/infra/Logger.h"
#include "tidewave/infra/Logging.h"
#include "tidewave/infra/Task.h"
#include "tidewave/infra/TimerScheduler.h"

namespace Omvera {

class MediaEndpoint;
class MediaEndpointCallback;
class MediaEndpointSpec;
class MediaEngineGetEndpointImpl;

class MediaEngineTask : public StaticReactorTaskImpl, public ObjectWithLoggerImpl {
 public:
  using EndpointPool = StackObjectPool<MediaCallSMEndpoint>;
  using CallPool = TSTaskObjectPool<MediaCallSM>;
  using CallHandle = CountedObjPtr<MediaCallSM>;
  using CallHash = std::unordered_map<std::string, CallHandle>;

  // Named "Media Engine Task"; logs through "tidewave.media.EngineTask". No thread runs
  // until start().
  MediaEngineTask();
  // Kills the thread and waits for it before anything else goes.
  ~MediaEngineTask() override;

  // ---- any thread -----------------------------------------------------------------------

  // A new endpoint proxy for endpoint in_szEptId of call in_szCallId, created by
  // in_engine, or null. Takes ownership of in_pCallback and in_pSpec in every outcome; the
  // caller owns the proxy. Null when the task was never started (ERROR), for a null
  // callback (assertion), or when the calling thread's proxy container cannot be made.
  // Every outcome of the endpoint's requests reaches in_pCallback only.
  MediaEndpoint* getEndpoint(MediaEngineGetEndpointImpl& in_engine,
                             MediaEndpointCallback* in_pCallback, const char* in_szCallId,
                             const char* in_szEptId, MediaEndpointSpec* in_pSpec);

  // Starts the thread once; a task that runs already answers true and does nothing.
  bool start() override;

  // ---- engine task thread ---------------------------------------------------------------

  // Creates or finds the call, registers it under the proxy's key, has the engine create
  // the engine endpoint and adds the endpoint to the call. Takes ownership of in_pCallback
  // and in_pSpec. When the engine cannot create its endpoint, the endpoint is added with
  // one that fails every request through the callback (ERROR "failed to create Media
  // Engine Endpoint for call <id>"). 0 done, 1 failed.
  int getEndpoint_i(const TaskObjectProxyData<MediaCallSM>& in_proxyData,
                    MediaEngineGetEndpointImpl& in_engine, MediaEndpointCallback* in_pCallback,
                    const char* in_szCallId, const char* in_szEptId, MediaEndpointSpec* in_pSpec);
  // A proxy (endpoint proxy or engine endpoint callback proxy) is gone: drops its hold on
  // its call, and gives the call back to the pool when the call table is its last holder
  // (completing a pending stop when the table is then empty). 0 done, 1 failed.
  int proxyDestruction_i(const TaskObjectProxyData<MediaCallSM>& in_proxyData);
  // The call of in_szCallId, created (from the pool, initialised, entered in the call
  // table) when it does not exist yet; null when it cannot be made.
  CallHandle createCall_i(const char* in_szCallId);
  // Ends the call of in_szCallId at once: kills its endpoints that are not final, gives it
  // back to the pool and removes it from the table, whoever else holds it. False when
  // there is no such call.
  bool releaseCall_i(const char* in_szCallId);
  // A call found all its endpoints final: counts it as finished; while stopping, completes
  // the stop once every call is.
  void allEndpointInFinalState();
  // A finished call gained an endpoint that is not final: it no longer counts as finished.
  void callActiveAgain();
  // Resets the call and gives it back to the call pool. False for a null handle.
  bool poolTakeBack(CallHandle& io_pCall);
  // Completes a stop when the call table is empty; otherwise leaves it pending until the
  // last call goes back to the pool.
  void callStopCompletedIfNeeded();

  EndpointPool& getEndpointPool() { return m_endpointPool; }
  CallPool& getCallPool() { return m_mediaCallPool; }

  // The scheduler the calls' endpoint states arm their timers on: this task, unless
  // setTimerScheduler() replaced it (tests drive timeouts with a ManualTimerScheduler).
  LimitedObjPtr<TimerScheduler> getTimerScheduler() { return m_pTimerScheduler; }
  // Replaces the scheduler for calls initialised afterwards; null restores this task. The
  // scheduler is not owned and must outlive the calls using it.
  void setTimerScheduler(LimitedObjPtr<TimerScheduler> in_pScheduler);

  // The account of the requests the endpoints received (any thread may read it).
  RequestLedger& getRequestLedger() { return m_ledger; }

  // The request counts and the activation queue's figures, read from any thread.
  struct LedgerSnapshot {
    RequestLedger::Counts m_requests;
    TaskQueueStats m_queue;
  };
  LedgerSnapshot getLedgerSnapshot();

  // The calls in the table, and those of them counted as finished.
  std::size_t getNumCalls() const { return m_mediaCallHash.size(); }
  std::uint64_t getNumCallAllEptInFinalState() const { return m_uiNumCallAllEptInFinalState; }
  // The call of in_szCallId, or null.
  CallHandle findCall(const char* in_szCallId) const;

 protected:
  // Stops every call; completes at once when all are finished and the table is empty.
  void handleMOCallStop() override;
  // Checks that the call table is empty ("m_mediaCallHash.size() == 0").
  void handleMOCallStopCompleted() override;
  // Kills every call that is not finished and gives every call back at once.
  void handleMOCallKill() override;

 private:
  // The engine task thread's own proxy container and id generator (for the engine
  // endpoint callback proxies), fetched on first use. False when they cannot be made.
  bool engineThreadProxyData();
  // Takes one off the finished count ("m_uiNumCallAllEptInFinalState > 0" when it is 0).
  bool uncountFinishedCall();
  // Kills what is not final and gives every call back to the pool, whoever holds them.
  void returnAllCalls();
  // Gives the call of the table entry back and removes the entry; uncounts it when it was
  // counted as finished.
  bool eraseCall(CallHash::iterator in_entry);

  std::atomic<bool> m_bStarted{false};
  RequestLedger m_ledger;
  CallPool m_mediaCallPool;
  EndpointPool m_endpointPool;
  CallHash m_mediaCallHash;
  bool m_bStopPending = false;
  std::uint64_t m_uiNumCallAllEptInFinalState = 0;
  LimitedObjPtr<TaskObjectContainer<MediaCallSM>> m_pEngineThreadContainer;
  LimitedObjPtr<IDGenerator> m_pEngineThreadIDGenerator;
  LimitedObjPtr<TimerScheduler> m_pTimerScheduler;
};

}  // namespace Omvera
