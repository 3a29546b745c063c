#pragma once
// One program owns a data folder at a time: a monitor or a window that
// writes history.xml and alarmlog.txt holds the folder's lock for as long
// as it runs. The lock is an advisory lock on a small file in the folder,
// which holds the owner's process id so that a refusal can name it. The
// system drops the lock when its owner ends in any way, so a crash never
// leaves the folder stuck; the file itself stays and is reused.

#include <string>
#include <sys/types.h>

namespace wren::platform {

inline constexpr const char* kDataFolderLockName = "wrenlocator.lock";

class DataFolderLock {
public:
  enum class Result { Acquired, Busy, Failed };

  DataFolderLock() = default;
  ~DataFolderLock();
  DataFolderLock(const DataFolderLock&) = delete;
  DataFolderLock& operator=(const DataFolderLock&) = delete;

  // Takes the lock of `folder` without waiting. Busy: another holder has
  // it (OwnerPid says who, when the file tells). Failed: the lock file
  // cannot be made or used; `error` says why.
  Result Acquire(const std::string& folder, std::string& error);
  // Lets the folder go; the destructor does the same.
  void Release();

  bool Held() const { return m_fd >= 0; }
  // The holder's process id as its lock file gives it after a Busy; 0 when
  // unknown.
  pid_t OwnerPid() const { return m_ownerPid; }
  // "the data folder DIR is in use by another Wrenlocator (process N)".
  std::string BusyMessage() const;

private:
  int m_fd = -1;
  pid_t m_ownerPid = 0;
  std::string m_folder;
};

}  // namespace wren::platform
