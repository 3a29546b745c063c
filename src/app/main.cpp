// wrenlocator: dispatches to the command-line forms and the headless
// monitor; the window joins here.
#include <iostream>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/HeadlessOptions.h"
#ifdef WREN_HAVE_HEADLESS
#include "app/HeadlessMonitor.h"
#include "platform/qt/QtHttpClient.h"
#endif
#ifdef WREN_HAVE_BLUEZ
#include "platform/bluez/SystemBluez.h"
#endif

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
#ifdef WREN_HAVE_BLUEZ
  wren::app::SetBluezOpener(&wren::bluez::OpenSystemBluez);
#endif
#ifdef WREN_HAVE_HEADLESS
  wren::app::SetHttpClientOpener(&wren::platform::OpenQtHttpClient);
#endif
  bool help = false;
  for (const auto& a : args) help = help || a == "--help" || a == "-h";
  if (wren::app::IsHeadlessCommand(args)) {
    if (help) {
      std::cout << wren::app::HelpText();
      return wren::app::kExitOk;
    }
#ifdef WREN_HAVE_HEADLESS
    return wren::app::RunHeadless(args, std::cout, std::cerr);
#else
    std::cerr << "wrenlocator: the headless monitor is not part of this build\n";
    return wren::app::kExitUsage;
#endif
  }
  return wren::app::RunCommandLine(args, std::cout, std::cerr);
}
