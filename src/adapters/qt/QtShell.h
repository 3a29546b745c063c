#pragma once
// The desktop's "open": files in the user's viewer, addresses in the browser.

#include "ports/Shell.h"

namespace wren::platform {

class QtShell : public Shell {
public:
  bool OpenPath(const std::string& path) override;
  bool OpenUrl(const std::string& url) override;
};

}  // namespace wren::platform
