#pragma once
// The engine endpoint proxy: an engine endpoint whose requests travel as events to an
// event processor on the engine's own task.
//
// NOTE: only the request events are declared here so far; the engine endpoint part of
// MediaEngEptProxyNoT (the requests that build and queue these events) arrives later.
//
// The request events are created on the engine task thread, queued with ownership to the
// engine's task and read there; each owns (configuration) or copies (call data snapshot)
// what it carries, so nothing is shared between the two threads. Their ProxyEvent part is
// left empty: the engine's processor is named by the method object carrying the event.

#include "tidewave/ClassAllocator.h"
#include "tidewave/EventProcessor.h"
#include "tidewave/MediaCallData.h"
#include "tidewave/MediaEndpoint.h"
#include "tidewave/MediaEndpointConfig.h"
#include "tidewave/MediaEvent.h"
#include "tidewave/TaskObjectProxy.h"

namespace Omvera {

class MediaEngEptProxyNoT {
 public:
  using ProcessorProxyEvent = ProxyEvent<EventProcessor<MediaEvent>>;

  // A plain request (eGET_CAPACITY, eSTOP_ENDPOINT) for one direction. Text: the base text.
  class ProxyEvt : public virtual MediaEvent,
                   private MediaEventWithDirImpl,
                   public ProcessorProxyEvent {
    OMVERA_CLASS_ALLOCATOR_NAMED(ProxyEvt, "MediaEngEptProxyNoT::ProxyEvt",
                                 "in_uiSize == sizeof(MediaEngEptProxyNoT::ProxyEvt)",
                                 "MediaEngEptProxy")

    ProxyEvt(Type in_eType, MediaEndpoint::Direction in_eDirection);
    ProxyEvt(const ProxyEvt& in_rhs);
    ~ProxyEvt() override;

    Type getType() const override;
    MediaEndpoint::Direction getDirection() const override;
    void write(std::ostream& out_stream) const override;
    ProxyEvt* clone() const override;
  };

  // A configure request (eCONFIGURE) owning the configuration to apply; deleting the event,
  // served or not, deletes the configuration.
  class ConfigProxyEvt : public ProcessorProxyEvent, public EptConfigMediaEvent {
    OMVERA_CLASS_ALLOCATOR_NAMED(ConfigProxyEvt, "MediaEngEptProxyNoT::ConfigProxyEvt",
                                 "in_uiSize == sizeof(MediaEngEptProxyNoT::ConfigProxyEvt)",
                                 "MediaEngEptProxy")

    // Takes ownership of in_pConfig.
    ConfigProxyEvt(MediaEndpoint::Direction in_eDirection, MediaEndpointConfig* in_pConfig);
    ConfigProxyEvt(const ConfigProxyEvt& in_rhs);
    ~ConfigProxyEvt() override;

    ConfigProxyEvt* clone() const override;
  };

  // A request carrying its own copy of the call data snapshot (eSTART_ENDPOINT).
  class MediaCallDataProxyEvt : public ProcessorProxyEvent, public MediaCallDataEventImpl {
    OMVERA_CLASS_ALLOCATOR_NAMED(
        MediaCallDataProxyEvt, "MediaEngEptProxyNoT::MediaCallDataProxyEvt",
        "in_uiSize == sizeof(MediaEngEptProxyNoT::MediaCallDataProxyEvt)", "MediaEngEptProxy")

    MediaCallDataProxyEvt(Type in_eType, MediaEndpoint::Direction in_eDirection,
                          const MediaCallData& in_callData);
    MediaCallDataProxyEvt(const MediaCallDataProxyEvt& in_rhs);
    ~MediaCallDataProxyEvt() override;

    MediaCallDataProxyEvt* clone() const override;
  };
};

}  // namespace Omvera
