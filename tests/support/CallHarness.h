#pragma once
// Drives one real MediaCallSM by hand, on the test's thread, as the engine task would:
// user requests arrive as the endpoint proxy builds them (proxy events under the endpoint
// proxy's key), engine answers as the engine endpoint callback proxy builds them (under the
// callback proxy's key), timeouts come from a ManualTimerScheduler moved by the test.
// Endpoints are FakeEngineEndpoints of FakeEngines, users are RecordingCallbacks; their logs
// outlive them.
//
// The harness also keeps the books of the endpoint contract: every user request (configure,
// start, stop, capacity) must end in exactly one report for its direction, unless the
// endpoint was torn down after the request (destroy, stopCall, killCall), which may end it
// without one; a report nobody asked for is allowed only after a teardown.
// contractViolations() lists what broke it.
//
// One thread; not copyable. Declaration order is destruction order in reverse: the call is
// reset and released before the task, the engines and the scheduler go.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "support/FakeEngine.h"
#include "support/NullCallContainer.h"
#include "tidewave/CountedObjPtr.h"
#include "tidewave/MediaCallSM.h"
#include "tidewave/MediaEngineTask.h"
#include "tidewave/infra/ManualTimerScheduler.h"

namespace Omvera {
namespace Test {

class CallHarness : public AutoAnswerSink {
 public:
  static constexpr MediaEndpoint::Direction RX = MediaEndpoint::RX_DIRECTION;
  static constexpr MediaEndpoint::Direction TX = MediaEndpoint::TX_DIRECTION;
  static constexpr MediaEndpoint::Direction RXTX = MediaEndpoint::RXTX_DIRECTION;
  static constexpr MediaEndpointCallback::EptOpStatus OK = MediaEndpointCallback::EPT_OP_OK;
  static constexpr MediaEndpointCallback::EptOpStatus FAILED = MediaEndpointCallback::EPT_OP_FAILED;

  // in_bQuiet: logs count only (for benchmarks); the contract books are not kept.
  explicit CallHarness(const std::string& in_strCallId = "call-1", bool in_bQuiet = false);
  ~CallHarness() override;
  CallHarness(const CallHarness&) = delete;
  CallHarness& operator=(const CallHarness&) = delete;

  MediaCallSM& call() { return *m_pCall; }
  // Gives the call back as the call pool would (reset(): endpoints not yet final are
  // killed, all return to the task's endpoint pool) and initialises it again with the same
  // ID and task, so that the next endpoint added gets index 0 again. The harness forgets
  // its endpoint records and queued answers: references from engineLog(), callbackLog()
  // and engineEndpoint() taken before are invalid afterwards. The harness's own lists keep
  // their storage.
  void reuse();
  MediaEngineTask& task() { return *m_pTask; }
  ManualTimerScheduler& timers() { return m_timers; }
  // Engine number in_uiEngine (created on first use).
  FakeEngine& engine(std::size_t in_uiEngine = 0);

  // Adds an endpoint made by engine in_uiEngine with ID in_strEptId and spec in_pSpec
  // (owned; null: send-receive). Returns its index (the index it would have had when the
  // call refused it); out_pAdded gets addEndpoint's answer.
  unsigned long add(const std::string& in_strEptId, MediaEndpointSpec* in_pSpec = nullptr,
                    std::size_t in_uiEngine = 0, bool* out_pAdded = nullptr);
  unsigned long addRedirect(const std::string& in_strEptId, const std::string& in_strForEptId,
                            std::size_t in_uiEngine = 0);
  unsigned long addFork(const std::string& in_strEptId, const std::string& in_strForEptId,
                        std::size_t in_uiEngine = 0);
  std::size_t numAdded() const { return m_vEndpoints.size(); }

  // What endpoint in_uiIndex's engine endpoint was asked and its user was told.
  const EngineLog& engineLog(unsigned long in_uiIndex) const;
  const CallbackLog& callbackLog(unsigned long in_uiIndex) const;
  // The fake engine endpoint, null once it was deleted.
  FakeEngineEndpoint* engineEndpoint(unsigned long in_uiIndex);
  // The current state name of one side.
  std::string state(unsigned long in_uiIndex, MediaEndpoint::Direction in_eDirection) const;
  // The call's endpoint record.
  MediaCallSMEndpoint& endpoint(unsigned long in_uiIndex) const;

  // User requests, as the endpoint proxy sends them; each returns the call's answer.
  bool configure(unsigned long in_uiIndex, MediaEndpoint::Direction in_eDirection,
                 MediaEndpointConfig* in_pConfig = nullptr);
  bool start(unsigned long in_uiIndex, MediaEndpoint::Direction in_eDirection);
  bool stop(unsigned long in_uiIndex, MediaEndpoint::Direction in_eDirection);
  bool getCapacity(unsigned long in_uiIndex, MediaEndpoint::Direction in_eDirection);
  bool outOfBand(unsigned long in_uiIndex, int in_iCode);
  // The endpoint proxy's destruction (eMEDIA_PROXY_DTOR, RXTX_DIRECTION): a teardown.
  bool destroy(unsigned long in_uiIndex);
  // The engine task's stop and kill of the call: teardowns of every endpoint.
  bool stopCall();
  bool killCall();

  // Engine reports, as the engine endpoint callback proxy sends them.
  bool configureStatus(unsigned long in_uiIndex, MediaEndpoint::Direction in_eDirection,
                       MediaEndpointCallback::EptOpStatus in_eStatus = OK);
  bool startStatus(unsigned long in_uiIndex, MediaEndpoint::Direction in_eDirection,
                   MediaEndpointCallback::EptOpStatus in_eStatus = OK);
  bool stopStatus(unsigned long in_uiIndex, MediaEndpoint::Direction in_eDirection,
                  MediaEndpointCallback::EptOpStatus in_eStatus = OK);
  // Takes ownership of in_pCapacity.
  bool setCapacity(unsigned long in_uiIndex, MediaEndpoint::Direction in_eDirection,
                   MediaEndpointCapacity* in_pCapacity);
  bool capacityFailure(unsigned long in_uiIndex, MediaEndpoint::Direction in_eDirection);
  // Takes ownership of in_pEvent; the event's direction is the notification's.
  bool notify(unsigned long in_uiIndex, MediaNotificationEvent* in_pEvent);
  // Takes ownership of in_pPeerData.
  bool sendPeerData(unsigned long in_uiIndex, MediaEndpoint::Direction in_eDirection,
                    MediaPeerData* in_pPeerData);

  // Any event, straight to the call; then the queued automatic answers.
  bool deliver(const MediaEvent& in_event);
  // Moves the manual clock; returns the number of timers fired.
  std::size_t advanceMs(long in_lMilliseconds);

  // Endpoint in_uiIndex's engine endpoint answers every accepted request at once (queued
  // behind the event being processed) with in_eStatus.
  void setAutoAnswer(unsigned long in_uiIndex, MediaEndpointCallback::EptOpStatus in_eStatus = OK);
  // AutoAnswerSink: queues the answer.
  void autoAnswer(unsigned long in_uiEptIndex, Test::Op in_eOp, MediaEndpoint::Direction in_eDirection,
                  MediaEndpointCallback::EptOpStatus in_eStatus) override;

  // The proxy data of endpoint in_uiIndex's endpoint proxy and callback proxy.
  TaskObjectProxyData<MediaCallSM> eptProxyData(unsigned long in_uiIndex) const;
  TaskObjectProxyData<MediaCallSM> callbackProxyData(unsigned long in_uiIndex) const;

  // The books: one line per broken rule, empty when the contract held. Also checks that
  // the call never counted more final endpoints than it has.
  std::vector<std::string> contractViolations() const;

 private:
  struct Issued {
    Op m_eOp;
    MediaEndpoint::Direction m_eDirection;
    std::size_t m_uiReportsBefore;  // reports the user had when the request was issued
    bool m_bTornDownAfter;
  };
  struct Endpoint {
    std::string m_strEptId;
    std::shared_ptr<EngineLog> m_pEngineLog;
    std::shared_ptr<CallbackLog> m_pCallbackLog;
    FakeEngineEndpoint* m_pEngineEndpoint;  // valid while the log says not destroyed
    std::vector<Issued> m_vIssued;
    // Reports made before the first teardown, and whether one happened.
    bool m_bTornDown = false;
    std::size_t m_uiReportsAtTeardown = 0;
  };
  struct Answer {
    unsigned long m_uiIndex;
    Op m_eOp;
    MediaEndpoint::Direction m_eDirection;
    MediaEndpointCallback::EptOpStatus m_eStatus;
  };

  bool userRequest(unsigned long in_uiIndex, Op in_eOp, MediaEndpoint::Direction in_eDirection,
                   const MediaEvent& in_event);
  void tearDown(unsigned long in_uiIndex);
  bool opStatus(unsigned long in_uiIndex, MediaEvent::Type in_eType,
                MediaEndpoint::Direction in_eDirection,
                MediaEndpointCallback::EptOpStatus in_eStatus);
  void drainAnswers();
  void checkCount();

  const bool m_bQuiet;
  const std::string m_strCallId;
  ManualTimerScheduler m_timers;
  std::vector<std::unique_ptr<FakeEngine>> m_vEngines;
  std::unique_ptr<MediaEngineTask> m_pTask;
  NullCallContainer m_eptContainer;
  NullCallContainer m_callbackContainer;
  CountedObjPtr<MediaCallSM> m_pCall;
  std::vector<Endpoint> m_vEndpoints;
  std::vector<Answer> m_vAnswers;  // FIFO from m_uiNextAnswer; storage reused
  std::size_t m_uiNextAnswer = 0;
  bool m_bDraining = false;
  bool m_bCountExceeded = false;
};

}  // namespace Test
}  // namespace Omvera
