#include "platform/FileBackup.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace wren::platform {
namespace {

constexpr int kMaxNumber = 999;

// 0 when renamed, else the errno; EEXIST when `to` is taken.
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
  // A file system without the no-replace rename: a hard link fails on a
  // taken name too.
  if (link(from.c_str(), to.c_str()) == 0) {
    unlink(from.c_str());
    return 0;
  }
  if (errno == EEXIST) return EEXIST;
  // No hard links either (FAT and the like): look, then rename.
  if (access(to.c_str(), F_OK) == 0) return EEXIST;
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

}  // namespace

bool KeepUnderFreeName(const std::string& path, const std::string& suffix, std::string& keptPath,
                       std::string& error) {
  const std::string base = path + suffix;
  for (int number = 0; number <= kMaxNumber; ++number) {
    std::string candidate = number == 0 ? base : base + "." + std::to_string(number);
    const int code = RenameNoReplace(path, candidate);
    if (code == 0) {
      keptPath = std::move(candidate);
      return true;
    }
    if (code != EEXIST) {
      error = std::strerror(code);
      return false;
    }
  }
  error = "no free name left for another copy";
  return false;
}

}  // namespace wren::platform
