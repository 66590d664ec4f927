// The state machine framework, driven through a small machine of scripted test states:
// transitions and their trace, entry chains, failures and recovery, registration rules,
// timed states on a manual clock, and deferred events.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include <ace/Time_Value.h>

#include "support/AssertionRecorder.h"
#include "support/LogCapture.h"
#include "tidewave/Cloneable.h"
#include "tidewave/CountedObjPtr.h"
#include "tidewave/StateMachine.h"
#include "tidewave/StateMachineWithEventQueue.h"
#include "tidewave/infra/Logger.h"
#include "tidewave/infra/ManualTimerScheduler.h"

namespace Omvera {
namespace {

using Test::AssertionRecorder;
using Test::LogCapture;
using Strings = std::vector<std::string>;

constexpr const char* s_szLOGGER = "tidewave.test.StateMachine";
constexpr int s_iTIMEOUT_CODE = -1;
const std::string s_strUNDEF = StateMachineNoT::getUndefStateName();

class TestEvent : public virtual Cloneable {
 public:
  explicit TestEvent(int in_iCode) : m_iCode(in_iCode) {}
  TestEvent(const TestEvent&) = default;
  int getCode() const { return m_iCode; }
  Cloneable* clone() const override { return new TestEvent(*this); }

 private:
  int m_iCode;
};

// A timer expiry, shaped as production timeout events are: the event type plus a virtual
// TimeoutEvent base.
class TestTimeoutEvent : public TestEvent, public virtual TimeoutEvent {
 public:
  TestTimeoutEvent(const ACE_Time_Value& in_time, const TimeoutData* in_pData)
      : TimeoutEvent(in_time, in_pData), TestEvent(s_iTIMEOUT_CODE) {}
  Cloneable* clone() const override { return new TestTimeoutEvent(*this); }
};

// What a scripted state does with an event, an entry or its own timeout.
enum class Act { GO, DEFER, FAIL, UNTOUCHED, REENTER };
struct Reaction {
  Act m_act = Act::GO;
  std::string m_strTarget;  // empty: the state itself
};
Reaction go(const char* in_szTarget = "") { return Reaction{Act::GO, in_szTarget}; }
Reaction act(Act in_act, const char* in_szTarget = "") { return Reaction{in_act, in_szTarget}; }

// The shape of production states: the queue-state base, a virtual TimeoutStateInterface,
// and (in the derived classes) exactly one of TimeoutState / NoTimeoutState. Every call is
// written to the shared journal as "<name> <what>".
class TestState : public StateMachineWithEventQueueState,
                  public virtual TimeoutStateInterface<TestEvent> {
 public:
  TestState(const char* in_szName, Strings& io_journal) : m_strName(in_szName), m_rJournal(io_journal) {}

  const char* getName() const override { return m_strName.c_str(); }
  void onEvent(int in_iCode, const Reaction& in_reaction) { m_reactions[in_iCode] = in_reaction; }
  void onEntry(const Reaction& in_reaction) { m_entry = in_reaction; }
  void onTimeout(const Reaction& in_reaction) { m_onTimeout = in_reaction; }
  void setMachine(EventProcessor<TestEvent>* in_pMachine) { m_pMachine = in_pMachine; }
  int m_iReentryResult = -1;

  bool processEvent_i(const TestEvent& in_event, std::string& out_strStateName) override {
    note("event " + std::to_string(in_event.getCode()));
    const auto it = m_reactions.find(in_event.getCode());
    return react(it == m_reactions.end() ? go() : it->second, out_strStateName);
  }
  void onStateExit(const TestEvent&, const std::string& in_strNextStateName) override {
    note("exit->" + in_strNextStateName);
  }

 protected:
  void note(const std::string& in_strWhat) { m_rJournal.push_back(m_strName + " " + in_strWhat); }
  bool react(const Reaction& in_reaction, std::string& out_strStateName) {
    const std::string& strTarget = in_reaction.m_strTarget.empty() ? m_strName : in_reaction.m_strTarget;
    switch (in_reaction.m_act) {
      case Act::GO: out_strStateName = strTarget; return true;
      case Act::DEFER: unprocessedEvent(); out_strStateName = m_strName; return true;
      case Act::FAIL: out_strStateName = strTarget; return false;
      case Act::UNTOUCHED: return true;
      case Act::REENTER:
        m_iReentryResult = m_pMachine->processEvent(TestEvent(99)) ? 1 : 0;
        out_strStateName = strTarget;
        return true;
    }
    return false;
  }

  std::string m_strName;
  Strings& m_rJournal;
  std::map<int, Reaction> m_reactions;
  Reaction m_entry;
  Reaction m_onTimeout;
  EventProcessor<TestEvent>* m_pMachine = nullptr;
};

class PlainTestState : public TestState, public NoTimeoutState<TestEvent> {
 public:
  using TestState::TestState;
  void entryAction(const TestEvent& in_event, std::string& out_strStateName) override {
    note("entry " + std::to_string(in_event.getCode()));
    react(m_entry, out_strStateName);
  }
};

class TimedTestState : public TestState, public TimeoutState<TestEvent> {
 public:
  TimedTestState(const char* in_szName, Strings& io_journal, const ACE_Time_Value& in_timeout)
      : TestState(in_szName, io_journal), TimeoutState<TestEvent>(in_timeout) {}
  void entryAction_i(const TestEvent& in_event, std::string& out_strStateName) override {
    note("entry " + std::to_string(in_event.getCode()));
    react(m_entry, out_strStateName);
  }

 protected:
  bool processTimeout_i(const TimeoutEvent& in_event, std::string& out_strStateName) override {
    note("timeout@" + std::to_string(in_event.getTimeValue().sec()));
    return react(m_onTimeout, out_strStateName);
  }
};

using StatePtr = CountedObjPtr<TestState>;

// The basic machine, without timers or queue.
class PlainMachine : public StateMachine<TestEvent, TestState, LoggingIdLogger> {
 public:
  PlainMachine() : StateMachine(LoggingIdLogger(Logger(s_szLOGGER))) { getLogger().cacheLogLevel(); }
  bool addAsInitial(const char* in_szStateName, const StatePtr& in_pState) {
    return addState(in_szStateName, in_pState, INITIAL_STATE);
  }
};

// The production shape: queue over timeouts; it is its own timeout processor.
class QueuedMachine : public StateMachineWithEventQueue<TestEvent, TestState, LoggingIdLogger> {
 public:
  QueuedMachine() : StateMachineWithEventQueue(LoggingIdLogger(Logger(s_szLOGGER))) {
    getLogger().cacheLogLevel();
  }
  bool processTimeout(const ACE_Time_Value& in_now, const TimeoutData* in_pData) override {
    return processEvent(TestTimeoutEvent(in_now, in_pData));
  }
};

// Capture, assertion recorder, clock and journal outlive the machine (its timed states
// cancel their timers when destroyed).
template <class Machine>
class Harness {
 public:
  explicit Harness(int in_iLogLevel = LogLevel::TRACE) : m_capture(s_szLOGGER, in_iLogLevel) {}

  PlainTestState& initial(const char* in_szName) {
    m_sm.setInitialStateName(in_szName);
    PlainTestState* pState = new PlainTestState(in_szName, m_journal);
    EXPECT_TRUE(m_sm.setInitialState(StatePtr(pState)));
    return *pState;
  }
  PlainTestState& normal(const char* in_szName) { return add(new PlainTestState(in_szName, m_journal)); }
  TimedTestState& timed(const char* in_szName, long in_lSeconds) {
    return add(new TimedTestState(in_szName, m_journal, ACE_Time_Value(in_lSeconds)));
  }
  PlainTestState& finalState(const char* in_szName) {
    PlainTestState* pState = new PlainTestState(in_szName, m_journal);
    EXPECT_TRUE(m_sm.addFinalState(in_szName, StatePtr(pState)));
    return *pState;
  }
  bool start() { return m_sm.goToInitialState(TestEvent(0)); }
  bool send(int in_iCode) { return m_sm.processEvent(TestEvent(in_iCode)); }
  std::string current() const { return m_sm.getCurrentStateName(); }
  Strings trace() const { return m_capture.messages(LogLevel::DEBUG); }
  // The journal since the last call.
  Strings journal() {
    Strings vEntries;
    vEntries.swap(m_journal);
    return vEntries;
  }

  LogCapture m_capture;
  AssertionRecorder m_assertions;
  ManualTimerScheduler m_scheduler;
  Strings m_journal;
  Machine m_sm;

 private:
  template <class S>
  S& add(S* in_pState) {
    EXPECT_TRUE(m_sm.addState(in_pState->getName(), StatePtr(in_pState)));
    return *in_pState;
  }
};

template <>
bool Harness<QueuedMachine>::start() {
  EXPECT_TRUE(m_sm.initialize(&m_scheduler, &m_sm));
  return m_sm.goToInitialState(TestEvent(0));
}

// ---------------------------------------------------------------------------------------
// Transitions, entry chains, failures
// ---------------------------------------------------------------------------------------

TEST(StateMachine, StaysMovesChainsEntriesAndRestsInFinalState) {
  Harness<PlainMachine> h;
  h.initial("IDLE").onEvent(2, go("RUNNING"));
  PlainTestState& running = h.normal("RUNNING");
  running.onEvent(3, go("B"));
  h.normal("B").onEntry(go("C"));
  h.normal("C").onEntry(go("DONE"));
  PlainTestState& done = h.finalState("DONE");
  done.onEvent(4, go("IDLE"));  // a final state is never left

  EXPECT_EQ(s_strUNDEF, h.current());
  ASSERT_TRUE(h.start());
  EXPECT_TRUE(h.send(1));
  EXPECT_TRUE(h.send(2));
  EXPECT_FALSE(h.m_sm.isInFinalState());
  EXPECT_TRUE(h.send(3));
  EXPECT_TRUE(h.m_sm.isInFinalState());
  EXPECT_TRUE(h.send(4));
  EXPECT_EQ(&done, h.m_sm.getCurrentState().get());

  EXPECT_EQ((Strings{"--> IDLE", "IDLE --> RUNNING", "RUNNING --> B", "B --> C", "C --> DONE"}), h.trace());
  EXPECT_EQ((Strings{"IDLE entry 0", "IDLE event 1", "IDLE event 2", "IDLE exit->RUNNING", "RUNNING entry 2",
                     "RUNNING event 3", "RUNNING exit->B", "B entry 3", "B exit->C", "C entry 3",
                     "C exit->DONE", "DONE entry 3", "DONE event 4"}),
            h.journal());
  EXPECT_EQ(0u, h.m_assertions.count());
}

TEST(StateMachine, UnknownTargetsUnsetNamesAndFailures) {
  Harness<PlainMachine> h;
  PlainTestState& a = h.initial("A");
  a.onEvent(1, go("NOWHERE"));
  a.onEvent(2, go("B"));
  a.onEvent(3, act(Act::UNTOUCHED));
  a.onEvent(4, act(Act::FAIL, "B"));
  PlainTestState& b = h.normal("B");
  b.onEntry(act(Act::UNTOUCHED));
  b.onEvent(5, go("GHOST"));
  h.normal("GHOST").onEntry(go("VOID"));
  ASSERT_TRUE(h.start());

  // Unset out name: a warning, and the machine stays.
  EXPECT_TRUE(h.send(3));
  EXPECT_TRUE(h.m_capture.contains(LogLevel::WARN,
      "Software error ? Looks like you are not setting the out state name in A::processEvent. Ignoring event"));
  // Failed handling: logged, stays.
  EXPECT_FALSE(h.send(4));
  EXPECT_EQ(1u, h.m_capture.count(LogLevel::ERROR, "state->processEvent failed"));
  EXPECT_EQ("A", h.current());

  // Unknown target: no current state (and no exit) until restarted.
  h.journal();
  EXPECT_FALSE(h.send(1));
  EXPECT_TRUE(h.m_capture.contains(LogLevel::ERROR, "unable to transition to NOWHERE"));
  EXPECT_EQ(s_strUNDEF, h.current());
  EXPECT_FALSE(h.send(3));
  EXPECT_EQ((Strings{"m_currentStateIter != m_stateHash.end()"}), h.m_assertions.expressions());
  EXPECT_EQ((Strings{"A event 1"}), h.journal());
  ASSERT_TRUE(h.start());
  EXPECT_EQ("A", h.current());

  EXPECT_TRUE(h.send(2));
  EXPECT_EQ("B", h.current());
  EXPECT_TRUE(h.m_capture.contains(LogLevel::WARN,
      "Software error ? Looks like you are not setting the out state name in B::entryAction. Ignoring event"));
  // An entry action naming an unknown state has the same outcome.
  EXPECT_FALSE(h.send(5));
  EXPECT_EQ(2u, h.m_assertions.count("m_currentStateIter != m_stateHash.end()"));
  EXPECT_EQ(s_strUNDEF, h.current());
  EXPECT_FALSE(h.m_sm.isInFinalState());
  EXPECT_TRUE(h.start());
}

// Both the plain machine's guard and the queued machine's own check.
template <class Machine>
void expectReentryReportedOnceAndRefused() {
  Harness<Machine> h;
  PlainTestState& a = h.initial("A");
  a.setMachine(&h.m_sm);
  a.onEvent(1, act(Act::REENTER, "B"));
  h.normal("B");
  ASSERT_TRUE(h.start());
  EXPECT_TRUE(h.send(1));
  EXPECT_EQ(0, a.m_iReentryResult);
  EXPECT_EQ("B", h.current());
  EXPECT_EQ((Strings{"recursive call on a guarded object"}), h.m_assertions.expressions());
}

TEST(StateMachine, ReentryIsReportedOnceAndRefused) {
  expectReentryReportedOnceAndRefused<PlainMachine>();
  expectReentryReportedOnceAndRefused<QueuedMachine>();
}

// ---------------------------------------------------------------------------------------
// Registration
// ---------------------------------------------------------------------------------------

TEST(StateMachineRegistration, BadNamesAndDuplicatesAreRefused) {
  Harness<PlainMachine> h;
  h.initial("A").onEvent(1, go("B"));
  PlainTestState& b = h.normal("B");
  Strings vOtherJournal;

  EXPECT_FALSE(h.m_sm.addState("B", StatePtr(new PlainTestState("B", vOtherJournal))));
  EXPECT_TRUE(h.m_capture.contains(LogLevel::ERROR, "Duplicate state name: B"));
  EXPECT_FALSE(h.m_sm.addFinalState("A", StatePtr(new PlainTestState("A", vOtherJournal))));
  EXPECT_FALSE(h.m_sm.addState(StateMachineNoT::getUndefStateName(), StatePtr()));
  EXPECT_FALSE(h.m_sm.addState(nullptr, StatePtr()));
  EXPECT_FALSE(h.m_sm.addAsInitial("C", StatePtr()));
  EXPECT_EQ((Strings{"insertionResult.second", "strStateName != getInitialStateName()",
                     "strStateName != getUndefStateName()", "in_szStateName != 0",
                     "in_stateType != INITIAL_STATE"}),
            h.m_assertions.expressions());
  EXPECT_EQ(2u, h.m_sm.getNumStates());

  ASSERT_TRUE(h.start());
  EXPECT_TRUE(h.send(1));
  EXPECT_EQ(&b, h.m_sm.getCurrentState().get());  // the first registration stayed
  EXPECT_TRUE(vOtherJournal.empty());

  // Registering while a state is current keeps it current across rehashing.
  for (int i = 0; i < 200; ++i) {
    const std::string strName = "S" + std::to_string(i);
    EXPECT_TRUE(h.m_sm.addState(strName.c_str(), StatePtr(new PlainTestState(strName.c_str(), vOtherJournal))));
  }
  EXPECT_EQ(&b, h.m_sm.getCurrentState().get());
  b.onEvent(2, go("S150"));
  EXPECT_TRUE(h.send(2));
  EXPECT_EQ("S150", h.current());
}

TEST(StateMachineRegistration, InitialStateRulesAndNullHandles) {
  Harness<PlainMachine> h;
  EXPECT_FALSE(h.m_sm.setInitialState(StatePtr(new PlainTestState("X", h.m_journal))));
  EXPECT_FALSE(h.start());
  h.m_sm.setInitialStateName(nullptr);
  EXPECT_EQ((Strings{"m_strStateName != getUndefStateName()", "m_currentStateIter != m_stateHash.end()",
                     "(m_strStateName = in_szStateName) != getUndefStateName()"}),
            h.m_assertions.expressions());
  h.m_assertions.clear();

  // Null handles: a final state may have none; entering a non-final one is reported.
  PlainTestState& a = h.initial("A");
  a.onEvent(2, go("HOLE"));
  a.onEvent(3, go("END"));
  EXPECT_TRUE(h.m_sm.addState("HOLE", StatePtr()));
  EXPECT_TRUE(h.m_sm.addFinalState("END", StatePtr()));
  ASSERT_TRUE(h.start());
  EXPECT_TRUE(h.send(2));
  EXPECT_EQ("HOLE", h.current());
  EXPECT_FALSE(h.send(3));
  EXPECT_EQ(2u, h.m_assertions.count("m_currentStateIter->second.m_stateType == FINAL_STATE"));
  ASSERT_TRUE(h.start());
  EXPECT_TRUE(h.send(3));
  EXPECT_TRUE(h.m_sm.isInFinalState());
  EXPECT_TRUE(h.send(4));
  EXPECT_EQ(2u, h.m_assertions.count());

  h.m_sm.setInitialStateName("Z");  // a null initial state cannot be entered
  EXPECT_TRUE(h.m_sm.setInitialState(StatePtr()));
  EXPECT_FALSE(h.start());
  EXPECT_EQ(1u, h.m_assertions.count("! m_currentStateIter->second.m_pState.isNull()"));
}

// ---------------------------------------------------------------------------------------
// Timed states
// ---------------------------------------------------------------------------------------

class TimedStateMachine : public ::testing::Test {
 protected:
  void SetUp() override {
    m_h.initial("IDLE").onEvent(1, go("WAIT"));
    m_pWait = &m_h.timed("WAIT", 5);
    m_pWait->onTimeout(go("EXPIRED"));
    m_pWait->onEvent(2, go("OTHER"));
    m_pWait->onEvent(3, act(Act::UNTOUCHED));
    m_pWait->onEvent(4, act(Act::FAIL, "OTHER"));
    m_pWait->onEvent(7, act(Act::DEFER));
    m_h.normal("EXPIRED").onEvent(1, go("WAIT"));
    m_h.normal("OTHER").onEvent(1, go("WAIT"));
    ASSERT_TRUE(m_h.start());
  }

  Harness<QueuedMachine> m_h;
  TimedTestState* m_pWait = nullptr;
};

TEST_F(TimedStateMachine, ArmsOnStayingEntryAndFiresAfterItsTimeout) {
  EXPECT_EQ(0u, m_h.m_scheduler.numArmed());
  ASSERT_TRUE(m_h.send(1));
  EXPECT_TRUE(m_pWait->timerArmed());
  EXPECT_EQ(1u, m_h.m_scheduler.numArmed());

  EXPECT_EQ(0u, m_h.m_scheduler.advance(ACE_Time_Value(4, 999999)));
  EXPECT_EQ("WAIT", m_h.current());
  EXPECT_EQ(1u, m_h.m_scheduler.advance(ACE_Time_Value(0, 1)));
  EXPECT_EQ("EXPIRED", m_h.current());
  EXPECT_FALSE(m_pWait->timerArmed());
  EXPECT_EQ(0u, m_h.m_scheduler.numArmed());
  EXPECT_EQ((Strings{"--> IDLE", "IDLE --> WAIT", "WAIT --> EXPIRED"}), m_h.trace());
  EXPECT_EQ((Strings{"IDLE entry 0", "IDLE event 1", "IDLE exit->WAIT", "WAIT entry 1",
                     "WAIT timeout@5", "WAIT exit->EXPIRED", "EXPIRED entry -1"}),
            m_h.journal());
  EXPECT_EQ(0u, m_h.m_assertions.count());
}

TEST_F(TimedStateMachine, StayingKeepsTheTimerLeavingCancelsItOthersAreIgnored) {
  TimedTestState& spare = m_h.timed("SPARE", 5);
  ASSERT_TRUE(m_h.send(1));
  EXPECT_TRUE(m_h.send(5));   // stays
  EXPECT_TRUE(m_h.send(3));   // unset out name: stays, with a warning
  EXPECT_FALSE(m_h.send(4));  // failed: stays
  EXPECT_TRUE(m_h.m_sm.processEvent(TestTimeoutEvent(ACE_Time_Value(1), &spare)));  // not ours
  EXPECT_EQ("WAIT", m_h.current());
  EXPECT_TRUE(m_pWait->timerArmed());
  EXPECT_EQ(0u, m_h.m_scheduler.numCancelled());

  EXPECT_TRUE(m_h.send(2));
  EXPECT_EQ("OTHER", m_h.current());
  EXPECT_EQ(0u, m_h.m_scheduler.numArmed());
  EXPECT_EQ(1u, m_h.m_scheduler.numCancelled());
  EXPECT_EQ(0u, m_h.m_scheduler.advance(ACE_Time_Value(10)));
  // WAIT's own expiry reaching an untimed state is ignored too.
  m_h.journal();
  EXPECT_TRUE(m_h.m_sm.processEvent(TestTimeoutEvent(ACE_Time_Value(2), m_pWait)));
  EXPECT_EQ("OTHER", m_h.current());
  EXPECT_TRUE(m_h.journal().empty());

  // An entry that leaves at once arms nothing.
  m_pWait->onEntry(go("OTHER"));
  const auto uiScheduled = m_h.m_scheduler.numScheduled();
  ASSERT_TRUE(m_h.send(1));
  EXPECT_EQ("OTHER", m_h.current());
  EXPECT_EQ(uiScheduled, m_h.m_scheduler.numScheduled());
  EXPECT_EQ(0u, m_h.m_assertions.count());
}

TEST_F(TimedStateMachine, RestartCancelsTheTimerAndDropsDeferredEvents) {
  ASSERT_TRUE(m_h.send(1));
  EXPECT_TRUE(m_h.send(7));
  EXPECT_EQ(1u, m_h.m_sm.getNumQueuedEvents());
  ASSERT_TRUE(m_h.m_sm.goToInitialState(TestEvent(0)));
  EXPECT_EQ(0u, m_h.m_scheduler.numArmed());
  EXPECT_EQ(0u, m_h.m_sm.getNumQueuedEvents());
  m_h.journal();
  EXPECT_TRUE(m_h.send(5));
  EXPECT_EQ((Strings{"IDLE event 5"}), m_h.journal());
}

// ---------------------------------------------------------------------------------------
// Deferred events
// ---------------------------------------------------------------------------------------

TEST(StateMachineDeferral, ReplayInArrivalOrderAndARefusedOneBlocksThoseBehind) {
  Harness<QueuedMachine> h;
  PlainTestState& a = h.initial("A");
  for (int iCode : {1, 2, 3}) a.onEvent(iCode, act(Act::DEFER));
  a.onEvent(9, go("B"));
  PlainTestState& b = h.normal("B");
  b.onEvent(2, act(Act::DEFER));
  b.onEvent(3, go("X"));  // never reached while 2 blocks it
  b.onEvent(6, act(Act::DEFER));
  b.onEvent(5, go("C"));
  h.normal("C").onEvent(3, go("D"));
  h.normal("D");
  ASSERT_TRUE(h.start());

  for (int iCode : {1, 2, 3}) EXPECT_TRUE(h.send(iCode));
  EXPECT_EQ(3u, h.m_sm.getNumQueuedEvents());
  h.journal();
  EXPECT_TRUE(h.send(9));
  EXPECT_EQ((Strings{"A event 9", "A exit->B", "B entry 9", "B event 1", "B event 2"}), h.journal());
  EXPECT_TRUE(h.send(6));  // deferred behind the others, no replay
  EXPECT_EQ((Strings{"B event 6"}), h.journal());
  EXPECT_EQ(3u, h.m_sm.getNumQueuedEvents());

  EXPECT_TRUE(h.send(5));
  EXPECT_EQ((Strings{"B event 5", "B exit->C", "C entry 5", "C event 2", "C event 3", "C exit->D",
                     "D entry 3", "D event 6"}),
            h.journal());
  EXPECT_EQ((Strings{"--> A", "A --> B", "B --> C", "C --> D"}), h.trace());
  EXPECT_EQ(0u, h.m_sm.getNumQueuedEvents());
  EXPECT_TRUE(h.m_sm.dequeueEvent().isNull());
}

TEST(StateMachineDeferral, FinalStateConsumesEverything) {
  for (bool bNullFinal : {false, true}) {
    Harness<QueuedMachine> h;
    PlainTestState& a = h.initial("A");
    a.onEvent(1, act(Act::DEFER));
    a.onEvent(2, act(Act::DEFER));
    a.onEvent(9, go("END"));
    if (bNullFinal) {
      EXPECT_TRUE(h.m_sm.addFinalState("END", StatePtr()));
    } else {
      h.finalState("END").onEvent(1, act(Act::DEFER));
    }
    ASSERT_TRUE(h.start());
    EXPECT_TRUE(h.send(1));
    EXPECT_TRUE(h.send(2));
    h.journal();
    EXPECT_TRUE(h.send(9));
    EXPECT_TRUE(h.m_sm.isInFinalState());
    if (!bNullFinal) {
      EXPECT_EQ((Strings{"A event 9", "A exit->END", "END entry 9", "END event 1", "END event 2"}),
                h.journal());
    }
    EXPECT_EQ(0u, h.m_sm.getNumQueuedEvents());
    EXPECT_TRUE(h.send(1));  // refused once final: not kept
    EXPECT_EQ(0u, h.m_sm.getNumQueuedEvents());
    EXPECT_EQ(0u, h.m_assertions.count());
  }
}

TEST(StateMachineDeferral, FailuresKeepTheQueueConsistent) {
  Harness<QueuedMachine> h;
  PlainTestState& a = h.initial("A");
  a.onEvent(1, act(Act::DEFER));
  a.onEvent(9, go("B"));
  h.normal("B").onEvent(1, act(Act::FAIL));
  ASSERT_TRUE(h.start());
  EXPECT_TRUE(h.send(1));
  EXPECT_FALSE(h.send(9));  // moved to B, but the replayed event failed there
  EXPECT_EQ("B", h.current());
  ASSERT_EQ(1u, h.m_sm.getNumQueuedEvents());
  EXPECT_EQ(1, h.m_sm.dequeueEvent()->getCode());

  Harness<PlainMachine> plain;  // deferring needs a queued machine
  plain.initial("A").onEvent(1, act(Act::DEFER));
  ASSERT_TRUE(plain.start());
  EXPECT_TRUE(plain.send(1));
  EXPECT_EQ((Strings{"! m_pNotifiable.isNull()"}), plain.m_assertions.expressions());
}

}  // namespace
}  // namespace Omvera
