#include "program/StartupChecks.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "program/CommandLine.h"
#include "core/history/HistoryStore.h"
#include "base/FileBackup.h"
#include "base/System.h"

namespace wren {

bool SettingsFileUsable(const std::string& path, std::string& error) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    error = "--settings " + path + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    error = "--settings " + path + ": not a regular file";
    return false;
  }
  return true;
}

int TakeDataFolder(platform::DataFolderLock& lock, std::string& message) {
  const std::string folder = platform::DataFolder();
  std::string error;
  switch (lock.Acquire(folder, error)) {
    case platform::DataFolderLock::Result::Acquired:
      break;
    case platform::DataFolderLock::Result::Busy:
      message = lock.BusyMessage();
      return kExitBusy;
    case platform::DataFolderLock::Result::Failed:
      message = "the data folder cannot be locked: " + error;
      return kExitFailed;
  }
  platform::RemoveStaleTemporaries(folder, {kHistoryFileName, "device-times.txt"});
  return kExitOk;
}

}  // namespace wren
