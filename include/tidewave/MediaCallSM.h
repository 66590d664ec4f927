#pragma once
// The per-call object of the engine task: receives the media events of one call (through
// the call proxies) and the expiries of its endpoints' timers.
//
// NOTE: only the interface that the events and the call proxy rely on is declared here.
// The call's behaviour (endpoints, peer topology, coordination of the endpoint state
// machines) arrives later; until then a plain MediaCallSM refuses every event and every
// timeout. The class stays instantiable so that pools can build it and tests can derive
// fake calls from it.
//
// Engine task thread only. Calls live in the engine task's call pool and are held by
// counted handles (the task's call hash and the proxy containers).

#include <ace/Time_Value.h>

#include "tidewave/ClassAllocator.h"
#include "tidewave/EventProcessor.h"
#include "tidewave/MediaEvent.h"
#include "tidewave/TaskObjectProxy.h"
#include "tidewave/infra/Logger.h"
#include "tidewave/infra/Logging.h"
#include "tidewave/infra/Object.h"
#include "tidewave/infra/TimerScheduler.h"

namespace Omvera {

class MediaCallSM : public EventProcessor<MediaEvent>,
                    public ObjectWithLogger<LoggingIdLogger>,
                    public TimeoutProcessor,
                    public virtual Object {
 public:
  class TimeoutProxyMediaEvent;

  // The call logs through "tidewave.media.CallSM".
  MediaCallSM() : ObjectWithLogger<LoggingIdLogger>(LoggingIdLogger("tidewave.media.CallSM")) {}
  MediaCallSM(const MediaCallSM&) = delete;
  MediaCallSM& operator=(const MediaCallSM&) = delete;
  ~MediaCallSM() override = default;

  // Handles one event of the call; the event is borrowed for the call. True when it was
  // consumed. (Not yet implemented: false.)
  bool processEvent(const MediaEvent& /*in_event*/) override { return false; }
  // Handles the expiry of a timer of one of the call's endpoints. (Not yet implemented:
  // false.)
  bool processTimeout(const ACE_Time_Value& /*in_now*/,
                      const TimeoutData* /*in_pTimeoutData*/) override {
    return false;
  }
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
