#pragma once
// A state machine with a queue of deferred events.
//
// A state that cannot handle an event yet calls unprocessedEvent() (from
// StateMachineWithEventQueueState) while processing it; the machine then keeps a clone of
// the event. Deferred events are retried only after an event is consumed, in arrival order,
// each against the state reached by the previous one; one that is refused again stays at
// the head and blocks those behind it until the next consumed event. An event that leads
// into a final state counts as consumed, and nothing is deferred once the machine is final.
//
// Threads and ownership: as StateMachine (one thread per machine). The queue owns the
// clones; goToInitialState() and emptyEventQueue() drop them.

#include <cstddef>
#include <deque>
#include <type_traits>
#include <utility>

#include "tidewave/Cloneable.h"
#include "tidewave/CountedObjPtr.h"
#include "tidewave/LimitedObjPtr.h"
#include "tidewave/StateMachine.h"

namespace Omvera {

// The base of the states of a machine with an event queue. The machine hands each state
// its notifiable side when the state is registered. Same thread as the machine; the
// notifiable is not owned.
class StateMachineWithEventQueueState {
 public:
  StateMachineWithEventQueueState() = default;
  virtual ~StateMachineWithEventQueueState();

  void setUnprocessedEventNotifiable(LimitedObjPtr<UnprocessedEventNotifiable> in_pNotifiable) {
    m_pNotifiable = in_pNotifiable;
  }
  // While this state processes an event: the event is not consumed and is to be deferred.
  // A state not registered with a queued machine: assertion, nothing else.
  void unprocessedEvent();

 protected:
  LimitedObjPtr<UnprocessedEventNotifiable> m_pNotifiable;
};

// Base: the machine underneath, a TimeoutStateMachine (default) or a StateMachine over
// CountedObjPtr<State>. State must derive from StateMachineWithEventQueueState; Event from
// Cloneable (deferred events are cloned through it and cast back to Event).
template <class Event, class State, class LoggerKind,
          class Base = TimeoutStateMachine<Event, State, LoggerKind>>
class StateMachineWithEventQueue : public Base, public virtual UnprocessedEventNotifiable {
  static_assert(std::is_base_of<Cloneable, Event>::value,
                "deferred events are cloned through their Cloneable side");

 public:
  using EventPtr = CountedObjPtr<Event>;
  using StatePtr = typename Base::StatePointer;

  StateMachineWithEventQueue() = default;
  explicit StateMachineWithEventQueue(const LoggerKind& in_logger) : Base(in_logger) {}
  // Drops the deferred events; releases the states as the base does.
  ~StateMachineWithEventQueue() override = default;

  // As the base's, after handing the state this machine's notifiable side (a null handle
  // gets nothing).
  bool setInitialState(const StatePtr& in_pState) {
    bindState(in_pState);
    return Base::setInitialState(in_pState);
  }
  bool addState(const char* in_szStateName, const StatePtr& in_pState) {
    bindState(in_pState);
    return Base::addState(in_szStateName, in_pState);
  }
  bool addFinalState(const char* in_szStateName, const StatePtr& in_pState) {
    bindState(in_pState);
    return Base::addFinalState(in_szStateName, in_pState);
  }

  // Drops the deferred events, then restarts as the base does.
  bool goToInitialState(const Event& in_event) {
    emptyEventQueue();
    return Base::goToInitialState(in_event);
  }

  // Processes in_event (StateMachine::processEvent). When the state deferred it and the
  // machine is not final, the event is queued (queueEvent's result is returned). When it
  // was consumed, the deferred events are replayed in order until one is deferred again
  // (it stays at the head) or the queue is empty; an event processed in or into a final
  // state counts as consumed. False when the processing of in_event or of a replayed event
  // fails (a failed replayed event stays at the head), or on re-entry from inside a state
  // of this machine (recursivityAssert).
  bool processEvent(const Event& in_event) override {
    if (this->m_bRecursionFlag) {
      RecursivityGuard::recursivityAssert(StateMachineDetail::s_szMODULE, __LINE__);
      return false;
    }
    m_bProcessed = true;
    if (!Base::processEvent(in_event)) return false;
    if (!m_bProcessed && !Base::isInFinalState()) return queueEvent(in_event);

    while (!m_eventQueue.empty()) {
      const EventPtr pEvent = m_eventQueue.front();
      m_bProcessed = true;
      const bool bResult = Base::processEvent(*pEvent);
      if (Base::isInFinalState()) m_bProcessed = true;
      if (!bResult || !m_bProcessed) return bResult;
      // A state may have restarted the machine meanwhile (the queue is then empty).
      if (!m_eventQueue.empty() && m_eventQueue.front() == pEvent) dequeueEvent();
    }
    return true;
  }

  // UnprocessedEventNotifiable: marks the event being processed as not consumed.
  void unprocessedEvent() override { m_bProcessed = false; }

  // Appends a clone of in_event. A clone that is not an Event: assertion "pEvent != 0",
  // false, nothing queued.
  virtual bool queueEvent(const Event& in_event) {
    const Cloneable& cloneable = in_event;
    Cloneable* pClone = cloneable.clone();
    Event* pEvent = dynamic_cast<Event*>(pClone);
    if (pEvent == nullptr) {
      delete pClone;
      return this->failed("pEvent != 0", __LINE__);
    }
    m_eventQueue.push_back(EventPtr(pEvent));
    return true;
  }
  // Removes and returns the head of the queue; null when the queue is empty.
  virtual EventPtr dequeueEvent() {
    if (m_eventQueue.empty()) return EventPtr();
    EventPtr pEvent(std::move(m_eventQueue.front()));
    m_eventQueue.pop_front();
    return pEvent;
  }
  // Drops every deferred event.
  void emptyEventQueue() {
    while (!dequeueEvent().isNull()) {
    }
  }
  std::size_t getNumQueuedEvents() const { return m_eventQueue.size(); }

 private:
  void bindState(const StatePtr& in_pState) {
    if (!in_pState.isNull()) {
      in_pState->setUnprocessedEventNotifiable(LimitedObjPtr<UnprocessedEventNotifiable>(this));
    }
  }

  std::deque<EventPtr> m_eventQueue;
  // Set before each event is handed to the states; cleared by unprocessedEvent().
  bool m_bProcessed = true;
};

}  // namespace Omvera
