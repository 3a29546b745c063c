#pragma once
// The desktop programs behind "Bluetooth Devices" and "File Transfer
// Wizard": the first one installed of a short list of well-known ones.

#include <string>
#include <vector>

#include "ports/ProgramLauncher.h"

namespace wren::gui {

struct DesktopTool {
  std::string program;
  std::vector<std::string> args;
};

// Blueman, GNOME Settings, KDE System Settings, Cinnamon's Blueberry.
const std::vector<DesktopTool>& BluetoothManagerTools();
// Blueman, GNOME Bluetooth, KDE's BlueDevil.
const std::vector<DesktopTool>& SendFileTools();

struct FoundTool {
  std::string path;  // "" when none of the list is installed
  std::vector<std::string> args;
  std::string program;
  bool Found() const { return !path.empty(); }
};

FoundTool FindDesktopTool(const platform::ProgramLauncher& launcher,
                          const std::vector<DesktopTool>& candidates);

// The tooltip of a command whose tool is missing: names what would do.
std::string MissingToolTip(const std::string& what, const std::vector<DesktopTool>& candidates);

}  // namespace wren::gui
