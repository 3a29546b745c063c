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

namespace wren::app {

enum class CommandKind {
  Window,  // no command: the program's window
  Help,
  Scan,
  Services,
  Vendor,
  Class,
};

struct Command {
  CommandKind kind = CommandKind::Window;
  std::string stack;     // "" (default), "bluez", "sim" or "sim:FILE"
  std::string dataDir;   // "" unless --data-dir was given
  bool json = false;     // scan --json
  std::string argument;  // ADDRESS, PREFIX or HEX
};

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the command ran and found nothing, or its input could not be read
inline constexpr int kExitUsage = 2;   // bad usage, or a stack this build does not have

// `args` without the program name. False with a one-line `error` for bad usage.
bool ParseCommandLine(const std::vector<std::string>& args, Command& out, std::string& error);

// The help text listing every form.
std::string HelpText();

// Runs a parsed command other than Window on a stack from `stacks`; output
// to `out`, messages to `err`. The default factory has no BlueZ.
int RunCommand(const Command& command, std::ostream& out, std::ostream& err,
               const StackFactory& stacks = StackFactory());

// Parses and runs; bad usage gives kExitUsage and one line on `err`.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   const StackFactory& stacks = StackFactory());

// Output helpers, shared with the tests.
std::string EscapeField(const std::string& text);  // tab, line ends, backslash, controls as \t \n \r \\ \xHH
std::string JsonString(const std::string& text);   // a quoted JSON string; invalid UTF-8 becomes U+FFFD

}  // namespace wren::app
