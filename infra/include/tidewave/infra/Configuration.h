#pragma once
// Named, typed configuration parameters and the process-wide configuration store.
//
// The process configuration is a Java-style properties file named by the environment
// variable TIDEWAVE_CONFIG ("key = value" lines, '#' comments). It is read once, when
// logging or the configuration is first used. Its log4cplus.* keys configure logging; all
// other keys ("tidewave.*") are parameters. A missing or unreadable file is logged at
// ERROR naming the file and the process goes on with defaults. Applications and tests may
// also set parameters from code (GlobalConfig::getWritable()).

#include <atomic>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <unordered_map>
#include <vector>

#include "tidewave/infra/Object.h"

namespace Omvera {

// One typed value: int, bool, float (a double) or text. Any thread that owns it.
class ParameterValue {
 public:
  enum Type { UNDEF_TYPE = 0, INT_TYPE, BOOL_TYPE, FLOAT_TYPE, STRING_TYPE };

  ParameterValue() = default;
  explicit ParameterValue(int in_iValue);
  explicit ParameterValue(bool in_bValue);
  explicit ParameterValue(double in_dValue);
  explicit ParameterValue(const char* in_szValue);
  explicit ParameterValue(const std::string& in_strValue);

  Type getType() const { return m_eType; }

  // Parses in_strText as a value of in_eType: ints in decimal (or 0x hexadecimal), bools as
  // true/false/yes/no/on/off/1/0 in any case, floats as decimal numbers, text as is.
  // Surrounding blanks are ignored except for text. On failure returns false and leaves
  // the value as it was.
  bool initUnionFromString(const std::string& in_strText, Type in_eType);

  // Typed reads. A value of another type is converted when its text form parses as the
  // asked type (a text "42" reads as int 42); otherwise the read fails and the output is
  // untouched.
  bool getInt(int& out_iValue) const;
  bool getBool(bool& out_bValue) const;
  bool getFloat(double& out_dValue) const;
  bool getString(std::string& out_strValue) const;

  // The printable text form: the value alone (ints and floats in decimal, bools as
  // "true"/"false", text as is); an undefined value prints as "<undef>".
  void write(std::ostream& out_stream) const;

  bool operator==(const ParameterValue& in_rhs) const;
  bool operator!=(const ParameterValue& in_rhs) const { return !(*this == in_rhs); }

 private:
  Type m_eType = UNDEF_TYPE;
  union {
    int m_iValue;
    bool m_bValue;
    double m_dValue = 0.0;
  };
  std::string m_strValue;
};

std::ostream& operator<<(std::ostream& out_stream, const ParameterValue& in_value);

using ParameterValueVector = std::vector<ParameterValue>;

// Read-only view of a configuration. Getters answer false and leave the output untouched
// when the parameter is absent or does not read as the asked type. Implementations are
// safe for concurrent readers.
class ROConfiguration {
 public:
  virtual ~ROConfiguration();
  virtual bool getIntParameter(const char* in_szName, int& out_iValue) const = 0;
  virtual bool getBoolParameter(const char* in_szName, bool& out_bValue) const = 0;
  virtual bool getFloatParameter(const char* in_szName, double& out_dValue) const = 0;
  virtual bool getStringParameter(const char* in_szName, std::string& out_strValue) const = 0;
  virtual bool parameterDefined(const char* in_szName) const = 0;
};

// A map of named parameter values. Not synchronised: one thread at a time.
class ParameterHashMap : public OutputStreamable {
 public:
  using Map = std::unordered_map<std::string, ParameterValue>;

  ParameterHashMap() = default;
  ParameterHashMap(const ParameterHashMap&) = default;
  ParameterHashMap& operator=(const ParameterHashMap&) = default;
  ~ParameterHashMap() override;

  virtual bool getParameter(const char* in_szName, ParameterValue& out_value) const;
  virtual bool parameterDefined(const char* in_szName) const;
  virtual bool getIntParameter(const char* in_szName, int& out_iValue) const;
  virtual bool getBoolParameter(const char* in_szName, bool& out_bValue) const;
  virtual bool getStringParameter(const char* in_szName, std::string& out_strValue) const;
  virtual bool getFloatParameter(const char* in_szName, double& out_dValue) const;
  // Sets or replaces a parameter. False for a null or empty name or an undefined value.
  virtual bool setParameter(const char* in_szName, const ParameterValue& in_value);
  bool removeParameter(const char* in_szName);
  void clear() { m_map.clear(); }
  std::size_t size() const { return m_map.size(); }
  const Map& getMap() const { return m_map; }

  // "name=value" entries sorted by name, separated by "; ".
  void write(std::ostream& out_stream) const override;

 private:
  Map m_map;
};

// The process-wide configuration: a ParameterHashMap behind a lock. Any thread.
class Configuration : public ROConfiguration {
 public:
  Configuration();
  ~Configuration() override;

  bool getIntParameter(const char* in_szName, int& out_iValue) const override;
  bool getBoolParameter(const char* in_szName, bool& out_bValue) const override;
  bool getFloatParameter(const char* in_szName, double& out_dValue) const override;
  bool getStringParameter(const char* in_szName, std::string& out_strValue) const override;
  bool parameterDefined(const char* in_szName) const override;
  bool getParameter(const char* in_szName, ParameterValue& out_value) const;

  bool setParameter(const char* in_szName, const ParameterValue& in_value);
  // Sets a parameter from text, as a properties file would.
  bool setParameterText(const char* in_szName, const std::string& in_strText);
  bool removeParameter(const char* in_szName);
  void clear();

  // Adds the parameters of a properties file (keys other than log4cplus.*), replacing
  // parameters of the same name. Returns false, logs at ERROR naming the file and changes
  // nothing when the file cannot be read.
  bool loadFile(const std::string& in_strPath);

  // A copy of every parameter, for printing.
  ParameterHashMap snapshot() const;
  // Bumped by every change; lets caches notice that they are stale. Lock-free.
  unsigned long getGeneration() const { return m_ulGeneration.load(std::memory_order_acquire); }

 private:
  mutable std::mutex m_mutex;
  ParameterHashMap m_parameters;
  std::atomic<unsigned long> m_ulGeneration{0};
};

class GlobalConfig {
 public:
  // The process-wide configuration, loaded from $TIDEWAVE_CONFIG on first use.
  static ROConfiguration& getInstance();
  // The same object, for setting parameters from code.
  static Configuration& getWritable();
  // The file the configuration was loaded from, empty when TIDEWAVE_CONFIG was not set.
  static std::string getConfigFileName();
  static constexpr const char* s_szCONFIG_ENV_VAR = "TIDEWAVE_CONFIG";
};

// A per-task read cache over a Configuration (by default the process-wide one). Values
// read once are kept and answered without taking the configuration's lock again until the
// configuration changes. Safe for concurrent readers.
class ConfigCache : public ROConfiguration {
 public:
  ConfigCache();
  explicit ConfigCache(const Configuration& in_source);
  ~ConfigCache() override;

  bool getIntParameter(const char* in_szName, int& out_iValue) const override;
  bool getBoolParameter(const char* in_szName, bool& out_bValue) const override;
  bool getFloatParameter(const char* in_szName, double& out_dValue) const override;
  bool getStringParameter(const char* in_szName, std::string& out_strValue) const override;
  bool parameterDefined(const char* in_szName) const override;

 private:
  // Looks in_szName up, in the cache first; false when absent.
  bool lookUp(const char* in_szName, ParameterValue& out_value) const;

  const Configuration& m_source;
  mutable std::mutex m_mutex;
  mutable unsigned long m_ulGeneration;
  // A cached entry with an undefined value records that the parameter is absent.
  mutable std::unordered_map<std::string, ParameterValue> m_cache;
};

// A counted handle to a ConfigCache, as held by tasks. Copies share the cache.
class ConfigCacheHandle {
 public:
  ConfigCacheHandle() = default;
  explicit ConfigCacheHandle(ConfigCache* in_pCache) : m_pCache(in_pCache) {}
  bool isNull() const { return !m_pCache; }
  ConfigCache* get() const { return m_pCache.get(); }
  ConfigCache* operator->() const { return m_pCache.get(); }
  ConfigCache& operator*() const { return *m_pCache; }
  void reset(ConfigCache* in_pCache = nullptr) { m_pCache.reset(in_pCache); }

 private:
  std::shared_ptr<ConfigCache> m_pCache;
};

}  // namespace Omvera
