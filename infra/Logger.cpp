#include "tidewave/infra/Logger.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <mutex>

#include <log4cplus/configurator.h>
#include <log4cplus/consoleappender.h>
#include <log4cplus/helpers/property.h>
#include <log4cplus/initializer.h>
#include <log4cplus/layout.h>
#include <log4cplus/loglevel.h>

#include "InfraRuntime.h"
#include "tidewave/infra/Configuration.h"

namespace Omvera {

namespace {

constexpr const char* s_szPRODUCT_ROOT_LOGGER = "tidewave";
constexpr const char* s_szLOGGING_PREFIX = "log4cplus.";

std::atomic<bool> s_bLoggingOn{true};

struct RuntimeState {
  std::once_flag m_startFlag;
  Configuration* m_pConfiguration = nullptr;
  std::string m_strConfigFile;
  std::mutex m_loggerMutex;
  std::vector<AceCleanupLogger*> m_vLoggers;
};

RuntimeState& runtimeState() {
  // Never destroyed: loggers and the configuration must stay usable from any static
  // destructor; the loggers are released by releaseLoggers() at exit.
  static RuntimeState* const s_pState = new RuntimeState();
  return *s_pState;
}

void releaseLoggers() {
  RuntimeState& state = runtimeState();
  std::vector<AceCleanupLogger*> vLoggers;
  {
    std::lock_guard<std::mutex> lock(state.m_loggerMutex);
    vLoggers.swap(state.m_vLoggers);
  }
  for (auto it = vLoggers.rbegin(); it != vLoggers.rend(); ++it) delete *it;
}

void configureDefaultLogging() {
  log4cplus::Logger root = log4cplus::Logger::getRoot();
  if (root.getAllAppenders().empty()) {
    log4cplus::SharedAppenderPtr pConsole(new log4cplus::ConsoleAppender(true, true));
    pConsole->setLayout(std::unique_ptr<log4cplus::Layout>(
        new log4cplus::PatternLayout("%D{%Y-%m-%d %H:%M:%S.%q} %-5p %c - %m%n")));
    root.addAppender(pConsole);
  }
  root.setLogLevel(log4cplus::WARN_LOG_LEVEL);
}

void startRuntime() {
  log4cplus::initialize();
  RuntimeState& state = runtimeState();
  state.m_pConfiguration = new Configuration();
  // Run once the singleton registry and other statics created after this point are gone.
  std::atexit(releaseLoggers);

  std::string strError;
  bool bHasLoggingKeys = false;
  const char* szFile = std::getenv(GlobalConfig::s_szCONFIG_ENV_VAR);
  bool bRead = false;
  if (szFile != nullptr && *szFile != '\0') {
    state.m_strConfigFile = szFile;
    bRead = InfraRuntime::readPropertiesFile(state.m_strConfigFile, *state.m_pConfiguration,
                                             bHasLoggingKeys, strError);
  }
  if (bRead && bHasLoggingKeys) {
    InfraRuntime::configureLoggingFromFile(state.m_strConfigFile);
  } else {
    configureDefaultLogging();
  }
  if (!strError.empty()) {
    // Plain log4cplus here: the product loggers need this start-up to have finished.
    log4cplus::Logger configLogger = log4cplus::Logger::getInstance("tidewave.infra.Config");
    configLogger.forcedLog(log4cplus::ERROR_LOG_LEVEL, strError, "Configuration", __LINE__);
  }
}

}  // namespace

namespace InfraRuntime {

void ensureStarted() { std::call_once(runtimeState().m_startFlag, startRuntime); }

Configuration& configuration() {
  ensureStarted();
  return *runtimeState().m_pConfiguration;
}

const std::string& configFileName() {
  ensureStarted();
  return runtimeState().m_strConfigFile;
}

void keepUntilShutdown(AceCleanupLogger* in_pLogger) {
  RuntimeState& state = runtimeState();
  std::lock_guard<std::mutex> lock(state.m_loggerMutex);
  state.m_vLoggers.push_back(in_pLogger);
}

bool readPropertiesFile(const std::string& in_strPath, Configuration& out_config,
                        bool& out_bHasLoggingKeys, std::string& out_strError) {
  out_bHasLoggingKeys = false;
  std::ifstream file(in_strPath);
  if (!file) {
    out_strError = "Cannot read configuration file " + in_strPath + ", going on with defaults";
    return false;
  }
  log4cplus::helpers::Properties properties(file);
  for (const std::string& strKey : properties.propertyNames()) {
    if (strKey.compare(0, std::char_traits<char>::length(s_szLOGGING_PREFIX),
                       s_szLOGGING_PREFIX) == 0) {
      out_bHasLoggingKeys = true;
    } else {
      out_config.setParameterText(strKey.c_str(), properties.getProperty(strKey));
    }
  }
  return true;
}

void configureLoggingFromFile(const std::string& in_strPath) {
  log4cplus::PropertyConfigurator configurator(in_strPath);
  configurator.configure();
}

}  // namespace InfraRuntime

const char* LogLevel::name(int in_iLevel) {
  switch (in_iLevel) {
    case TRACE: return "TRACE";
    case DEBUG: return "DEBUG";
    case INFO: return "INFO";
    case WARN: return "WARN";
    case ERROR: return "ERROR";
    case FATAL: return "FATAL";
    case NOT_SET: return "NOTSET";
    default: return "UNKNOWN";
  }
}

Logger::Logger() : Logger(s_szPRODUCT_ROOT_LOGGER) {}

Logger::Logger(const char* in_szName) : Logger(std::string(in_szName ? in_szName : "")) {}

Logger::Logger(const std::string& in_strName) : m_strName(in_strName) {
  InfraRuntime::ensureStarted();
  m_logger = m_strName.empty() ? log4cplus::Logger::getRoot()
                               : log4cplus::Logger::getInstance(m_strName);
}

Logger::~Logger() = default;

int Logger::getLogLevel() const { return m_logger.getLogLevel(); }

int Logger::getChainedLogLevel() const { return m_logger.getChainedLogLevel(); }

void Logger::setLogLevel(int in_iLevel) { m_logger.setLogLevel(in_iLevel); }

bool Logger::isEnabledFor(int in_iLevel) const { return m_logger.isEnabledFor(in_iLevel); }

bool Logger::isOn() const { return s_bLoggingOn.load(std::memory_order_relaxed); }

void Logger::setLoggingOn(bool in_bOn) { s_bLoggingOn.store(in_bOn, std::memory_order_relaxed); }

void Logger::log(int in_iLevel, const std::string& in_strMessage, const char* in_szModule,
                 int in_iLine) const {
  emit(in_iLevel, in_strMessage, in_szModule, in_iLine);
}

void Logger::emit(int in_iLevel, const std::string& in_strMessage, const char* in_szModule,
                  int in_iLine) const {
  m_logger.forcedLog(in_iLevel, in_strMessage, in_szModule ? in_szModule : "", in_iLine);
}

void LoggingIdLogger::addLoggingId(const std::string& in_strId) {
  m_vLoggingIds.push_back(in_strId);
  rebuildPrefix();
}

void LoggingIdLogger::clearLoggingIds() {
  m_vLoggingIds.clear();
  rebuildPrefix();
}

void LoggingIdLogger::logCallId(const std::string& in_strCallId) {
  m_strCallId = in_strCallId;
  rebuildPrefix();
}

void LoggingIdLogger::rebuildPrefix() {
  m_strPrefix.clear();
  if (!m_strCallId.empty()) m_strPrefix += "[" + m_strCallId + "] ";
  for (const std::string& strId : m_vLoggingIds) m_strPrefix += "[" + strId + "] ";
}

void LoggingIdLogger::log(int in_iLevel, const std::string& in_strMessage,
                          const char* in_szModule, int in_iLine) const {
  if (m_strPrefix.empty()) {
    emit(in_iLevel, in_strMessage, in_szModule, in_iLine);
  } else {
    emit(in_iLevel, m_strPrefix + in_strMessage, in_szModule, in_iLine);
  }
}

AceCleanupLogger::AceCleanupLogger(const char* in_szName) : Logger(in_szName) {}

AceCleanupLogger::~AceCleanupLogger() = default;

AceCleanupLogger* AceCleanupLogger::create(const char* in_szName) {
  AceCleanupLogger* pLogger = new AceCleanupLogger(in_szName);
  InfraRuntime::keepUntilShutdown(pLogger);
  return pLogger;
}

}  // namespace Omvera
