#pragma once
// Starts the desktop's own programs (its Bluetooth manager, its send-file
// tool) with an argument list, never through a shell.

#include <string>
#include <vector>

namespace wren::platform {

class ProgramLauncher {
public:
  virtual ~ProgramLauncher() = default;
  // The full path of `program` on the search path, or "" when none.
  virtual std::string FindProgram(const std::string& program) const = 0;
  // Starts it detached; false when it could not be started.
  virtual bool StartDetached(const std::string& path, const std::vector<std::string>& args) = 0;
};

}  // namespace wren::platform
