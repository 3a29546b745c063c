#include "platform/System.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/InstallPaths.h"

namespace wren::platform {
namespace {

std::string& OverrideFolder() {
  static std::string folder;
  return folder;
}

bool IsWritableFolder(const std::string& folder) {
  return !folder.empty() && access(folder.c_str(), W_OK | X_OK) == 0;
}

bool MakeFolders(const std::string& path) {
  std::string partial;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      if (!partial.empty() && mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    if (i < path.size()) partial.push_back(path[i]);
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

std::string ExecutablePath() {
  char buffer[PATH_MAX + 1];
  ssize_t n = readlink("/proc/self/exe", buffer, PATH_MAX);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<std::size_t>(n));
}

std::string FileBesideExecutable(std::string_view fileName) {
  std::string path = ExecutablePath();
  auto slash = path.rfind('/');
  path.resize(slash == std::string::npos ? 0 : slash + 1);
  path.append(fileName);
  return path;
}

void SetDataFolderOverride(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  OverrideFolder() = std::move(folder);
}

std::string DataFolder() {
  if (!OverrideFolder().empty()) {
    MakeFolders(OverrideFolder());
    return OverrideFolder();
  }
  std::string exe = ExecutablePath();
  if (!exe.empty()) {
    std::string folder = FolderOf(exe);
    // An installed program's bin folder is shared by every user.
    if (IsWritableFolder(folder) && !IsInstalledExecutable(exe)) return folder;
  }
  std::string base;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::string(home) + "/.local/share";
  } else {
    base = "/tmp";
  }
  std::string folder = base + "/Pelmark/Wrenlocator";
  MakeFolders(folder);
  return folder;
}

std::string DataFilePath(std::string_view fileName) {
  std::string path = DataFolder();
  if (path != "/") path.push_back('/');
  path.append(fileName);
  return path;
}

std::string HostName() {
  char buffer[256] = {};
  if (gethostname(buffer, sizeof buffer - 1) != 0) return {};
  return std::string(buffer);
}

int CurrentTimeZoneBiasMinutes() {
  tzset();
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (!localtime_r(&now, &local)) return 0;
  return static_cast<int>(-local.tm_gmtoff / 60);
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error) {
  std::string temp = path + ".tmp-XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  auto fail = [&](int code) {
    error = std::strerror(code);
    close(fd);
    unlink(temp.c_str());
    return false;
  };
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  // Keep the permissions an existing file had; new files get the usual mode.
  struct stat old {};
  mode_t mode = 0644;
  if (stat(path.c_str(), &old) == 0) mode = old.st_mode & 07777;
  if (fchmod(fd, mode) != 0 || fsync(fd) != 0) return fail(errno);
  if (close(fd) != 0) {
    error = std::strerror(errno);
    unlink(temp.c_str());
    return false;
  }
  if (rename(temp.c_str(), path.c_str()) != 0) {
    error = std::strerror(errno);
    unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace wren::platform
