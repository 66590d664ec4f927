// Loggers, the emission path, cached levels, logging ids and scope tracing.
// TIDEWAVE_THREADED_TEST
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/LogCapture.h"
#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("LoggerTest", "tidewave.test.LoggerTest")

namespace Omvera {
namespace {

using Test::LogCapture;

// Counts how often it is written to a stream: proves when a message is (not) built.
struct BuildCounter {
  mutable int m_iWrites = 0;
};
std::ostream& operator<<(std::ostream& out_stream, const BuildCounter& in_counter) {
  ++in_counter.m_iWrites;
  return out_stream << "built";
}

TEST(LoggerDefaults, WithoutConfigurationTheProductLogsAtWarnAndAbove) {
  // No TIDEWAVE_CONFIG in the test environment: the defaults apply.
  Logger logger("tidewave.test.defaults");
  EXPECT_EQ(LogLevel::NOT_SET, logger.getLogLevel());
  EXPECT_EQ(LogLevel::WARN, logger.getChainedLogLevel());
  EXPECT_TRUE(logger.isEnabledFor(LogLevel::WARN));
  EXPECT_FALSE(logger.isEnabledFor(LogLevel::INFO));
  EXPECT_EQ("tidewave", Logger().getName());
}

TEST(LogEmission, CapturesLoggerLevelAndExactMessage) {
  LogCapture capture("tidewave.test", LogLevel::DEBUG);
  Logger logger("tidewave.test.emission");
  OMVERA_LOG(logger, LogLevel::DEBUG, "There are " << 3 << " active media call(s)");
  OMVERA_LOG(logger, LogLevel::TRACE, "below the level");
  OMVERA_LOG_M(logger, LogLevel::ERROR, "OtherModule", "failed");

  const auto lines = capture.lines();
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ("tidewave.test.emission", lines[0].m_strLogger);
  EXPECT_EQ(LogLevel::DEBUG, lines[0].m_iLevel);
  EXPECT_EQ("There are 3 active media call(s)", lines[0].m_strMessage);
  EXPECT_TRUE(capture.contains(LogLevel::ERROR, "failed"));
}

TEST(LogEmission, MessageIsBuiltOnlyWhenLevelAndSwitchAllowIt) {
  LogCapture capture("tidewave.test", LogLevel::INFO);
  Logger logger("tidewave.test.lazy");
  BuildCounter counter;

  OMVERA_LOG(logger, LogLevel::DEBUG, counter);
  EXPECT_EQ(0, counter.m_iWrites);

  Logger::setLoggingOn(false);
  OMVERA_LOG(logger, LogLevel::ERROR, counter);
  Logger::setLoggingOn(true);
  EXPECT_EQ(0, counter.m_iWrites);
  EXPECT_TRUE(capture.lines().empty());

  OMVERA_LOG(logger, LogLevel::ERROR, counter);
  EXPECT_EQ(1, counter.m_iWrites);
  EXPECT_EQ(1u, capture.count(LogLevel::ERROR, "built"));
}

TEST(CachedLevel, UncachedFollowsLog4cplusCachedDoesNot) {
  LogCapture capture("tidewave.test.cached", LogLevel::DEBUG);
  CachedLLLogger logger("tidewave.test.cached");
  EXPECT_FALSE(logger.hasCachedLogLevel());
  EXPECT_TRUE(logger.isEnabledFor(LogLevel::DEBUG));

  EXPECT_EQ(LogLevel::DEBUG, logger.cacheLogLevel());
  // log4cplus changes, the cache answers as before until refreshed.
  log4cplus::Logger::getInstance("tidewave.test.cached").setLogLevel(LogLevel::ERROR);
  EXPECT_TRUE(logger.isEnabledFor(LogLevel::DEBUG));
  EXPECT_FALSE(logger.isEnabledFor(LogLevel::TRACE));
  EXPECT_EQ(LogLevel::DEBUG, logger.getLogLevel());

  CachedLLLogger copy(logger);
  EXPECT_EQ(LogLevel::DEBUG, copy.getLogLevel());

  EXPECT_EQ(LogLevel::ERROR, logger.cacheLogLevel());
  EXPECT_FALSE(logger.isEnabledFor(LogLevel::WARN));
  logger.clearCachedLogLevel();
  EXPECT_EQ(LogLevel::ERROR, logger.getLogLevel());
}

TEST(LoggingIds, LinesCarryCallIdAndIdsAndCopiesKeepThem) {
  LogCapture capture("tidewave.test", LogLevel::TRACE);
  ObjectWithLoggerImpl object(Logger("tidewave.test.ids"));
  object.logCallId("call-7");
  object.addLoggingId("ept-id=abc");
  OMVERA_LOG(object.getLogger(), LogLevel::INFO, "started");

  LoggingIdLogger copy(object.getLogger());
  object.clearLoggingIds();
  OMVERA_LOG(object.getLogger(), LogLevel::INFO, "after clear");
  OMVERA_LOG(copy, LogLevel::INFO, "from copy");

  EXPECT_EQ((std::vector<std::string>{"[call-7] [ept-id=abc] started", "[call-7] after clear",
                                      "[call-7] [ept-id=abc] from copy"}),
            capture.messages());
}

TEST(TraceScopes, LevelSwitchAndExceptionsDecideWhatIsLogged) {
  LogCapture capture("tidewave.test", LogLevel::TRACE);
  Logger logger("tidewave.test.trace");
  {
    TraceScope scope(logger, "Quiet::op", LogLevel::DEBUG);
    EXPECT_FALSE(scope.isActive());
  }
  Logger::setLoggingOn(false);
  { TraceScope scope(logger, "Off::op", 0); }
  Logger::setLoggingOn(true);
  EXPECT_TRUE(capture.lines().empty());
  {
    TraceScope scope(logger, "Loud::op", 0);
    EXPECT_STREQ("Loud::op", scope.getScope());
  }
  {
    // -1: decided by log4cplus, which has TRACE enabled here.
    TraceScope scope(logger, "Asked::op", LogLevel::NOT_SET);
  }
  try {
    TraceScope scope(logger, "Throwing::op", 0);
    throw std::runtime_error("leave");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ((std::vector<std::string>{"Loud::op entry", "Loud::op exit", "Asked::op entry",
                                      "Asked::op exit", "Throwing::op entry", "Throwing::op exit"}),
            capture.messages(LogLevel::TRACE));
}

TEST(ModuleLoggers, ExistBeforeMainAndAreOneObjectForAllThreads) {
  EXPECT_TRUE(s_bFileScopeLoggerCreated);
  EXPECT_EQ("tidewave.test.LoggerTest", fileScopeLogger().getName());
  std::vector<const AceCleanupLogger*> vSeen(8);
  std::vector<std::thread> vThreads;
  std::atomic<bool> bGo{false};
  for (std::size_t i = 0; i < vSeen.size(); ++i) {
    vThreads.emplace_back([&, i] {
      while (!bGo.load()) std::this_thread::yield();
      vSeen[i] = &fileScopeLogger();
    });
  }
  bGo = true;
  for (auto& thread : vThreads) thread.join();
  for (const AceCleanupLogger* pLogger : vSeen) EXPECT_EQ(&fileScopeLogger(), pLogger);
}

TEST(ModuleLoggers, ConcurrentLoggingFromManyThreadsLosesNoLine) {
  LogCapture capture("tidewave.test.LoggerTest", LogLevel::INFO);
  std::vector<std::thread> vThreads;
  for (int t = 0; t < 4; ++t) {
    vThreads.emplace_back([t] {
      for (int i = 0; i < 250; ++i) {
        OMVERA_LOG(fileScopeLogger(), LogLevel::INFO, "thread " << t << " line " << i);
      }
    });
  }
  for (auto& thread : vThreads) thread.join();
  EXPECT_EQ(1000u, capture.lines().size());
}

}  // namespace
}  // namespace Omvera
