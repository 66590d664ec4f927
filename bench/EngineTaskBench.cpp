// The engine task's queue and timers measured against floors built into this binary and
// run in the same process, batch for batch, so that the ratios hold on a noisy machine
// where absolute times do not.
//
// Floors:
// - ACE floor: a bare ACE_Activation_Queue (flow control off, as the task's own) served by
//   one std::thread that dequeues, calls and deletes each ACE_Method_Request;
// - mutex floor: a std::deque of the same requests under a std::mutex with a
//   std::condition_variable, served the same way;
// - timer floor: an ACE_Timer_Heap armed (clock read + schedule) and cancelled on one
//   thread.
// Every request of a floor is the same class as the one sent to the engine task, so the
// requests' own allocation and call cost the same on both sides.
//
// BM_EngineTaskRoundTrip: one request at a time: the caller queues it, the serving thread
// calls it, the request wakes the caller through a condition variable. Each iteration does
// a batch of round trips on the engine task and on each floor (the order rotates from
// batch to batch); every round trip is timed on its own. The caller runs on CPU 0 and
// every serving thread on CPU server_cpu (0: the same CPU, 1: the other one), so that no
// side is favoured by where the scheduler happened to put its thread. Counters: p50 and
// p99 in microseconds per side, and the engine task's p50 and p99 over each floor's.
//
// BM_EngineTaskPipeline: one caller streams getCapacity requests through the endpoint proxy
// of a configured endpoint of the fake engine, whose engine endpoint answers at once
// through its callback proxy, and waits for the last report to reach the user callback.
// Each request makes two hops through the task's queue: the proxy's request, then the
// engine's answer. The ACE floor streams the same number of requests of two hops (the
// serving thread queues the second hop to its own queue) and of one hop.
// The main figures come from held streams: the serving thread is held by a gate request
// while the caller queues the whole stream (queue_ns: the caller's cost per request), then
// released (serve_ns: the serving thread's cost per request, up to the last report);
// ns_per_req is their sum, each phase one busy thread with no wake-up per request.
// ratio_per_request compares the engine to the two-hop floor, ratio_per_hop half the
// engine's cost per request to the one-hop floor. The free_* figures time the same stream
// with both threads running at once: they depend on whether the serving thread keeps up
// and sleeps between requests (a wake-up each) or lags behind (none), so they vary from
// run to run more than the held ones.
//
// BM_EngineTaskTimers: arming a timer and cancelling it (StaticReactorTaskImpl's
// scheduleTimer and cancelTimer), against the timer floor in the same iteration:
//   task_thread:1/armed:0      on the task thread, no other timer armed;
//   task_thread:1/armed:10000  on the task thread, 10,000 other timers armed (the
//                              measured one lands in the middle of their deadlines);
//   task_thread:0/armed:0      from the benchmark thread, no other timer armed: every arm
//                              makes the new timer the earliest, so it also wakes the
//                              sleeping task thread; the floor has no thread to wake;
//   task_thread:0/armed:10000  from the benchmark thread with 10,000 armed (no wake).
// Counters: ns per arm+cancel pair on each side and their ratio.
//
// BM_EngineTaskCallScale: held streams of getCapacity requests spread round robin over the
// endpoints of 10 calls and of 10,000 calls (each call one configured endpoint, each scale
// on its own engine task), the same number of requests per batch. cost_ratio_10000_10 is
// the cost per request with 10,000 calls over the cost with 10.
//
// The "tidewave" loggers are set to WARN before any task is built, so DEBUG and TRACE lines
// cost a comparison each. A failed assertion, a capacity failure or a missing report
// stops the benchmark with an error. Every wait is bounded.

#include <benchmark/benchmark.h>

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <ace/Activation_Queue.h>
#include <ace/Event_Handler.h>
#include <ace/Message_Queue_T.h>
#include <ace/Method_Request.h>
#include <ace/Recursive_Thread_Mutex.h>
#include <ace/Time_Value.h>
#include <ace/Timer_Heap.h>

#include "support/FakeEngine.h"
#include "tidewave/MediaDefs.h"
#include "tidewave/MediaEndpoint.h"
#include "tidewave/MediaEngineTask.h"
#include "tidewave/MediaNotificationEvent.h"
#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Logger.h"
#include "tidewave/infra/Task.h"
#include "tidewave/infra/TimerScheduler.h"

namespace Omvera {
namespace {

using Clock = std::chrono::steady_clock;
using Nanos = std::chrono::duration<double, std::nano>;

constexpr MediaEndpoint::Direction RX = MediaEndpoint::RX_DIRECTION;
// Bound of every wait: a lost request or report ends the benchmark with an error.
constexpr std::chrono::seconds s_WAIT_LIMIT(10);

constexpr std::size_t s_uiROUND_TRIPS_PER_BATCH = 100;
constexpr std::size_t s_uiROUND_TRIP_WARMUP = 300;
constexpr long s_lROUND_TRIP_BATCHES = 100;
constexpr long s_lROUND_TRIP_BATCHES_CROSS_CPU = 30;
constexpr std::size_t s_uiPIPELINE_REQUESTS = 10000;
constexpr long s_lPIPELINE_BATCHES = 10;
constexpr std::size_t s_uiTIMER_PAIRS_PER_BATCH = 2000;
constexpr long s_lTIMER_BATCHES = 50;
constexpr long s_lARMED_TIMERS = 10000;
constexpr long s_lSMALL_SCALE = 10;
constexpr long s_lLARGE_SCALE = 10000;
constexpr std::size_t s_uiSCALE_REQUESTS = 10000;
constexpr long s_lSCALE_BATCHES = 10;

// Sets the product's loggers to WARN once, before the first task or call caches a level.
void quietLogging() {
  static const bool s_bDone = [] {
    Logger("tidewave").setLogLevel(LogLevel::WARN);
    return true;
  }();
  (void)s_bDone;
}

double toMicros(double in_dNanos) { return in_dNanos / 1000.0; }

// The in_dFraction quantile of in_vSamples (nearest rank); sorts a copy.
double quantile(std::vector<double> in_vSamples, double in_dFraction) {
  if (in_vSamples.empty()) return 0.0;
  std::sort(in_vSamples.begin(), in_vSamples.end());
  std::size_t uiRank = static_cast<std::size_t>(std::ceil(in_dFraction * in_vSamples.size()));
  if (uiRank == 0) uiRank = 1;
  return in_vSamples[std::min(uiRank, in_vSamples.size()) - 1];
}

double ratio(double in_dValue, double in_dFloor) {
  return in_dFloor > 0 ? in_dValue / in_dFloor : 0.0;
}

// ---- waking the caller ----------------------------------------------------------------

// A reusable one-shot wake-up: post() on the serving thread, wait() on the caller.
class Signal {
 public:
  void post() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_bPosted = true;
    }
    m_condition.notify_one();
  }
  // False when nothing was posted within the limit.
  bool wait() {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_condition.wait_for(lock, s_WAIT_LIMIT, [this] { return m_bPosted; })) return false;
    m_bPosted = false;
    return true;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_condition;
  bool m_bPosted = false;
};

// Counts arrivals (on the serving thread) and posts its signal when the count reaches the
// target set by the caller before it sends the work.
class Countdown {
 public:
  void expect(std::uint64_t in_uiMore) { m_uiTarget.store(m_uiCount.load() + in_uiMore); }
  void arrive() {
    if (m_uiCount.fetch_add(1) + 1 == m_uiTarget.load()) m_signal.post();
  }
  bool wait() { return m_signal.wait(); }
  std::uint64_t count() const { return m_uiCount.load(); }

 private:
  std::atomic<std::uint64_t> m_uiCount{0};
  std::atomic<std::uint64_t> m_uiTarget{ULLONG_MAX};
  Signal m_signal;
};

// ---- requests -------------------------------------------------------------------------

// Wakes its caller.
class PostRequest : public ACE_Method_Request {
 public:
  explicit PostRequest(Signal& in_signal) : m_signal(in_signal) {}
  int call() override {
    m_signal.post();
    return 0;
  }

 private:
  Signal& m_signal;
};

// One streamed request: with hops left, queues its next hop to in_pQueue (the serving
// thread's own queue); at the last hop, arrives at the countdown.
class HopRequest : public ACE_Method_Request {
 public:
  HopRequest(Countdown& in_countdown, ACE_Activation_Queue* in_pQueue, int in_iHops)
      : m_countdown(in_countdown), m_pQueue(in_pQueue), m_iHops(in_iHops) {}
  int call() override {
    if (m_iHops > 1) {
      return m_pQueue->enqueue(new HopRequest(m_countdown, m_pQueue, m_iHops - 1)) == -1 ? 1 : 0;
    }
    m_countdown.arrive();
    return 0;
  }

 private:
  Countdown& m_countdown;
  ACE_Activation_Queue* const m_pQueue;
  const int m_iHops;
};

// Runs a function on the thread that serves it, then wakes its caller.
class FnRequest : public ACE_Method_Request {
 public:
  FnRequest(std::function<void()> in_fn, Signal& in_signal)
      : m_fn(std::move(in_fn)), m_signal(in_signal) {}
  int call() override {
    m_fn();
    m_signal.post();
    return 0;
  }

 private:
  std::function<void()> m_fn;
  Signal& m_signal;
};

// Holds the thread that serves it until opened, so that a whole stream is queued before
// any of it is served: the caller's queueing and the serving thread's work are then timed
// apart, each on one busy thread, without a wake-up per request.
class Gate {
 public:
  // The request that holds the serving thread; queue it, then waitEntered().
  ACE_Method_Request* request() { return new Request(m_entered, m_open); }
  bool waitEntered() { return m_entered.wait(); }
  void open() { m_open.post(); }

 private:
  class Request : public ACE_Method_Request {
   public:
    Request(Signal& in_entered, Signal& in_open) : m_entered(in_entered), m_open(in_open) {}
    int call() override {
      m_entered.post();
      return m_open.wait() ? 0 : 1;
    }

   private:
    Signal& m_entered;
    Signal& m_open;
  };

  Signal m_entered;
  Signal m_open;
};

// The two phases of held streams, summed over the batches.
struct HeldTimes {
  Clock::duration m_queueing{};
  Clock::duration m_serving{};
};

// One held stream: in_enqueueGate queues the gate; once the serving thread is inside,
// in_send queues the stream (the queueing phase), then the gate opens and in_waitLast
// waits for the last request to be served (the serving phase). False on any failure.
bool heldStream(const std::function<bool(ACE_Method_Request*)>& in_enqueueGate,
                const std::function<bool()>& in_send, const std::function<bool()>& in_waitLast,
                HeldTimes& io_times) {
  Gate gate;
  if (!in_enqueueGate(gate.request()) || !gate.waitEntered()) return false;
  const Clock::time_point t0 = Clock::now();
  bool bOk = in_send();
  const Clock::time_point t1 = Clock::now();
  gate.open();
  bOk &= in_waitLast();
  const Clock::time_point t2 = Clock::now();
  io_times.m_queueing += t1 - t0;
  io_times.m_serving += t2 - t1;
  return bOk;
}

// Runs in_fn on the thread that serves the queue of in_enqueue and waits (bounded) until
// it has run. False on a refusal or time-out; in_fn must then refer to nothing that dies
// before that thread is gone.
bool runVia(const std::function<bool(ACE_Method_Request*)>& in_enqueue,
            std::function<void()> in_fn) {
  Signal signal;
  if (!in_enqueue(new FnRequest(std::move(in_fn), signal))) return false;
  return signal.wait();
}

bool runOnTask(ManageableTaskImplBase& in_task, std::function<void()> in_fn) {
  return runVia(
      [&in_task](ACE_Method_Request* in_pRequest) {
        return in_task.enqueue(in_pRequest, "bench run on task");
      },
      std::move(in_fn));
}

// Binds the calling thread to CPU in_iCpu (modulo the CPUs there are); false when refused.
bool pinThisThread(int in_iCpu) {
  const int iNumCpus = static_cast<int>(std::thread::hardware_concurrency());
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  CPU_SET(iNumCpus > 0 ? in_iCpu % iNumCpus : 0, &cpus);
  return pthread_setaffinity_np(pthread_self(), sizeof(cpus), &cpus) == 0;
}

// Binds the calling thread for its life and gives it back its CPUs at the end.
class ScopedPin {
 public:
  explicit ScopedPin(int in_iCpu) {
    m_bSaved = pthread_getaffinity_np(pthread_self(), sizeof(m_saved), &m_saved) == 0;
    m_bPinned = m_bSaved && pinThisThread(in_iCpu);
  }
  ~ScopedPin() {
    if (m_bSaved) pthread_setaffinity_np(pthread_self(), sizeof(m_saved), &m_saved);
  }
  ScopedPin(const ScopedPin&) = delete;
  ScopedPin& operator=(const ScopedPin&) = delete;
  bool pinned() const { return m_bPinned; }

 private:
  cpu_set_t m_saved;
  bool m_bSaved = false;
  bool m_bPinned = false;
};

// ---- floors ---------------------------------------------------------------------------

// A bare ACE_Activation_Queue with flow control off, served by one thread.
class AceQueueFloor {
 public:
  AceQueueFloor() : m_messageQueue(SIZE_MAX, SIZE_MAX), m_queue(&m_messageQueue) {
    m_thread = std::thread([this] { serve(); });
  }
  ~AceQueueFloor() {
    auto* pStop = new StopRequest(m_bStop);
    if (m_queue.enqueue(pStop) == -1) {
      delete pStop;
      m_messageQueue.deactivate();
    }
    m_thread.join();
  }
  AceQueueFloor(const AceQueueFloor&) = delete;
  AceQueueFloor& operator=(const AceQueueFloor&) = delete;

  bool enqueue(ACE_Method_Request* in_pRequest) {
    if (m_queue.enqueue(in_pRequest) != -1) return true;
    delete in_pRequest;
    return false;
  }
  ACE_Activation_Queue* queue() { return &m_queue; }

 private:
  class StopRequest : public ACE_Method_Request {
   public:
    explicit StopRequest(bool& io_bStop) : m_bStop(io_bStop) {}
    int call() override {
      m_bStop = true;
      return 0;
    }

   private:
    bool& m_bStop;
  };

  void serve() {
    while (!m_bStop) {
      ACE_Method_Request* pRequest = m_queue.dequeue();
      if (pRequest == nullptr) break;
      pRequest->call();
      delete pRequest;
    }
  }

  ACE_Message_Queue<ACE_MT_SYNCH> m_messageQueue;
  ACE_Activation_Queue m_queue;
  bool m_bStop = false;  // serving thread only
  std::thread m_thread;
};

// A std::deque of requests under a mutex and a condition variable, served by one thread.
class MutexQueueFloor {
 public:
  MutexQueueFloor() {
    m_thread = std::thread([this] { serve(); });
  }
  ~MutexQueueFloor() {
    enqueue(nullptr);  // the end of the work
    m_thread.join();
  }
  MutexQueueFloor(const MutexQueueFloor&) = delete;
  MutexQueueFloor& operator=(const MutexQueueFloor&) = delete;

  bool enqueue(ACE_Method_Request* in_pRequest) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_dqRequests.push_back(in_pRequest);
    }
    m_condition.notify_one();
    return true;
  }

 private:
  void serve() {
    for (;;) {
      ACE_Method_Request* pRequest = nullptr;
      {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_condition.wait(lock, [this] { return !m_dqRequests.empty(); });
        pRequest = m_dqRequests.front();
        m_dqRequests.pop_front();
      }
      if (pRequest == nullptr) return;
      pRequest->call();
      delete pRequest;
    }
  }

  std::mutex m_mutex;
  std::condition_variable m_condition;
  std::deque<ACE_Method_Request*> m_dqRequests;
  std::thread m_thread;
};

// ---- engine side ----------------------------------------------------------------------

// The user callback of the benchmark endpoints: every capacity and configure report
// arrives at the shared countdown; a capacity failure or a failed configure is counted.
class CountingCallback : public MediaEndpointCallback {
 public:
  CountingCallback(Countdown& in_countdown, std::atomic<std::uint64_t>& io_uiFailures)
      : m_countdown(in_countdown), m_uiFailures(io_uiFailures) {}

  bool setCapacity(MediaEndpoint::Direction, MediaEndpointCapacity* in_pCapacity) override {
    delete in_pCapacity;
    m_countdown.arrive();
    return true;
  }
  bool getCapacityFailure(MediaEndpoint::Direction) override {
    ++m_uiFailures;
    m_countdown.arrive();
    return true;
  }
  bool configureStatus(MediaEndpoint::Direction, EptOpStatus in_eStatus) override {
    if (in_eStatus != EPT_OP_OK) ++m_uiFailures;
    m_countdown.arrive();
    return true;
  }
  bool startStatus(MediaEndpoint::Direction, EptOpStatus) override { return true; }
  bool stopStatus(MediaEndpoint::Direction, EptOpStatus) override { return true; }
  bool notifyEvent(MediaNotificationEvent* in_pEvent) override {
    delete in_pEvent;
    return true;
  }

 private:
  Countdown& m_countdown;
  std::atomic<std::uint64_t>& m_uiFailures;
};

// A started engine task with in_lNumCalls calls of one configured endpoint each, made by
// the fake engine (whose endpoints answer at once through their callback proxies and
// count without recording). The endpoint proxies belong to the benchmark thread.
class EngineRig {
 public:
  EngineRig() {
    quietLogging();
    m_bStarted = m_task.start();
  }
  ~EngineRig() {
    m_vEndpoints.clear();
    // The proxies' destruction requests are served before this one: the calls are given
    // back before the task is killed by its destructor.
    runOnTask(m_task, [] {});
  }
  EngineRig(const EngineRig&) = delete;
  EngineRig& operator=(const EngineRig&) = delete;

  // Builds the calls and configures their endpoints. False when anything failed.
  bool build(long in_lNumCalls) {
    if (!m_bStarted) return false;
    for (long i = 0; i < in_lNumCalls; ++i) {
      char szCallId[32];
      std::snprintf(szCallId, sizeof(szCallId), "bench-call-%ld", i);
      MediaEndpoint* pEndpoint = m_task.getEndpoint(
          m_engine, new CountingCallback(m_reports, m_uiFailures), szCallId, "ept", nullptr);
      if (pEndpoint == nullptr) return false;
      m_vEndpoints.emplace_back(pEndpoint);
    }
    m_reports.expect(m_vEndpoints.size());
    for (const auto& pEndpoint : m_vEndpoints) {
      if (!pEndpoint->configure(RX, nullptr)) return false;
    }
    if (!m_reports.wait()) return false;
    return runOnTask(m_task,
                     [this] {
                       for (const auto& pLog : m_engine.createdLogs()) pLog->m_bQuiet = true;
                     }) &&
           m_uiFailures.load() == 0;
  }

  // Queues in_uiNumRequests getCapacity requests round robin over the endpoints. False
  // when one was refused.
  bool send(std::size_t in_uiNumRequests) {
    m_reports.expect(in_uiNumRequests);
    const std::size_t uiNumEndpoints = m_vEndpoints.size();
    bool bOk = true;
    for (std::size_t i = 0; i < in_uiNumRequests; ++i) {
      bOk &= m_vEndpoints[i % uiNumEndpoints]->getCapacity(RX);
    }
    return bOk;
  }
  // Waits for the last report of what send() queued; false when it did not come or a
  // capacity failed.
  bool waitReports() { return m_reports.wait() && m_uiFailures.load() == 0; }
  // send() and waitReports().
  bool stream(std::size_t in_uiNumRequests) { return send(in_uiNumRequests) && waitReports(); }
  // The same with the task thread held while the requests are queued.
  bool heldStream(std::size_t in_uiNumRequests, HeldTimes& io_times) {
    return Omvera::heldStream(
        [this](ACE_Method_Request* in_pGate) { return m_task.enqueue(in_pGate, "bench gate"); },
        [this, in_uiNumRequests] { return send(in_uiNumRequests); },
        [this] { return waitReports(); }, io_times);
  }

  MediaEngineTask& task() { return m_task; }

 private:
  // Declared before the task: the task's endpoints refer to the engine until it is gone.
  Test::FakeEngine m_engine;
  MediaEngineTask m_task;
  bool m_bStarted = false;
  Countdown m_reports;
  std::atomic<std::uint64_t> m_uiFailures{0};
  std::vector<std::unique_ptr<MediaEndpoint>> m_vEndpoints;
};

// Fails the benchmark when an assertion failed since in_ulBefore.
bool noAssertion(benchmark::State& io_state, unsigned long in_ulBefore) {
  const unsigned long ulFailed = AssertionRegistry::getCount() - in_ulBefore;
  if (ulFailed == 0) return true;
  const std::string strError = std::to_string(ulFailed) + " assertion(s) failed";
  io_state.SkipWithError(strError.c_str());
  return false;
}

// ---- 1. synchronous round trip ----------------------------------------------------------

void BM_EngineTaskRoundTrip(benchmark::State& io_state) {
  quietLogging();
  const unsigned long ulAssertBefore = AssertionRegistry::getCount();
  MediaEngineTask task;
  if (!task.start()) {
    io_state.SkipWithError("the engine task did not start");
    return;
  }
  AceQueueFloor aceFloor;
  MutexQueueFloor mutexFloor;
  Signal signal;
  enum Side { TASK, ACE_FLOOR, MUTEX_FLOOR, NUM_SIDES };
  // Where a thread wakes another decides most of a round trip (same CPU: a context switch;
  // other CPU: a cross-CPU wake-up of a possibly idle CPU) and the scheduler's choice
  // sticks to a thread, so every side gets the same placement: the caller on CPU 0, each
  // serving thread on CPU 0 (range(0) == 0) or on CPU 1.
  const int iServerCpu = static_cast<int>(io_state.range(0));
  const ScopedPin callerPin(0);
  std::atomic<int> iPinned{0};
  auto pin = [iServerCpu, &iPinned] {
    if (pinThisThread(iServerCpu)) ++iPinned;
  };
  bool bOk =
      callerPin.pinned() && runOnTask(task, pin) &&
      runVia([&](ACE_Method_Request* in_pRequest) { return aceFloor.enqueue(in_pRequest); }, pin) &&
      runVia([&](ACE_Method_Request* in_pRequest) { return mutexFloor.enqueue(in_pRequest); },
             pin) &&
      iPinned.load() == NUM_SIDES;
  if (!bOk) {
    io_state.SkipWithError("the threads could not be placed");
    return;
  }

  auto send = [&](int in_iSide) {
    auto* pRequest = new PostRequest(signal);
    switch (in_iSide) {
      case TASK:
        return task.enqueue(pRequest, "bench round trip");
      case ACE_FLOOR:
        return aceFloor.enqueue(pRequest);
      default:
        return mutexFloor.enqueue(pRequest);
    }
  };
  std::vector<double> avSamples[NUM_SIDES];
  // One timed round trip on in_iSide; false when it was lost.
  auto roundTrip = [&](int in_iSide, std::vector<double>* io_pSamples) {
    const Clock::time_point start = Clock::now();
    if (!send(in_iSide) || !signal.wait()) return false;
    const Clock::time_point end = Clock::now();
    if (io_pSamples != nullptr) io_pSamples->push_back(Nanos(end - start).count());
    return true;
  };

  for (int iSide = 0; iSide < NUM_SIDES; ++iSide) {
    for (std::size_t i = 0; i < s_uiROUND_TRIP_WARMUP; ++i) bOk &= roundTrip(iSide, nullptr);
    avSamples[iSide].reserve(s_uiROUND_TRIPS_PER_BATCH *
                             static_cast<std::size_t>(io_state.max_iterations));
  }
  int iFirst = 0;
  for (auto _ : io_state) {
    for (int iStep = 0; iStep < NUM_SIDES; ++iStep) {
      const int iSide = (iFirst + iStep) % NUM_SIDES;
      for (std::size_t i = 0; i < s_uiROUND_TRIPS_PER_BATCH && bOk; ++i) {
        bOk &= roundTrip(iSide, &avSamples[iSide]);
      }
    }
    iFirst = (iFirst + 1) % NUM_SIDES;
  }
  if (!bOk) {
    io_state.SkipWithError("a round trip was refused or not served in time");
    return;
  }
  if (!noAssertion(io_state, ulAssertBefore)) return;

  double adP50[NUM_SIDES];
  double adP99[NUM_SIDES];
  for (int iSide = 0; iSide < NUM_SIDES; ++iSide) {
    adP50[iSide] = toMicros(quantile(avSamples[iSide], 0.50));
    adP99[iSide] = toMicros(quantile(avSamples[iSide], 0.99));
  }
  io_state.SetItemsProcessed(io_state.iterations() * s_uiROUND_TRIPS_PER_BATCH * NUM_SIDES);
  io_state.counters["task_p50_us"] = adP50[TASK];
  io_state.counters["task_p99_us"] = adP99[TASK];
  io_state.counters["ace_p50_us"] = adP50[ACE_FLOOR];
  io_state.counters["ace_p99_us"] = adP99[ACE_FLOOR];
  io_state.counters["mutex_p50_us"] = adP50[MUTEX_FLOOR];
  io_state.counters["mutex_p99_us"] = adP99[MUTEX_FLOOR];
  io_state.counters["p50_vs_ace"] = ratio(adP50[TASK], adP50[ACE_FLOOR]);
  io_state.counters["p99_vs_ace"] = ratio(adP99[TASK], adP99[ACE_FLOOR]);
  io_state.counters["p50_vs_mutex"] = ratio(adP50[TASK], adP50[MUTEX_FLOOR]);
  io_state.counters["p99_vs_mutex"] = ratio(adP99[TASK], adP99[MUTEX_FLOOR]);
}
// The cross-CPU placement takes fewer batches: on a loaded machine each of its round trips
// may wait for another process to leave the serving CPU.
BENCHMARK(BM_EngineTaskRoundTrip)
    ->ArgName("server_cpu")
    ->Arg(0)
    ->Iterations(s_lROUND_TRIP_BATCHES)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineTaskRoundTrip)
    ->ArgName("server_cpu")
    ->Arg(1)
    ->Iterations(s_lROUND_TRIP_BATCHES_CROSS_CPU)
    ->Unit(benchmark::kMillisecond);

// ---- 2. pipelined requests through an endpoint proxy -------------------------------------

void BM_EngineTaskPipeline(benchmark::State& io_state) {
  const unsigned long ulAssertBefore = AssertionRegistry::getCount();
  EngineRig rig;
  if (!rig.build(1)) {
    io_state.SkipWithError("the endpoint could not be built and configured");
    return;
  }
  AceQueueFloor aceFloor;
  Countdown floorArrivals;
  // Queues in_iHops-hop requests to the ACE floor; waits for the last one.
  auto sendFloor = [&](int in_iHops) {
    floorArrivals.expect(s_uiPIPELINE_REQUESTS);
    bool bOk = true;
    for (std::size_t i = 0; i < s_uiPIPELINE_REQUESTS; ++i) {
      bOk &= aceFloor.enqueue(new HopRequest(floorArrivals, aceFloor.queue(), in_iHops));
    }
    return bOk;
  };
  auto waitFloor = [&] { return floorArrivals.wait(); };
  auto enqueueFloorGate = [&](ACE_Method_Request* in_pGate) { return aceFloor.enqueue(in_pGate); };
  auto heldFloor = [&](int in_iHops, HeldTimes& io_times) {
    return heldStream(
        enqueueFloorGate, [&] { return sendFloor(in_iHops); }, waitFloor, io_times);
  };

  HeldTimes warmUp;
  bool bOk = rig.stream(s_uiPIPELINE_REQUESTS) && sendFloor(2) && waitFloor() &&
             rig.heldStream(s_uiPIPELINE_REQUESTS, warmUp) && heldFloor(1, warmUp);
  HeldTimes heldTask;
  HeldTimes heldTwoHop;
  HeldTimes heldOneHop;
  Clock::duration freeTask{};
  Clock::duration freeTwoHop{};
  for (auto _ : io_state) {
    bOk &= rig.heldStream(s_uiPIPELINE_REQUESTS, heldTask);
    bOk &= heldFloor(2, heldTwoHop);
    bOk &= heldFloor(1, heldOneHop);
    const Clock::time_point t0 = Clock::now();
    bOk &= rig.stream(s_uiPIPELINE_REQUESTS);
    const Clock::time_point t1 = Clock::now();
    bOk &= sendFloor(2) && waitFloor();
    const Clock::time_point t2 = Clock::now();
    freeTask += t1 - t0;
    freeTwoHop += t2 - t1;
  }
  if (!bOk) {
    io_state.SkipWithError("a request was refused, failed or not answered in time");
    return;
  }
  if (!noAssertion(io_state, ulAssertBefore)) return;

  const double dRequests = static_cast<double>(io_state.iterations()) * s_uiPIPELINE_REQUESTS;
  auto perRequest = [dRequests](Clock::duration in_time) {
    return Nanos(in_time).count() / dRequests;
  };
  const double dTask = perRequest(heldTask.m_queueing + heldTask.m_serving);
  const double dTwoHop = perRequest(heldTwoHop.m_queueing + heldTwoHop.m_serving);
  const double dOneHop = perRequest(heldOneHop.m_queueing + heldOneHop.m_serving);
  io_state.SetItemsProcessed(io_state.iterations() * s_uiPIPELINE_REQUESTS * 5);
  io_state.counters["task_queue_ns"] = perRequest(heldTask.m_queueing);
  io_state.counters["task_serve_ns"] = perRequest(heldTask.m_serving);
  io_state.counters["task_ns_per_req"] = dTask;
  io_state.counters["ace2_queue_ns"] = perRequest(heldTwoHop.m_queueing);
  io_state.counters["ace2_serve_ns"] = perRequest(heldTwoHop.m_serving);
  io_state.counters["ace2_ns_per_req"] = dTwoHop;
  io_state.counters["ace1_ns_per_req"] = dOneHop;
  io_state.counters["ratio_per_request"] = ratio(dTask, dTwoHop);
  io_state.counters["ratio_per_hop"] = ratio(dTask / 2.0, dOneHop);
  io_state.counters["free_task_ns_per_req"] = perRequest(freeTask);
  io_state.counters["free_ace2_ns_per_req"] = perRequest(freeTwoHop);
  io_state.counters["free_ratio_per_request"] = ratio(perRequest(freeTask), perRequest(freeTwoHop));
}
BENCHMARK(BM_EngineTaskPipeline)->Iterations(s_lPIPELINE_BATCHES)->Unit(benchmark::kMillisecond);

// ---- 3. timers --------------------------------------------------------------------------

// Never fires here: every deadline is far away or cancelled.
class IdleProcessor : public TimeoutProcessor {
 public:
  bool processTimeout(const ACE_Time_Value&, const TimeoutData*) override { return true; }
};

class IdleHandler : public ACE_Event_Handler {
 public:
  int handle_timeout(const ACE_Time_Value&, const void*) override { return 0; }
};

// The deadlines of the background timers start here and are 1 ms apart; the measured timer
// is armed halfway through them.
const ACE_Time_Value s_BACKGROUND_BASE(1000, 0);
ACE_Time_Value backgroundDelay(long in_lIndex) {
  return s_BACKGROUND_BASE + ACE_Time_Value(0, 1000 * (in_lIndex % 1000)) +
         ACE_Time_Value(in_lIndex / 1000, 0);
}
ACE_Time_Value measuredDelay(long in_lNumArmed) {
  return in_lNumArmed > 0 ? backgroundDelay(in_lNumArmed / 2) + ACE_Time_Value(0, 500)
                          : s_BACKGROUND_BASE;
}

// in_uiPairs arm+cancel pairs on the task; time in ns, or a negative value on a failure.
double taskTimerPairs(StaticReactorTaskImpl& in_task, TimeoutProcessor& in_processor,
                      const TimeoutData& in_data, const ACE_Time_Value& in_delay,
                      std::size_t in_uiPairs) {
  bool bOk = true;
  const Clock::time_point start = Clock::now();
  for (std::size_t i = 0; i < in_uiPairs; ++i) {
    const long lId = in_task.scheduleTimer(&in_processor, &in_data, in_delay);
    bOk &= lId != -1 && in_task.cancelTimer(lId, &in_data);
  }
  const double dNs = Nanos(Clock::now() - start).count();
  return bOk ? dNs : -1.0;
}

// The same on the timer floor: read the heap's clock, schedule, cancel.
double heapTimerPairs(ACE_Timer_Heap& in_heap, IdleHandler& in_handler, const void* in_pAct,
                      const ACE_Time_Value& in_delay, std::size_t in_uiPairs) {
  bool bOk = true;
  const Clock::time_point start = Clock::now();
  for (std::size_t i = 0; i < in_uiPairs; ++i) {
    const long lId = in_heap.schedule(&in_handler, in_pAct, in_heap.gettimeofday() + in_delay);
    bOk &= lId != -1 && in_heap.cancel(lId) == 1;
  }
  const double dNs = Nanos(Clock::now() - start).count();
  return bOk ? dNs : -1.0;
}

// range(0): 1 arms on the task thread, 0 from the benchmark thread; range(1): timers
// armed besides the measured one.
void BM_EngineTaskTimers(benchmark::State& io_state) {
  quietLogging();
  const unsigned long ulAssertBefore = AssertionRegistry::getCount();
  const bool bOnTaskThread = io_state.range(0) != 0;
  const long lNumArmed = io_state.range(1);
  // Declared before the task and the heap, which refer to them while timers are armed.
  IdleProcessor processor;
  TimeoutData backgroundData;
  TimeoutData measuredData;
  IdleHandler handler;
  StaticReactorTaskImpl task;
  if (!task.start()) {
    io_state.SkipWithError("the task did not start");
    return;
  }
  ACE_Timer_Heap heap;
  int iAct = 0;
  bool bOk = true;
  const ACE_Time_Value heapNow = heap.gettimeofday();
  for (long i = 0; i < lNumArmed; ++i) {
    bOk &= task.scheduleTimer(&processor, &backgroundData, backgroundDelay(i)) != -1;
    bOk &= heap.schedule(&handler, &iAct, heapNow + backgroundDelay(i)) != -1;
  }
  const ACE_Time_Value delay = measuredDelay(lNumArmed);

  double dTaskNs = 0;
  double dHeapNs = 0;
  // One batch of each side on the calling thread, the task's first.
  auto batch = [&] {
    const double dTask =
        taskTimerPairs(task, processor, measuredData, delay, s_uiTIMER_PAIRS_PER_BATCH);
    const double dHeap = heapTimerPairs(heap, handler, &iAct, delay, s_uiTIMER_PAIRS_PER_BATCH);
    bOk &= dTask >= 0 && dHeap >= 0;
    dTaskNs += dTask;
    dHeapNs += dHeap;
  };
  // Runs one batch where the arming happens; a batch from the benchmark thread ends with
  // a round trip, so that the task thread has served its wake-ups before the next one.
  auto runBatch = [&] {
    return bOnTaskThread ? runOnTask(task, batch) : (batch(), runOnTask(task, [] {}));
  };
  bOk &= runBatch();  // warm-up
  dTaskNs = 0;
  dHeapNs = 0;
  for (auto _ : io_state) bOk &= runBatch();
  bOk &= task.numArmedTimers() == static_cast<std::size_t>(lNumArmed);
  if (!bOk) {
    io_state.SkipWithError("a timer could not be armed or cancelled");
    return;
  }
  if (!noAssertion(io_state, ulAssertBefore)) return;

  const double dPairs = static_cast<double>(io_state.iterations()) * s_uiTIMER_PAIRS_PER_BATCH;
  io_state.SetItemsProcessed(io_state.iterations() * s_uiTIMER_PAIRS_PER_BATCH);
  io_state.counters["task_ns_per_pair"] = dTaskNs / dPairs;
  io_state.counters["heap_ns_per_pair"] = dHeapNs / dPairs;
  io_state.counters["ratio_vs_heap"] = ratio(dTaskNs, dHeapNs);
}
BENCHMARK(BM_EngineTaskTimers)
    ->ArgNames({"task_thread", "armed"})
    ->Args({1, 0})
    ->Args({1, s_lARMED_TIMERS})
    ->Args({0, 0})
    ->Args({0, s_lARMED_TIMERS})
    ->Iterations(s_lTIMER_BATCHES)
    ->Unit(benchmark::kMillisecond);

// ---- 4. cost per request against the number of calls ---------------------------------------

void BM_EngineTaskCallScale(benchmark::State& io_state) {
  const unsigned long ulAssertBefore = AssertionRegistry::getCount();
  EngineRig small;
  EngineRig large;
  if (!small.build(s_lSMALL_SCALE) || !large.build(s_lLARGE_SCALE)) {
    io_state.SkipWithError("the calls could not be built and configured");
    return;
  }
  HeldTimes warmUp;
  bool bOk =
      small.heldStream(s_uiSCALE_REQUESTS, warmUp) && large.heldStream(s_uiSCALE_REQUESTS, warmUp);
  HeldTimes smallTimes;
  HeldTimes largeTimes;
  for (auto _ : io_state) {
    bOk &= small.heldStream(s_uiSCALE_REQUESTS, smallTimes);
    bOk &= large.heldStream(s_uiSCALE_REQUESTS, largeTimes);
  }
  if (!bOk) {
    io_state.SkipWithError("a request was refused, failed or not answered in time");
    return;
  }
  if (!noAssertion(io_state, ulAssertBefore)) return;

  const double dRequests = static_cast<double>(io_state.iterations()) * s_uiSCALE_REQUESTS;
  auto perRequest = [dRequests](Clock::duration in_time) {
    return Nanos(in_time).count() / dRequests;
  };
  const double dSmallNs = perRequest(smallTimes.m_queueing + smallTimes.m_serving);
  const double dLargeNs = perRequest(largeTimes.m_queueing + largeTimes.m_serving);
  io_state.SetItemsProcessed(io_state.iterations() * 2 * s_uiSCALE_REQUESTS);
  io_state.counters["ns_per_req_10"] = dSmallNs;
  io_state.counters["ns_per_req_10000"] = dLargeNs;
  io_state.counters["serve_ns_10"] = perRequest(smallTimes.m_serving);
  io_state.counters["serve_ns_10000"] = perRequest(largeTimes.m_serving);
  io_state.counters["cost_ratio_10000_10"] = ratio(dLargeNs, dSmallNs);
}
BENCHMARK(BM_EngineTaskCallScale)->Iterations(s_lSCALE_BATCHES)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace Omvera
