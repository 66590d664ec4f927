#include "support/LogCapture.h"

#include <algorithm>

#include <log4cplus/spi/loggingevent.h>

namespace Omvera {
namespace Test {

class LogCapture::Appender : public log4cplus::Appender {
 public:
  Appender() { setName(LOG4CPLUS_TEXT("tidewave-test-capture")); }
  ~Appender() override { destructorImpl(); }
  void close() override {}

  std::vector<CapturedLine> lines() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_vLines;
  }
  void clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vLines.clear();
  }

 protected:
  void append(const log4cplus::spi::InternalLoggingEvent& in_event) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vLines.push_back(
        CapturedLine{in_event.getLoggerName(), in_event.getLogLevel(), in_event.getMessage()});
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<CapturedLine> m_vLines;
};

LogCapture::LogCapture(const std::string& in_strLoggerName, int in_iLevel) {
  Logger ensureLoggingUp;  // brings up logging before we attach
  m_logger = in_strLoggerName.empty() ? log4cplus::Logger::getRoot()
                                      : log4cplus::Logger::getInstance(in_strLoggerName);
  m_iOldLevel = m_logger.getLogLevel();
  m_bOldAdditivity = m_logger.getAdditivity();
  if (in_strLoggerName.empty()) {
    m_vDetachedAppenders = m_logger.getAllAppenders();
    m_logger.removeAllAppenders();
  } else {
    m_logger.setAdditivity(false);
  }
  m_pCapture = new Appender();
  m_pAppender = log4cplus::SharedAppenderPtr(m_pCapture);
  m_logger.addAppender(m_pAppender);
  m_logger.setLogLevel(in_iLevel);
}

LogCapture::~LogCapture() {
  m_logger.removeAppender(m_pAppender);
  for (const log4cplus::SharedAppenderPtr& pAppender : m_vDetachedAppenders) {
    m_logger.addAppender(pAppender);
  }
  m_logger.setAdditivity(m_bOldAdditivity);
  m_logger.setLogLevel(m_iOldLevel);
}

std::vector<CapturedLine> LogCapture::lines() const { return m_pCapture->lines(); }

std::vector<std::string> LogCapture::messages(int in_iLevel) const {
  std::vector<std::string> vResult;
  for (const CapturedLine& line : lines()) {
    if (in_iLevel == LogLevel::NOT_SET || line.m_iLevel == in_iLevel) {
      vResult.push_back(line.m_strMessage);
    }
  }
  return vResult;
}

bool LogCapture::contains(int in_iLevel, const std::string& in_strMessage) const {
  return count(in_iLevel, in_strMessage) > 0;
}

bool LogCapture::containsPart(int in_iLevel, const std::string& in_strPart) const {
  const std::vector<CapturedLine> vLines = lines();
  return std::any_of(vLines.begin(), vLines.end(), [&](const CapturedLine& line) {
    return line.m_iLevel == in_iLevel && line.m_strMessage.find(in_strPart) != std::string::npos;
  });
}

std::size_t LogCapture::count(int in_iLevel, const std::string& in_strMessage) const {
  const std::vector<CapturedLine> vLines = lines();
  return static_cast<std::size_t>(
      std::count_if(vLines.begin(), vLines.end(), [&](const CapturedLine& line) {
        return line.m_iLevel == in_iLevel && line.m_strMessage == in_strMessage;
      }));
}

void LogCapture::clear() { m_pCapture->clear(); }

}  // namespace Test
}  // namespace Omvera
