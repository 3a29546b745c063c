#include "adapters/posix/DataFolderLock.h"

#include <cerrno>
#include <cstring>
#include <string_view>
#include <sys/file.h>
#include <unistd.h>

#include "base/System.h"

namespace wren::platform {
namespace {

std::string LockPath(const std::string& folder) {
  std::string path = folder;
  if (path.empty()) path = ".";
  if (path.back() != '/') path.push_back('/');
  return path + kDataFolderLockName;
}

// The decimal process id the file starts with; 0 for anything else.
pid_t ParsePid(std::string_view text) {
  long value = 0;
  std::size_t i = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && i < 10; ++i)
    value = value * 10 + (text[i] - '0');
  if (i == 0 || (i < text.size() && text[i] != '\n')) return 0;
  return static_cast<pid_t>(value);
}

}  // namespace

DataFolderLock::~DataFolderLock() { Release(); }

DataFolderLock::Result DataFolderLock::Acquire(const std::string& folder, std::string& error) {
  Release();
  m_folder = folder;
  m_ownerPid = 0;
  const std::string path = LockPath(folder);
  int fd = -1;
  switch (OpenRegularForWriting(path, false, fd, error)) {
    case OpenOutcome::Opened:
      break;
    case OpenOutcome::NotRegular:
      error = path + ": " + error;
      return Result::Failed;
    case OpenOutcome::Missing:
      error = folder + ": no such folder";
      return Result::Failed;
    case OpenOutcome::Failed:
      error = path + ": " + error;
      return Result::Failed;
  }
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    const int code = errno;
    close(fd);
    if (code == EWOULDBLOCK) {
      std::string text;
      std::string ignored;
      if (ReadRegularFile(path, text, ignored) == OpenOutcome::Opened) m_ownerPid = ParsePid(text);
      return Result::Busy;
    }
    error = path + ": " + std::strerror(code);
    return Result::Failed;
  }
  // Ours now: the file names this process. A reader that finds it empty
  // for a moment just cannot name the owner.
  const std::string pid = std::to_string(getpid()) + "\n";
  if (ftruncate(fd, 0) != 0 ||
      write(fd, pid.data(), pid.size()) != static_cast<ssize_t>(pid.size())) {
    error = path + ": " + std::strerror(errno);
    close(fd);
    return Result::Failed;
  }
  m_fd = fd;
  return Result::Acquired;
}

void DataFolderLock::Release() {
  if (m_fd < 0) return;
  // The file stays (removing it would let two owners lock two files);
  // emptied, it names nobody. Closing frees the folder either way.
  const int emptied = ftruncate(m_fd, 0);
  (void)emptied;
  close(m_fd);
  m_fd = -1;
}

std::string DataFolderLock::BusyMessage() const {
  std::string owner = m_ownerPid > 0 ? "process " + std::to_string(m_ownerPid) : "process unknown";
  return "the data folder " + m_folder + " is in use by another Wrenlocator (" + owner + ")";
}

}  // namespace wren::platform
