// State machine dispatch: one event through a machine including a transition (old state's
// exit hook, lookup of the out-state name, new state's entry action), on the basic machine
// and on the queued, timed machine the endpoints use; and the deferral and replay of k
// events, whose cost per event should not grow with k.
//
// The machines' loggers have their level cached at WARN, so the DEBUG transition lines cost
// one integer comparison each.

#include <benchmark/benchmark.h>

#include <string>

#include "tidewave/Cloneable.h"
#include "tidewave/CountedObjPtr.h"
#include "tidewave/StateMachine.h"
#include "tidewave/StateMachineWithEventQueue.h"
#include "tidewave/infra/Logger.h"

namespace Omvera {
namespace {

constexpr const char* s_szLOGGER = "tidewave.bench.StateMachine";

class BenchEvent : public virtual Cloneable {
 public:
  explicit BenchEvent(int in_iCode) : m_iCode(in_iCode) {}
  BenchEvent(const BenchEvent&) = default;
  int getCode() const { return m_iCode; }
  Cloneable* clone() const override { return new BenchEvent(*this); }

 private:
  int m_iCode;
};

CachedLLLogger benchLogger() {
  Logger(s_szLOGGER).setLogLevel(LogLevel::WARN);
  CachedLLLogger logger{Logger(s_szLOGGER)};
  logger.cacheLogLevel();
  return logger;
}

// Basic machine: every event moves to the other state, whose entry action rests there.
class ToggleState : public NamedState<BenchEvent> {
 public:
  ToggleState(const char* in_szName, const char* in_szNext) : m_strName(in_szName), m_strNext(in_szNext) {}
  const char* getName() const override { return m_strName.c_str(); }
  bool processEvent(const BenchEvent&, std::string& out_strStateName) override {
    out_strStateName = m_strNext;
    return true;
  }

 private:
  std::string m_strName;
  std::string m_strNext;
};

using BasicMachine = StateMachine<BenchEvent, ToggleState, CachedLLLogger>;

void BM_DispatchWithTransition(benchmark::State& io_state) {
  BasicMachine sm(benchLogger());
  sm.setInitialStateName("IDLE");
  sm.setInitialState(CountedObjPtr<ToggleState>(new ToggleState("IDLE", "ACTIVE")));
  sm.addState("ACTIVE", CountedObjPtr<ToggleState>(new ToggleState("ACTIVE", "IDLE")));
  const BenchEvent event(1);
  sm.goToInitialState(event);
  for (auto _ : io_state) {
    benchmark::DoNotOptimize(sm.processEvent(event));
  }
  io_state.SetItemsProcessed(io_state.iterations());
}
BENCHMARK(BM_DispatchWithTransition);

// Production shape: queue over timeouts, states with the queue-state base and untimed
// state handling. Code 1 is deferred in HOLD; code 2 moves HOLD -> FREE; code 3 moves
// FREE -> HOLD; FREE consumes code 1.
class QueueState : public StateMachineWithEventQueueState,
                   public virtual TimeoutStateInterface<BenchEvent>,
                   public NoTimeoutState<BenchEvent> {
 public:
  explicit QueueState(bool in_bHold) : m_bHold(in_bHold) {}
  const char* getName() const override { return m_bHold ? "HOLD" : "FREE"; }
  bool processEvent_i(const BenchEvent& in_event, std::string& out_strStateName) override {
    switch (in_event.getCode()) {
      case 1:
        if (m_bHold) unprocessedEvent();
        out_strStateName = getName();
        return true;
      case 2: out_strStateName = "FREE"; return true;
      default: out_strStateName = "HOLD"; return true;
    }
  }

 private:
  bool m_bHold;
};

class QueuedMachine : public StateMachineWithEventQueue<BenchEvent, QueueState, CachedLLLogger> {
 public:
  QueuedMachine() : StateMachineWithEventQueue(benchLogger()) {
    setInitialStateName("HOLD");
    setInitialState(CountedObjPtr<QueueState>(new QueueState(true)));
    addState("FREE", CountedObjPtr<QueueState>(new QueueState(false)));
    goToInitialState(BenchEvent(0));
  }
  bool processTimeout(const ACE_Time_Value&, const TimeoutData*) override { return true; }
};

void BM_QueuedDispatchWithTransition(benchmark::State& io_state) {
  QueuedMachine sm;
  const BenchEvent toFree(2);
  const BenchEvent toHold(3);
  for (auto _ : io_state) {
    benchmark::DoNotOptimize(sm.processEvent(toFree));
    benchmark::DoNotOptimize(sm.processEvent(toHold));
  }
  io_state.SetItemsProcessed(2 * io_state.iterations());
}
BENCHMARK(BM_QueuedDispatchWithTransition);

// One round: k events deferred in HOLD (one clone each), the move to FREE that replays
// all k, and the move back. Items are the deferred events.
void BM_DeferAndReplay(benchmark::State& io_state) {
  const int iCount = static_cast<int>(io_state.range(0));
  QueuedMachine sm;
  const BenchEvent deferred(1);
  const BenchEvent toFree(2);
  const BenchEvent toHold(3);
  for (auto _ : io_state) {
    for (int i = 0; i < iCount; ++i) sm.processEvent(deferred);
    benchmark::DoNotOptimize(sm.processEvent(toFree));
    benchmark::DoNotOptimize(sm.processEvent(toHold));
  }
  if (sm.getNumQueuedEvents() != 0) io_state.SkipWithError("events left in the queue");
  io_state.SetItemsProcessed(io_state.iterations() * iCount);
}
BENCHMARK(BM_DeferAndReplay)->Arg(1)->Arg(8)->Arg(64);

}  // namespace
}  // namespace Omvera
