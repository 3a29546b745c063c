#pragma once
// A desktop URL handler that only records what it was asked to open.

#include <string>
#include <vector>

#include "ports/Shell.h"

namespace wren::test {

class FakeUrlOpener : public platform::Shell {
public:
  std::vector<std::string> opened;
  bool OpenPath(const std::string& path) override {
    opened.push_back("file:" + path);
    return true;
  }
  bool OpenUrl(const std::string& url) override {
    opened.push_back(url);
    return true;
  }
};

}  // namespace wren::test
