#pragma once
// The command-line forms of wrenlocator that need no window: one scan,
// a device's advertised services, and the reference-data look-ups.
// Parsing and running are separate so that main() only dispatches and the
// forms can be run in-process.

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "program/StackFactory.h"
#include "base/Product.h"
#include "core/fleet/DeviceJson.h"  // JsonString
#include "ports/HttpClient.h"
#include "ports/MqttClient.h"

namespace wren {

enum class CommandKind {
  Window,  // no command: the program's window
  Help,
  Version,
  Scan,
  Services,
  Vendor,
  Class,
  CheckUpdate,
  History,
  Collect,
};

struct Command {
  CommandKind kind = CommandKind::Window;
  std::string stack;     // "" (default), "bluez", "sim" or "sim:FILE"
  std::string dataDir;   // "" unless --data-dir was given
  bool json = false;     // scan --json, history --json
  std::string argument;  // ADDRESS, PREFIX or HEX
  std::string url;       // check-update --url
  std::string mqttUrl;   // collect --mqtt
};

// The program's name, as its messages begin.
inline constexpr const char* kProgram = product::kProgram.data();

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed =
    1;  // the command ran and found nothing, or its input could not be read
inline constexpr int kExitUsage = 2;       // bad usage, or a stack this build does not have
inline constexpr int kExitNewVersion = 3;  // check-update: a newer version is offered
inline constexpr int kExitBusy = 4;  // --headless: the data folder is in use by another Wrenlocator

// Writes "wrenlocator: MESSAGE" as one clean line to `err`; returns `status`.
int Fail(std::ostream& err, const std::string& message, int status);

// `args` without the program name. False with a one-line `error` for bad usage.
bool ParseCommandLine(const std::vector<std::string>& args, Command& out, std::string& error);

// The help text listing every form.
std::string HelpText();

// The clients the one-shot forms open, in builds that have them; main()
// passes the real ones. Without one, its form says it is not in this build.
struct ClientOpeners {
  std::unique_ptr<platform::HttpClient> (*http)() = nullptr;  // check-update
  std::unique_ptr<platform::MqttClient> (*mqtt)() = nullptr;  // collect
};

// Runs a parsed command other than Window on a stack from `stacks`; output
// to `out`, messages to `err`. The default factory has no BlueZ.
int RunCommand(const Command& command, std::ostream& out, std::ostream& err,
               const StackFactory& stacks = StackFactory(), const ClientOpeners& clients = {});

// Parses and runs; bad usage gives kExitUsage and one line on `err`.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   const StackFactory& stacks = StackFactory(), const ClientOpeners& clients = {});

// Output helpers, shared with the tests.
std::string EscapeField(
    const std::string& text);  // tab, line ends, backslash, controls as \t \n \r \\ \xHH

}  // namespace wren
