// wrenlocator: dispatches to the command-line forms and the headless
// monitor; the window joins here.
#include <iostream>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/HeadlessOptions.h"
#include "app/StackFactory.h"
#include "platform/mqtt/MosquittoClient.h"
#ifdef WREN_HAVE_HEADLESS
#include "app/HeadlessMonitor.h"
#include "platform/qt/QtHttpClient.h"
#endif
#ifdef WREN_HAVE_BLUEZ
#include "platform/bluez/SystemBluez.h"
#endif
#ifdef WREN_HAVE_WINDOW
#include "gui/RunWindow.h"
#endif

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
#ifdef WREN_HAVE_BLUEZ
  const wren::StackFactory stacks(&wren::bluez::OpenSystemBluezPorts);
#else
  const wren::StackFactory stacks;
#endif
#ifdef WREN_HAVE_HEADLESS
  wren::SetHttpClientOpener(&wren::platform::OpenQtHttpClient);
#endif
  wren::SetMqttClientOpener(&wren::platform::OpenMosquittoClient);
  bool help = false;
  for (const auto& a : args) help = help || a == "--help" || a == "-h";
  if (wren::IsHeadlessCommand(args)) {
    if (help) {
      std::cout << wren::HelpText();
      return wren::kExitOk;
    }
#ifdef WREN_HAVE_HEADLESS
    return wren::RunHeadless(args, stacks, std::cout, std::cerr);
#else
    std::cerr << "wrenlocator: the headless monitor is not part of this build\n";
    return wren::kExitUsage;
#endif
  }
#ifdef WREN_HAVE_WINDOW
  // No command, at most the window's options: the window.
  wren::gui::WindowOptions window;
  std::string error;
  if (!help && wren::gui::ParseWindowOptions(args, window, error))
    return wren::gui::RunWindow(args, stacks, std::cout, std::cerr);
#endif
  return wren::RunCommandLine(args, std::cout, std::cerr, stacks);
}
