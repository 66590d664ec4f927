#include "tidewave/infra/FileSystem.h"

#include <cerrno>
#include <ctime>
#include <sys/stat.h>

namespace Omvera {

namespace {

bool isDirectory(const std::string& in_strPath) {
  struct stat info;
  return ::stat(in_strPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool makeOne(const std::string& in_strPath, mode_t in_mode) {
  if (::mkdir(in_strPath.c_str(), in_mode) == 0) return true;
  if (errno == EEXIST && isDirectory(in_strPath)) return true;
  if (errno == EEXIST) errno = ENOTDIR;
  return false;
}

}  // namespace

bool Directory::make(const std::string& in_strPath, mode_t in_mode, bool in_bRecursive) {
  if (in_strPath.empty()) {
    errno = ENOENT;
    return false;
  }
  if (in_bRecursive) {
    // Create each missing ancestor in turn; "a//b" and a trailing '/' are tolerated.
    for (std::string::size_type pos = in_strPath.find('/', 1); pos != std::string::npos;
         pos = in_strPath.find('/', pos + 1)) {
      if (in_strPath[pos - 1] == '/') continue;
      if (!makeOne(in_strPath.substr(0, pos), in_mode)) return false;
    }
  }
  return makeOne(in_strPath, in_mode);
}

void DateTimeDirectory::formName(std::string& out_strName) {
  const std::time_t now = std::time(nullptr);
  std::tm local;
  ::localtime_r(&now, &local);
  char acName[32];
  const std::size_t uiLength = std::strftime(acName, sizeof(acName), "%Y%m%d-%H%M%S", &local);
  out_strName.append(acName, uiLength);
}

}  // namespace Omvera
