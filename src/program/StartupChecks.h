#pragma once
// What a monitor (the window or the headless one) makes sure of before it
// touches the data folder: the settings file it was given is there, and
// the data folder is its own.

#include <string>

#include "adapters/posix/DataFolderLock.h"

namespace wren {

// A --settings file must exist and be a regular file: a mistyped name would
// otherwise run on empty settings without a word.
bool SettingsFileUsable(const std::string& path, std::string& error);

// One program per data folder (platform::DataFolder()); once the folder is
// ours, what interrupted saves left behind goes. Returns kExitOk, or the
// exit status (kExitBusy, kExitFailed) with a one-line `message`.
int TakeDataFolder(platform::DataFolderLock& lock, std::string& message);

}  // namespace wren
