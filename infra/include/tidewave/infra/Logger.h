#pragma once
// Named loggers over log4cplus.
//
// A Logger is a cheap, copyable handle to the log4cplus logger of the same name. Levels are
// the log4cplus values (TRACE 0 ... FATAL 50000, unset -1). Creating the first Logger of the
// process brings up logging: the process configuration is loaded (see Configuration.h) and
// its log4cplus.* keys, if any, configure log4cplus; without any, lines at WARN and above go
// to the console.

#include <string>
#include <vector>

#include <log4cplus/logger.h>

namespace Omvera {

namespace LogLevel {
constexpr int NOT_SET = -1;
constexpr int TRACE = 0;
constexpr int DEBUG = 10000;
constexpr int INFO = 20000;
constexpr int WARN = 30000;
constexpr int ERROR = 40000;
constexpr int FATAL = 50000;
const char* name(int in_iLevel);
}  // namespace LogLevel

// A named logger. Any thread; a Logger object itself is not synchronised for writes
// (copying and assigning one Logger from several threads at once is the caller's problem),
// but logging through one from several threads is safe.
class Logger {
 public:
  // The product's root logger, "tidewave".
  Logger();
  explicit Logger(const std::string& in_strName);
  explicit Logger(const char* in_szName);
  virtual ~Logger();
  Logger(const Logger&) = default;
  Logger& operator=(const Logger&) = default;

  const std::string& getName() const { return m_strName; }

  // The level set on this logger itself, LogLevel::NOT_SET when none is set.
  int getLogLevel() const;
  // The effective level: this logger's, else the nearest ancestor's.
  int getChainedLogLevel() const;
  // Sets this logger's own level (LogLevel::NOT_SET to inherit again).
  void setLogLevel(int in_iLevel);
  // Asks log4cplus whether a line at in_iLevel would be emitted.
  bool isEnabledFor(int in_iLevel) const;

  // The process-wide on/off check: when switched off, no line is emitted through any
  // Logger, whatever the levels. On by default.
  bool isOn() const;
  static void setLoggingOn(bool in_bOn);

  // Emits one line unconditionally (the caller has done the level and on/off checks).
  // in_szModule is the source module name ("MediaEngineTask"), in_iLine its line.
  virtual void log(int in_iLevel, const std::string& in_strMessage, const char* in_szModule,
                   int in_iLine) const;

  log4cplus::Logger& getLog4cplusLogger() { return m_logger; }

 protected:
  void emit(int in_iLevel, const std::string& in_strMessage, const char* in_szModule,
            int in_iLine) const;

 private:
  std::string m_strName;
  log4cplus::Logger m_logger;
};

// A Logger with a cached level, so that a disabled log statement costs one integer
// comparison. Nothing is cached at first (-1): until cacheLogLevel() is called, level
// questions go to log4cplus. Copies copy the cached level. The cache is a plain integer
// written at set-up by the owning thread; it is not refreshed by itself when the log4cplus
// configuration changes.
class CachedLLLogger : public Logger {
 public:
  CachedLLLogger() = default;
  explicit CachedLLLogger(const Logger& in_logger) : Logger(in_logger) {}
  explicit CachedLLLogger(const std::string& in_strName) : Logger(in_strName) {}

  // Stores the effective (chained) level and returns it.
  int cacheLogLevel() { return m_iCachedLogLevel = getChainedLogLevel(); }
  void clearCachedLogLevel() { m_iCachedLogLevel = LogLevel::NOT_SET; }
  bool hasCachedLogLevel() const { return m_iCachedLogLevel != LogLevel::NOT_SET; }
  // The cached level when one is cached, else the effective level.
  int getLogLevel() const {
    return hasCachedLogLevel() ? m_iCachedLogLevel : getChainedLogLevel();
  }
  // With a cached level: cached level <= in_iLevel, without asking log4cplus.
  bool isEnabledFor(int in_iLevel) const {
    return hasCachedLogLevel() ? m_iCachedLogLevel <= in_iLevel : Logger::isEnabledFor(in_iLevel);
  }

 private:
  int m_iCachedLogLevel = LogLevel::NOT_SET;
};

// A Logger whose lines carry a list of logging ids and, when set, a call id. The ids are
// written before the message as "[call-id] [id] [id] ". Copies copy the ids and the cached
// level. Used by one thread at a time (the thread owning the object that logs through it).
class LoggingIdLogger : public CachedLLLogger {
 public:
  LoggingIdLogger() = default;
  explicit LoggingIdLogger(const Logger& in_logger) : CachedLLLogger(in_logger) {}
  explicit LoggingIdLogger(const std::string& in_strName) : CachedLLLogger(in_strName) {}

  void addLoggingId(const std::string& in_strId);
  void clearLoggingIds();
  void logCallId(const std::string& in_strCallId);
  const std::string& getLoggingPrefix() const { return m_strPrefix; }

  void log(int in_iLevel, const std::string& in_strMessage, const char* in_szModule,
           int in_iLine) const override;

 private:
  void rebuildPrefix();

  std::vector<std::string> m_vLoggingIds;
  std::string m_strCallId;
  std::string m_strPrefix;
};

// A Logger meant to live for the rest of the process: module loggers are created once with
// `new AceCleanupLogger(name)`, registered for release at process shutdown and never
// deleted by their module. Construction is thread-safe.
class AceCleanupLogger : public Logger {
 public:
  explicit AceCleanupLogger(const char* in_szName);
  ~AceCleanupLogger() override;

  // Creates a logger that is released at process shutdown. Any thread.
  static AceCleanupLogger* create(const char* in_szName);
};

}  // namespace Omvera
