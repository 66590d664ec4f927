#include "tidewave/MediaEndpoint.h"

#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("MediaEndpoint", "tidewave.media.Endpoint")

namespace Omvera {

namespace {

constexpr const char* s_szUNKNOWN_VALUE = "???";

}  // namespace

// MediaEndpointSpec --------------------------------------------------------------------

const char* MediaEndpointSpec::getEptTypeString(EptType in_eType) {
  switch (in_eType) {
    case eSND_RECV:
      return "eSND_RECV";
    case eREDIRECT_RX:
      return "eREDIRECT_RX";
    case eFORK_TX:
      return "eFORK_TX";
    case eUNDEF_EPT_TYPE:
      return "eUNDEF_EPT_TYPE";
  }
  return "???MediaEndpointSpec::EptType???";
}

MediaEndpointSpec::~MediaEndpointSpec() = default;

MediaEndpointSpec::EptType MediaEndpointSpec::getEptType() const { return eSND_RECV; }

// RedirectRxEndpointSpec ---------------------------------------------------------------

RedirectRxEndpointSpec::RedirectRxEndpointSpec(const std::string& in_strRedirectForEptId)
    : m_strRedirectForEptId(in_strRedirectForEptId) {}

RedirectRxEndpointSpec::RedirectRxEndpointSpec(const char* in_szRedirectForEptId) {
  if (in_szRedirectForEptId != nullptr) m_strRedirectForEptId = std::string(in_szRedirectForEptId);
}

RedirectRxEndpointSpec::~RedirectRxEndpointSpec() = default;

MediaEndpointSpec::EptType RedirectRxEndpointSpec::getEptType() const { return eREDIRECT_RX; }

// ForkTxEndpointSpec -------------------------------------------------------------------

ForkTxEndpointSpec::ForkTxEndpointSpec(const std::string& in_strRedirectForEptId)
    : m_strRedirectForEptId(in_strRedirectForEptId) {}

ForkTxEndpointSpec::ForkTxEndpointSpec(const char* in_szRedirectForEptId) {
  if (in_szRedirectForEptId != nullptr) m_strRedirectForEptId = std::string(in_szRedirectForEptId);
}

ForkTxEndpointSpec::~ForkTxEndpointSpec() = default;

MediaEndpointSpec::EptType ForkTxEndpointSpec::getEptType() const { return eFORK_TX; }

// MediaEndpointProcessor ---------------------------------------------------------------

MediaEndpointProcessor::~MediaEndpointProcessor() = default;

// MediaEndpoint ------------------------------------------------------------------------

const char* MediaEndpoint::getDirectionString(Direction in_eDirection) {
  switch (in_eDirection) {
    case RX_DIRECTION:
      return "RX_DIRECTION";
    case TX_DIRECTION:
      return "TX_DIRECTION";
    case RXTX_DIRECTION:
      return "RXTX_DIRECTION";
    case UNDEF_DIRECTION:
      return "UNDEF_DIRECTION";
  }
  return s_szUNKNOWN_VALUE;
}

bool MediaEndpoint::isTx(Direction in_eDirection) {
  return in_eDirection == TX_DIRECTION || in_eDirection == RXTX_DIRECTION;
}

MediaEndpoint::~MediaEndpoint() = default;

bool MediaEndpoint::handleOutOfBandEvent(int /*in_iEvent*/) {
  OMVERA_TRACE_SCOPE(fileScopeLogger(), "MediaEndpoint::handleOutOfBandEvent");
  return true;
}

// MediaEndpointCallback ----------------------------------------------------------------

const char* MediaEndpointCallback::getOpStatusString(EptOpStatus in_eStatus) {
  switch (in_eStatus) {
    case EPT_OP_OK:
      return "EPT_OP_OK";
    case EPT_OP_FAILED:
      return "EPT_OP_FAILED";
  }
  return s_szUNKNOWN_VALUE;
}

MediaEndpointCallback::~MediaEndpointCallback() = default;

}  // namespace Omvera
