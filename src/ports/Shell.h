#pragma once
// Hands files and web addresses to the desktop, which opens them in the
// user's own viewer or browser. Failures are reported, never shown.

#include <string>

namespace wren::platform {

class Shell {
public:
  virtual ~Shell() = default;
  virtual bool OpenPath(const std::string& path) = 0;
  virtual bool OpenUrl(const std::string& url) = 0;
};

}  // namespace wren::platform
