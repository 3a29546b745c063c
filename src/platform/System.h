#pragma once
// The few operating-system facts the program asks for, in place of the
// original system calls: where the executable is, where data files go,
// the host name and the time-zone bias in force now.

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

// Writes `bytes` to `path` through a temporary file beside it that is
// renamed over `path`, so readers never see half a file. On failure
// `error` gets the C library's message and `path` is untouched.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error);

}  // namespace wren::platform
