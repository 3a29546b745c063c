// wrenlocator: dispatches to the command-line forms; the window and the
// headless monitor join here.
#include <iostream>
#include <string>
#include <vector>

#include "app/CommandLine.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return wren::app::RunCommandLine(args, std::cout, std::cerr);
}
