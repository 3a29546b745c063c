#include "base/System.h"
#include "base/Product.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/InstallPaths.h"

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
  std::string folder =
      base + "/" + std::string(product::kMaker) + "/" + std::string(product::kName);
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

namespace {
std::function<std::time_t()>& BiasClock() {
  static std::function<std::time_t()> clock;
  return clock;
}
}  // namespace

void SetTimeZoneBiasClock(std::function<std::time_t()> now) { BiasClock() = std::move(now); }

int CurrentTimeZoneBiasMinutes() {
  tzset();
  std::time_t now = BiasClock() ? BiasClock()() : std::time(nullptr);
  std::tm local{};
  if (!localtime_r(&now, &local)) return 0;
  return static_cast<int>(-local.tm_gmtoff / 60);
}

PathKind KindOfPath(const std::string& path, std::string& error) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return PathKind::Missing;
    error = std::strerror(errno);
    return PathKind::Unknown;
  }
  if (S_ISREG(st.st_mode)) return PathKind::Regular;
  if (S_ISLNK(st.st_mode)) return PathKind::Link;
  return PathKind::Other;
}

std::string DescribePathKind(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return "missing";
  if (S_ISREG(st.st_mode)) return "a regular file";
  if (S_ISLNK(st.st_mode)) return "a symbolic link";
  if (S_ISDIR(st.st_mode)) return "a folder";
  if (S_ISFIFO(st.st_mode)) return "a FIFO";
  if (S_ISSOCK(st.st_mode)) return "a socket";
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "a device";
  return "not a regular file";
}

namespace {

std::string NotRegularText(const std::string& path) {
  return "it is " + DescribePathKind(path) + ", not a regular file";
}

// Opens without following a final link and without waiting on a FIFO, and
// keeps the descriptor only for a regular file.
OpenOutcome OpenRegular(const std::string& path, int flags, int& fd, std::string& error) {
  fd = -1;
  std::string why;
  switch (KindOfPath(path, why)) {
    case PathKind::Link:
    case PathKind::Other:
      error = NotRegularText(path);
      return OpenOutcome::NotRegular;
    case PathKind::Missing:
      if ((flags & O_CREAT) == 0) return OpenOutcome::Missing;
      break;
    case PathKind::Regular:
    case PathKind::Unknown:
      break;
  }
  int opened = open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
  if (opened < 0) {
    const int code = errno;
    // Reading a file that is not there is a first start; a file that cannot
    // be made says why.
    if ((code == ENOENT || code == ENOTDIR) && (flags & O_CREAT) == 0) return OpenOutcome::Missing;
    // A link planted after the look above, or a FIFO nobody reads.
    if (code == ELOOP || code == ENXIO) {
      error = NotRegularText(path);
      return OpenOutcome::NotRegular;
    }
    error = std::strerror(code);
    return OpenOutcome::Failed;
  }
  struct stat st {};
  if (fstat(opened, &st) != 0) {
    error = std::strerror(errno);
    close(opened);
    return OpenOutcome::Failed;
  }
  if (!S_ISREG(st.st_mode)) {
    close(opened);
    error = NotRegularText(path);
    return OpenOutcome::NotRegular;
  }
  fd = opened;
  return OpenOutcome::Opened;
}

}  // namespace

OpenOutcome ReadRegularFile(const std::string& path, std::string& bytes, std::string& error) {
  int fd = -1;
  OpenOutcome outcome = OpenRegular(path, O_RDONLY, fd, error);
  if (outcome != OpenOutcome::Opened) return outcome;
  std::string data;
  struct stat st {};
  std::size_t expected = 0;
  if (fstat(fd, &st) == 0 && st.st_size > 0) expected = static_cast<std::size_t>(st.st_size);
  // Straight into the buffer, then on to the end whatever the size said.
  data.resize(expected + 1);
  std::size_t got = 0;
  for (;;) {
    if (got == data.size()) data.resize(data.size() + 65536);
    ssize_t n = read(fd, data.data() + got, data.size() - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = std::strerror(errno);
      close(fd);
      return OpenOutcome::Failed;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  data.resize(got);
  close(fd);
  bytes = std::move(data);
  return OpenOutcome::Opened;
}

OpenOutcome OpenRegularForReading(const std::string& path, int& fd, std::string& error) {
  return OpenRegular(path, O_RDONLY, fd, error);
}

OpenOutcome OpenRegularForWriting(const std::string& path, bool empty, int& fd,
                                  std::string& error) {
  OpenOutcome outcome = OpenRegular(path, O_WRONLY | O_CREAT | O_APPEND, fd, error);
  if (outcome != OpenOutcome::Opened) return outcome;
  // Emptied only once it is known to be a regular file of our own.
  if (empty && ftruncate(fd, 0) != 0) {
    error = std::strerror(errno);
    close(fd);
    fd = -1;
    return OpenOutcome::Failed;
  }
  return OpenOutcome::Opened;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error,
                         LinkPolicy links) {
  // Only a regular file is ever replaced: renaming over a device or a FIFO
  // would swap the node itself for a file, and over a link the link.
  std::string target = path;
  struct stat st {};
  const bool exists = lstat(path.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    if (!S_ISLNK(st.st_mode) || links == LinkPolicy::Refuse) {
      error = NotRegularText(path);
      return false;
    }
    char* real = realpath(path.c_str(), nullptr);
    if (!real) {
      error =
          std::string("it is a symbolic link that leads nowhere (") + std::strerror(errno) + ")";
      return false;
    }
    target = real;
    std::free(real);
    if (stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
      error = "it leads to " + target + ", which is " + DescribePathKind(target) +
              ", not a regular file";
      return false;
    }
  }
  std::string temp = target + ".tmp-XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) {
    // A file that is there but whose folder takes no new file: "No such
    // file or directory" alone would deny what the user sees.
    error = std::strerror(errno);
    if (exists) error = "no file can be made beside it: " + error;
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
  if (stat(target.c_str(), &old) == 0) mode = old.st_mode & 07777;
  if (fchmod(fd, mode) != 0 || fsync(fd) != 0) return fail(errno);
  if (close(fd) != 0) {
    error = std::strerror(errno);
    unlink(temp.c_str());
    return false;
  }
  if (rename(temp.c_str(), target.c_str()) != 0) {
    error = std::strerror(errno);
    unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace wren::platform
