// The timed state's timer identity, driven by the manual scheduler.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tidewave/infra/ManualTimerScheduler.h"
#include "tidewave/infra/TimeoutStateNoT.h"

namespace Omvera {
namespace {

// A timed state that records its own timeouts and answers with a fixed next state.
class TimedState : public TimeoutStateNoT {
 public:
  explicit TimedState(const ACE_Time_Value& in_timeout) : TimeoutStateNoT(in_timeout) {}
  bool processTimeout_i(const TimeoutEvent& in_event, std::string& out_strStateName) override {
    m_vTimeouts.push_back(in_event);
    out_strStateName = "Expired";
    return true;
  }
  std::vector<TimeoutEvent> m_vTimeouts;
};

// Hands every expiry to the state it belongs to, as a machine of timed states does.
class Dispatcher : public TimeoutProcessor {
 public:
  bool processTimeout(const ACE_Time_Value& in_now, const TimeoutData* in_pData) override {
    const TimeoutEvent event(in_now, in_pData);
    ++m_iExpiries;
    for (TimedState* pState : m_vStates) {
      if (pState->isOurTimeout(event)) return pState->processOurTimeoutEvent(event, m_strOut);
    }
    return true;
  }
  std::vector<TimedState*> m_vStates;
  std::string m_strOut;
  int m_iExpiries = 0;
};

ACE_Time_Value msec(long in_lMilliseconds) {
  ACE_Time_Value value;
  value.msec(in_lMilliseconds);
  return value;
}

class TimeoutStateFixture : public ::testing::Test {
 protected:
  TimeoutStateFixture() : m_state(ACE_Time_Value(5)) {
    m_dispatcher.m_vStates.push_back(&m_state);
    m_state.initialize(&m_scheduler, &m_dispatcher);
  }
  ManualTimerScheduler m_scheduler;
  Dispatcher m_dispatcher;
  TimedState m_state;
};

TEST_F(TimeoutStateFixture, ArmedTimerComesBackAsOurTimeoutAndEndsTheIdentity) {
  ASSERT_TRUE(m_state.scheduleTimer());
  EXPECT_TRUE(m_state.timerArmed());
  EXPECT_TRUE(m_scheduler.isArmed(m_state.getTimerId()));
  ACE_Time_Value delay;
  ASSERT_TRUE(m_scheduler.timeUntilNext(delay));
  EXPECT_EQ(ACE_Time_Value(5), delay);

  EXPECT_EQ(0u, m_scheduler.advance(msec(4999)));
  EXPECT_TRUE(m_state.m_vTimeouts.empty());
  EXPECT_EQ(1u, m_scheduler.advance(msec(1)));
  ASSERT_EQ(1u, m_state.m_vTimeouts.size());
  EXPECT_EQ(&m_state, m_state.m_vTimeouts[0].getData());
  EXPECT_EQ(ACE_Time_Value(5), m_state.m_vTimeouts[0].getTimeValue());
  EXPECT_EQ("Expired", m_dispatcher.m_strOut);
  EXPECT_FALSE(m_state.timerArmed());
  EXPECT_EQ(-1, m_state.getTimerId());
  // The same expiry seen again is no longer ours.
  EXPECT_FALSE(m_state.isOurTimeout(m_state.m_vTimeouts[0]));
}

TEST_F(TimeoutStateFixture, ReArmingCancelsTheTimerArmedBefore) {
  ASSERT_TRUE(m_state.scheduleTimer());
  const long lFirst = m_state.getTimerId();
  m_scheduler.advance(ACE_Time_Value(3));
  ASSERT_TRUE(m_state.scheduleTimer());
  EXPECT_NE(lFirst, m_state.getTimerId());
  EXPECT_FALSE(m_scheduler.isArmed(lFirst));
  EXPECT_EQ(1u, m_scheduler.numArmed());
  EXPECT_EQ(0u, m_scheduler.advance(ACE_Time_Value(4)));  // the first would be due at 5 s
  EXPECT_EQ(1u, m_scheduler.advance(ACE_Time_Value(1)));  // the second is due at 8 s
  EXPECT_EQ(1u, m_state.m_vTimeouts.size());
  EXPECT_EQ(ACE_Time_Value(8), m_state.m_vTimeouts[0].getTimeValue());
}

TEST_F(TimeoutStateFixture, ACancelledTimerNeverFiresAndOnlyTheArmedStateOwnsATimeout) {
  TimedState other(ACE_Time_Value(5));
  other.initialize(&m_scheduler, &m_dispatcher);
  ASSERT_TRUE(m_state.scheduleTimer());
  ASSERT_TRUE(other.scheduleTimer());
  const TimeoutEvent ours(ACE_Time_Value(5), &m_state);
  const TimeoutEvent theirs(ACE_Time_Value(5), &other);
  EXPECT_TRUE(m_state.isOurTimeout(ours));
  EXPECT_FALSE(m_state.isOurTimeout(theirs));

  EXPECT_TRUE(m_state.cancelTimer());
  EXPECT_FALSE(m_state.timerArmed());
  EXPECT_FALSE(m_state.isOurTimeout(ours));  // a late expiry is not ours any more
  EXPECT_FALSE(m_state.cancelTimer());
  EXPECT_EQ(1u, m_scheduler.numArmed());
  EXPECT_TRUE(other.cancelTimer());
  EXPECT_EQ(0u, m_scheduler.advance(ACE_Time_Value(10)));
  EXPECT_EQ(0, m_dispatcher.m_iExpiries);

  // Destroying an armed state cancels its timer.
  auto pState = std::make_unique<TimedState>(ACE_Time_Value(1));
  pState->initialize(&m_scheduler, &m_dispatcher);
  ASSERT_TRUE(pState->scheduleTimer());
  pState.reset();
  EXPECT_EQ(0u, m_scheduler.numArmed());
}

class ConfiguredState : public TimedState {
 public:
  ConfiguredState() : TimedState(ACE_Time_Value(5)) {}
  ACE_Time_Value getTimeout_i() const override { return m_configured; }
  ACE_Time_Value m_configured{ACE_Time_Value(42)};
};

TEST_F(TimeoutStateFixture, TheNextTimerUsesTheCurrentTimeout) {
  ASSERT_TRUE(m_state.scheduleTimer());
  m_state.setTimeout(ACE_Time_Value(300));
  EXPECT_EQ(1u, m_scheduler.advance(ACE_Time_Value(5)));  // the armed timer keeps its delay
  ASSERT_TRUE(m_state.scheduleTimer());
  EXPECT_EQ(0u, m_scheduler.advance(msec(299999)));
  EXPECT_EQ(1u, m_scheduler.advance(msec(1)));
  ASSERT_EQ(2u, m_state.m_vTimeouts.size());
  EXPECT_EQ(ACE_Time_Value(305), m_state.m_vTimeouts[1].getTimeValue());

  ACE_Time_Value deadline;

  ConfiguredState configured;
  configured.initialize(&m_scheduler, &m_dispatcher);
  ASSERT_TRUE(configured.scheduleTimer());
  ASSERT_TRUE(m_scheduler.getDeadline(configured.getTimerId(), deadline));
  EXPECT_EQ(m_scheduler.now() + ACE_Time_Value(42), deadline);
}

}  // namespace
}  // namespace Omvera
