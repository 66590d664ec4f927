#include "tidewave/MediaEndpointConfig.h"

#include "tidewave/infra/Assertion.h"

namespace Omvera {

namespace {

constexpr const char* s_szMODULE_NAME = "MediaEndpointConfig";

}  // namespace

MediaEndpointConfig::~MediaEndpointConfig() = default;

bool MediaEndpointConfig::setIntParameter(const char* in_szName, int in_iValue) {
  return setParameter(in_szName, ParameterValue(in_iValue));
}

bool MediaEndpointConfig::setBoolParameter(const char* in_szName, bool in_bValue) {
  return setParameter(in_szName, ParameterValue(in_bValue));
}

bool MediaEndpointConfig::setStringParameter(const char* in_szName, const char* in_szValue) {
  if (in_szValue == nullptr) return false;
  return setParameter(in_szName, ParameterValue(in_szValue));
}

bool MediaEndpointConfig::setFloatParameter(const char* in_szName, double in_dValue) {
  return setParameter(in_szName, ParameterValue(in_dValue));
}

MediaEndpointConfig* MediaEndpointConfig::clone() const {
  return new MediaEndpointConfig(*this);
}

void MediaEndpointConfig::enableRecording(bool in_bEnabled) {
  Assertion(setBoolParameter(Media::EndpointConfig::szRECORDING_ENABLE, in_bEnabled),
            "setBoolParameter(Media::EndpointConfig::szRECORDING_ENABLE, in_bEnabled)",
            s_szMODULE_NAME, __LINE__);
}

bool MediaEndpointConfig::recordingEnabled() const {
  bool bEnabled = false;
  return getBoolParameter(Media::EndpointConfig::szRECORDING_ENABLE, bEnabled) && bEnabled;
}

void MediaEndpointConfig::setRecordingOutputId(const char* in_szId) {
  Assertion(setStringParameter(Media::EndpointConfig::szRECORDING_OUTPUT_ID, in_szId),
            "setStringParameter(Media::EndpointConfig:: szRECORDING_OUTPUT_ID, in_szId)",
            s_szMODULE_NAME, __LINE__);
}

bool MediaEndpointConfig::getRecordingOutputId(std::string& out_strId) const {
  return getStringParameter(Media::EndpointConfig::szRECORDING_OUTPUT_ID, out_strId);
}

}  // namespace Omvera
