#pragma once
// Event-driven state machines whose states are objects registered under a name.
//
// A state reacts to an event by naming the state to go to next (its out state name, its own
// name to stay). The machine looks the name up, calls the old state's onStateExit() and the
// new state's entry action; an entry action may itself name another state, so one event can
// run a chain of entry actions. Timed states (TimeoutState) arm a timer when they are
// entered and stay, receive its expiry as an event (one that derives from TimeoutEvent) and
// cancel it when an ordinary event makes them leave.
//
// Set-up, in this order: setInitialStateName(name), setInitialState(state), addState() /
// addFinalState() for the others (each under the state's own getName()),
// TimeoutStateMachine::initialize(scheduler, processor), then goToInitialState(event).
// After that, processEvent(event) for each event; goToInitialState() restarts the machine.
//
// Threads: one machine and its states are used by one thread only (for the media library,
// the engine task thread). Nothing is locked; re-entering processEvent() on the same
// machine from inside one of its states is reported (recursivityAssert) and refused.
//
// Ownership: the machine owns its states through the handles of its state hash; a state
// refers back to its machine by plain reference. Broken preconditions are reported through
// Assertion with the machine's logger and return the documented failure value; nothing
// throws.

#include <cstddef>
#include <string>
#include <unordered_map>
#include <utility>

#include <ace/Time_Value.h>

#include "tidewave/CountedObjPtr.h"
#include "tidewave/EventProcessor.h"
#include "tidewave/LimitedObjPtr.h"
#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Guards.h"
#include "tidewave/infra/Logging.h"
#include "tidewave/infra/StateMachineNoT.h"
#include "tidewave/infra/TimeoutStateNoT.h"
#include "tidewave/infra/TimerScheduler.h"

namespace Omvera {

namespace StateMachineDetail {
// Source module named in the machines' assertions and log lines.
constexpr const char* s_szMODULE = "StateMachine";
}  // namespace StateMachineDetail

// ---------------------------------------------------------------------------------------
// States
// ---------------------------------------------------------------------------------------

// What a machine asks of a state. The out state name arrives set to
// StateMachineNoT::getUndefStateName(); a state that leaves it so is treated as staying
// (and the machine warns). The string is the machine's scratch member, valid for the call
// only; assign a name into it (from a const char* or a string) rather than moving a
// temporary in, so that it keeps its capacity and dispatch never allocates.
template <class Event>
class StateInterface {
 public:
  virtual ~StateInterface() = default;

  // The machine has just made this state current because of in_event (the event that led
  // here, or the one given to goToInitialState). Set out_strStateName to this state's name
  // to rest here, or to another state's name to move on at once.
  virtual void entryAction(const Event& in_event, std::string& out_strStateName) = 0;
  // Reacts to in_event while this state is current. False reports a failed handling: the
  // machine logs it, stays here and ignores the out name.
  virtual bool processEvent(const Event& in_event, std::string& out_strStateName) = 0;
  // Called on this state when in_event makes the machine leave it for in_strNextStateName,
  // before the next state's entry action. Default: nothing.
  virtual void onStateExit(const Event& /*in_event*/, const std::string& /*in_strNextStateName*/) {}
};

// A state's name: the key under which it is registered in its machine.
class NamedStateNoT {
 public:
  virtual ~NamedStateNoT();
  // Stable for the state's lifetime.
  virtual const char* getName() const = 0;
};

// A state that knows its name; entering it rests in it unless entryAction is overridden.
template <class Event>
class NamedState : public StateInterface<Event>, public virtual NamedStateNoT {
 public:
  void entryAction(const Event& /*in_event*/, std::string& out_strStateName) override {
    out_strStateName = getName();
  }
};

// The common face of timed and untimed states: the state's own event handling and its
// handling of timeouts that are not its own.
template <class Event>
class TimeoutStateInterface : public virtual NamedState<Event> {
 public:
  // The state's handling of an event that is not a timeout (see StateInterface::processEvent).
  virtual bool processEvent_i(const Event& in_event, std::string& out_strStateName) = 0;
  // A timeout event (the event derives from TimeoutEvent) that is not this state's armed
  // timer, for instance a late expiry of a state left meanwhile. Default: ignore it (stay,
  // true).
  virtual bool processOtherTimeout_i(const Event& /*in_event*/, std::string& out_strStateName) {
    out_strStateName = this->getName();
    return true;
  }
};

// A state that arms one timer for itself whenever it is entered and stays there, and
// cancels it when an ordinary event makes it leave. The state object is the timer's
// TimeoutData; its expiry must come back to the machine as an Event that also derives from
// TimeoutEvent and carries that data. The scheduler and processor given to initialize()
// (normally through TimeoutStateMachine::initialize) must outlive the state while a timer
// is armed: destroying the state cancels its timer.
template <class Event>
class TimeoutState : public virtual TimeoutStateInterface<Event>, public TimeoutStateNoT {
 public:
  explicit TimeoutState(const ACE_Time_Value& in_timeout) : TimeoutStateNoT(in_timeout) {}

  // Runs entryAction_i(); when the state stays, arms its timer for getTimeout_i() (a timer
  // still armed from before is replaced). A state that moves on from its entry arms none.
  void entryAction(const Event& in_event, std::string& out_strStateName) override {
    entryAction_i(in_event, out_strStateName);
    if (out_strStateName == this->getName()) scheduleTimer();
  }

  // This state's own expiry goes to processTimeout_i() (the timer identity ends first);
  // another timeout to processOtherTimeout_i(); anything else to processEvent_i(), after
  // which the armed timer is cancelled when the state is being left (true result and an
  // out name naming another state).
  bool processEvent(const Event& in_event, std::string& out_strStateName) override {
    if (const TimeoutEvent* pTimeout = dynamic_cast<const TimeoutEvent*>(&in_event)) {
      if (isOurTimeout(*pTimeout)) return processOurTimeoutEvent(*pTimeout, out_strStateName);
      return this->processOtherTimeout_i(in_event, out_strStateName);
    }
    const bool bResult = this->processEvent_i(in_event, out_strStateName);
    if (bResult && timerArmed() && out_strStateName != this->getName() &&
        out_strStateName != StateMachineNoT::getUndefStateName()) {
      cancelTimer();
    }
    return bResult;
  }

  // The state's own entry handling. Default: stay.
  virtual void entryAction_i(const Event& /*in_event*/, std::string& out_strStateName) {
    out_strStateName = this->getName();
  }

  using TimeoutStateNoT::initialize;
  // The scheduler on which the timers are armed and the processor their expiries go to.
  // Either null: assertion, false.
  bool initialize(LimitedObjPtr<TimerScheduler> in_pScheduler,
                  LimitedObjPtr<TimeoutProcessor> in_pProcessor) {
    return TimeoutStateNoT::initialize(in_pScheduler.get(), in_pProcessor.get());
  }
};

// A state without a timer. Timeout events (other states' timers) go to
// processOtherTimeout_i(), everything else to processEvent_i().
template <class Event>
class NoTimeoutState : public virtual TimeoutStateInterface<Event> {
 public:
  bool processEvent(const Event& in_event, std::string& out_strStateName) override {
    if (dynamic_cast<const TimeoutEvent*>(&in_event) != nullptr) {
      return this->processOtherTimeout_i(in_event, out_strStateName);
    }
    return this->processEvent_i(in_event, out_strStateName);
  }
};

// The machine side that a deferring state tells: "the event being processed is not
// consumed now". Same thread as the machine.
class UnprocessedEventNotifiable {
 public:
  virtual ~UnprocessedEventNotifiable();
  virtual void unprocessedEvent() = 0;
};

// ---------------------------------------------------------------------------------------
// Machines
// ---------------------------------------------------------------------------------------

// The basic machine. Event: the event type (polymorphic). State: the state type, a
// StateInterface<Event>. LoggerKind: the object logger (LoggingIdLogger in production;
// cache its level at set-up so that disabled DEBUG lines cost one integer comparison).
// StatePtr: the owning state handle.
//
// The engine task thread only (or whichever single thread owns the machine). Not copyable.
template <class Event, class State, class LoggerKind, class StatePtr = CountedObjPtr<State>>
class StateMachine : public StateMachineNoT,
                     public virtual EventProcessor<Event>,
                     public virtual ObjectWithLogger<LoggerKind> {
 public:
  enum StateType { INITIAL_STATE = 0, NORMAL_STATE = 1, FINAL_STATE = 2 };

  // The registration of one state. The handle may be null only for a final state.
  struct StateData {
    StateData() : m_stateType(NORMAL_STATE) {}
    StateData(StateType in_stateType, const StatePtr& in_pState)
        : m_stateType(in_stateType), m_pState(in_pState) {}
    StateType m_stateType;
    StatePtr m_pState;
  };

  using StatePointer = StatePtr;
  using StateHash = std::unordered_map<std::string, StateData>;

  StateMachine() : m_currentStateIter(m_stateHash.end()) {}
  // Installs in_logger as the machine's logger (its cached level, if any, is kept).
  explicit StateMachine(const LoggerKind& in_logger) : StateMachine() {
    this->setLogger(in_logger);
  }
  // Releases the states (and so their timers) but cancels nothing itself.
  ~StateMachine() override = default;
  StateMachine(const StateMachine&) = delete;
  StateMachine& operator=(const StateMachine&) = delete;

  // Makes in_szStateName the initial state name. A state already registered under the old
  // initial name becomes a normal state, one registered under the new name becomes the
  // initial state. Null or the undefined name: assertion (the initial name becomes the
  // undefined one). The machine has no current state afterwards.
  virtual void setInitialStateName(const char* in_szStateName) {
    ScratchMemberGuard scratch(m_bScratchFlag, StateMachineDetail::s_szMODULE, __LINE__);
    m_currentStateIter = m_stateHash.find(getInitialStateName());
    const char* szStateName = in_szStateName != nullptr ? in_szStateName : getUndefStateName();
    Assertion((m_strStateName = szStateName) != getUndefStateName(),
              "(m_strStateName = in_szStateName) != getUndefStateName()", this->getLogger(),
              StateMachineDetail::s_szMODULE, __LINE__);
    if (m_currentStateIter != m_stateHash.end()) {
      if (m_currentStateIter->second.m_stateType != INITIAL_STATE) {
        failed("m_currentStateIter->second.m_stateType == INITIAL_STATE", __LINE__);
      }
      m_currentStateIter->second.m_stateType = NORMAL_STATE;
    }
    StateMachineNoT::setInitialStateName(m_strStateName.c_str());
    m_currentStateIter = m_stateHash.find(m_strStateName);
    if (m_currentStateIter != m_stateHash.end()) {
      m_currentStateIter->second.m_stateType = INITIAL_STATE;
    }
    m_currentStateIter = m_stateHash.end();
  }

  // Registers in_pState under the initial state name as the initial state, replacing any
  // registration under that name. No initial name set: assertion, false. The machine has
  // no current state afterwards.
  bool setInitialState(const StatePtr& in_pState) {
    ScratchMemberGuard scratch(m_bScratchFlag, StateMachineDetail::s_szMODULE, __LINE__);
    m_strStateName = getInitialStateName();
    if (m_strStateName == getUndefStateName()) {
      return failed("m_strStateName != getUndefStateName()", __LINE__);
    }
    m_stateHash[m_strStateName] = StateData(INITIAL_STATE, in_pState);
    m_currentStateIter = m_stateHash.end();
    return true;
  }

  // Register a normal / final state under in_szStateName (the state's getName()). False,
  // with an assertion, for a null name, the initial name or the undefined name; false, with
  // an ERROR "Duplicate state name: <name>" and an assertion, when the name is taken (the
  // first registration stays). The current state is kept.
  bool addState(const char* in_szStateName, const StatePtr& in_pState) {
    return addState(in_szStateName, in_pState, NORMAL_STATE);
  }
  bool addFinalState(const char* in_szStateName, const StatePtr& in_pState) {
    return addState(in_szStateName, in_pState, FINAL_STATE);
  }

  // Enters the initial state with in_event (running its entry action and any chain of
  // entry actions it starts). False, with an assertion, when no initial state is
  // registered or its handle is null, or when an entry action names an unknown state (the
  // machine then has no current state).
  bool goToInitialState(const Event& in_event) {
    ScratchMemberGuard scratch(m_bScratchFlag, StateMachineDetail::s_szMODULE, __LINE__);
    m_currentStateIter = m_stateHash.find(getInitialStateName());
    if (m_currentStateIter == m_stateHash.end()) {
      return failed("m_currentStateIter != m_stateHash.end()", __LINE__);
    }
    if (m_currentStateIter->second.m_stateType != INITIAL_STATE) {
      failed("m_currentStateIter->second.m_stateType == INITIAL_STATE", __LINE__);
    }
    if (m_currentStateIter->second.m_pState.isNull()) {
      return failed("! m_currentStateIter->second.m_pState.isNull()", __LINE__);
    }
    OMVERA_LOG_M(this->getLogger(), LogLevel::DEBUG, StateMachineDetail::s_szMODULE,
                 "--> " << getInitialStateName());
    scratch.release();
    return entryAction(in_event);
  }

  // Hands in_event to the current state and follows the out state name it gives. True when
  // the event was handled (stay, transition, or any event reaching a final state). False:
  // no current state (assertion), a null non-final state (assertion), the state's handling
  // failed (ERROR "state->processEvent failed", the machine stays), the out name is not
  // registered (ERROR "unable to transition to <name>"; no current state remains until
  // goToInitialState), an entry action named an unknown state (assertion), or re-entry
  // from inside a state of this machine (recursivityAssert).
  bool processEvent(const Event& in_event) override {
    RecursivityGuard recursion(m_bRecursionFlag, StateMachineDetail::s_szMODULE, __LINE__);
    if (recursion.reentered()) return false;
    if (m_currentStateIter == m_stateHash.end()) {
      return failed("m_currentStateIter != m_stateHash.end()", __LINE__);
    }
    if (m_currentStateIter->second.m_pState.isNull()) {
      if (m_currentStateIter->second.m_stateType != FINAL_STATE) {
        return failed("m_currentStateIter->second.m_stateType == FINAL_STATE", __LINE__);
      }
      return true;
    }

    ScratchMemberGuard scratch(m_bScratchFlag, StateMachineDetail::s_szMODULE, __LINE__);
    m_strStateName = undefStateName();
    if (!m_currentStateIter->second.m_pState->processEvent(in_event, m_strStateName)) {
      OMVERA_LOG_M(this->getLogger(), LogLevel::ERROR, StateMachineDetail::s_szMODULE,
                   "state->processEvent failed");
      return false;
    }
    if (isUndefStateName(m_strStateName)) {
      OMVERA_LOG_M(this->getLogger(), LogLevel::WARN, StateMachineDetail::s_szMODULE,
                   "Software error ? Looks like you are not setting the out state name in "
                       << m_currentStateIter->first << "::processEvent. Ignoring event");
      return true;
    }
    if (m_currentStateIter->second.m_stateType == FINAL_STATE) return true;
    if (m_strStateName == m_currentStateIter->first) return true;

    OMVERA_LOG_M(this->getLogger(), LogLevel::DEBUG, StateMachineDetail::s_szMODULE,
                 m_currentStateIter->first << " --> " << m_strStateName);
    const typename StateHash::iterator oldStateIter = m_currentStateIter;
    m_currentStateIter = m_stateHash.find(m_strStateName);
    if (m_currentStateIter == m_stateHash.end()) {
      OMVERA_LOG_M(this->getLogger(), LogLevel::ERROR, StateMachineDetail::s_szMODULE,
                   "unable to transition to " << m_strStateName);
      return false;
    }
    oldStateIter->second.m_pState->onStateExit(in_event, m_strStateName);
    scratch.release();
    return entryAction(in_event);
  }

  // A current state exists and is a final one.
  bool isInFinalState() const {
    return m_currentStateIter != m_stateHash.end() &&
           m_currentStateIter->second.m_stateType == FINAL_STATE;
  }
  // The current state's name, or getUndefStateName() when there is none. Valid until the
  // state hash changes.
  const char* getCurrentStateName() const {
    return m_currentStateIter != m_stateHash.end() ? m_currentStateIter->first.c_str()
                                                   : getUndefStateName();
  }
  // The current state's handle; null when there is none.
  StatePtr getCurrentState() const {
    return m_currentStateIter != m_stateHash.end() ? m_currentStateIter->second.m_pState
                                                   : StatePtr();
  }
  std::size_t getNumStates() const { return m_stateHash.size(); }

 protected:
  // The common registration of addState() and addFinalState().
  bool addState(const char* in_szStateName, const StatePtr& in_pState, StateType in_stateType) {
    if (in_szStateName == nullptr) return failed("in_szStateName != 0", __LINE__);
    const std::string strStateName(in_szStateName);
    if (strStateName == getInitialStateName()) {
      return failed("strStateName != getInitialStateName()", __LINE__);
    }
    if (strStateName == getUndefStateName()) {
      return failed("strStateName != getUndefStateName()", __LINE__);
    }
    if (in_stateType == INITIAL_STATE) return failed("in_stateType != INITIAL_STATE", __LINE__);

    // Keys live in the hash nodes, which stay put when the table rehashes; iterators do not.
    const std::string* pCurrentStateName =
        m_currentStateIter != m_stateHash.end() ? &m_currentStateIter->first : nullptr;
    const std::pair<typename StateHash::iterator, bool> insertionResult =
        m_stateHash.emplace(strStateName, StateData(in_stateType, in_pState));
    if (!insertionResult.second) {
      OMVERA_LOG_M(this->getLogger(), LogLevel::ERROR, StateMachineDetail::s_szMODULE,
                   "Duplicate state name: " << strStateName);
      return failed("insertionResult.second", __LINE__);
    }
    if (pCurrentStateName == nullptr) {
      m_currentStateIter = m_stateHash.end();
    } else {
      m_currentStateIter = m_stateHash.find(*pCurrentStateName);
      if (m_currentStateIter == m_stateHash.end()) {
        return failed("m_currentStateIter != m_stateHash.end()", __LINE__);
      }
    }
    return true;
  }

  // The entry procedure: runs the current state's entry action with in_event and follows
  // the chain of entry actions it starts, until a state rests. The current state must
  // exist. A chain that never rests does not return.
  bool entryAction(const Event& in_event) {
    for (;;) {
      if (m_currentStateIter->second.m_pState.isNull()) {
        if (m_currentStateIter->second.m_stateType != FINAL_STATE) {
          failed("m_currentStateIter->second.m_stateType == FINAL_STATE", __LINE__);
        }
        return true;
      }
      ScratchMemberGuard scratch(m_bScratchFlag, StateMachineDetail::s_szMODULE, __LINE__);
      m_strStateName = undefStateName();
      m_currentStateIter->second.m_pState->entryAction(in_event, m_strStateName);
      if (isUndefStateName(m_strStateName)) {
        OMVERA_LOG_M(this->getLogger(), LogLevel::WARN, StateMachineDetail::s_szMODULE,
                     "Software error ? Looks like you are not setting the out state name in "
                         << m_currentStateIter->first << "::entryAction. Ignoring event");
        return true;
      }
      if (m_strStateName == m_currentStateIter->first) return true;

      OMVERA_LOG_M(this->getLogger(), LogLevel::DEBUG, StateMachineDetail::s_szMODULE,
                   m_currentStateIter->first << " --> " << m_strStateName);
      const typename StateHash::iterator oldStateIter = m_currentStateIter;
      m_currentStateIter = m_stateHash.find(m_strStateName);
      if (m_currentStateIter == m_stateHash.end()) {
        return failed("m_currentStateIter != m_stateHash.end()", __LINE__);
      }
      oldStateIter->second.m_pState->onStateExit(in_event, m_strStateName);
    }
  }

  // Drops every registration (the machine has no current state afterwards). For the
  // destructors of derived machines that must release the states while they are whole.
  void releaseStates() {
    m_currentStateIter = m_stateHash.end();
    m_stateHash.clear();
  }

  // The undefined name as a string, so that resetting the scratch name is a plain copy
  // into its existing buffer.
  static const std::string& undefStateName() {
    static const std::string s_strUndefStateName(getUndefStateName());
    return s_strUndefStateName;
  }

  // in_strName is the undefined name. Cheap for the usual case of a short state name: the
  // lengths differ.
  static bool isUndefStateName(const std::string& in_strName) {
    const char* szUndef = getUndefStateName();
    const std::size_t uiLength = std::char_traits<char>::length(szUndef);
    return in_strName.size() == uiLength &&
           std::char_traits<char>::compare(in_strName.data(), szUndef, uiLength) == 0;
  }

  // Reports the broken rule in_szExpression; returns false.
  bool failed(const char* in_szExpression, int in_iLine) const {
    return Assertion(false, in_szExpression, this->getLogger(), StateMachineDetail::s_szMODULE,
                     in_iLine);
  }

  StateHash m_stateHash;
  // The current state's registration; m_stateHash.end() when there is none.
  typename StateHash::iterator m_currentStateIter;
};

// A machine whose states may be timed (TimeoutState). As a TimeoutProcessor it may also
// receive the expiries itself (processTimeout stays for the derived machine to define); in
// production the owning call is the processor.
//
// Same thread rules as StateMachine. The scheduler and processor given to initialize()
// must outlive the machine's timed states.
template <class Event, class State, class LoggerKind>
class TimeoutStateMachine : public StateMachine<Event, State, LoggerKind, CountedObjPtr<State>>,
                            public virtual TimeoutProcessor {
  using Base = StateMachine<Event, State, LoggerKind, CountedObjPtr<State>>;

 public:
  TimeoutStateMachine() = default;
  explicit TimeoutStateMachine(const LoggerKind& in_logger) : Base(in_logger) {}
  // Releases the states while this machine is still a whole TimeoutProcessor, since a timed
  // state that still has a timer armed cancels it when it is destroyed.
  ~TimeoutStateMachine() override { this->releaseStates(); }

  // Gives every timed state registered so far the scheduler and the processor. Either
  // null: false, nothing changes. States registered later are not initialised.
  bool initialize(LimitedObjPtr<TimerScheduler> in_pScheduler,
                  LimitedObjPtr<TimeoutProcessor> in_pProcessor) {
    if (in_pScheduler.isNull() || in_pProcessor.isNull()) return false;
    for (auto& entry : this->m_stateHash) {
      if (entry.second.m_pState.isNull()) continue;
      if (TimeoutState<Event>* pTimed = dynamic_cast<TimeoutState<Event>*>(entry.second.m_pState.get())) {
        pTimed->initialize(in_pScheduler.get(), in_pProcessor.get());
      }
    }
    return true;
  }

  // Cancels the current state's timer, if it is a timed state with one armed, then enters
  // the initial state (StateMachine::goToInitialState).
  bool goToInitialState(const Event& in_event) {
    if (this->m_currentStateIter != this->m_stateHash.end() &&
        !this->m_currentStateIter->second.m_pState.isNull()) {
      if (TimeoutState<Event>* pTimed =
              dynamic_cast<TimeoutState<Event>*>(this->m_currentStateIter->second.m_pState.get())) {
        pTimed->cancelTimer();
      }
    }
    return Base::goToInitialState(in_event);
  }
};

}  // namespace Omvera
