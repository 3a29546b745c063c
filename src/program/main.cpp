// wrenlocator: dispatches to the command-line forms and the headless
// monitor; the window joins here.
#include <csignal>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "program/CommandLine.h"
#include "program/HeadlessOptions.h"
#include "program/StackFactory.h"
#include "adapters/mqtt/MosquittoClient.h"
#ifdef WREN_HAVE_HEADLESS
#include "program/HeadlessMonitor.h"
#include "program/StopSignals.h"
#include "adapters/qt/QtHttpClient.h"
#endif
#ifdef WREN_HAVE_BLUEZ
#include "adapters/bluez/SystemBluez.h"
#endif
#ifdef WREN_HAVE_WINDOW
#include "program/RunWindow.h"
#endif

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  bool help = false;
  for (const auto& a : args) help = help || a == "--help" || a == "-h";
  const bool headless = wren::IsHeadlessCommand(args);
#ifdef WREN_HAVE_WINDOW
  // No command, at most the window's options: the window.
  wren::gui::WindowOptions window;
  std::string error;
  const bool windowForm = !headless && !help && wren::gui::ParseWindowOptions(args, window, error);
#endif
#ifdef WREN_HAVE_HEADLESS
  // The monitors end on these signals as on their own stop, from the first
  // instant on; the window also on a logout's SIGHUP. The one-shot forms
  // keep the signals' usual meaning.
  std::optional<wren::StopSignals> stop;
  if (headless && !help) stop.emplace(std::initializer_list<int>{SIGINT, SIGTERM});
#ifdef WREN_HAVE_WINDOW
  if (windowForm) stop.emplace(std::initializer_list<int>{SIGINT, SIGTERM, SIGHUP});
#endif
#endif
#ifdef WREN_HAVE_BLUEZ
  const wren::StackFactory stacks(&wren::bluez::OpenSystemBluezPorts);
#else
  const wren::StackFactory stacks;
#endif
  wren::ClientOpeners clients;
#ifdef WREN_HAVE_HEADLESS
  clients.http = &wren::platform::OpenQtHttpClient;
#endif
  clients.mqtt = &wren::platform::OpenMosquittoClient;
  if (headless) {
    if (help) {
      std::cout << wren::HelpText();
      return wren::kExitOk;
    }
#ifdef WREN_HAVE_HEADLESS
    return wren::RunHeadless(args, stacks, std::cout, std::cerr, *stop);
#else
    std::cerr << "wrenlocator: the headless monitor is not part of this build\n";
    return wren::kExitUsage;
#endif
  }
#ifdef WREN_HAVE_WINDOW
  if (windowForm) return wren::gui::RunWindow(args, stacks, std::cout, std::cerr, *stop);
#endif
  return wren::RunCommandLine(args, std::cout, std::cerr, stacks, clients);
}
