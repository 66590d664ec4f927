#pragma once
// Directories and small string containers. Any thread.

#include <string>
#include <sys/types.h>
#include <vector>

namespace Omvera {

class Directory {
 public:
  // Creates in_strPath with in_mode (subject to the umask). With in_bRecursive the missing
  // parent directories are created too. True when the directory exists afterwards
  // (including when it existed before); false, with errno set, otherwise.
  static bool make(const std::string& in_strPath, mode_t in_mode, bool in_bRecursive);
};

class DateTimeDirectory {
 public:
  // Appends the local date and time as a directory name that sorts in time order:
  // "YYYYMMDD-HHMMSS", for example "20261205-014707". Always succeeds.
  static void formName(std::string& out_strName);
};

// A fixed number of strings, all empty at first.
class StringVector : public std::vector<std::string> {
 public:
  explicit StringVector(std::size_t in_uiSize) : std::vector<std::string>(in_uiSize) {}
};

}  // namespace Omvera
