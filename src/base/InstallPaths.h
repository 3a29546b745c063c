#pragma once
// Where the program's shipped files (help page, alarm sounds) are. A build
// tree or a portable copy keeps them beside the executable; an installed
// program keeps them under <prefix>/share/wrenlocator, with the executable
// in <prefix>/bin.

#include <string>
#include <string_view>

namespace wren::platform {

inline constexpr std::string_view kInstalledShareFolder = "share/wrenlocator";

// The folder holding "help/" and "sounds/" for an executable at
// `executablePath`: its own folder when either is there, else
// <exe folder>/../share/wrenlocator when that exists, else its own folder.
// Never ends in '/'.
std::string ResourceFolderFor(std::string_view executablePath);

// The same for the running executable.
std::string ResourceFolder();

// True when `executablePath` sits in an installed layout (a "bin" folder
// beside "share/wrenlocator"), where its folder is no place for data files.
bool IsInstalledExecutable(std::string_view executablePath);

// The help page and the alarm-sound folder of the running program.
std::string HelpPagePath();
std::string SoundsFolder();

}  // namespace wren::platform
