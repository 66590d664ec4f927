#include "tidewave/MediaEngineEndpoint.h"

#include "tidewave/MediaEndpointConfig.h"
#include "tidewave/MediaNotificationEvent.h"
#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("MediaEngineEndpoint", "tidewave.media.EngineEndpoint")

namespace Omvera {

// MediaEngineEndpointCallback ----------------------------------------------------------

MediaEngineEndpointCallback::~MediaEngineEndpointCallback() = default;

// MediaEngineEndpointNoT ---------------------------------------------------------------

MediaEngineEndpointNoT::~MediaEngineEndpointNoT() = default;

bool MediaEngineEndpointNoT::configure(Direction /*in_eDirection*/, MediaEndpointConfig* in_pConfig) {
  delete in_pConfig;
  return Assertion(false, "Not implemented : MediaEngineEndpointNoT::configure", s_szMODULE_NAME,
                   __LINE__);
}

bool MediaEngineEndpointNoT::start(Direction /*in_eDirection*/) {
  return Assertion(false, "Not implemented : MediaEngineEndpointNoT::start", s_szMODULE_NAME,
                   __LINE__);
}

bool MediaEngineEndpointNoT::configure(Direction in_eDirection, MediaEndpointConfig* in_pConfig,
                                       const MediaCallData& /*in_callData*/) {
  return configure(in_eDirection, in_pConfig);
}

bool MediaEngineEndpointNoT::start(Direction in_eDirection, const MediaCallData& /*in_callData*/) {
  return start(in_eDirection);
}

bool MediaEngineEndpointNoT::notifyPeerEvent(MediaNotificationEvent* in_pEvent) {
  delete in_pEvent;
  return true;
}

MediaEndpointSpec::EptType MediaEngineEndpointNoT::getEptType() const {
  const LimitedObjPtr<MediaEndpointSpec> pSpec = getEndpointSpec();
  return pSpec.isNull() ? MediaEndpointSpec::eSND_RECV : pSpec->getEptType();
}

// MediaEndpointImpl --------------------------------------------------------------------

MediaEndpointImpl::MediaEndpointImpl() = default;

MediaEndpointImpl::~MediaEndpointImpl() = default;

const char* MediaEndpointImpl::getEptId() const { return m_strEptId.c_str(); }

MediaEndpointProcessor* MediaEndpointImpl::getProcessor() {
  Assertion(false, "Not implemented : MediaEndpointImpl::getProcessor", "MediaEndpoint", __LINE__);
  return nullptr;
}

void MediaEndpointImpl::setEptId(const char* in_szEptId) {
  m_strEptId = in_szEptId != nullptr ? in_szEptId : "";
}

// MediaEngineEndpointImpl --------------------------------------------------------------

MediaEngineEndpointImpl::MediaEngineEndpointImpl(MediaEndpointSpec* in_pSpec,
                                                 const char* in_szEptId)
    : m_pSpec(in_pSpec) {
  setEptId(in_szEptId);
}

MediaEngineEndpointImpl::~MediaEngineEndpointImpl() = default;

const char* MediaEngineEndpointImpl::getEptId() const { return MediaEndpointImpl::getEptId(); }

MediaEndpointProcessor* MediaEngineEndpointImpl::getProcessor() {
  return MediaEndpointImpl::getProcessor();
}

LimitedObjPtr<MediaEndpointSpec> MediaEngineEndpointImpl::getEndpointSpec() const {
  return LimitedObjPtr<MediaEndpointSpec>(m_pSpec.get());
}

// AlwaysFailMediaEngineEndpointImpl ----------------------------------------------------

AlwaysFailMediaEngineEndpointImpl::AlwaysFailMediaEngineEndpointImpl(
    MediaEndpointSpec* in_pSpec, const char* in_szEptId, MediaEngineEndpointCallback* in_pCallback)
    : MediaEngineEndpointImpl(in_pSpec, in_szEptId), m_pCallback(in_pCallback) {}

AlwaysFailMediaEngineEndpointImpl::~AlwaysFailMediaEngineEndpointImpl() = default;

bool AlwaysFailMediaEngineEndpointImpl::getCapacity(Direction in_eDirection) {
  return m_pCallback->getCapacityFailure(in_eDirection);
}

bool AlwaysFailMediaEngineEndpointImpl::configure(Direction in_eDirection,
                                                  MediaEndpointConfig* in_pConfig) {
  delete in_pConfig;
  return m_pCallback->configureStatus(in_eDirection, MediaEndpointCallback::EPT_OP_FAILED);
}

bool AlwaysFailMediaEngineEndpointImpl::start(Direction in_eDirection) {
  return m_pCallback->startStatus(in_eDirection, MediaEndpointCallback::EPT_OP_FAILED);
}

bool AlwaysFailMediaEngineEndpointImpl::stop(Direction in_eDirection) {
  return m_pCallback->stopStatus(in_eDirection, MediaEndpointCallback::EPT_OP_FAILED);
}

}  // namespace Omvera
