#pragma once
// Internal to the infrastructure layer: one-time start-up of logging and configuration.

#include <string>

namespace Omvera {
class Configuration;
class AceCleanupLogger;

namespace InfraRuntime {

// Brings up log4cplus, loads the process configuration from $TIDEWAVE_CONFIG and applies
// its logging keys, exactly once per process, whichever thread comes first. Cheap after
// the first call. Must not be called from code that runs inside that start-up.
void ensureStarted();

// The process configuration object (created by ensureStarted, lives until exit).
Configuration& configuration();
const std::string& configFileName();

// Keeps in_pLogger until process shutdown, when it is deleted (after the singleton
// registry has been cleaned up).
void keepUntilShutdown(AceCleanupLogger* in_pLogger);

// Reads a properties file into parameters and logging keys. False with a reason when the
// file cannot be opened; logs nothing.
bool readPropertiesFile(const std::string& in_strPath, Configuration& out_config,
                        bool& out_bHasLoggingKeys, std::string& out_strError);
// Applies the log4cplus.* keys of the file to log4cplus.
void configureLoggingFromFile(const std::string& in_strPath);

}  // namespace InfraRuntime
}  // namespace Omvera
