#pragma once
// The configuration of one direction of an endpoint: a map of named, typed parameters that
// travels (cloned where needed) from the caller to the concrete engine endpoint, plus the
// recording parameters every engine understands.

#include <string>

#include "tidewave/Cloneable.h"
#include "tidewave/infra/Configuration.h"

namespace Omvera {
namespace Media {
namespace EndpointConfig {

// bool: record this direction.
constexpr const char* szRECORDING_ENABLE = "recording.enable";
// text: identifier of the recording output.
constexpr const char* szRECORDING_OUTPUT_ID = "recording.output-id";

}  // namespace EndpointConfig
}  // namespace Media

// Owned by one thread at a time: created by the caller, then owned by whoever it is handed
// to with a configure request (the endpoint, then the engine endpoint).
class MediaEndpointConfig : public ParameterHashMap, public virtual Cloneable {
 public:
  MediaEndpointConfig() = default;
  MediaEndpointConfig(const MediaEndpointConfig&) = default;
  MediaEndpointConfig& operator=(const MediaEndpointConfig&) = default;
  ~MediaEndpointConfig() override;

  // Typed setters: each sets or replaces in_szName with a value of its type and answers
  // what setParameter answers (false for a null or empty name). A null text is refused
  // (false) by setStringParameter.
  virtual bool setIntParameter(const char* in_szName, int in_iValue);
  virtual bool setBoolParameter(const char* in_szName, bool in_bValue);
  virtual bool setStringParameter(const char* in_szName, const char* in_szValue);
  virtual bool setFloatParameter(const char* in_szName, double in_dValue);

  // A new MediaEndpointConfig holding a copy of every parameter (a derived configuration
  // is cloned as a plain MediaEndpointConfig); the caller owns it.
  MediaEndpointConfig* clone() const override;

  // Sets "recording.enable"; a failure is reported as an assertion.
  void enableRecording(bool in_bEnabled);
  // The value of "recording.enable"; false when it is absent or not a bool.
  bool recordingEnabled() const;
  // Sets "recording.output-id"; a failure (null text) is reported as an assertion.
  void setRecordingOutputId(const char* in_szId);
  // True with the value of "recording.output-id" when present; false and out_strId
  // untouched otherwise.
  bool getRecordingOutputId(std::string& out_strId) const;
};

}  // namespace Omvera
