#pragma once
// A proxy to an EventProcessor living on another task: each event handed to it travels as
// a method object to that task, where the processor registered under the proxy's id
// processes it.

#include "tidewave/ClassAllocator.h"
#include "tidewave/CopiedObjPtr.h"
#include "tidewave/CountedObjPtr.h"
#include "tidewave/EventProcessor.h"
#include "tidewave/LimitedObjPtr.h"
#include "tidewave/TaskObjectProxy.h"
#include "tidewave/infra/Assertion.h"

namespace Omvera {

// Created, used and destroyed on one caller thread; queueing is thread-safe. The processor
// lives on the target task and is registered there (by the task side) in the container
// under this proxy's id. The container, the id generator and the queue are not owned and
// must outlive the proxy. Destroying the proxy gives its id back to the generator on the
// task thread, after the events it queued; the container entry is the task side's to
// release.
template <class Event>
class EventProcessorProxy {
 public:
  using Processor = EventProcessor<Event>;
  using Container = TaskObjectContainer<Processor>;

  // Carries one event, owned (deleted with the method object, served or not), to the
  // processor and answers 0 when the processor accepted it (or is gone), 1 when its
  // processEvent() returned false.
  class Event_MO : public MethodObject<Processor> {
    OMVERA_CLASS_ALLOCATOR_NAMED(Event_MO, "EventProcessorProxy<>::Event_MO",
                                 "in_uiSize == sizeof(Event_MO)", "EventProcessorProxy")

    // Takes ownership of in_pEvent (not null).
    Event_MO(const TaskObjectProxyData<Processor>& in_proxyData, Event* in_pEvent)
        : MethodObject<Processor>(in_proxyData), m_pEvent(in_pEvent) {}
    ~Event_MO() override = default;

    const Event& getEvent() const { return *m_pEvent; }

   protected:
    int call_i(CountedObjPtr<Processor> in_pProcessor) override {
      return in_pProcessor->processEvent(*m_pEvent) ? 0 : 1;
    }

   private:
    CopiedObjPtr<Event> m_pEvent;
  };

  // Draws the proxy id from in_idGenerator; requests go to in_pQueue and look the
  // processor up in in_pContainer.
  EventProcessorProxy(IDGenerator& in_idGenerator, ACE_Activation_Queue* in_pQueue,
                      LimitedObjPtr<Container> in_pContainer)
      : m_taskObjectProxy(in_idGenerator, in_pQueue, in_pContainer) {}
  // Queues the release of the proxy id, so that the id is drawn again only once the task
  // has served every event this proxy queued; when the task no longer accepts work, the id
  // goes back at once.
  virtual ~EventProcessorProxy() {
    m_taskObjectProxy.enqueue(new ReleaseProxyID_MO(m_taskObjectProxy.handOverID()),
                              "EventProcessorProxy id release");
  }
  EventProcessorProxy(const EventProcessorProxy&) = delete;
  EventProcessorProxy& operator=(const EventProcessorProxy&) = delete;

  // Queues in_pEvent (ownership passes in every outcome) at priority in_ulPriority: higher
  // priorities are served first, equal priorities in queueing order. in_szName labels the
  // request in the task's logs and must outlive it (a string literal). False when the task
  // no longer accepts work, and for a null event (assertion "in_pEvent != 0"). Any thread
  // that owns the proxy.
  virtual bool enqueueEvent_MO(Event* in_pEvent, const char* in_szName,
                               unsigned long in_ulPriority = 0) {
    if (!Assertion(in_pEvent != nullptr, "in_pEvent != 0", "EventProcessorProxy", __LINE__)) {
      return false;
    }
    Event_MO* pRequest = new Event_MO(m_taskObjectProxy.getProxyData(), in_pEvent);
    pRequest->priority(in_ulPriority);
    return m_taskObjectProxy.enqueue(pRequest, in_szName);
  }

  // (container, own id), active: the key under which the task registers the processor.
  TaskObjectProxyData<Processor> getProxyData() const { return m_taskObjectProxy.getProxyData(); }
  TaskObjectProxy<Processor>& getTaskObjectProxy() { return m_taskObjectProxy; }
  const TaskObjectProxy<Processor>& getTaskObjectProxy() const { return m_taskObjectProxy; }

 private:
  TaskObjectProxy<Processor> m_taskObjectProxy;
};

}  // namespace Omvera
