#pragma once
// `wrenlocator` with no command: the main window on the chosen stack.

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "program/StackFactory.h"
#include "adapters/posix/SystemVersion.h"

namespace wren {
class StopSignals;
}

namespace wren::gui {

struct WindowOptions {
  std::string stack;         // "", "bluez", "sim" or "sim:FILE"
  std::string dataDir;       // "" unless --data-dir was given
  std::string settingsFile;  // "" : the user's own settings
  std::string updateUrl;     // "" : the UpdateUrl setting, else the maker's manifest
  std::string mqttUrl;       // "" : the MqttUrl setting, else no publishing
};

// True when `args` (without the program name) are only the window's
// options: --stack, --data-dir, --settings, --update-url and --mqtt. False
// with `error` set when one of them is malformed; false with `error` empty
// for any other form.
bool ParseWindowOptions(const std::vector<std::string>& args, WindowOptions& out,
                        std::string& error);

// Whether a display server can be reached, judged before any window
// toolkit starts (it would abort without one). `why` says what is missing.
bool DisplayAvailable(std::string& why);

// The start-up check: on an unsupported system `refuse` gets the caption
// and the refusal text, and the answer is false.
bool CheckSystemVersion(
    const platform::SystemVersion& version,
    const std::function<void(const std::string& caption, const std::string& text)>& refuse);

// The help page installed with the program, or "" when there is none.
std::string FindHelpPage();

// Runs the window until it closes; the exit status. A signal `stop`
// handles (SIGINT, SIGTERM and a logout's SIGHUP) closes it as File > Exit
// does.
int RunWindow(const std::vector<std::string>& args, const StackFactory& stacks, std::ostream& out,
              std::ostream& err, StopSignals& stop);

}  // namespace wren::gui
