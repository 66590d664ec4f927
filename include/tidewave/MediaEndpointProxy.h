#pragma once
// The endpoint call control holds: every operation becomes a request queued to the engine
// task, where the endpoint's call routes it to the endpoint's state machines; outcomes
// come back later through the caller's MediaEndpointCallback.
//
// Built by MediaEngineTask::getEndpoint on the caller's thread; used and destroyed by one
// thread at a time (not necessarily the one that built it). No operation waits for the
// engine task; apart from getEptId and getProcessor each answers only whether its request
// was queued (false once the engine task no longer accepts work). Requests made before
// the endpoint exists on the task are queued behind its creation and reach it in order.
//
// Destroying the proxy queues the endpoint's teardown (eMEDIA_PROXY_DTOR) and then the
// release of the proxy's hold on its call; the proxy id goes back to its generator on the
// engine task, after both were served. The engine, the engine task and the container are
// not owned and outlive the proxy.

#include <string>

#include <ace/Method_Request.h>

#include "tidewave/ClassAllocator.h"
#include "tidewave/CopiedObjPtr.h"
#include "tidewave/MediaCallSMProxy.h"
#include "tidewave/MediaEndpoint.h"
#include "tidewave/TaskObjectProxy.h"
#include "tidewave/infra/Identifiers.h"

namespace Omvera {

class MediaEndpointProxy : public MediaEndpoint, public MediaCallSMProxy {
  OMVERA_CLASS_ALLOCATOR(MediaEndpointProxy, "MediaEndpointProxy")

  // Creates the endpoint on the engine task (MediaEngineTask::getEndpoint_i). Owns the
  // callback and the specification until served; deleted unserved, it deletes them.
  class GetEndpoint_MO : public ACE_Method_Request {
    OMVERA_CLASS_ALLOCATOR_NAMED(GetEndpoint_MO, "MediaEndpointProxy::GetEndpoint_MO",
                                 "in_uiSize == sizeof(MediaEndpointProxy::GetEndpoint_MO)",
                                 "MediaEndpointProxy")

    GetEndpoint_MO(MediaEngineGetEndpointImpl& in_engine, MediaEngineTask& in_mediaTask,
                   const TaskObjectProxyData<MediaCallSM>& in_proxyData,
                   MediaEndpointCallback* in_pCallback, const char* in_szCallId,
                   MediaEndpointSpec* in_pSpec, const char* in_szEptId);
    ~GetEndpoint_MO() override;
    int call() override;

   private:
    MediaEngineGetEndpointImpl& m_engine;
    MediaEngineTask& m_mediaTask;
    TaskObjectProxyData<MediaCallSM> m_proxyData;
    CopiedObjPtr<MediaEndpointCallback> m_pCallback;
    std::string m_strCallId;
    CopiedObjPtr<MediaEndpointSpec> m_pSpec;
    std::string m_strEptId;
  };

  // The proxy's last request (see ProxyDestructionNoT_MO).
  class ProxyDestruction_MO : public ProxyDestructionNoT_MO {
    OMVERA_CLASS_ALLOCATOR_NAMED(ProxyDestruction_MO, "MediaEndpointProxy::ProxyDestruction_MO",
                                 "in_uiSize == sizeof(MediaEndpointProxy::ProxyDestruction_MO)",
                                 "MediaEndpointProxy")
    using ProxyDestructionNoT_MO::ProxyDestructionNoT_MO;
  };

  // Draws the proxy id from in_idGenerator (the calling thread's) and queues the
  // endpoint's creation. Takes ownership of in_pCallback and in_pSpec in every outcome.
  MediaEndpointProxy(IDGenerator& in_idGenerator, LimitedObjPtr<CallContainer> in_pContainer,
                     MediaEngineGetEndpointImpl& in_engine, MediaEngineTask& in_mediaTask,
                     MediaEndpointCallback* in_pCallback, const char* in_szCallId,
                     MediaEndpointSpec* in_pSpec, const char* in_szEptId);
  ~MediaEndpointProxy() override;
  MediaEndpointProxy(const MediaEndpointProxy&) = delete;
  MediaEndpointProxy& operator=(const MediaEndpointProxy&) = delete;

  const char* getEptId() const override { return m_strEptId.c_str(); }
  bool getCapacity(Direction in_eDirection) override;
  // Takes ownership of in_pConfig in every outcome.
  bool configure(Direction in_eDirection, MediaEndpointConfig* in_pConfig) override;
  bool start(Direction in_eDirection) override;
  bool stop(Direction in_eDirection) override;
  // Always for the Rx side.
  bool handleOutOfBandEvent(int in_iEvent) override;
  // The engine's processor of this endpoint, asked on the calling thread (null for
  // engines without processors).
  MediaEndpointProcessor* getProcessor() override;

 private:
  const std::string m_strEptId;
};

}  // namespace Omvera
