#include "adapters/bluez/SystemBluez.h"

#include <QCoreApplication>

#include "adapters/bluez/BluezStack.h"

namespace wren::bluez {

std::unique_ptr<platform::BluetoothStack> OpenSystemBluez(bool required, bool pairingAgent,
                                                          std::string& error) {
  return OpenSystemBluezPorts(required, pairingAgent, error).stack;
}

platform::StackPorts OpenSystemBluezPorts(bool required, bool pairingAgent, std::string& error) {
  // QtDBus wants an application object; the command-line forms run
  // without one, so one is made here. It is never destroyed: at exit the
  // library's own statics may already be gone.
  static int argc = 1;
  static char name[] = "wrenlocator";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = nullptr;
  if (QCoreApplication::instance() == nullptr) app = new QCoreApplication(argc, argv);
  (void)app;

  BluezOptions options;
  options.pairingAgent = pairingAgent;
  std::unique_ptr<BluezStack> stack = BluezStack::Create(options, error);
  if (!stack) return {};
  if (!stack->ServiceAnswered()) {
    error = "BlueZ does not answer on the system bus";
    if (!required) return {};
    error += "; its radios appear once it does";
  }
  return platform::PortsOf(std::move(stack));
}

}  // namespace wren::bluez
