#pragma once
// The program launcher over QProcess: found on PATH, started detached with
// an argument list.

#include "ports/ProgramLauncher.h"

namespace wren::gui {

class QtProgramLauncher : public platform::ProgramLauncher {
public:
  std::string FindProgram(const std::string& program) const override;
  bool StartDetached(const std::string& path, const std::vector<std::string>& args) override;
};

}  // namespace wren::gui
