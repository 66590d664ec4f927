#pragma once
// A media engine for end-to-end tests whose endpoints do their work on a thread of the
// engine's own, as a real engine does: each capacity, configure, start and stop request an
// endpoint accepts is answered through the endpoint's callback proxy from the engine
// thread, after a delay the test chooses, measured by that thread's real timers.
//
// What an endpoint does with a request is its Behaviour for that request kind: answer once
// (the default), answer twice, refuse (answer false at once on the engine task thread, no
// report follows), or accept and never answer. The engine has one behaviour per kind; a
// test may set other behaviours for the endpoints of a given endpoint ID. An endpoint takes
// its behaviours when it is created.
//
// Threads and ownership.
// - The engine owns its engine thread, started by the constructor and stopped (its pending
//   answers dropped) by the destructor. The engine outlives the engine task that uses it
//   (declare it first) and every endpoint it created.
// - createEngineEndpoint, deliverPeerData and every request of a TestEngineEndpoint run on
//   the engine task thread (the library calls them there).
// - An endpoint owns its callback proxy. Its answers go out on the engine thread only.
//   Deleting the endpoint (engine task thread) cancels its answers still pending: once its
//   destructor has returned, the engine thread never touches the endpoint or its callback
//   proxy again. An answer that the engine thread is sending at that moment is finished
//   first (the destructor waits for it).
// - Behaviour setters and the counts may be used from any thread.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "support/FakeEngine.h"
#include "tidewave/MediaEndpoint.h"
#include "tidewave/MediaEngineEndpoint.h"
#include "tidewave/MediaEngineImpl.h"
#include "tidewave/infra/Task.h"
#include "tidewave/infra/TimerScheduler.h"

namespace Omvera {
namespace Test {

// How an endpoint treats one kind of request (Op::CAPACITY, CONFIGURE, START or STOP).
struct Behaviour {
  enum Answer { ONCE, TWICE, REFUSE, NEVER };

  Answer m_eAnswer = ONCE;
  // From the request to the answer (to each of the two answers for TWICE).
  std::chrono::milliseconds m_delay{0};
  // The status answered; a capacity request answered EPT_OP_OK gets setCapacity with no
  // record, EPT_OP_FAILED getCapacityFailure.
  MediaEndpointCallback::EptOpStatus m_eStatus = MediaEndpointCallback::EPT_OP_OK;
};

// The engine's counts since construction. Any thread.
struct TestEngineCounts {
  std::uint64_t m_ullRequests = 0;         // capacity, configure, start, stop received
  std::uint64_t m_ullRefused = 0;          // of those, answered false
  std::uint64_t m_ullAnswersScheduled = 0; // answers armed on the engine thread
  std::uint64_t m_ullAnswersSent = 0;      // answers handed to a callback proxy
  std::uint64_t m_ullAnswersCancelled = 0; // answers dropped because their endpoint was gone
  std::uint64_t m_ullEndpointsCreated = 0;
  std::uint64_t m_ullEndpointsAlive = 0;
};

class TestEngine;

// The link between an endpoint and its pending answers: the callback proxy while the
// endpoint lives, null afterwards. Shared by the endpoint and its answers, so it outlives
// both; m_mutex is held while an answer is sent and while the endpoint lets go.
struct TestEndpointLink {
  std::mutex m_mutex;
  MediaEngineEndpointCallback* m_pCallback = nullptr;  // owned by the endpoint
};

// An endpoint of a TestEngine. Engine task thread only (see the top of this file).
class TestEngineEndpoint : public MediaEngineEndpointImpl {
 public:
  // Takes ownership of in_pSpec and in_pCallback.
  TestEngineEndpoint(TestEngine& in_engine, MediaEndpointSpec* in_pSpec, const char* in_szEptId,
                     MediaEngineEndpointCallback* in_pCallback, const Behaviour* in_aBehaviours);
  // Cancels the pending answers and deletes the callback proxy.
  ~TestEngineEndpoint() override;
  TestEngineEndpoint(const TestEngineEndpoint&) = delete;
  TestEngineEndpoint& operator=(const TestEngineEndpoint&) = delete;

  using MediaEngineEndpointNoT::configure;
  using MediaEngineEndpointNoT::start;

  bool getCapacity(Direction in_eDirection) override;
  bool configure(Direction in_eDirection, MediaEndpointConfig* in_pConfig) override;
  bool start(Direction in_eDirection) override;
  bool stop(Direction in_eDirection) override;

 private:
  bool request(Op in_eOp, Direction in_eDirection);

  TestEngine& m_engine;
  std::shared_ptr<TestEndpointLink> m_pLink;
  Behaviour m_aBehaviours[4];
};

class TestEngine : public MediaEngineGetEndpointImpl {
 public:
  // Starts the engine thread.
  TestEngine();
  // Stops the engine thread and waits for it; answers still pending are dropped.
  ~TestEngine() override;
  TestEngine(const TestEngine&) = delete;
  TestEngine& operator=(const TestEngine&) = delete;

  // The behaviour for requests of in_eOp of endpoints created from now on; with
  // in_strEptId, only for endpoints of that ID (overrides the engine's). Any thread.
  void setBehaviour(Op in_eOp, const Behaviour& in_behaviour);
  void setBehaviour(const std::string& in_strEptId, Op in_eOp, const Behaviour& in_behaviour);

  TestEngineCounts counts() const;

  // Engine task thread.
  MediaEngineEndpointNoT* createEngineEndpoint(const char* in_szCallId, unsigned long in_uiEptIndex,
                                               MediaEngEptCallbackProxy* in_pCallback,
                                               MediaEndpointSpec* in_pSpec,
                                               const char* in_szEptId) override;
  // Accepts and ignores the data.
  bool deliverPeerData(MediaEngineEndpointNoT& in_engineEndpoint,
                       MediaEndpoint::Direction in_eDirection,
                       const MediaPeerData& in_peerData) override;

 private:
  friend class TestEngineEndpoint;
  class EngineThread;
  struct PendingAnswer;

  // Arms the answer to in_eOp for in_eDirection on the engine thread. Any thread.
  void scheduleAnswer(const std::shared_ptr<TestEndpointLink>& in_pLink, Op in_eOp,
                      MediaEndpoint::Direction in_eDirection, const Behaviour& in_behaviour);
  // Disarms every answer pending for in_pLink whose timer has not fired; those firing
  // right now find the link empty. Any thread.
  void cancelAnswers(const TestEndpointLink* in_pLink);
  // The timer of in_pData fired: sends its answer unless its endpoint is gone. Engine thread.
  void answerDue(const TimeoutData* in_pData);

  std::unique_ptr<EngineThread> m_pThread;

  mutable std::mutex m_behaviourMutex;
  Behaviour m_aBehaviours[4];
  std::map<std::string, std::map<int, Behaviour>> m_eptBehaviours;

  std::mutex m_pendingMutex;  // guards m_pending
  std::map<const TimeoutData*, std::unique_ptr<PendingAnswer>> m_pending;

  std::atomic<std::uint64_t> m_ullRequests{0};
  std::atomic<std::uint64_t> m_ullRefused{0};
  std::atomic<std::uint64_t> m_ullAnswersScheduled{0};
  std::atomic<std::uint64_t> m_ullAnswersSent{0};
  std::atomic<std::uint64_t> m_ullAnswersCancelled{0};
  std::atomic<std::uint64_t> m_ullEndpointsCreated{0};
  std::atomic<std::uint64_t> m_ullEndpointsAlive{0};
};

}  // namespace Test
}  // namespace Omvera
