#pragma once
// The proxy through which other threads reach a call (MediaCallSM) living on the engine
// task: the base of the endpoint proxy and of the engine endpoint callback proxy.
//
// Each request becomes a method object queued to the engine task. On the task thread the
// method object looks the call up in the proxy's container under the proxy's id and, when
// the call is still registered there, hands it the event; a request whose call is gone is
// dropped and answers 0. Requests of one proxy are served in queueing order.
//
// Created, used and destroyed on one caller thread; the queueing operations only read the
// proxy's own fields and are thread-safe. The container, id generator, activation queue,
// engine and engine task are not owned and must outlive the proxy. Destruction does
// nothing of its own: the derived proxy decides when its id is given back
// (proxyDestruction()) and when the container entry is released.

#include <ace/Activation_Queue.h>
#include <ace/Method_Request.h>

#include "tidewave/ClassAllocator.h"
#include "tidewave/CopiedObjPtr.h"
#include "tidewave/CountedObjPtr.h"
#include "tidewave/LimitedObjPtr.h"
#include "tidewave/MediaCallSM.h"
#include "tidewave/MediaEndpoint.h"
#include "tidewave/MediaEvent.h"
#include "tidewave/TaskObjectProxy.h"
#include "tidewave/infra/Identifiers.h"
#include "tidewave/infra/Logger.h"
#include "tidewave/infra/Logging.h"
#include "tidewave/infra/TaskObjectProxyNoT.h"

namespace Omvera {

class MediaEngineGetEndpointImpl;
class MediaEngineTask;

class MediaCallSMProxy : public TaskObjectProxy<MediaCallSM>, public ObjectWithLoggerImpl {
 public:
  using CallContainer = TaskObjectContainer<MediaCallSM>;

  // Hands the call a ProxyMediaEvent of (type, direction, this request's container and
  // proxy id), built on the task thread. 0 when the call accepted it or is gone, 1 when
  // its processEvent() answered false.
  class ProxyMediaEvent_MO : public MethodObject<MediaCallSM> {
    OMVERA_CLASS_ALLOCATOR_NAMED(ProxyMediaEvent_MO, "MediaCallSMProxy::ProxyMediaEvent_MO",
                                 "in_uiSize == sizeof(MediaCallSMProxy::ProxyMediaEvent_MO)",
                                 "MediaCallSMProxy")

    ProxyMediaEvent_MO(unsigned long in_ulProxyID, LimitedObjPtr<CallContainer> in_pContainer,
                       MediaEvent::Type in_eType, MediaEndpoint::Direction in_eDirection);
    ~ProxyMediaEvent_MO() override;

    MediaEvent::Type getType() const { return m_eType; }
    MediaEndpoint::Direction getDirection() const { return m_eDirection; }

   protected:
    int call_i(CountedObjPtr<MediaCallSM> in_pCall) override;

   private:
    MediaEvent::Type m_eType;
    MediaEndpoint::Direction m_eDirection;
  };

  // Hands the call the event it carries. The event is owned and deleted with the method
  // object, served or not. 0 when the call accepted it or is gone, 1 when its
  // processEvent() answered false (also for a method object built without an event:
  // assertion "! m_pEvent.isNull()").
  class Event_MO : public MethodObject<MediaCallSM> {
    OMVERA_CLASS_ALLOCATOR_NAMED(Event_MO, "MediaCallSMProxy::Event_MO",
                                 "in_uiSize == sizeof(MediaCallSMProxy::Event_MO)",
                                 "MediaCallSMProxy")

    // Takes ownership of in_pEvent.
    Event_MO(const TaskObjectProxyData<MediaCallSM>& in_proxyData, MediaEvent* in_pEvent);
    ~Event_MO() override;

    // Null only for a method object built without an event.
    const MediaEvent* getEvent() const { return m_pEvent.get(); }

   protected:
    int call_i(CountedObjPtr<MediaCallSM> in_pCall) override;

   private:
    CopiedObjPtr<MediaEvent> m_pEvent;
  };

  // The last request of a destroyed proxy: drops its hold on its call on the engine task
  // (MediaEngineTask::proxyDestruction_i, whose status it answers), then gives the proxy id
  // back. Deleted unserved, it gives the id back at once. Each proxy kind derives its own,
  // with its own allocator.
  class ProxyDestructionNoT_MO : public ACE_Method_Request {
   public:
    ProxyDestructionNoT_MO(MediaEngineTask& in_mediaTask,
                           const TaskObjectProxyData<MediaCallSM>& in_proxyData,
                           ProxyIDRelease&& io_idRelease);
    ~ProxyDestructionNoT_MO() override;
    int call() override;

   private:
    MediaEngineTask& m_mediaTask;
    TaskObjectProxyData<MediaCallSM> m_proxyData;
    ProxyIDRelease m_idRelease;
  };

  // Draws the proxy id from in_idGenerator. Requests go to in_pQueue, the engine task's
  // activation queue (in_mediaTask.getActivationQueue(): passed separately so that this
  // header needs only a declaration of the task), and look the call up in in_pContainer.
  // The proxy logs through a LoggingIdLogger made from in_logger.
  MediaCallSMProxy(IDGenerator& in_idGenerator, LimitedObjPtr<CallContainer> in_pContainer,
                   MediaEngineGetEndpointImpl& in_mediaEngine, MediaEngineTask& in_mediaTask,
                   ACE_Activation_Queue* in_pQueue, const Logger& in_logger);
  ~MediaCallSMProxy() override;

  // getProxyData() (inherited): (container, own id), active.

  // Queues a ProxyMediaEvent_MO of (in_eType, in_eDirection) for this proxy's call.
  // in_szName labels the request in the task's logs and must outlive it (a string
  // literal). False when the engine task no longer accepts work.
  bool enqueueProxyMediaEvent_MO(MediaEvent::Type in_eType,
                                 MediaEndpoint::Direction in_eDirection, const char* in_szName);
  // Queues an Event_MO carrying in_pEvent for this proxy's call; ownership of the event
  // passes in every outcome. False when the engine task no longer accepts work, and for a
  // null event (assertion "in_pEvent != 0", nothing queued).
  bool enqueueEvent_MO(MediaEvent* in_pEvent, const char* in_szName);

  MediaEngineGetEndpointImpl& getMediaEngine() const { return m_mediaEngine; }
  MediaEngineTask& getMediaTask() const { return m_mediaTask; }

 private:
  MediaEngineGetEndpointImpl& m_mediaEngine;
  MediaEngineTask& m_mediaTask;
};

}  // namespace Omvera
