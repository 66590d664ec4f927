#pragma once
// The engine task: the one worker thread on which every call and endpoint state machine
// lives, with the pools that recycle call endpoints and the timer scheduler of the
// endpoint states.
//
// NOTE: only what the calls rely on is here so far: the endpoint pool, the timer
// scheduler, the configuration cache and the count of finished calls. The call hash, the
// call pool, getEndpoint and the stop and kill hooks arrive with the engine facade.
//
// Threads: the members below are for the engine task thread (or, in tests, the single
// thread that drives calls by hand), except where a comment says otherwise. The task owns
// its pool and the endpoints idle in it.

#include <cstdint>

#include "tidewave/LimitedObjPtr.h"
#include "tidewave/MediaCallSM.h"
#include "tidewave/ObjectPool.h"
#include "tidewave/infra/Logger.h"
#include "tidewave/infra/Logging.h"
#include "tidewave/infra/Task.h"
#include "tidewave/infra/TimerScheduler.h"

namespace Omvera {

class MediaEngineTask : public StaticReactorTaskImpl, public ObjectWithLoggerImpl {
 public:
  using EndpointPool = StackObjectPool<MediaCallSMEndpoint>;

  // Named "Media Engine Task"; logs through "tidewave.media.EngineTask". No thread runs
  // until start().
  MediaEngineTask();
  ~MediaEngineTask() override;

  // The pool of call endpoints.
  EndpointPool& getEndpointPool() { return m_endpointPool; }

  // The scheduler the calls' endpoint states arm their timers on: this task, unless
  // setTimerScheduler() replaced it (tests drive timeouts with a ManualTimerScheduler).
  LimitedObjPtr<TimerScheduler> getTimerScheduler() { return m_pTimerScheduler; }
  // Replaces the scheduler for calls initialised afterwards; null restores this task. The
  // scheduler is not owned and must outlive the calls using it.
  void setTimerScheduler(LimitedObjPtr<TimerScheduler> in_pScheduler);

  // A call found all its endpoints final: counts it. While the task is stopping, logs the
  // count at DEBUG.
  void allEndpointInFinalState();
  // The calls counted as finished.
  std::uint64_t getNumCallAllEptInFinalState() const { return m_uiNumCallAllEptInFinalState; }

 private:
  EndpointPool m_endpointPool;
  LimitedObjPtr<TimerScheduler> m_pTimerScheduler;
  std::uint64_t m_uiNumCallAllEptInFinalState = 0;
};

}  // namespace Omvera
