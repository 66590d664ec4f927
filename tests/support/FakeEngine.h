#pragma once
// A fake engine, its fake engine endpoints and a recording user callback, for tests and
// benchmarks that drive calls by hand on one thread.
//
// - FakeEngineEndpoint records every request the state machines make (capacity, configure
//   with its configuration and call data snapshot, start with its snapshot, stop,
//   out-of-band, peer notifications, peer data delivered through its engine) in an
//   EngineLog that outlives it, accepts or refuses each kind of request as told, and
//   answers only when told to (CallHarness builds the answers as the engine endpoint
//   callback proxy will: events carrying the endpoint's callback proxy data). With an
//   auto-answer status it hands every accepted request to its AutoAnswerSink instead.
// - FakeEngine creates fake endpoints and records the peer data it is asked to deliver in
//   the receiving endpoint's log.
// - RecordingCallback records every report in a CallbackLog that outlives it.
//
// One thread (the test's). A "quiet" log counts without keeping texts or snapshots, so
// that a benchmark measures the library, not the recording.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "tidewave/MediaCallData.h"
#include "tidewave/MediaEndpoint.h"
#include "tidewave/MediaEngineEndpoint.h"
#include "tidewave/MediaEngineImpl.h"

namespace Omvera {
namespace Test {

// A request kind of an engine endpoint, and of the user's reports.
enum class Op { CAPACITY, CONFIGURE, START, STOP, OUT_OF_BAND, PEER_EVENT, PEER_DATA };
const char* opName(Op in_eOp);

// One request an engine endpoint received.
struct EngineRequest {
  Op m_eOp;
  MediaEndpoint::Direction m_eDirection;
  bool m_bAccepted;
  // CONFIGURE: the configuration's text ("" without one); PEER_EVENT: the notification's
  // text; PEER_DATA: "timeslot=<n>" for CT-bus peer data, else "other"; OUT_OF_BAND: the
  // code in decimal.
  std::string m_strDetail;
  // CONFIGURE and START: a copy of the snapshot the request carried.
  MediaCallData m_callData;
};

// What one engine endpoint was asked. Shared between the endpoint and the test, so it
// outlives the endpoint.
struct EngineLog {
  std::vector<EngineRequest> m_vRequests;
  // Requests of each kind, also in quiet mode.
  std::size_t m_auiCount[7] = {0, 0, 0, 0, 0, 0, 0};
  bool m_bQuiet = false;
  bool m_bDestroyed = false;

  std::size_t count(Op in_eOp) const { return m_auiCount[static_cast<int>(in_eOp)]; }
  // The requests as "<op> <DIR>[ <detail>]" lines, e.g. "start TX_DIRECTION".
  std::vector<std::string> lines() const;
  // The last request of in_eOp; null when none.
  const EngineRequest* last(Op in_eOp) const;
};

// Receives the requests of endpoints set to answer on their own (see setAutoAnswer).
class AutoAnswerSink {
 public:
  virtual ~AutoAnswerSink() = default;
  virtual void autoAnswer(unsigned long in_uiEptIndex, Op in_eOp,
                          MediaEndpoint::Direction in_eDirection,
                          MediaEndpointCallback::EptOpStatus in_eStatus) = 0;
};

class FakeEngineEndpoint : public MediaEngineEndpointImpl {
 public:
  // Takes ownership of in_pSpec. in_uiEptIndex is the endpoint's index in its call.
  FakeEngineEndpoint(MediaEndpointSpec* in_pSpec, const char* in_szEptId,
                     unsigned long in_uiEptIndex, std::shared_ptr<EngineLog> in_pLog);
  ~FakeEngineEndpoint() override;

  using MediaEngineEndpointNoT::configure;
  using MediaEngineEndpointNoT::start;

  // Requests of in_eOp answer false from now on (true: accepted again).
  void refuse(Op in_eOp, bool in_bRefuse = true) { m_abRefuse[static_cast<int>(in_eOp)] = in_bRefuse; }
  // Every accepted capacity, configure, start and stop request is handed to in_pSink with
  // in_eStatus (null sink: answer only when told).
  void setAutoAnswer(AutoAnswerSink* in_pSink,
                     MediaEndpointCallback::EptOpStatus in_eStatus = MediaEndpointCallback::EPT_OP_OK) {
    m_pAutoAnswerSink = in_pSink;
    m_eAutoStatus = in_eStatus;
  }

  bool getCapacity(Direction in_eDirection) override;
  bool configure(Direction in_eDirection, MediaEndpointConfig* in_pConfig,
                 const MediaCallData& in_callData) override;
  bool start(Direction in_eDirection, const MediaCallData& in_callData) override;
  bool stop(Direction in_eDirection) override;
  bool handleOutOfBandEvent(int in_iEvent) override;
  bool notifyPeerEvent(MediaNotificationEvent* in_pEvent) override;

  // Called by FakeEngine::deliverPeerData.
  void peerDataDelivered(Direction in_eDirection, const MediaPeerData& in_peerData);

  // Takes ownership of the endpoint's callback (the engine task's callback proxy); unless
  // in_bSilent, every accepted capacity, configure, start and stop request is answered at
  // once through it with in_eStatus from now on.
  void answerThroughCallback(MediaEngineEndpointCallback* in_pCallback,
                             MediaEndpointCallback::EptOpStatus in_eStatus, bool in_bSilent);
  // The callback given to answerThroughCallback (null before); engine task thread.
  MediaEngineEndpointCallback* callback() const { return m_pCallback.get(); }

 private:
  bool record(Op in_eOp, Direction in_eDirection, std::string in_strDetail,
              const MediaCallData* in_pCallData);

  unsigned long m_uiEptIndex;
  std::shared_ptr<EngineLog> m_pLog;
  bool m_abRefuse[7] = {false, false, false, false, false, false, false};
  AutoAnswerSink* m_pAutoAnswerSink = nullptr;
  MediaEndpointCallback::EptOpStatus m_eAutoStatus = MediaEndpointCallback::EPT_OP_OK;
  std::unique_ptr<MediaEngineEndpointCallback> m_pCallback;
  bool m_bSilent = false;
};

// An engine whose endpoints are FakeEngineEndpoints. Endpoints it creates for the engine
// task (createEngineEndpoint) answer every accepted request at once through their
// callback proxy; each gets a log of its own, kept by the engine. Engine task thread only.
class FakeEngine : public MediaEngineGetEndpointImpl {
 public:
  FakeEngine() = default;
  ~FakeEngine() override;

  MediaEngineEndpointNoT* createEngineEndpoint(const char* in_szCallId, unsigned long in_uiEptIndex,
                                               MediaEngEptCallbackProxy* in_pCallback,
                                               MediaEndpointSpec* in_pSpec,
                                               const char* in_szEptId) override;
  // Records the delivery in the receiving fake endpoint's log (other endpoints: ignored).
  bool deliverPeerData(MediaEngineEndpointNoT& in_engineEndpoint,
                       MediaEndpoint::Direction in_eDirection,
                       const MediaPeerData& in_peerData) override;

  std::size_t numPeerDataDelivered() const { return m_uiPeerDataDelivered; }
  // createEngineEndpoint fails from now on (deletes what it is given, null).
  void refuseCreation(bool in_bRefuse) { m_bRefuseCreation = in_bRefuse; }
  // Endpoints made by createEngineEndpoint from now on never answer.
  void setCreatedSilent(bool in_bSilent) { m_bCreatedSilent = in_bSilent; }
  // The status the endpoints made by createEngineEndpoint answer with (default OK).
  void setCreatedStatus(MediaEndpointCallback::EptOpStatus in_eStatus) { m_eCreatedStatus = in_eStatus; }
  // The logs of the endpoints made by createEngineEndpoint, in order of creation.
  const std::vector<std::shared_ptr<EngineLog>>& createdLogs() const { return m_vCreatedLogs; }
  // Endpoint in_uiNumber made by createEngineEndpoint; null once destroyed.
  FakeEngineEndpoint* created(std::size_t in_uiNumber) const {
    return m_vCreatedLogs.at(in_uiNumber)->m_bDestroyed ? nullptr : m_vCreated.at(in_uiNumber);
  }

 private:
  std::size_t m_uiPeerDataDelivered = 0;
  MediaEndpointCallback::EptOpStatus m_eCreatedStatus = MediaEndpointCallback::EPT_OP_OK;
  bool m_bRefuseCreation = false;
  bool m_bCreatedSilent = false;
  std::vector<std::shared_ptr<EngineLog>> m_vCreatedLogs;
  std::vector<FakeEngineEndpoint*> m_vCreated;  // not owned
};

// One report a user callback received.
struct Report {
  Op m_eOp;  // CAPACITY (setCapacity or getCapacityFailure), CONFIGURE, START, STOP, PEER_EVENT
             // (notifyEvent)
  MediaEndpoint::Direction m_eDirection;
  MediaEndpointCallback::EptOpStatus m_eStatus;  // capacity failure: EPT_OP_FAILED
  std::string m_strDetail;  // capacity: the record's text; notification: its text
};

struct CallbackLog {
  std::vector<Report> m_vReports;
  std::size_t m_uiNumReports = 0;
  bool m_bQuiet = false;
  bool m_bDestroyed = false;

  // "<op> <DIR> <STATUS>[ <detail>]" lines, e.g. "start RX_DIRECTION EPT_OP_OK".
  std::vector<std::string> lines() const;
};

class RecordingCallback : public MediaEndpointCallback {
 public:
  explicit RecordingCallback(std::shared_ptr<CallbackLog> in_pLog) : m_pLog(std::move(in_pLog)) {}
  ~RecordingCallback() override;

  bool setCapacity(MediaEndpoint::Direction in_eDirection,
                   MediaEndpointCapacity* in_pCapacity) override;
  bool getCapacityFailure(MediaEndpoint::Direction in_eDirection) override;
  bool configureStatus(MediaEndpoint::Direction in_eDirection, EptOpStatus in_eStatus) override;
  bool startStatus(MediaEndpoint::Direction in_eDirection, EptOpStatus in_eStatus) override;
  bool stopStatus(MediaEndpoint::Direction in_eDirection, EptOpStatus in_eStatus) override;
  bool notifyEvent(MediaNotificationEvent* in_pEvent) override;

 private:
  bool record(Op in_eOp, MediaEndpoint::Direction in_eDirection, EptOpStatus in_eStatus,
              std::string in_strDetail);

  std::shared_ptr<CallbackLog> m_pLog;
};

}  // namespace Test
}  // namespace Omvera
