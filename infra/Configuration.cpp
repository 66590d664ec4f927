#include "tidewave/infra/Configuration.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "InfraRuntime.h"
#include "tidewave/infra/Logging.h"

OMVERA_MODULE_LOGGER("Configuration", "tidewave.infra.Config")

namespace Omvera {

namespace {

std::string trim(const std::string& in_strText) {
  const auto begin = std::find_if_not(in_strText.begin(), in_strText.end(),
                                      [](unsigned char c) { return std::isspace(c); });
  const auto end = std::find_if_not(in_strText.rbegin(), in_strText.rend(),
                                    [](unsigned char c) { return std::isspace(c); })
                       .base();
  return begin < end ? std::string(begin, end) : std::string();
}

bool parseInt(const std::string& in_strText, int& out_iValue) {
  const std::string strText = trim(in_strText);
  if (strText.empty()) return false;
  errno = 0;
  char* pEnd = nullptr;
  const long lValue = std::strtol(strText.c_str(), &pEnd, 0);
  if (errno != 0 || *pEnd != '\0' || lValue < INT_MIN || lValue > INT_MAX) return false;
  out_iValue = static_cast<int>(lValue);
  return true;
}

bool parseBool(const std::string& in_strText, bool& out_bValue) {
  std::string strText = trim(in_strText);
  std::transform(strText.begin(), strText.end(), strText.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (strText == "true" || strText == "yes" || strText == "on" || strText == "1") {
    out_bValue = true;
    return true;
  }
  if (strText == "false" || strText == "no" || strText == "off" || strText == "0") {
    out_bValue = false;
    return true;
  }
  return false;
}

bool parseFloat(const std::string& in_strText, double& out_dValue) {
  const std::string strText = trim(in_strText);
  if (strText.empty()) return false;
  errno = 0;
  char* pEnd = nullptr;
  const double dValue = std::strtod(strText.c_str(), &pEnd);
  if (errno == ERANGE || *pEnd != '\0') return false;
  out_dValue = dValue;
  return true;
}

bool validName(const char* in_szName) { return in_szName != nullptr && *in_szName != '\0'; }

}  // namespace

// ParameterValue ---------------------------------------------------------------------------

ParameterValue::ParameterValue(int in_iValue) : m_eType(INT_TYPE), m_iValue(in_iValue) {}
ParameterValue::ParameterValue(bool in_bValue) : m_eType(BOOL_TYPE), m_bValue(in_bValue) {}
ParameterValue::ParameterValue(double in_dValue) : m_eType(FLOAT_TYPE), m_dValue(in_dValue) {}
ParameterValue::ParameterValue(const char* in_szValue)
    : m_eType(STRING_TYPE), m_dValue(0.0), m_strValue(in_szValue ? in_szValue : "") {}
ParameterValue::ParameterValue(const std::string& in_strValue)
    : m_eType(STRING_TYPE), m_dValue(0.0), m_strValue(in_strValue) {}

bool ParameterValue::initUnionFromString(const std::string& in_strText, Type in_eType) {
  switch (in_eType) {
    case INT_TYPE: {
      int iValue = 0;
      if (!parseInt(in_strText, iValue)) return false;
      *this = ParameterValue(iValue);
      return true;
    }
    case BOOL_TYPE: {
      bool bValue = false;
      if (!parseBool(in_strText, bValue)) return false;
      *this = ParameterValue(bValue);
      return true;
    }
    case FLOAT_TYPE: {
      double dValue = 0.0;
      if (!parseFloat(in_strText, dValue)) return false;
      *this = ParameterValue(dValue);
      return true;
    }
    case STRING_TYPE:
      *this = ParameterValue(in_strText);
      return true;
    case UNDEF_TYPE:
      break;
  }
  return false;
}

bool ParameterValue::getInt(int& out_iValue) const {
  switch (m_eType) {
    case INT_TYPE: out_iValue = m_iValue; return true;
    case STRING_TYPE: return parseInt(m_strValue, out_iValue);
    default: return false;
  }
}

bool ParameterValue::getBool(bool& out_bValue) const {
  switch (m_eType) {
    case BOOL_TYPE: out_bValue = m_bValue; return true;
    case INT_TYPE:
      if (m_iValue != 0 && m_iValue != 1) return false;
      out_bValue = m_iValue == 1;
      return true;
    case STRING_TYPE: return parseBool(m_strValue, out_bValue);
    default: return false;
  }
}

bool ParameterValue::getFloat(double& out_dValue) const {
  switch (m_eType) {
    case FLOAT_TYPE: out_dValue = m_dValue; return true;
    case INT_TYPE: out_dValue = m_iValue; return true;
    case STRING_TYPE: return parseFloat(m_strValue, out_dValue);
    default: return false;
  }
}

bool ParameterValue::getString(std::string& out_strValue) const {
  if (m_eType == UNDEF_TYPE) return false;
  if (m_eType == STRING_TYPE) {
    out_strValue = m_strValue;
  } else {
    std::ostringstream stream;
    write(stream);
    out_strValue = stream.str();
  }
  return true;
}

void ParameterValue::write(std::ostream& out_stream) const {
  switch (m_eType) {
    case INT_TYPE: out_stream << m_iValue; break;
    case BOOL_TYPE: out_stream << (m_bValue ? "true" : "false"); break;
    case FLOAT_TYPE: out_stream << m_dValue; break;
    case STRING_TYPE: out_stream << m_strValue; break;
    case UNDEF_TYPE: out_stream << "<undef>"; break;
  }
}

bool ParameterValue::operator==(const ParameterValue& in_rhs) const {
  if (m_eType != in_rhs.m_eType) return false;
  switch (m_eType) {
    case INT_TYPE: return m_iValue == in_rhs.m_iValue;
    case BOOL_TYPE: return m_bValue == in_rhs.m_bValue;
    case FLOAT_TYPE: return m_dValue == in_rhs.m_dValue;
    case STRING_TYPE: return m_strValue == in_rhs.m_strValue;
    case UNDEF_TYPE: return true;
  }
  return false;
}

std::ostream& operator<<(std::ostream& out_stream, const ParameterValue& in_value) {
  in_value.write(out_stream);
  return out_stream;
}

ROConfiguration::~ROConfiguration() = default;

// ParameterHashMap -------------------------------------------------------------------------

ParameterHashMap::~ParameterHashMap() = default;

bool ParameterHashMap::getParameter(const char* in_szName, ParameterValue& out_value) const {
  if (!validName(in_szName)) return false;
  const auto it = m_map.find(in_szName);
  if (it == m_map.end()) return false;
  out_value = it->second;
  return true;
}

bool ParameterHashMap::parameterDefined(const char* in_szName) const {
  return validName(in_szName) && m_map.count(in_szName) != 0;
}

bool ParameterHashMap::getIntParameter(const char* in_szName, int& out_iValue) const {
  ParameterValue value;
  return getParameter(in_szName, value) && value.getInt(out_iValue);
}

bool ParameterHashMap::getBoolParameter(const char* in_szName, bool& out_bValue) const {
  ParameterValue value;
  return getParameter(in_szName, value) && value.getBool(out_bValue);
}

bool ParameterHashMap::getStringParameter(const char* in_szName, std::string& out_strValue) const {
  ParameterValue value;
  return getParameter(in_szName, value) && value.getString(out_strValue);
}

bool ParameterHashMap::getFloatParameter(const char* in_szName, double& out_dValue) const {
  ParameterValue value;
  return getParameter(in_szName, value) && value.getFloat(out_dValue);
}

bool ParameterHashMap::setParameter(const char* in_szName, const ParameterValue& in_value) {
  if (!validName(in_szName) || in_value.getType() == ParameterValue::UNDEF_TYPE) return false;
  m_map[in_szName] = in_value;
  return true;
}

bool ParameterHashMap::removeParameter(const char* in_szName) {
  return validName(in_szName) && m_map.erase(in_szName) != 0;
}

void ParameterHashMap::write(std::ostream& out_stream) const {
  std::vector<const Map::value_type*> vEntries;
  vEntries.reserve(m_map.size());
  for (const auto& entry : m_map) vEntries.push_back(&entry);
  std::sort(vEntries.begin(), vEntries.end(),
            [](const Map::value_type* a, const Map::value_type* b) { return a->first < b->first; });
  const char* szSeparator = "";
  for (const Map::value_type* pEntry : vEntries) {
    out_stream << szSeparator << pEntry->first << "=" << pEntry->second;
    szSeparator = "; ";
  }
}

// Configuration ----------------------------------------------------------------------------

Configuration::Configuration() = default;
Configuration::~Configuration() = default;

bool Configuration::getParameter(const char* in_szName, ParameterValue& out_value) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_parameters.getParameter(in_szName, out_value);
}

bool Configuration::getIntParameter(const char* in_szName, int& out_iValue) const {
  ParameterValue value;
  return getParameter(in_szName, value) && value.getInt(out_iValue);
}

bool Configuration::getBoolParameter(const char* in_szName, bool& out_bValue) const {
  ParameterValue value;
  return getParameter(in_szName, value) && value.getBool(out_bValue);
}

bool Configuration::getFloatParameter(const char* in_szName, double& out_dValue) const {
  ParameterValue value;
  return getParameter(in_szName, value) && value.getFloat(out_dValue);
}

bool Configuration::getStringParameter(const char* in_szName, std::string& out_strValue) const {
  ParameterValue value;
  return getParameter(in_szName, value) && value.getString(out_strValue);
}

bool Configuration::parameterDefined(const char* in_szName) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_parameters.parameterDefined(in_szName);
}

bool Configuration::setParameter(const char* in_szName, const ParameterValue& in_value) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const bool bSet = m_parameters.setParameter(in_szName, in_value);
  if (bSet) m_ulGeneration.fetch_add(1, std::memory_order_release);
  return bSet;
}

bool Configuration::setParameterText(const char* in_szName, const std::string& in_strText) {
  return setParameter(in_szName, ParameterValue(in_strText));
}

bool Configuration::removeParameter(const char* in_szName) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const bool bRemoved = m_parameters.removeParameter(in_szName);
  if (bRemoved) m_ulGeneration.fetch_add(1, std::memory_order_release);
  return bRemoved;
}

void Configuration::clear() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_parameters.clear();
  m_ulGeneration.fetch_add(1, std::memory_order_release);
}

bool Configuration::loadFile(const std::string& in_strPath) {
  Configuration loaded;
  bool bHasLoggingKeys = false;
  std::string strError;
  if (!InfraRuntime::readPropertiesFile(in_strPath, loaded, bHasLoggingKeys, strError)) {
    OMVERA_LOG(fileScopeLogger(), LogLevel::ERROR, strError);
    return false;
  }
  const ParameterHashMap parameters = loaded.snapshot();
  for (const auto& entry : parameters.getMap()) {
    setParameter(entry.first.c_str(), entry.second);
  }
  if (bHasLoggingKeys) InfraRuntime::configureLoggingFromFile(in_strPath);
  return true;
}

ParameterHashMap Configuration::snapshot() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_parameters;
}

// GlobalConfig -----------------------------------------------------------------------------

ROConfiguration& GlobalConfig::getInstance() { return InfraRuntime::configuration(); }

Configuration& GlobalConfig::getWritable() { return InfraRuntime::configuration(); }

std::string GlobalConfig::getConfigFileName() { return InfraRuntime::configFileName(); }

// ConfigCache ------------------------------------------------------------------------------

ConfigCache::ConfigCache() : ConfigCache(GlobalConfig::getWritable()) {}

ConfigCache::ConfigCache(const Configuration& in_source)
    : m_source(in_source), m_ulGeneration(in_source.getGeneration()) {}

ConfigCache::~ConfigCache() = default;

bool ConfigCache::lookUp(const char* in_szName, ParameterValue& out_value) const {
  if (!validName(in_szName)) return false;
  std::lock_guard<std::mutex> lock(m_mutex);
  const unsigned long ulGeneration = m_source.getGeneration();
  if (ulGeneration != m_ulGeneration) {
    m_cache.clear();
    m_ulGeneration = ulGeneration;
  }
  // The key is built in a per-thread string whose storage is kept: a look-up of a name
  // already cached allocates nothing.
  static thread_local std::string s_strKey;
  s_strKey.assign(in_szName);
  auto it = m_cache.find(s_strKey);
  if (it == m_cache.end()) {
    ParameterValue value;
    m_source.getParameter(in_szName, value);  // stays undefined when absent
    it = m_cache.emplace(in_szName, value).first;
  }
  if (it->second.getType() == ParameterValue::UNDEF_TYPE) return false;
  out_value = it->second;
  return true;
}

bool ConfigCache::getIntParameter(const char* in_szName, int& out_iValue) const {
  ParameterValue value;
  return lookUp(in_szName, value) && value.getInt(out_iValue);
}

bool ConfigCache::getBoolParameter(const char* in_szName, bool& out_bValue) const {
  ParameterValue value;
  return lookUp(in_szName, value) && value.getBool(out_bValue);
}

bool ConfigCache::getFloatParameter(const char* in_szName, double& out_dValue) const {
  ParameterValue value;
  return lookUp(in_szName, value) && value.getFloat(out_dValue);
}

bool ConfigCache::getStringParameter(const char* in_szName, std::string& out_strValue) const {
  ParameterValue value;
  return lookUp(in_szName, value) && value.getString(out_strValue);
}

bool ConfigCache::parameterDefined(const char* in_szName) const {
  ParameterValue value;
  return lookUp(in_szName, value);
}

}  // namespace Omvera
