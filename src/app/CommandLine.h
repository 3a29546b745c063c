#pragma once
// The command-line forms of wrenlocator that need no window: one scan,
// a device's advertised services, and the reference-data look-ups.
// Parsing and running are separate so that main() only dispatches and the
// forms can be run in-process.

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "app/StackFactory.h"
#include "fleet/DeviceJson.h"  // JsonString
#include "platform/HttpClient.h"
#include "platform/mqtt/MqttClient.h"

namespace wren {

enum class CommandKind {
  Window,  // no command: the program's window
  Help,
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
inline constexpr const char* kProgram = "wrenlocator";

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed =
    1;  // the command ran and found nothing, or its input could not be read
inline constexpr int kExitUsage = 2;       // bad usage, or a stack this build does not have
inline constexpr int kExitNewVersion = 3;  // check-update: a newer version is offered
inline constexpr int kExitBusy = 4;  // --headless: the data folder is in use by another Wrenlocator

// `args` without the program name. False with a one-line `error` for bad usage.
bool ParseCommandLine(const std::vector<std::string>& args, Command& out, std::string& error);

// The help text listing every form.
std::string HelpText();

// The HTTP client of check-update, in builds that have one: main() sets it.
using HttpClientOpener = std::unique_ptr<platform::HttpClient> (*)();
void SetHttpClientOpener(HttpClientOpener opener);

// The broker client of collect, in builds that have one: main() sets it.
using MqttClientOpener = std::unique_ptr<platform::MqttClient> (*)();
void SetMqttClientOpener(MqttClientOpener opener);

// Runs a parsed command other than Window on a stack from `stacks`; output
// to `out`, messages to `err`. The default factory has no BlueZ.
int RunCommand(const Command& command, std::ostream& out, std::ostream& err,
               const StackFactory& stacks = StackFactory());

// Parses and runs; bad usage gives kExitUsage and one line on `err`.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   const StackFactory& stacks = StackFactory());

// Output helpers, shared with the tests.
std::string EscapeField(
    const std::string& text);  // tab, line ends, backslash, controls as \t \n \r \\ \xHH

}  // namespace wren
