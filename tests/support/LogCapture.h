#pragma once
// Captures log lines for tests: logger name, level and message of every line emitted
// while a LogCapture lives, whatever the appenders configured for the process.
//
//   LogCapture capture("tidewave.media", LogLevel::TRACE);
//   ... code under test ...
//   EXPECT_TRUE(capture.contains(LogLevel::ERROR, "failed to create ..."));
//
// The capture attaches an appender to the named logger (the root logger when the name is
// empty) and sets that logger's level for its lifetime; captured lines do not also go to
// the console. Everything is restored when the capture is destroyed. Lines may come from
// any thread.

#include <mutex>
#include <string>
#include <vector>

#include <log4cplus/appender.h>
#include <log4cplus/logger.h>

#include "tidewave/infra/Logger.h"

namespace Omvera {
namespace Test {

struct CapturedLine {
  std::string m_strLogger;
  int m_iLevel;
  std::string m_strMessage;
};

class LogCapture {
 public:
  explicit LogCapture(const std::string& in_strLoggerName = "", int in_iLevel = LogLevel::TRACE);
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<CapturedLine> lines() const;
  // Messages only, in order, optionally only those at in_iLevel.
  std::vector<std::string> messages(int in_iLevel = LogLevel::NOT_SET) const;
  // True when a line at in_iLevel has exactly the text in_strMessage.
  bool contains(int in_iLevel, const std::string& in_strMessage) const;
  // True when a line at in_iLevel has in_strPart somewhere in its text.
  bool containsPart(int in_iLevel, const std::string& in_strPart) const;
  std::size_t count(int in_iLevel, const std::string& in_strMessage) const;
  void clear();

 private:
  class Appender;
  log4cplus::Logger m_logger;
  int m_iOldLevel;
  bool m_bOldAdditivity;
  log4cplus::SharedAppenderPtrList m_vDetachedAppenders;
  log4cplus::SharedAppenderPtr m_pAppender;
  Appender* m_pCapture;
};

}  // namespace Test
}  // namespace Omvera
