#pragma once
// The one place that chooses the Bluetooth stack: `--stack bluez`,
// `--stack sim[:FILE]`, or by default the system's BlueZ when it answers,
// otherwise the demo scenario built into the program.
//
// The factory knows BlueZ only through the opener it is given, so that the
// core and its tests build without the D-Bus adapter; the program passes
// the real one.

#include <functional>
#include <memory>
#include <string>

#include "core/monitor/StackSource.h"
#include "ports/BluetoothStack.h"
#include "ports/DeviceManager.h"

namespace wren {

// With `required` (--stack bluez) the stack comes back even while BlueZ does
// not answer; otherwise null then. `error` says why there is none, or, with
// a stack returned, what the user should know about it.
using BluezOpener =
    std::function<platform::StackPorts(bool required, bool pairingAgent, std::string& error)>;

class StackFactory final : public StackSource {
public:
  // No opener: a build without BlueZ.
  explicit StackFactory(BluezOpener bluez = {});

  bool HaveBluez() const { return static_cast<bool>(m_bluez); }
  OpenedStack Open(const StackRequest& request) const override;

private:
  BluezOpener m_bluez;
};

}  // namespace wren
