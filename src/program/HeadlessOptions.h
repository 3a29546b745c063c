#pragma once
// The options of `wrenlocator --headless`: the main frame's monitoring
// without windows, event lines on standard output, history.xml saved and
// the list exported at exit.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace wren {

enum class SimClockMode { Wall, Stepped };
enum class ExportKind { None, Text, Xml, Pdf };

struct HeadlessOptions {
  std::string stack;                     // "", "bluez", "sim" or "sim:FILE"
  std::string dataDir;                   // "" unless --data-dir was given
  std::optional<std::int64_t> runForMs;  // none: until interrupted
  ExportKind exportKind = ExportKind::None;
  std::string exportPath;  // "-": standard output
  SimClockMode simClock = SimClockMode::Wall;
  std::string settingsFile;  // "" : the user's own settings
  std::string mqttUrl;       // "" : the MqttUrl setting, else no publishing
};

// True when `args` (without the program name) ask for the headless monitor.
bool IsHeadlessCommand(const std::vector<std::string>& args);

// `args` without the program name, "--headless" among them. False with a
// one-line `error` for bad usage.
bool ParseHeadlessOptions(const std::vector<std::string>& args, HeadlessOptions& out,
                          std::string& error);

// The longest --run-for: a year.
inline constexpr std::int64_t kMaxRunSeconds = 366LL * 24 * 3600;

// The lines --help adds for the headless form.
std::string HeadlessHelpText();

}  // namespace wren
