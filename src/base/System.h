#pragma once
// The few operating-system facts the program asks for, in place of the
// original system calls: where the executable is, where data files go,
// the host name and the time-zone bias in force now.

#include <ctime>
#include <functional>
#include <string>
#include <string_view>

namespace wren::platform {

// Full path of the running executable ("" when it cannot be read).
std::string ExecutablePath();

// `fileName` in the executable's folder: the executable's path with its
// file-name part replaced.
std::string FileBesideExecutable(std::string_view fileName);

// The folder history.xml and alarmlog.txt live in: the override when one is
// set (--data-dir), else the executable's folder when it is writable and
// not an installed program's bin folder, else
// the per-user data folder ($XDG_DATA_HOME or ~/.local/share, then
// Pelmark/Wrenlocator), created on first use. Never ends in '/'.
std::string DataFolder();
std::string DataFilePath(std::string_view fileName);
// Set once at start-up, before any thread runs; "" clears it.
void SetDataFolderOverride(std::string folder);

// The local host name; "" when the system cannot tell.
std::string HostName();

// Minutes to add to local time to get UTC, as in force now (so -120 for a
// zone two hours east of UTC in its current season). Follows TZ.
int CurrentTimeZoneBiasMinutes();
// What "now" is for CurrentTimeZoneBiasMinutes: the system clock unless a
// simulation sets its own, so that its times take the bias in force at the
// simulated time, as its event lines do. Set at start-up before any thread
// runs and cleared (an empty function) after the last has ended.
void SetTimeZoneBiasClock(std::function<std::time_t()> now);

// What an atomic write does when `path` is a symbolic link: data files
// refuse (a link planted in the data folder must not lead a write
// elsewhere); a file the user named may follow it to a regular file and
// write beside that file, so that the link stays.
enum class LinkPolicy { Refuse, FollowToRegularFile };

// Writes `bytes` to `path` through a temporary file beside it that is
// renamed over `path`, so readers never see half a file. Only a regular
// file (or nothing) is replaced. On failure `error` says why, `path` is
// untouched and the temporary file is gone. The temporary's name is the
// file's name + ".tmp-" and six characters (see RemoveStaleTemporaries).
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error,
                         LinkPolicy links = LinkPolicy::Refuse);

// What a name in a folder is, the last part not followed when it is a link.
enum class PathKind { Missing, Regular, Link, Other, Unknown };
// `error` is set for Unknown (the name could not be looked at).
PathKind KindOfPath(const std::string& path, std::string& error);
// "a symbolic link", "a folder", "a FIFO" ... for a message.
std::string DescribePathKind(const std::string& path);

// Data files are only ever used as regular files: a symbolic link is not
// followed and a FIFO or device does not block the caller.
enum class OpenOutcome { Opened, Missing, NotRegular, Failed };
// Reads the whole of `path` into `bytes`. NotRegular and Failed set `error`.
OpenOutcome ReadRegularFile(const std::string& path, std::string& bytes, std::string& error);
// Opens `path` for reading; `fd` is the open descriptor when Opened.
OpenOutcome OpenRegularForReading(const std::string& path, int& fd, std::string& error);
// Opens `path` for writing (created 0644 when missing, emptied when `empty`
// is set, appended to otherwise); `fd` is the open descriptor when Opened.
OpenOutcome OpenRegularForWriting(const std::string& path, bool empty, int& fd, std::string& error);

}  // namespace wren::platform
