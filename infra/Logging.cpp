#include "tidewave/infra/Logging.h"

namespace Omvera {

void TraceScope::ctorLog() const {
  m_logger.log(LogLevel::TRACE, std::string(m_szScope) + " entry", m_szModule, m_iLine);
}

void TraceScope::dtorLog() const {
  m_logger.log(LogLevel::TRACE, std::string(m_szScope) + " exit", m_szModule, m_iLine);
}

}  // namespace Omvera
