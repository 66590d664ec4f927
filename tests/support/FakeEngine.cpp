#include "support/FakeEngine.h"

#include <sstream>
#include <utility>

#include "tidewave/MediaEndpointConfig.h"
#include "tidewave/MediaEngEptCallbackProxy.h"
#include "tidewave/MediaNotificationEvent.h"
#include "tidewave/MediaPeerData.h"

namespace Omvera {
namespace Test {

namespace {

std::string textOfStream(const OutputStreamable& in_obj) {
  std::ostringstream stream;
  stream << in_obj;
  return stream.str();
}

std::string line(Op in_eOp, MediaEndpoint::Direction in_eDirection, const char* in_szMiddle,
                 const std::string& in_strDetail) {
  std::string strLine = std::string(opName(in_eOp)) + " " +
                        MediaEndpoint::getDirectionString(in_eDirection);
  if (in_szMiddle != nullptr) strLine += std::string(" ") + in_szMiddle;
  if (!in_strDetail.empty()) strLine += " " + in_strDetail;
  return strLine;
}

}  // namespace

const char* opName(Op in_eOp) {
  switch (in_eOp) {
    case Op::CAPACITY:
      return "capacity";
    case Op::CONFIGURE:
      return "configure";
    case Op::START:
      return "start";
    case Op::STOP:
      return "stop";
    case Op::OUT_OF_BAND:
      return "oob";
    case Op::PEER_EVENT:
      return "peer-event";
    case Op::PEER_DATA:
      return "peer-data";
  }
  return "???";
}

// EngineLog ----------------------------------------------------------------------------

std::vector<std::string> EngineLog::lines() const {
  std::vector<std::string> vLines;
  for (const EngineRequest& request : m_vRequests) {
    vLines.push_back(line(request.m_eOp, request.m_eDirection,
                          request.m_bAccepted ? nullptr : "refused", request.m_strDetail));
  }
  return vLines;
}

const EngineRequest* EngineLog::last(Op in_eOp) const {
  for (auto it = m_vRequests.rbegin(); it != m_vRequests.rend(); ++it) {
    if (it->m_eOp == in_eOp) return &*it;
  }
  return nullptr;
}

// FakeEngineEndpoint -------------------------------------------------------------------

FakeEngineEndpoint::FakeEngineEndpoint(MediaEndpointSpec* in_pSpec, const char* in_szEptId,
                                       unsigned long in_uiEptIndex,
                                       std::shared_ptr<EngineLog> in_pLog)
    : MediaEngineEndpointImpl(in_pSpec, in_szEptId),
      m_uiEptIndex(in_uiEptIndex),
      m_pLog(std::move(in_pLog)) {}

FakeEngineEndpoint::~FakeEngineEndpoint() { m_pLog->m_bDestroyed = true; }

bool FakeEngineEndpoint::record(Op in_eOp, Direction in_eDirection, std::string in_strDetail,
                                const MediaCallData* in_pCallData) {
  const bool bAccepted = !m_abRefuse[static_cast<int>(in_eOp)];
  ++m_pLog->m_auiCount[static_cast<int>(in_eOp)];
  if (!m_pLog->m_bQuiet) {
    EngineRequest request{in_eOp, in_eDirection, bAccepted, std::move(in_strDetail), MediaCallData()};
    if (in_pCallData != nullptr) request.m_callData = *in_pCallData;
    m_pLog->m_vRequests.push_back(std::move(request));
  }
  const bool bAnswered = in_eOp == Op::CAPACITY || in_eOp == Op::CONFIGURE ||
                         in_eOp == Op::START || in_eOp == Op::STOP;
  if (bAccepted && bAnswered && m_pAutoAnswerSink != nullptr) {
    m_pAutoAnswerSink->autoAnswer(m_uiEptIndex, in_eOp, in_eDirection, m_eAutoStatus);
  }
  if (bAccepted && bAnswered && m_pCallback != nullptr && !m_bSilent) {
    switch (in_eOp) {
      case Op::CAPACITY:
        m_pCallback->setCapacity(in_eDirection, nullptr);
        break;
      case Op::CONFIGURE:
        m_pCallback->configureStatus(in_eDirection, m_eAutoStatus);
        break;
      case Op::START:
        m_pCallback->startStatus(in_eDirection, m_eAutoStatus);
        break;
      default:
        m_pCallback->stopStatus(in_eDirection, m_eAutoStatus);
        break;
    }
  }
  return bAccepted;
}

bool FakeEngineEndpoint::getCapacity(Direction in_eDirection) {
  return record(Op::CAPACITY, in_eDirection, std::string(), nullptr);
}

bool FakeEngineEndpoint::configure(Direction in_eDirection, MediaEndpointConfig* in_pConfig,
                                   const MediaCallData& in_callData) {
  const std::unique_ptr<MediaEndpointConfig> pConfig(in_pConfig);
  std::string strDetail;
  if (pConfig && !m_pLog->m_bQuiet) strDetail = textOfStream(*pConfig);
  return record(Op::CONFIGURE, in_eDirection, std::move(strDetail), &in_callData);
}

bool FakeEngineEndpoint::start(Direction in_eDirection, const MediaCallData& in_callData) {
  return record(Op::START, in_eDirection, std::string(), &in_callData);
}

bool FakeEngineEndpoint::stop(Direction in_eDirection) {
  return record(Op::STOP, in_eDirection, std::string(), nullptr);
}

bool FakeEngineEndpoint::handleOutOfBandEvent(int in_iEvent) {
  return record(Op::OUT_OF_BAND, UNDEF_DIRECTION, std::to_string(in_iEvent), nullptr);
}

bool FakeEngineEndpoint::notifyPeerEvent(MediaNotificationEvent* in_pEvent) {
  const std::unique_ptr<MediaNotificationEvent> pEvent(in_pEvent);
  if (!pEvent) return record(Op::PEER_EVENT, UNDEF_DIRECTION, "null", nullptr);
  return record(Op::PEER_EVENT, pEvent->getDirection(),
                m_pLog->m_bQuiet ? std::string() : textOfStream(*pEvent), nullptr);
}

void FakeEngineEndpoint::answerThroughCallback(MediaEngineEndpointCallback* in_pCallback,
                                               MediaEndpointCallback::EptOpStatus in_eStatus,
                                               bool in_bSilent) {
  m_pCallback.reset(in_pCallback);
  m_eAutoStatus = in_eStatus;
  m_bSilent = in_bSilent;
}

void FakeEngineEndpoint::peerDataDelivered(Direction in_eDirection,
                                           const MediaPeerData& in_peerData) {
  const auto* pCTBus = dynamic_cast<const CTBusPeerData*>(&in_peerData);
  record(Op::PEER_DATA, in_eDirection,
         pCTBus != nullptr ? "timeslot=" + std::to_string(pCTBus->getTimeSlot()) : "other",
         nullptr);
}

// FakeEngine ---------------------------------------------------------------------------

FakeEngine::~FakeEngine() = default;

MediaEngineEndpointNoT* FakeEngine::createEngineEndpoint(const char* /*in_szCallId*/,
                                                         unsigned long in_uiEptIndex,
                                                         MediaEngEptCallbackProxy* in_pCallback,
                                                         MediaEndpointSpec* in_pSpec,
                                                         const char* in_szEptId) {
  if (m_bRefuseCreation) {
    delete in_pCallback;
    delete in_pSpec;
    return nullptr;
  }
  m_vCreatedLogs.push_back(std::make_shared<EngineLog>());
  auto* pEndpoint =
      new FakeEngineEndpoint(in_pSpec, in_szEptId, in_uiEptIndex, m_vCreatedLogs.back());
  pEndpoint->answerThroughCallback(in_pCallback, m_eCreatedStatus, m_bCreatedSilent);
  m_vCreated.push_back(pEndpoint);
  return pEndpoint;
}

bool FakeEngine::deliverPeerData(MediaEngineEndpointNoT& in_engineEndpoint,
                                 MediaEndpoint::Direction in_eDirection,
                                 const MediaPeerData& in_peerData) {
  ++m_uiPeerDataDelivered;
  if (auto* pFake = dynamic_cast<FakeEngineEndpoint*>(&in_engineEndpoint)) {
    pFake->peerDataDelivered(in_eDirection, in_peerData);
  }
  return true;
}

// CallbackLog / RecordingCallback ------------------------------------------------------

std::vector<std::string> CallbackLog::lines() const {
  std::vector<std::string> vLines;
  for (const Report& report : m_vReports) {
    vLines.push_back(line(report.m_eOp, report.m_eDirection,
                          MediaEndpointCallback::getOpStatusString(report.m_eStatus),
                          report.m_strDetail));
  }
  return vLines;
}

RecordingCallback::~RecordingCallback() { m_pLog->m_bDestroyed = true; }

bool RecordingCallback::record(Op in_eOp, MediaEndpoint::Direction in_eDirection,
                               EptOpStatus in_eStatus, std::string in_strDetail) {
  ++m_pLog->m_uiNumReports;
  if (!m_pLog->m_bQuiet) {
    m_pLog->m_vReports.push_back(Report{in_eOp, in_eDirection, in_eStatus, std::move(in_strDetail)});
  }
  return true;
}

bool RecordingCallback::setCapacity(MediaEndpoint::Direction in_eDirection,
                                    MediaEndpointCapacity* in_pCapacity) {
  const std::unique_ptr<MediaEndpointCapacity> pCapacity(in_pCapacity);
  std::string strDetail = "null";
  if (pCapacity) {
    std::ostringstream stream;
    stream << *pCapacity;
    strDetail = stream.str();
  }
  return record(Op::CAPACITY, in_eDirection, EPT_OP_OK, std::move(strDetail));
}

bool RecordingCallback::getCapacityFailure(MediaEndpoint::Direction in_eDirection) {
  return record(Op::CAPACITY, in_eDirection, EPT_OP_FAILED, std::string());
}

bool RecordingCallback::configureStatus(MediaEndpoint::Direction in_eDirection,
                                        EptOpStatus in_eStatus) {
  return record(Op::CONFIGURE, in_eDirection, in_eStatus, std::string());
}

bool RecordingCallback::startStatus(MediaEndpoint::Direction in_eDirection, EptOpStatus in_eStatus) {
  return record(Op::START, in_eDirection, in_eStatus, std::string());
}

bool RecordingCallback::stopStatus(MediaEndpoint::Direction in_eDirection, EptOpStatus in_eStatus) {
  return record(Op::STOP, in_eDirection, in_eStatus, std::string());
}

bool RecordingCallback::notifyEvent(MediaNotificationEvent* in_pEvent) {
  const std::unique_ptr<MediaNotificationEvent> pEvent(in_pEvent);
  return record(Op::PEER_EVENT, pEvent ? pEvent->getDirection() : MediaEndpoint::UNDEF_DIRECTION,
                EPT_OP_OK, pEvent ? textOfStream(*pEvent) : std::string("null"));
}

}  // namespace Test
}  // namespace Omvera
