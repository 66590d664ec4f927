#pragma once
// Log emission, module loggers, object loggers and scope tracing.
//
// Every log statement has the same shape: level check (a cached level answers with one
// integer comparison), then the process-wide on/off check, and only then is the message
// built in a string stream and handed to the logger with the source module and line.
//
//   OMVERA_LOG(getLogger(), LogLevel::DEBUG, "There are " << n << " active media call(s)");
//
// OMVERA_LOG uses the module name of the enclosing source file (s_szMODULE_NAME, defined by
// OMVERA_MODULE_LOGGER); OMVERA_LOG_M names the module explicitly, for headers.

#include <sstream>
#include <string>

#include "tidewave/infra/Logger.h"

#define OMVERA_LOG_M(in_logger, in_iLevel, in_szModule, in_message)                     \
  do {                                                                                  \
    const auto& omveraLogger_ = (in_logger);                                            \
    const int omveraLevel_ = (in_iLevel);                                               \
    if (omveraLogger_.isEnabledFor(omveraLevel_) && omveraLogger_.isOn()) {             \
      std::ostringstream omveraStream_;                                                 \
      omveraStream_ << in_message;                                                      \
      omveraLogger_.log(omveraLevel_, omveraStream_.str(), (in_szModule), __LINE__);    \
    }                                                                                   \
  } while (0)

#define OMVERA_LOG(in_logger, in_iLevel, in_message) \
  OMVERA_LOG_M(in_logger, in_iLevel, s_szMODULE_NAME, in_message)

// Defines, in an anonymous namespace of one source module, the module name
// s_szMODULE_NAME and fileScopeLogger(), which returns the module's logger. The logger is
// created on first use, once even under concurrent first calls, and once more is asked for
// during static initialisation so that it exists before any other code of the module runs.
// It is never destroyed by the module (released at process shutdown).
#define OMVERA_MODULE_LOGGER(in_szModuleName, in_szLoggerName)                          \
  namespace {                                                                           \
  [[maybe_unused]] constexpr const char* s_szMODULE_NAME = in_szModuleName;             \
  [[maybe_unused]] ::Omvera::AceCleanupLogger& fileScopeLogger() {                      \
    static ::Omvera::AceCleanupLogger* const s_pLogger =                                \
        ::Omvera::AceCleanupLogger::create(in_szLoggerName);                            \
    return *s_pLogger;                                                                  \
  }                                                                                     \
  [[maybe_unused]] const bool s_bFileScopeLoggerCreated = (fileScopeLogger(), true);    \
  }

namespace Omvera {

// A base holding one logger of kind LoggerKind (LoggingIdLogger or CachedLLLogger). Used
// by the thread owning the derived object.
template <class LoggerKind>
class ObjectWithLogger {
 public:
  ObjectWithLogger() : m_logger(Logger()) {}
  explicit ObjectWithLogger(const Logger& in_logger) : m_logger(in_logger) {}
  explicit ObjectWithLogger(const LoggerKind& in_logger) : m_logger(in_logger) {}
  virtual ~ObjectWithLogger() = default;

  LoggerKind& getLogger() { return m_logger; }
  const LoggerKind& getLogger() const { return m_logger; }
  void setLogger(const LoggerKind& in_logger) { m_logger = in_logger; }

 private:
  LoggerKind m_logger;
};

// An object logger whose lines carry the object's ids (call id, "ept-id=<id>").
class ObjectWithLoggerImpl : public ObjectWithLogger<LoggingIdLogger> {
 public:
  ObjectWithLoggerImpl() = default;
  explicit ObjectWithLoggerImpl(const Logger& in_logger)
      : ObjectWithLogger<LoggingIdLogger>(in_logger) {}
  explicit ObjectWithLoggerImpl(const LoggingIdLogger& in_logger)
      : ObjectWithLogger<LoggingIdLogger>(in_logger) {}

  void addLoggingId(const std::string& in_strId) { getLogger().addLoggingId(in_strId); }
  void clearLoggingIds() { getLogger().clearLoggingIds(); }
  void setLogger(const LoggingIdLogger& in_logger) {
    ObjectWithLogger<LoggingIdLogger>::setLogger(in_logger);
  }
  int cacheLogLevel() { return getLogger().cacheLogLevel(); }
  void logCallId(const std::string& in_strCallId) { getLogger().logCallId(in_strCallId); }
};

// Traces a scope: when active, logs "<scope> entry" on construction and "<scope> exit" on
// destruction (also when the scope is left by an exception), both at TRACE. Active when
// in_iLevel is 0 or below, or, when in_iLevel is -1, when log4cplus has TRACE enabled for
// the logger; in both cases the logger's on/off check must also answer yes. The logger and
// the scope text must outlive the TraceScope.
class TraceScope {
 public:
  TraceScope(const Logger& in_logger, const char* in_szScope, int in_iLevel,
             const char* in_szModule = "TraceScope", int in_iLine = 0)
      : m_logger(in_logger), m_szScope(in_szScope), m_szModule(in_szModule),
        m_iLine(in_iLine),
        m_bActive((in_iLevel == LogLevel::NOT_SET ? in_logger.isEnabledFor(LogLevel::TRACE)
                                                  : in_iLevel <= 0) &&
                  in_logger.isOn()) {
    if (m_bActive) ctorLog();
  }
  ~TraceScope() {
    if (m_bActive) dtorLog();
  }
  TraceScope(const TraceScope&) = delete;
  TraceScope& operator=(const TraceScope&) = delete;

  const char* getScope() const { return m_szScope; }
  bool isActive() const { return m_bActive; }

 private:
  void ctorLog() const;
  void dtorLog() const;

  const Logger& m_logger;
  const char* m_szScope;
  const char* m_szModule;
  int m_iLine;
  bool m_bActive;
};

}  // namespace Omvera

// Opens a trace scope named in_szScope for the rest of the enclosing block, at the
// logger's current level.
#define OMVERA_TRACE_SCOPE(in_logger, in_szScope)                                          \
  ::Omvera::TraceScope omveraTraceScope_((in_logger), (in_szScope),                        \
                                         (in_logger).getLogLevel(), s_szMODULE_NAME, __LINE__)
