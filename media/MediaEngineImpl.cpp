#include "tidewave/MediaEngineImpl.h"

#include "tidewave/MediaEngineTask.h"
#include "tidewave/OnDemandSingleton.h"

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

MediaEndpoint* MediaEngineGetEndpointImpl::getEndpoint(MediaEndpointCallback* in_pCallback,
                                                       const char* in_szCallId,
                                                       const char* in_szEptId,
                                                       MediaEndpointSpec* in_pSpec) {
  return MediaEngineSharedTaskAdapterPtr::getInstance()->getAdapter()->getTask()->getEndpoint(
      *this, in_pCallback, in_szCallId, in_szEptId, in_pSpec);
}

// The shared engine task ----------------------------------------------------------------

MediaEngineTask* MediaEngineImplNoT::getMediaEngineTask() {
  return OnDemandSingleton<MediaEngineTask>::getInstance("MediaEngineTask");
}

MediaEngineImplNoT::TaskHandle MediaEngineImplNoT::getTaskHandle() {
  return MediaEngineImplNoT_TaskManagerHandle::getInstance()->getHandle();
}

MediaEngineSharedTaskAdapterPtr::MediaEngineSharedTaskAdapterPtr()
    : m_pAdapter(new SharedTaskAdapter<MediaEngineTask>(MediaEngineImplNoT::getMediaEngineTask(),
                                                         false)) {}

MediaEngineSharedTaskAdapterPtr::~MediaEngineSharedTaskAdapterPtr() = default;

MediaEngineSharedTaskAdapterPtr* MediaEngineSharedTaskAdapterPtr::getInstance() {
  return OnDemandSingleton<MediaEngineSharedTaskAdapterPtr>::getInstance(
      "MediaEngineSharedTaskAdapterPtr");
}

MediaEngineImplNoT_TaskManagerHandle::MediaEngineImplNoT_TaskManagerHandle()
    : m_pTask(MediaEngineSharedTaskAdapterPtr::getInstance()->getAdapter()) {}

MediaEngineImplNoT_TaskManagerHandle::~MediaEngineImplNoT_TaskManagerHandle() = default;

MediaEngineImplNoT_TaskManagerHandle* MediaEngineImplNoT_TaskManagerHandle::getInstance() {
  return OnDemandSingleton<MediaEngineImplNoT_TaskManagerHandle>::getInstance(
      "MediaEngineImplNoT_TaskManagerHandle");
}

std::int32_t MediaIDGenerator::s_iNextID = 0;
std::mutex MediaIDGenerator::s_mutex;

std::int32_t MediaIDGenerator::getID() {
  std::lock_guard<std::mutex> lock(s_mutex);
  return s_iNextID++;
}

}  // namespace Omvera
