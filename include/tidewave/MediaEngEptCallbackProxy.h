#pragma once
// The callback the engine task hands each engine endpoint: every report becomes an event
// queued to the engine task, where the endpoint's call finds the endpoint by this proxy's
// key and processes it.
//
// Any thread may report and destroy the proxy (engines report from their own threads);
// the reports only read the proxy's own fields and queue, and each answers whether it was
// queued (false once the engine task no longer accepts work; what it carried is then
// deleted). Reports are served in the order they were queued. The engine endpoint owns
// its callback; deleting it queues the release of its hold on the call behind the reports
// already queued, and the proxy id goes back to its generator on the engine task after
// that. The engine, the engine task, the container and the id generator outlive it.

#include "tidewave/ClassAllocator.h"
#include "tidewave/MediaCallSMProxy.h"
#include "tidewave/MediaEngineEndpoint.h"
#include "tidewave/TaskObjectProxy.h"
#include "tidewave/infra/Identifiers.h"

namespace Omvera {

class MediaEngEptCallbackProxy : public MediaEngineEndpointCallback, private MediaCallSMProxy {
  OMVERA_CLASS_ALLOCATOR(MediaEngEptCallbackProxy, "MediaEngEptCallbackProxy")

  // The proxy's last request (see ProxyDestructionNoT_MO).
  class ProxyDestruction_MO : public ProxyDestructionNoT_MO {
    OMVERA_CLASS_ALLOCATOR_NAMED(
        ProxyDestruction_MO, "MediaEngEptCallbackProxy::ProxyDestruction_MO",
        "in_uiSize == sizeof(MediaEngEptCallbackProxy::ProxyDestruction_MO)",
        "MediaEngEptCallbackProxy")
    using ProxyDestructionNoT_MO::ProxyDestructionNoT_MO;
  };

  // Draws the proxy id from in_idGenerator (the engine task thread's); the call is
  // registered under it in in_pContainer by the engine task.
  MediaEngEptCallbackProxy(IDGenerator& in_idGenerator, LimitedObjPtr<CallContainer> in_pContainer,
                           MediaEngineGetEndpointImpl& in_engine, MediaEngineTask& in_mediaTask);
  ~MediaEngEptCallbackProxy() override;
  MediaEngEptCallbackProxy(const MediaEngEptCallbackProxy&) = delete;
  MediaEngEptCallbackProxy& operator=(const MediaEngEptCallbackProxy&) = delete;

  // The key the call files the endpoint under, besides the endpoint proxy's.
  TaskObjectProxyData<MediaCallSM> getCallbackProxyData() const { return getProxyData(); }

  // Takes ownership of in_pCapacity.
  bool setCapacity(MediaEndpoint::Direction in_eDirection,
                   MediaEndpointCapacity* in_pCapacity) override;
  bool getCapacityFailure(MediaEndpoint::Direction in_eDirection) override;
  bool configureStatus(MediaEndpoint::Direction in_eDirection, EptOpStatus in_eStatus) override;
  bool startStatus(MediaEndpoint::Direction in_eDirection, EptOpStatus in_eStatus) override;
  bool stopStatus(MediaEndpoint::Direction in_eDirection, EptOpStatus in_eStatus) override;
  // Takes ownership of in_pEvent (not null); the event goes out for its own direction.
  bool notifyEvent(MediaNotificationEvent* in_pEvent) override;
  // Takes ownership of in_pPeerData.
  bool sendPeerData(MediaEndpoint::Direction in_eDirection, MediaPeerData* in_pPeerData) override;

 private:
  // Queues an OpStatusMediaEvent of in_eType; in_szName names the trace scope and the
  // request (a string literal).
  bool enqueueStatus(MediaEvent::Type in_eType, MediaEndpoint::Direction in_eDirection,
                     EptOpStatus in_eStatus, const char* in_szName);
};

}  // namespace Omvera
