#include "tidewave/MediaEngineImpl.h"

#include "tidewave/infra/Assertion.h"
#include "tidewave/infra/Identifiers.h"
#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("MediaEngineImpl", "tidewave.media.MediaEngineImpl")

namespace Omvera {

// MediaEngine --------------------------------------------------------------------------

MediaEngine::~MediaEngine() = default;

MediaEndpoint* MediaEngine::getEndpointNoId(MediaEndpointCallback* in_pCallback,
                                            const char* in_szCallId,
                                            MediaEndpointSpec* in_pSpec) {
  std::string strEptId;
  generateEptId(strEptId);
  return getEndpoint(in_pCallback, in_szCallId, strEptId.c_str(), in_pSpec);
}

void MediaEngine::generateEptId(std::string& out_strEptId) { UUID().convertTo(out_strEptId); }

// MediaEngineGetEndpointImpl -----------------------------------------------------------

MediaEngineGetEndpointImpl::MediaEngineGetEndpointImpl()
    : MediaEngineGetEndpointImpl(fileScopeLogger()) {}

MediaEngineGetEndpointImpl::MediaEngineGetEndpointImpl(const Logger& in_logger)
    : ObjectWithLoggerImpl(in_logger) {
  cacheLogLevel();
  OMVERA_TRACE_SCOPE(getLogger(), "MediaEngineGetEndpointImpl ctor");
}

MediaEngineGetEndpointImpl::~MediaEngineGetEndpointImpl() {
  OMVERA_TRACE_SCOPE(getLogger(), "MediaEngineGetEndpointImpl dtor");
}

MediaEndpointProcessor* MediaEngineGetEndpointImpl::getEndpointProcessor(
    const char* /*in_szEptId*/, const char* /*in_szSecond*/) {
  Assertion(false, "Not implemented : MediaEngineGetEndpointImpl::getEndpointProcessor",
            getLogger(), s_szMODULE_NAME, __LINE__);
  return nullptr;
}

}  // namespace Omvera
