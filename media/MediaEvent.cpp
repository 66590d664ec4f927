#include "tidewave/MediaEvent.h"

#include "tidewave/MediaCallSM.h"
#include "tidewave/MediaEngEptProxy.h"
#include "tidewave/MediaNotificationEvent.h"
#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("MediaEvent", "tidewave.media.MediaEvent")

namespace Omvera {

// ---- interfaces -------------------------------------------------------------------------

EventIf::~EventIf() = default;
EventWithMediaDirection::~EventWithMediaDirection() = default;
CloneableEvent::~CloneableEvent() = default;
MediaEvent::~MediaEvent() = default;

const char* MediaEvent::getTypeString(Type in_eType) {
  switch (in_eType) {
    case eGET_CAPACITY:
      return "eGET_CAPACITY";
    case eSET_CAPACITY:
      return "eSET_CAPACITY";
    case eGET_CAPACITY_FAILURE:
      return "eGET_CAPACITY_FAILURE";
    case eCONFIGURE:
      return "eCONFIGURE";
    case eSTART_ENDPOINT:
      return "eSTART_ENDPOINT";
    case eSTOP_ENDPOINT:
      return "eSTOP_ENDPOINT";
    case eCONFIGURE_STATUS:
      return "eCONFIGURE_STATUS";
    case eSTART_ENDPOINT_STATUS:
      return "eSTART_ENDPOINT_STATUS";
    case eSTOP_ENDPOINT_STATUS:
      return "eSTOP_ENDPOINT_STATUS";
    case eSEND_PEER_DATA:
      return "eSEND_PEER_DATA";
    case eALL_TX_STOPPED:
      return "eALL_TX_STOPPED";
    case ePEER_STOP_TXENDPOINT:
      return "ePEER_STOP_TXENDPOINT";
    case eONEPLUS_RX_STARTED:
      return "eONEPLUS_RX_STARTED";
    case eTONE_DETECTED:
      return "eTONE_DETECTED";
    case eSTOP:
      return "eSTOP";
    case eKILL:
      return "eKILL";
    case eMEDIA_PROXY_DTOR:
      return "eMEDIA_PROXY_DTOR";
    case eTIMEOUT:
      return "eTIMEOUT";
    case eNOTIFICATION:
      return "eNOTIFICATION";
    case eHANDLE_OOB_EVENT:
      return "eHANDLE_OOB_EVENT";
    case eDERIVED_MEDIA_EVENT:
      return "eDERIVED_MEDIA_EVENT";
    case eUNDEF:
      return "eUNDEF";
  }
  return "???";
}

void MediaEvent::write(std::ostream& out_stream) const { out_stream << getTypeString(getType()); }

// ---- implementation bases ---------------------------------------------------------------

MediaEventImpl::~MediaEventImpl() = default;

MediaEvent::Type MediaEventImpl::getType() const { return m_eType; }

MediaEndpoint::Direction MediaEventImpl::getDirection() const {
  return MediaEndpoint::UNDEF_DIRECTION;
}

MediaEvent* MediaEventImpl::clone() const { return new MediaEventImpl(*this); }

MediaEventWithDirImpl::~MediaEventWithDirImpl() = default;

MediaEndpoint::Direction MediaEventWithDirImpl::getDirection() const { return m_eDirection; }

void MediaEventWithDirImpl::write(std::ostream& out_stream) const {
  out_stream << getTypeString(MediaEventImpl::getType())
             << " dir=" << MediaEndpoint::getDirectionString(m_eDirection);
}

MediaEvent* MediaEventWithDirImpl::clone() const { return new MediaEventWithDirImpl(*this); }

// ---- events addressed to a call -----------------------------------------------------------

ProxyMediaEvent::ProxyMediaEvent(Type in_eType, MediaEndpoint::Direction in_eDirection,
                                 LimitedObjPtr<CallContainer> in_pContainer,
                                 unsigned long in_ulProxyID)
    : MediaEventWithDirImpl(in_eType, in_eDirection),
      ProxyEvent<MediaCallSM>(in_pContainer, in_ulProxyID) {}

ProxyMediaEvent::ProxyMediaEvent(Type in_eType, MediaEndpoint::Direction in_eDirection,
                                 const TaskObjectProxyData<MediaCallSM>& in_proxyData)
    : MediaEventWithDirImpl(in_eType, in_eDirection), ProxyEvent<MediaCallSM>(in_proxyData) {}

ProxyMediaEvent::ProxyMediaEvent(const ProxyMediaEvent& in_rhs) = default;
ProxyMediaEvent::~ProxyMediaEvent() = default;

MediaEvent::Type ProxyMediaEvent::getType() const { return MediaEventWithDirImpl::getType(); }

MediaEndpoint::Direction ProxyMediaEvent::getDirection() const {
  return MediaEventWithDirImpl::getDirection();
}

void ProxyMediaEvent::write(std::ostream& out_stream) const {
  MediaEventWithDirImpl::write(out_stream);
}

ProxyMediaEvent* ProxyMediaEvent::clone() const { return new ProxyMediaEvent(*this); }

// ConfigureMediaEvent

ConfigureMediaEvent::ConfigureMediaEvent(MediaEndpoint::Direction in_eDirection,
                                         LimitedObjPtr<CallContainer> in_pContainer,
                                         unsigned long in_ulProxyID,
                                         MediaEndpointConfig* in_pConfig)
    : ProxyMediaEvent(eCONFIGURE, in_eDirection, in_pContainer, in_ulProxyID),
      m_pConfig(in_pConfig) {}

ConfigureMediaEvent::ConfigureMediaEvent(const ConfigureMediaEvent& in_rhs) = default;
ConfigureMediaEvent::~ConfigureMediaEvent() = default;

void ConfigureMediaEvent::write(std::ostream& out_stream) const {
  ProxyMediaEvent::write(out_stream);
  if (!m_pConfig.isNull()) out_stream << " " << *m_pConfig;
}

ConfigureMediaEvent* ConfigureMediaEvent::clone() const { return new ConfigureMediaEvent(*this); }

// HandleOOBMediaEvent

HandleOOBMediaEvent::HandleOOBMediaEvent(MediaEndpoint::Direction in_eDirection,
                                         LimitedObjPtr<CallContainer> in_pContainer,
                                         unsigned long in_ulProxyID, int in_iEvent)
    : ProxyMediaEvent(eHANDLE_OOB_EVENT, in_eDirection, in_pContainer, in_ulProxyID),
      m_iEvent(in_iEvent) {}

HandleOOBMediaEvent::HandleOOBMediaEvent(const HandleOOBMediaEvent& in_rhs) = default;
HandleOOBMediaEvent::~HandleOOBMediaEvent() = default;

void HandleOOBMediaEvent::write(std::ostream& out_stream) const {
  ProxyMediaEvent::write(out_stream);
  out_stream << " Event (int):  " << m_iEvent;
}

HandleOOBMediaEvent* HandleOOBMediaEvent::clone() const { return new HandleOOBMediaEvent(*this); }

// SetCapacityMediaEvent

SetCapacityMediaEvent::SetCapacityMediaEvent(MediaEndpoint::Direction in_eDirection,
                                             LimitedObjPtr<CallContainer> in_pContainer,
                                             unsigned long in_ulProxyID,
                                             MediaEndpointCapacity* in_pCapacity)
    : ProxyMediaEvent(eSET_CAPACITY, in_eDirection, in_pContainer, in_ulProxyID),
      m_pCapacity(in_pCapacity) {}

SetCapacityMediaEvent::SetCapacityMediaEvent(const SetCapacityMediaEvent& in_rhs) = default;
SetCapacityMediaEvent::~SetCapacityMediaEvent() = default;

void SetCapacityMediaEvent::write(std::ostream& out_stream) const {
  out_stream << "SetCapacityMediaEvent ";
  ProxyMediaEvent::write(out_stream);
}

SetCapacityMediaEvent* SetCapacityMediaEvent::clone() const {
  return new SetCapacityMediaEvent(*this);
}

// OpStatusMediaEvent

OpStatusMediaEvent::OpStatusMediaEvent(Type in_eType, MediaEndpoint::Direction in_eDirection,
                                       LimitedObjPtr<CallContainer> in_pContainer,
                                       unsigned long in_ulProxyID,
                                       MediaEndpointCallback::EptOpStatus in_eStatus)
    : ProxyMediaEvent(in_eType, in_eDirection, in_pContainer, in_ulProxyID),
      m_eStatus(in_eStatus) {}

OpStatusMediaEvent::OpStatusMediaEvent(const OpStatusMediaEvent& in_rhs) = default;
OpStatusMediaEvent::~OpStatusMediaEvent() = default;

void OpStatusMediaEvent::write(std::ostream& out_stream) const {
  ProxyMediaEvent::write(out_stream);
  out_stream << " " << MediaEndpointCallback::getOpStatusString(m_eStatus);
}

OpStatusMediaEvent* OpStatusMediaEvent::clone() const { return new OpStatusMediaEvent(*this); }

// PeerDataMediaEvent

PeerDataMediaEvent::PeerDataMediaEvent(MediaEndpoint::Direction in_eDirection,
                                       LimitedObjPtr<CallContainer> in_pContainer,
                                       unsigned long in_ulProxyID, MediaPeerData* in_pPeerData)
    : ProxyMediaEvent(eSEND_PEER_DATA, in_eDirection, in_pContainer, in_ulProxyID),
      m_pPeerData(in_pPeerData) {}

PeerDataMediaEvent::PeerDataMediaEvent(const PeerDataMediaEvent& in_rhs) = default;
PeerDataMediaEvent::~PeerDataMediaEvent() = default;

void PeerDataMediaEvent::write(std::ostream& out_stream) const {
  ProxyMediaEvent::write(out_stream);
}

PeerDataMediaEvent* PeerDataMediaEvent::clone() const { return new PeerDataMediaEvent(*this); }

// MediaEngineNotificationEvent

MediaEngineNotificationEvent::MediaEngineNotificationEvent(
    MediaEndpoint::Direction in_eDirection, LimitedObjPtr<CallContainer> in_pContainer,
    unsigned long in_ulProxyID, MediaNotificationEvent* in_pNotification)
    : ProxyMediaEvent(eNOTIFICATION, in_eDirection, in_pContainer, in_ulProxyID),
      m_pNotification(in_pNotification) {
  Assertion(!m_pNotification.isNull(), "! m_pNotification.isNull()", fileScopeLogger(),
            "MediaEngEptCallbackProxy", __LINE__);
}

MediaEngineNotificationEvent::MediaEngineNotificationEvent(
    const MediaEngineNotificationEvent& in_rhs) = default;
MediaEngineNotificationEvent::~MediaEngineNotificationEvent() = default;

void MediaEngineNotificationEvent::write(std::ostream& out_stream) const {
  ProxyMediaEvent::write(out_stream);
}

MediaEngineNotificationEvent* MediaEngineNotificationEvent::clone() const {
  return new MediaEngineNotificationEvent(*this);
}

// MediaCallSM::TimeoutProxyMediaEvent

MediaCallSM::TimeoutProxyMediaEvent::TimeoutProxyMediaEvent(
    const ACE_Time_Value& in_timeValue, const TimeoutData* in_pData,
    MediaEndpoint::Direction in_eDirection, const TaskObjectProxyData<MediaCallSM>& in_proxyData)
    : TimeoutEvent(in_timeValue, in_pData),
      ProxyMediaEvent(eTIMEOUT, in_eDirection, in_proxyData) {}

MediaCallSM::TimeoutProxyMediaEvent::TimeoutProxyMediaEvent(const TimeoutProxyMediaEvent& in_rhs) =
    default;
MediaCallSM::TimeoutProxyMediaEvent::~TimeoutProxyMediaEvent() = default;

void MediaCallSM::TimeoutProxyMediaEvent::write(std::ostream& out_stream) const {
  ProxyMediaEvent::write(out_stream);
}

MediaCallSM::TimeoutProxyMediaEvent* MediaCallSM::TimeoutProxyMediaEvent::clone() const {
  return new TimeoutProxyMediaEvent(*this);
}

// ---- events sent to engine endpoints ------------------------------------------------------

EptConfigMediaEvent::EptConfigMediaEvent(MediaEndpoint::Direction in_eDirection,
                                         MediaEndpointConfig* in_pConfig)
    : MediaEventWithDirImpl(eCONFIGURE, in_eDirection), m_pConfig(in_pConfig) {}

EptConfigMediaEvent::EptConfigMediaEvent(const EptConfigMediaEvent& in_rhs) = default;
EptConfigMediaEvent::~EptConfigMediaEvent() = default;

MediaEvent::Type EptConfigMediaEvent::getType() const { return MediaEventWithDirImpl::getType(); }

MediaEndpoint::Direction EptConfigMediaEvent::getDirection() const {
  return MediaEventWithDirImpl::getDirection();
}

void EptConfigMediaEvent::write(std::ostream& out_stream) const {
  MediaEventWithDirImpl::write(out_stream);
  if (!m_pConfig.isNull()) out_stream << " " << *m_pConfig;
}

EptConfigMediaEvent* EptConfigMediaEvent::clone() const { return new EptConfigMediaEvent(*this); }

MediaCallDataEventImpl::MediaCallDataEventImpl(Type in_eType,
                                               MediaEndpoint::Direction in_eDirection,
                                               const MediaCallData& in_callData)
    : MediaEventWithDirImpl(in_eType, in_eDirection), m_callData(in_callData) {}

MediaCallDataEventImpl::MediaCallDataEventImpl(const MediaCallDataEventImpl& in_rhs) = default;
MediaCallDataEventImpl::~MediaCallDataEventImpl() = default;

MediaCallDataEventImpl* MediaCallDataEventImpl::clone() const {
  return new MediaCallDataEventImpl(*this);
}

// MediaEngEptProxyNoT request events

MediaEngEptProxyNoT::ProxyEvt::ProxyEvt(Type in_eType, MediaEndpoint::Direction in_eDirection)
    : MediaEventWithDirImpl(in_eType, in_eDirection) {}

MediaEngEptProxyNoT::ProxyEvt::ProxyEvt(const ProxyEvt& in_rhs) = default;
MediaEngEptProxyNoT::ProxyEvt::~ProxyEvt() = default;

MediaEvent::Type MediaEngEptProxyNoT::ProxyEvt::getType() const {
  return MediaEventWithDirImpl::getType();
}

MediaEndpoint::Direction MediaEngEptProxyNoT::ProxyEvt::getDirection() const {
  return MediaEventWithDirImpl::getDirection();
}

void MediaEngEptProxyNoT::ProxyEvt::write(std::ostream& out_stream) const {
  MediaEventWithDirImpl::write(out_stream);
}

MediaEngEptProxyNoT::ProxyEvt* MediaEngEptProxyNoT::ProxyEvt::clone() const {
  return new ProxyEvt(*this);
}

MediaEngEptProxyNoT::ConfigProxyEvt::ConfigProxyEvt(MediaEndpoint::Direction in_eDirection,
                                                    MediaEndpointConfig* in_pConfig)
    : EptConfigMediaEvent(in_eDirection, in_pConfig) {}

MediaEngEptProxyNoT::ConfigProxyEvt::ConfigProxyEvt(const ConfigProxyEvt& in_rhs) = default;
MediaEngEptProxyNoT::ConfigProxyEvt::~ConfigProxyEvt() = default;

MediaEngEptProxyNoT::ConfigProxyEvt* MediaEngEptProxyNoT::ConfigProxyEvt::clone() const {
  return new ConfigProxyEvt(*this);
}

MediaEngEptProxyNoT::MediaCallDataProxyEvt::MediaCallDataProxyEvt(
    Type in_eType, MediaEndpoint::Direction in_eDirection, const MediaCallData& in_callData)
    : MediaCallDataEventImpl(in_eType, in_eDirection, in_callData) {}

MediaEngEptProxyNoT::MediaCallDataProxyEvt::MediaCallDataProxyEvt(
    const MediaCallDataProxyEvt& in_rhs) = default;
MediaEngEptProxyNoT::MediaCallDataProxyEvt::~MediaCallDataProxyEvt() = default;

MediaEngEptProxyNoT::MediaCallDataProxyEvt* MediaEngEptProxyNoT::MediaCallDataProxyEvt::clone()
    const {
  return new MediaCallDataProxyEvt(*this);
}

}  // namespace Omvera
