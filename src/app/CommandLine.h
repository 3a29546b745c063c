#pragma once
// The command-line forms of wrenlocator that need no window: one scan,
// a device's advertised services, and the reference-data look-ups.
// Parsing and running are separate so that main() only dispatches and the
// forms can be run in-process.

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "platform/BluetoothStack.h"
#include "platform/HttpClient.h"

namespace wren::app {

enum class CommandKind {
  Window,  // no command: the program's window
  Help,
  Scan,
  Services,
  Vendor,
  Class,
  CheckUpdate,
  History,
};

struct Command {
  CommandKind kind = CommandKind::Window;
  std::string stack;     // "" (default), "bluez", "sim" or "sim:FILE"
  std::string dataDir;   // "" unless --data-dir was given
  bool json = false;     // scan --json, history --json
  std::string argument;  // ADDRESS, PREFIX or HEX
  std::string url;       // check-update --url
};

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the command ran and found nothing, or its input could not be read
inline constexpr int kExitUsage = 2;   // bad usage, or a stack this build does not have
inline constexpr int kExitNewVersion = 3;  // check-update: a newer version is offered
inline constexpr int kExitBusy = 4;         // --headless: the data folder is in use by another Wrenlocator

// `args` without the program name. False with a one-line `error` for bad usage.
bool ParseCommandLine(const std::vector<std::string>& args, Command& out, std::string& error);

// The help text listing every form.
std::string HelpText();

// The system's BlueZ, in builds that have it: main() sets the opener. With
// `required` (--stack bluez) the stack comes back even while BlueZ does not
// answer; otherwise null then. The default stack is BlueZ when it answers,
// otherwise the embedded demo.
using BluezOpener = std::unique_ptr<platform::BluetoothStack> (*)(bool required, bool pairingAgent,
                                                                   std::string& error);
void SetBluezOpener(BluezOpener opener);
bool HaveBluez();
std::unique_ptr<platform::BluetoothStack> OpenBluez(bool required, bool pairingAgent, std::string& error);

// The HTTP client of check-update, in builds that have one: main() sets it.
using HttpClientOpener = std::unique_ptr<platform::HttpClient> (*)();
void SetHttpClientOpener(HttpClientOpener opener);

// Opens the stack `choice` names (see Command::stack). On failure `error`
// holds one line and `usage` tells whether it is a usage error.
std::unique_ptr<platform::BluetoothStack> OpenStack(const std::string& choice, std::string& error, bool& usage);

// Runs a parsed command other than Window; output to `out`, messages to `err`.
int RunCommand(const Command& command, std::ostream& out, std::ostream& err);

// Parses and runs; bad usage gives kExitUsage and one line on `err`.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Output helpers, shared with the tests.
std::string EscapeField(const std::string& text);  // tab, line ends, backslash, controls as \t \n \r \\ \xHH
std::string JsonString(const std::string& text);   // a quoted JSON string; invalid UTF-8 becomes U+FFFD

}  // namespace wren::app
