#pragma once
// The interface of anything that consumes events of type Event: state machines, calls,
// and the event processors reached through EventProcessorProxy.

#include "tidewave/infra/Object.h"

namespace Omvera {

// Called only on the thread that owns the processor (for the media library, the engine
// task). The event is borrowed for the duration of the call; a processor that keeps it
// must clone it.
template <class Event>
class EventProcessor : public virtual Object {
 public:
  ~EventProcessor() override = default;
  // True when the event was handled, false when it was refused or failed.
  virtual bool processEvent(const Event& in_event) = 0;
};

}  // namespace Omvera
