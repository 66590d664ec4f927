// Endpoint configuration: typed parameters, recording settings, cloning.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "support/AssertionRecorder.h"
#include "support/TextOf.h"
#include "tidewave/CloneableObjPtr.h"
#include "tidewave/MediaEndpointConfig.h"

namespace Omvera {
namespace {

using Test::AssertionRecorder;
using Test::textOf;

// A configuration whose store refuses everything, to reach the setters' failure reports.
class RefusingConfig : public MediaEndpointConfig {
 public:
  bool setParameter(const char*, const ParameterValue&) override { return false; }
};

TEST(MediaEndpointConfig, RecordingSettingsAndSetterFailures) {
  AssertionRecorder recorder;
  MediaEndpointConfig config;
  EXPECT_FALSE(config.recordingEnabled());
  std::string strId = "untouched";
  EXPECT_FALSE(config.getRecordingOutputId(strId));
  EXPECT_EQ("untouched", strId);
  config.enableRecording(true);
  EXPECT_TRUE(config.recordingEnabled());
  config.enableRecording(false);
  EXPECT_FALSE(config.recordingEnabled());
  config.setRecordingOutputId("out-7");
  std::string strRaw;
  EXPECT_TRUE(config.getStringParameter("recording.output-id", strRaw));
  EXPECT_EQ("out-7", strRaw);
  // A value that does not read as a bool does not enable recording.
  EXPECT_TRUE(config.setStringParameter("recording.enable", "maybe"));
  EXPECT_FALSE(config.recordingEnabled());
  EXPECT_EQ(0U, recorder.count());

  config.setRecordingOutputId(nullptr);
  EXPECT_TRUE(config.getRecordingOutputId(strId));
  EXPECT_EQ("out-7", strId);
  RefusingConfig refusing;
  refusing.enableRecording(true);
  EXPECT_FALSE(refusing.recordingEnabled());
  refusing.setRecordingOutputId("x");
  EXPECT_EQ(std::vector<std::string>(
                {"setStringParameter(Media::EndpointConfig:: szRECORDING_OUTPUT_ID, in_szId)",
                 "setBoolParameter(Media::EndpointConfig::szRECORDING_ENABLE, in_bEnabled)",
                 "setStringParameter(Media::EndpointConfig:: szRECORDING_OUTPUT_ID, in_szId)"}),
            recorder.expressions());
  EXPECT_EQ("MediaEndpointConfig", recorder.records()[0].m_strModule);
}

TEST(MediaEndpointConfig, TypedSettersRefuseMissingNamesAndValues) {
  MediaEndpointConfig config;
  EXPECT_TRUE(config.setIntParameter("a.int", 42));
  EXPECT_TRUE(config.setBoolParameter("a.bool", true));
  EXPECT_TRUE(config.setFloatParameter("a.float", 0.5));
  EXPECT_FALSE(config.setIntParameter("", 1));
  EXPECT_FALSE(config.setBoolParameter(nullptr, true));
  EXPECT_FALSE(config.setStringParameter("a.null", nullptr));
  EXPECT_EQ(3U, config.size());
  ParameterValue value;
  ASSERT_TRUE(config.getParameter("a.float", value));
  EXPECT_EQ(ParameterValue::FLOAT_TYPE, value.getType());
}

TEST(MediaEndpointConfig, ClonesAreIndependentPlainConfigurations) {
  auto pSource = std::make_unique<RefusingConfig>();
  pSource->MediaEndpointConfig::setParameter("a.int", ParameterValue(42));
  pSource->MediaEndpointConfig::setParameter("recording.output-id", ParameterValue("rec-1"));
  std::unique_ptr<MediaEndpointConfig> pConfig(pSource->clone());
  const MediaEndpointConfig& config = *pConfig;
  EXPECT_EQ(typeid(MediaEndpointConfig), typeid(config));  // a derived one clones as plain
  EXPECT_EQ(pSource->getMap(), pConfig->getMap());
  EXPECT_EQ(textOf(*pSource), textOf(*pConfig));
  pConfig->enableRecording(true);
  EXPECT_FALSE(pSource->recordingEnabled());
  pSource.reset();
  int iValue = 0;
  EXPECT_TRUE(pConfig->getIntParameter("a.int", iValue));
  EXPECT_EQ(42, iValue);
  std::string strId;
  EXPECT_TRUE(pConfig->getRecordingOutputId(strId));
  EXPECT_EQ("rec-1", strId);

  CloneableObjPtr<MediaEndpointConfig> pHeld(pConfig.release());
  CloneableObjPtr<MediaEndpointConfig> pCopy(pHeld);
  EXPECT_NE(pHeld.get(), pCopy.get());
  EXPECT_TRUE(pCopy->recordingEnabled());
}

}  // namespace
}  // namespace Omvera
