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

TEST(MediaEndpointConfig, RecordingSettings) {
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
  EXPECT_TRUE(config.parameterDefined("recording.enable"));

  config.setRecordingOutputId("out-7");
  EXPECT_TRUE(config.getRecordingOutputId(strId));
  EXPECT_EQ("out-7", strId);
  std::string strRaw;
  EXPECT_TRUE(config.getStringParameter("recording.output-id", strRaw));
  EXPECT_EQ("out-7", strRaw);

  // A value that does not read as a bool does not enable recording.
  EXPECT_TRUE(config.setStringParameter(Media::EndpointConfig::szRECORDING_ENABLE, "maybe"));
  EXPECT_FALSE(config.recordingEnabled());
  EXPECT_EQ(0U, recorder.count());
}

TEST(MediaEndpointConfig, SetterFailuresAreReported) {
  AssertionRecorder recorder;
  MediaEndpointConfig config;
  config.setRecordingOutputId(nullptr);
  std::string strId;
  EXPECT_FALSE(config.getRecordingOutputId(strId));

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

TEST(MediaEndpointConfig, TypedSetters) {
  MediaEndpointConfig config;
  EXPECT_TRUE(config.setIntParameter("a.int", 42));
  EXPECT_TRUE(config.setBoolParameter("a.bool", true));
  EXPECT_TRUE(config.setStringParameter("a.text", "hello"));
  EXPECT_TRUE(config.setFloatParameter("a.float", 0.5));
  EXPECT_FALSE(config.setIntParameter("", 1));
  EXPECT_FALSE(config.setBoolParameter(nullptr, true));
  EXPECT_FALSE(config.setStringParameter("a.null", nullptr));
  EXPECT_FALSE(config.parameterDefined("a.null"));

  const std::vector<std::pair<const char*, ParameterValue::Type>> vExpected = {
      {"a.int", ParameterValue::INT_TYPE},
      {"a.bool", ParameterValue::BOOL_TYPE},
      {"a.text", ParameterValue::STRING_TYPE},
      {"a.float", ParameterValue::FLOAT_TYPE}};
  for (const auto& expected : vExpected) {
    ParameterValue value;
    ASSERT_TRUE(config.getParameter(expected.first, value)) << expected.first;
    EXPECT_EQ(expected.second, value.getType()) << expected.first;
  }
  EXPECT_EQ(4U, config.size());
}

TEST(MediaEndpointConfig, CloneHoldsEveryParameterAndIsIndependent) {
  auto pSource = std::make_unique<MediaEndpointConfig>();
  pSource->setIntParameter("a.int", 42);
  pSource->setFloatParameter("a.float", 1.25);
  pSource->enableRecording(true);
  pSource->setRecordingOutputId("rec-1");

  std::unique_ptr<Cloneable> pClone(static_cast<const Cloneable&>(*pSource).clone());
  auto* pConfig = dynamic_cast<MediaEndpointConfig*>(pClone.get());
  ASSERT_NE(nullptr, pConfig);
  EXPECT_EQ(pSource->getMap(), pConfig->getMap());
  EXPECT_EQ(textOf(*pSource), textOf(*pConfig));

  pConfig->enableRecording(false);
  EXPECT_TRUE(pSource->recordingEnabled());
  pSource->setIntParameter("a.int", 1);
  pSource.reset();

  int iValue = 0;
  EXPECT_TRUE(pConfig->getIntParameter("a.int", iValue));
  EXPECT_EQ(42, iValue);
  std::string strId;
  EXPECT_TRUE(pConfig->getRecordingOutputId(strId));
  EXPECT_EQ("rec-1", strId);
  EXPECT_FALSE(pConfig->recordingEnabled());
}

TEST(MediaEndpointConfig, DerivedConfigurationClonesAsPlainConfiguration) {
  RefusingConfig refusing;
  std::unique_ptr<MediaEndpointConfig> pClone(refusing.clone());
  EXPECT_EQ(typeid(MediaEndpointConfig), typeid(*pClone));
  EXPECT_TRUE(pClone->setIntParameter("a.int", 1));

  CloneableObjPtr<MediaEndpointConfig> pHeld(new MediaEndpointConfig);
  pHeld->setBoolParameter("a.bool", true);
  CloneableObjPtr<MediaEndpointConfig> pCopy(pHeld);
  ASSERT_FALSE(pCopy.isNull());
  EXPECT_NE(pHeld.get(), pCopy.get());
  EXPECT_TRUE(pCopy->parameterDefined("a.bool"));
}

}  // namespace
}  // namespace Omvera
