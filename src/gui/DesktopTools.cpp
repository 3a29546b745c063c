#include "gui/DesktopTools.h"

namespace wren::gui {

const std::vector<DesktopTool>& BluetoothManagerTools() {
  static const std::vector<DesktopTool> tools{
      {"blueman-manager", {}},
      {"gnome-control-center", {"bluetooth"}},
      {"systemsettings", {"kcm_bluetooth"}},
      {"systemsettings5", {"kcm_bluetooth"}},
      {"blueberry", {}},
  };
  return tools;
}

const std::vector<DesktopTool>& SendFileTools() {
  static const std::vector<DesktopTool> tools{
      {"blueman-sendto", {}},
      {"bluetooth-sendto", {}},
      {"bluedevil-sendfile", {}},
  };
  return tools;
}

FoundTool FindDesktopTool(const platform::ProgramLauncher& launcher,
                          const std::vector<DesktopTool>& candidates) {
  for (const auto& tool : candidates) {
    std::string path = launcher.FindProgram(tool.program);
    if (!path.empty()) return FoundTool{std::move(path), tool.args, tool.program};
  }
  return {};
}

std::string MissingToolTip(const std::string& what, const std::vector<DesktopTool>& candidates) {
  std::string names;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    if (i > 0) names += i + 1 == candidates.size() ? " or " : ", ";
    names += candidates[i].program;
  }
  return what + ": not available - install one of " + names;
}

}  // namespace wren::gui
