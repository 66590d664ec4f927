#include "tidewave/MediaNotificationEvent.h"

#include "tidewave/MediaDefs.h"
#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Logging.h"

// Notifications belong to the media event module: same module name and logger.
OMVERA_MODULE_LOGGER("MediaEvent", "tidewave.media.MediaEvent")

namespace Omvera {

// ---- call-progress vocabulary -----------------------------------------------------------

ConnectionFailureImpl::~ConnectionFailureImpl() = default;

ConnectionFailureType::ConnectionFailureType(std::int32_t in_iFailureCode,
                                             ConnectionFailureImpl* in_pDetail)
    : m_iFailureCode(in_iFailureCode), m_pDetail(in_pDetail) {}

ConnectionFailureType::ConnectionFailureType(const ConnectionFailureType& in_rhs) = default;
ConnectionFailureType& ConnectionFailureType::operator=(const ConnectionFailureType& in_rhs) =
    default;
ConnectionFailureType::~ConnectionFailureType() = default;

void ConnectionFailureType::write(std::ostream& out_stream) const { out_stream << m_iFailureCode; }

namespace {

// Indexed by CPAResult::ResultType; parsing walks it in this order.
constexpr const char* s_aszCPA_RESULT_NAMES[] = {
    "Human",         "Answering Machine", "Fax",             "Busy",        "Reorder",
    "SIT No Circuit", "SIT Intercept",    "SIT Vacant Tone", "SIT Reorder", "Unknown"};
constexpr int s_iNUM_CPA_RESULT_NAMES =
    static_cast<int>(sizeof(s_aszCPA_RESULT_NAMES) / sizeof(s_aszCPA_RESULT_NAMES[0]));

}  // namespace

const char* CPAResult::getTypeString(ResultType in_eType) {
  const int iIndex = static_cast<int>(in_eType);
  if (iIndex < 0 || iIndex >= s_iNUM_CPA_RESULT_NAMES) return "???";
  return s_aszCPA_RESULT_NAMES[iIndex];
}

CPAResult::ResultType CPAResult::parseTypeString(const char* in_szName) {
  if (in_szName == nullptr) return eUNRECOGNISED;
  for (int i = 0; i < s_iNUM_CPA_RESULT_NAMES; ++i) {
    if (Omvera::strcasecmp(in_szName, s_aszCPA_RESULT_NAMES[i]) == 0) {
      return static_cast<ResultType>(i);
    }
  }
  return eUNRECOGNISED;
}

void CPAResultVector::write(std::ostream& out_stream) const {
  for (const CPAResult& result : *this) {
    out_stream << CPAResult::getTypeString(result.m_eType) << ": " << result.m_fScore << "\r\n";
  }
}

std::istream& CPAResultVector::read(std::istream& in_stream) {
  Assertion(false, "Not implemented : CPAResultVector::read", fileScopeLogger(), s_szMODULE_NAME,
            __LINE__);
  return in_stream;
}

std::ostream& operator<<(std::ostream& out_stream, const CPAResultVector& in_results) {
  in_results.write(out_stream);
  return out_stream;
}

std::istream& operator>>(std::istream& in_stream, CPAResultVector& out_results) {
  return out_results.read(in_stream);
}

// ---- notifications ----------------------------------------------------------------------

const char* MediaNotificationEvent::getNotificationTypeString(NotificationType in_eType) {
  switch (in_eType) {
    case eCPA_RESULT_SUCCESS:
      return "eCPA_RESULT_SUCCESS";
    case eCPA_RESULT_FAILURE:
      return "eCPA_RESULT_FAILURE";
    case eFIRST_PACKET_DETECTED:
      return "eFIRST_PACKET_DETECTED";
    case eCPA_UPDATE:
      return "eCPA_UPDATE";
  }
  return "???";
}

MediaNotificationEvent::MediaNotificationEvent(MediaEndpoint::Direction in_eDirection,
                                               NotificationType in_eNotificationType,
                                               Type in_eType)
    : MediaEventWithDirImpl(in_eType, in_eDirection), m_eNotificationType(in_eNotificationType) {}

MediaNotificationEvent::MediaNotificationEvent(const MediaNotificationEvent& in_rhs) = default;
MediaNotificationEvent::~MediaNotificationEvent() = default;

MediaEvent::Type MediaNotificationEvent::getType() const {
  return MediaEventWithDirImpl::getType();
}

MediaEndpoint::Direction MediaNotificationEvent::getDirection() const {
  return MediaEventWithDirImpl::getDirection();
}

void MediaNotificationEvent::write(std::ostream& out_stream) const {
  MediaEventWithDirImpl::write(out_stream);
  out_stream << " " << getNotificationTypeString(m_eNotificationType);
}

MediaNotificationEvent* MediaNotificationEvent::clone() const {
  return new MediaNotificationEvent(*this);
}

MediaNotificationEvent::NotificationType MediaNotificationEvent::getNotificationType() const {
  return m_eNotificationType;
}

// ToneDetectedEvent

ToneDetectedEvent::ToneDetectedEvent(MediaEndpoint::Direction in_eDirection,
                                     NotificationType in_eNotificationType,
                                     std::uint32_t in_uiToneId, std::uint64_t in_uiToneEventId)
    : MediaNotificationEvent(in_eDirection, in_eNotificationType, eTONE_DETECTED),
      m_uiToneId(in_uiToneId), m_uiToneEventId(in_uiToneEventId) {}

ToneDetectedEvent::ToneDetectedEvent(const ToneDetectedEvent& in_rhs) = default;
ToneDetectedEvent::~ToneDetectedEvent() = default;

void ToneDetectedEvent::write(std::ostream& out_stream) const {
  MediaNotificationEvent::write(out_stream);
  out_stream << ",toneid=" << m_uiToneId << ",toneevtid=" << m_uiToneEventId;
}

ToneDetectedEvent* ToneDetectedEvent::clone() const { return new ToneDetectedEvent(*this); }

// CPASuccessNotificationEvent

CPASuccessNotificationEvent::CPASuccessNotificationEvent(MediaEndpoint::Direction in_eDirection,
                                                         std::int32_t in_iResult)
    : MediaNotificationEvent(in_eDirection, eCPA_RESULT_SUCCESS), m_iResult(in_iResult) {}

CPASuccessNotificationEvent::CPASuccessNotificationEvent(
    const CPASuccessNotificationEvent& in_rhs) = default;
CPASuccessNotificationEvent::~CPASuccessNotificationEvent() = default;

void CPASuccessNotificationEvent::write(std::ostream& out_stream) const {
  MediaNotificationEvent::write(out_stream);
  out_stream << " " << m_iResult;
}

CPASuccessNotificationEvent* CPASuccessNotificationEvent::clone() const {
  return new CPASuccessNotificationEvent(*this);
}

// CPAFailureNotificationEvent

CPAFailureNotificationEvent::CPAFailureNotificationEvent(MediaEndpoint::Direction in_eDirection,
                                                         const ConnectionFailureType& in_failure)
    : MediaNotificationEvent(in_eDirection, eCPA_RESULT_FAILURE), m_failure(in_failure) {}

CPAFailureNotificationEvent::CPAFailureNotificationEvent(
    const CPAFailureNotificationEvent& in_rhs) = default;
CPAFailureNotificationEvent::~CPAFailureNotificationEvent() = default;

void CPAFailureNotificationEvent::write(std::ostream& out_stream) const {
  MediaNotificationEvent::write(out_stream);
  out_stream << " " << m_failure;
}

CPAFailureNotificationEvent* CPAFailureNotificationEvent::clone() const {
  return new CPAFailureNotificationEvent(*this);
}

// CPAUpdateNotificationEvent

CPAUpdateNotificationEvent::CPAUpdateNotificationEvent(MediaEndpoint::Direction in_eDirection,
                                                       const CPAResultVector& in_results)
    : MediaNotificationEvent(in_eDirection, eCPA_UPDATE), m_results(in_results) {}

CPAUpdateNotificationEvent::CPAUpdateNotificationEvent(const CPAUpdateNotificationEvent& in_rhs) =
    default;
CPAUpdateNotificationEvent::~CPAUpdateNotificationEvent() = default;

void CPAUpdateNotificationEvent::write(std::ostream& out_stream) const {
  MediaNotificationEvent::write(out_stream);
  out_stream << std::endl << m_results;
}

CPAUpdateNotificationEvent* CPAUpdateNotificationEvent::clone() const {
  return new CPAUpdateNotificationEvent(*this);
}

}  // namespace Omvera
