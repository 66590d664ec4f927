// Parameter values, parameter maps, the process configuration and the per-task cache.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "support/LogCapture.h"
#include "support/TextOf.h"
#include "tidewave/infra/Configuration.h"

namespace Omvera {
namespace {

using Test::LogCapture;
using Test::textOf;

class ScratchFile {
 public:
  explicit ScratchFile(const std::string& in_strText) {
    char acName[] = "/tmp/tidewave-config-XXXXXX";
    const int iFd = ::mkstemp(acName);
    ::close(iFd);
    m_strPath = acName;
    std::ofstream(m_strPath) << in_strText;
  }
  ~ScratchFile() { std::remove(m_strPath.c_str()); }
  const std::string& path() const { return m_strPath; }

 private:
  std::string m_strPath;
};

TEST(ParameterValues, ParseEachTypeAndRefuseBadTextWithoutChange) {
  ParameterValue value(5);
  EXPECT_TRUE(value.initUnionFromString(" -42 ", ParameterValue::INT_TYPE));
  int iValue = 0;
  EXPECT_TRUE(value.getInt(iValue));
  EXPECT_EQ(-42, iValue);
  EXPECT_TRUE(value.initUnionFromString("0x10", ParameterValue::INT_TYPE));
  EXPECT_TRUE(value.getInt(iValue));
  EXPECT_EQ(16, iValue);

  for (const char* szBad : {"", "12abc", "99999999999", "1.5"}) {
    EXPECT_FALSE(value.initUnionFromString(szBad, ParameterValue::INT_TYPE)) << szBad;
  }
  EXPECT_EQ(ParameterValue(16), value) << "a failed parse leaves the value as it was";

  bool bValue = false;
  for (const char* szTrue : {"true", "TRUE", "yes", "On", "1"}) {
    ASSERT_TRUE(value.initUnionFromString(szTrue, ParameterValue::BOOL_TYPE)) << szTrue;
    EXPECT_TRUE(value.getBool(bValue) && bValue) << szTrue;
  }
  EXPECT_FALSE(value.initUnionFromString("maybe", ParameterValue::BOOL_TYPE));
  EXPECT_FALSE(value.initUnionFromString("1", ParameterValue::UNDEF_TYPE));

  double dValue = 0;
  EXPECT_TRUE(value.initUnionFromString("2.5", ParameterValue::FLOAT_TYPE));
  EXPECT_TRUE(value.getFloat(dValue));
  EXPECT_DOUBLE_EQ(2.5, dValue);
  EXPECT_FALSE(value.initUnionFromString("2.5x", ParameterValue::FLOAT_TYPE));

  EXPECT_TRUE(value.initUnionFromString(" kept as is ", ParameterValue::STRING_TYPE));
  std::string strValue;
  EXPECT_TRUE(value.getString(strValue));
  EXPECT_EQ(" kept as is ", strValue);
}

TEST(ParameterValues, TextFormAndCrossTypeReads) {
  std::ostringstream stream;
  stream << ParameterValue(7) << "|" << ParameterValue(true) << "|" << ParameterValue(0.5) << "|"
         << ParameterValue("txt") << "|" << ParameterValue();
  EXPECT_EQ("7|true|0.5|txt|<undef>", stream.str());

  int iValue = 11;
  EXPECT_TRUE(ParameterValue("300").getInt(iValue));
  EXPECT_EQ(300, iValue);
  EXPECT_FALSE(ParameterValue(true).getInt(iValue));
  EXPECT_FALSE(ParameterValue("x").getInt(iValue));
  EXPECT_EQ(300, iValue) << "failed reads leave the output untouched";
  std::string strValue;
  EXPECT_TRUE(ParameterValue(12).getString(strValue));
  EXPECT_EQ("12", strValue);
}

TEST(ParameterMaps, TypedAccessAbsentKeysAndSortedText) {
  ParameterHashMap map;
  EXPECT_TRUE(map.setParameter("b.int", ParameterValue(3)));
  EXPECT_TRUE(map.setParameter("a.text", ParameterValue("hello")));
  EXPECT_FALSE(map.setParameter("", ParameterValue(1)));
  EXPECT_FALSE(map.setParameter(nullptr, ParameterValue(1)));
  EXPECT_FALSE(map.setParameter("undef", ParameterValue()));

  int iValue = -1;
  EXPECT_FALSE(map.getIntParameter("missing", iValue));
  EXPECT_FALSE(map.getIntParameter(nullptr, iValue));
  EXPECT_FALSE(map.getIntParameter("a.text", iValue));
  EXPECT_EQ(-1, iValue);
  EXPECT_TRUE(map.getIntParameter("b.int", iValue));
  EXPECT_EQ(3, iValue);
  EXPECT_TRUE(map.parameterDefined("a.text"));
  EXPECT_EQ("a.text=hello; b.int=3", textOf(map));

  ParameterHashMap copy(map);
  EXPECT_TRUE(map.removeParameter("b.int"));
  EXPECT_TRUE(copy.parameterDefined("b.int"));
}

TEST(ProcessConfiguration, FileLoadGivesTypedParametersAndSkipsLoggingKeys) {
  ScratchFile file(
      "# a comment\n"
      "tidewave.test.file.int = 300\n"
      "tidewave.test.file.flag=true\n"
      "tidewave.test.file.ratio = 0.25\n"
      "tidewave.test.file.dir = /var/tones\n"
      "log4cplus.logger.tidewave.test.fromfile = DEBUG\n");
  Configuration& config = GlobalConfig::getWritable();
  ASSERT_TRUE(config.loadFile(file.path()));

  const ROConfiguration& ro = GlobalConfig::getInstance();
  int iValue = 0;
  bool bValue = false;
  double dValue = 0;
  std::string strValue;
  EXPECT_TRUE(ro.getIntParameter("tidewave.test.file.int", iValue));
  EXPECT_EQ(300, iValue);
  EXPECT_TRUE(ro.getBoolParameter("tidewave.test.file.flag", bValue));
  EXPECT_TRUE(bValue);
  EXPECT_TRUE(ro.getFloatParameter("tidewave.test.file.ratio", dValue));
  EXPECT_DOUBLE_EQ(0.25, dValue);
  EXPECT_TRUE(ro.getStringParameter("tidewave.test.file.dir", strValue));
  EXPECT_EQ("/var/tones", strValue);
  EXPECT_FALSE(ro.parameterDefined("log4cplus.logger.tidewave.test.fromfile"));
  EXPECT_EQ(LogLevel::DEBUG, Logger("tidewave.test.fromfile").getLogLevel())
      << "the file's logging keys configure log4cplus";

  iValue = 77;
  EXPECT_FALSE(ro.getIntParameter("tidewave.test.file.absent", iValue));
  EXPECT_EQ(77, iValue);
  EXPECT_FALSE(ro.getIntParameter("tidewave.test.file.dir", iValue));
  EXPECT_EQ(77, iValue);
}

TEST(ProcessConfiguration, MissingFileIsAnErrorNamingItAndChangesNothing) {
  LogCapture capture("tidewave.infra.Config", LogLevel::TRACE);
  Configuration& config = GlobalConfig::getWritable();
  config.setParameter("tidewave.test.keep", ParameterValue(1));
  EXPECT_FALSE(config.loadFile("/nonexistent/tidewave.properties"));
  EXPECT_TRUE(capture.contains(LogLevel::ERROR,
                               "Cannot read configuration file /nonexistent/tidewave.properties, "
                               "going on with defaults"));
  EXPECT_TRUE(config.parameterDefined("tidewave.test.keep"));
}

TEST(ProcessConfiguration, SetFromCodeReplacesAndRemoves) {
  Configuration& config = GlobalConfig::getWritable();
  EXPECT_TRUE(config.setParameter("tidewave.test.code", ParameterValue(5)));
  EXPECT_TRUE(config.setParameterText("tidewave.test.code", "6"));
  int iValue = 0;
  EXPECT_TRUE(GlobalConfig::getInstance().getIntParameter("tidewave.test.code", iValue));
  EXPECT_EQ(6, iValue);
  EXPECT_TRUE(config.removeParameter("tidewave.test.code"));
  EXPECT_FALSE(GlobalConfig::getInstance().parameterDefined("tidewave.test.code"));
}

TEST(ConfigCaches, AnswerFromCacheAndNoticeChanges) {
  Configuration config;
  config.setParameter("tidewave.media.EndpointSM.stopTimeoutSec", ParameterValue(5));
  ConfigCache cache(config);
  int iValue = 0;
  EXPECT_TRUE(cache.getIntParameter("tidewave.media.EndpointSM.stopTimeoutSec", iValue));
  EXPECT_EQ(5, iValue);
  EXPECT_FALSE(cache.parameterDefined("tidewave.media.rxStartTimeoutMs"));

  config.setParameter("tidewave.media.EndpointSM.stopTimeoutSec", ParameterValue(300));
  config.setParameter("tidewave.media.rxStartTimeoutMs", ParameterValue(2000));
  EXPECT_TRUE(cache.getIntParameter("tidewave.media.EndpointSM.stopTimeoutSec", iValue));
  EXPECT_EQ(300, iValue);
  EXPECT_TRUE(cache.parameterDefined("tidewave.media.rxStartTimeoutMs"));

  bool bValue = true;
  EXPECT_FALSE(cache.getBoolParameter("tidewave.media.CallSM.txDontWaitForPeer", bValue));
  EXPECT_TRUE(bValue);
}

TEST(ConfigCaches, DefaultCacheReadsTheProcessConfiguration) {
  GlobalConfig::getWritable().setParameter("tidewave.test.cached", ParameterValue(true));
  ConfigCacheHandle hCache(new ConfigCache());
  ASSERT_FALSE(hCache.isNull());
  bool bValue = false;
  EXPECT_TRUE(hCache->getBoolParameter("tidewave.test.cached", bValue));
  EXPECT_TRUE(bValue);
  EXPECT_TRUE(ConfigCacheHandle().isNull());
}

}  // namespace
}  // namespace Omvera
