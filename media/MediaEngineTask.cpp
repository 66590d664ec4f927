#include "tidewave/MediaEngineTask.h"

#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("MediaEngineTask", "tidewave.media.EngineTask")

namespace Omvera {

MediaEngineTask::MediaEngineTask()
    : ObjectWithLoggerImpl(LoggingIdLogger(fileScopeLogger())),
      m_endpointPool(CachedLLLogger(fileScopeLogger())),
      m_pTimerScheduler(this) {
  cacheLogLevel();
  m_endpointPool.getLogger().cacheLogLevel();
  setTaskName("Media Engine Task");
  OMVERA_TRACE_SCOPE(getLogger(), "MediaEngineTask ctor");
}

MediaEngineTask::~MediaEngineTask() {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaEngineTask dtor");
  // The thread must be gone before the pool and the calls' timers go.
  killAndWait();
}

void MediaEngineTask::setTimerScheduler(LimitedObjPtr<TimerScheduler> in_pScheduler) {
  m_pTimerScheduler = in_pScheduler.isNull() ? LimitedObjPtr<TimerScheduler>(this) : in_pScheduler;
}

void MediaEngineTask::allEndpointInFinalState() {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaEngineTask::allEndpointInFinalState");
  ++m_uiNumCallAllEptInFinalState;
  if (getTaskState() == STOPPING_STATE) {
    OMVERA_LOG(getLogger(), LogLevel::DEBUG,
               "Number of CallSM in final state " << m_uiNumCallAllEptInFinalState);
  }
}

}  // namespace Omvera
