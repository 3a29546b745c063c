#include "base/FileBackup.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
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

// "history.xml.tmp-a1B2c3" for "history.xml": the names mkstemp makes.
bool IsTemporaryOf(std::string_view name, std::string_view fileName) {
  constexpr std::string_view kMark = ".tmp-";
  constexpr std::size_t kRandom = 6;
  if (name.size() != fileName.size() + kMark.size() + kRandom) return false;
  if (name.substr(0, fileName.size()) != fileName) return false;
  if (name.substr(fileName.size(), kMark.size()) != kMark) return false;
  for (char c : name.substr(fileName.size() + kMark.size())) {
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!alnum) return false;
  }
  return true;
}

}  // namespace

std::size_t RemoveStaleTemporaries(const std::string& folder,
                                   const std::vector<std::string_view>& fileNames) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return 0;
  const int dirFd = dirfd(dir);
  std::size_t removed = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    bool ours = false;
    for (std::string_view fileName : fileNames) ours = ours || IsTemporaryOf(name, fileName);
    if (!ours) continue;
    struct stat st {};
    if (fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
      continue;
    if (unlinkat(dirFd, entry->d_name, 0) == 0) ++removed;
  }
  closedir(dir);
  return removed;
}

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
