#include "program/CommandLine.h"

#include "base/Text.h"

#include "program/Options.h"

#include "program/HeadlessOptions.h"
#include "program/StartupChecks.h"

#include <signal.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <ostream>

#include "base/BluetoothAddress.h"
#include "core/bluetooth/BluetoothPlatform.h"
#include "core/bluetooth/ServiceTexts.h"
#include "core/fleet/CollectCommand.h"
#include "core/fleet/DeviceJson.h"
#include "adapters/posix/DataFolderLock.h"
#include "core/history/HistoryStore.h"
#include "core/history/HistoryTree.h"
#include "base/System.h"
#include "core/refdata/AssignedNumbers.h"
#include "core/refdata/VendorDatabase.h"
#include "core/update/UpdateCheck.h"

namespace wren {
namespace {

// "00-0A-D9", "00:0a:d9", "000AD9" or a whole address -> "00-0A-D9".
bool NormalisePrefix(const std::string& text, std::string& prefix) {
  std::string digits;
  bool separated = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (HexDigit(c) >= 0) {
      digits.push_back(c);
      separated = false;
    } else if (c == '-' || c == ':') {
      // One separator between two pairs.
      if (separated || digits.size() % 2 != 0 || digits.empty() || i + 1 == text.size())
        return false;
      separated = true;
    } else {
      return false;
    }
  }
  if (digits.size() != 6 && digits.size() != 12) return false;
  char out[16];
  std::snprintf(out, sizeof out, "%c%c-%c%c-%c%c", digits[0], digits[1], digits[2], digits[3],
                digits[4], digits[5]);
  prefix = out;
  for (char& c : prefix)
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  return true;
}

bool ParseClass(std::string text, unsigned& value) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    text = text.substr(2);
  if (text.empty() || text.size() > 8) return false;
  unsigned v = 0;
  for (char c : text) {
    int d = HexDigit(c);
    if (d < 0) return false;
    v = v * 16 + static_cast<unsigned>(d);
  }
  value = v;
  return true;
}

void PrintTabbed(std::ostream& out, const DeviceRecord& r) {
  char cod[16];
  std::snprintf(cod, sizeof cod, "0x%06X", static_cast<unsigned>(r.m_classOfDevice));
  out << EscapeField(r.m_radioName) << '\t' << EscapeField(r.m_name) << '\t'
      << EscapeField(r.m_address) << '\t' << EscapeField(r.m_producer) << '\t'
      << EscapeField(r.m_lastSeen) << '\t' << EscapeField(r.m_lastUsed) << '\t'
      << EscapeField(r.m_type) << '\t' << EscapeField(r.m_services) << '\t' << cod << '\t'
      << r.m_connected << '\t' << r.m_remembered << '\t' << r.m_authenticated << '\t' << r.m_image
      << '\t' << r.m_isLocalRadio << '\n';
}

int Usage(std::ostream& err, const std::string& message) {
  return Fail(err, message + " (see " + kProgram + " --help)", kExitUsage);
}

int RunScan(const Command& c, platform::BluetoothStack& stack, std::ostream& out) {
  BluetoothPlatform bluetooth(stack);
  bluetooth.LoadVendorDatabase();
  DeviceList list;
  bluetooth.ScanDevices(list, SearchParams());
  if (c.json) {
    out << "[";
    bool first = true;
    for (const auto& r : list) {
      out << (first ? "\n" : ",\n");
      WriteDeviceJson(out, r);
      first = false;
    }
    out << (first ? "]\n" : "\n]\n");
  } else {
    for (const auto& r : list) PrintTabbed(out, r);
  }
  return kExitOk;
}

int RunServices(const Command& c, platform::BluetoothStack& stack, std::ostream& out,
                std::ostream& err) {
  BluetoothPlatform bluetooth(stack);
  std::string services;
  if (bluetooth.QueryServices(c.argument, services) < 0)
    return Fail(err, "no Bluetooth radio: the services cannot be asked for", kExitFailed);
  if (services.empty())
    return Fail(err, "no service texts found for devices in range matching \"" + c.argument + "\"",
                kExitFailed);
  // One piece per comma-terminated segment, as the audit dialog lists them.
  for (const std::string& piece : SplitServiceText(services)) out << EscapeField(piece) << '\n';
  return kExitOk;
}

// Every outcome goes to stdout, so that a script reads the same text the
// window shows; the exit status tells the three apart.
int RunCheckUpdate(const Command& c, std::ostream& out, std::ostream& err,
                   const ClientOpeners& clients) {
  if (clients.http == nullptr)
    return Fail(err, "the update check is not part of this build", kExitUsage);
  auto http = clients.http();
  std::string url = c.url.empty() ? ManifestUrl(nullptr) : c.url;
  UpdateCheckResult result = CheckForUpdates(*http, url);
  switch (result.outcome) {
    case UpdateOutcome::NoNewVersion:
      out << result.message << '\n';
      return kExitOk;
    case UpdateOutcome::Failed:
      out << EscapeField(result.message) << '\n';
      return kExitFailed;
    case UpdateOutcome::NewVersion:
      break;
  }
  out << kNewVersionTitle << '\n';
  for (const VersionRow& row : BuildVersionRows(result.manifestText))
    out << EscapeField(row.label) << '\t' << EscapeField(row.text) << '\n';
  return kExitNewVersion;
}

// The history tree's texts as the history report shows them, from the
// history file as last saved. A missing file is an empty history; a link or
// a FIFO in its place is not read, as the monitor does not read it either.
int RunHistory(const Command& c, std::ostream& out, std::ostream& err) {
  const std::string path = platform::DataFilePath(kHistoryFileName);
  std::string bytes;
  std::string why;
  switch (platform::ReadRegularFile(path, bytes, why)) {
    case platform::OpenOutcome::Missing:
      out << (c.json ? "[]\n" : "");
      return kExitOk;
    case platform::OpenOutcome::NotRegular:
    case platform::OpenOutcome::Failed:
      return Fail(err, path + " could not be read: " + why, kExitFailed);
    case platform::OpenOutcome::Opened:
      break;
  }
  XmlDataFile file;
  if (!file.SetText(std::move(bytes)))
    return Fail(err, path + " could not be read: " + file.GetResultText(), kExitFailed);
  const std::vector<DeviceRecord> entries = HistoryTree::ReadEntries(file);
  if (!c.json) {
    for (const DeviceRecord& entry : entries) {
      out << EscapeField(HistoryTree::Summary(entry)) << '\n';
      for (int child = 0; child < HistoryTree::kChildCount; ++child)
        out << "  " << EscapeField(HistoryTree::ChildText(entry, child)) << '\n';
    }
    return kExitOk;
  }
  out << "[";
  bool first = true;
  for (const DeviceRecord& entry : entries) {
    out << (first ? "\n" : ",\n") << "{\"summary\":" << JsonString(HistoryTree::Summary(entry))
        << ",\"image\":" << entry.m_image << ",\"children\":[";
    for (int child = 0; child < HistoryTree::kChildCount; ++child)
      out << (child ? "," : "") << JsonString(HistoryTree::ChildText(entry, child));
    out << "]}";
    first = false;
  }
  out << (first ? "]\n" : "\n]\n");
  return kExitOk;
}

volatile std::sig_atomic_t g_collectStop = 0;

extern "C" void OnCollectStop(int) { g_collectStop = 1; }

// Runs until SIGINT or SIGTERM, then saves and ends with status 0.
int RunCollect(const Command& c, std::ostream& out, std::ostream& err,
               const ClientOpeners& clients) {
  fleet::FleetConfig config;
  std::string error;
  if (!fleet::ReadFleetConfig(c.mqttUrl, nullptr, config, error)) return Usage(err, error);
  if (clients.mqtt == nullptr) return Fail(err, "collect is not part of this build", kExitUsage);
  platform::DataFolderLock folderLock;
  if (int status = TakeDataFolder(folderLock, error); status != kExitOk)
    return Fail(err, error, status);
  auto client = clients.mqtt();
  g_collectStop = 0;
  struct sigaction action {};
  action.sa_handler = OnCollectStop;
  sigemptyset(&action.sa_mask);
  struct sigaction oldInt {
  }, oldTerm{};
  sigaction(SIGINT, &action, &oldInt);
  sigaction(SIGTERM, &action, &oldTerm);
  const int status = fleet::RunCollector(
      config, *client, [] { return g_collectStop != 0; }, out, err);
  sigaction(SIGINT, &oldInt, nullptr);
  sigaction(SIGTERM, &oldTerm, nullptr);
  return status == 0 ? kExitOk : kExitFailed;
}

}  // namespace

int Fail(std::ostream& err, const std::string& message, int status) {
  err << kProgram << ": " << OneLine(message) << '\n';
  return status;
}

std::string EscapeField(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (u < 0x20 || u == 0x7F) {
          char esc[8];
          std::snprintf(esc, sizeof esc, "\\x%02X", u);
          out += esc;
        } else {
          out.push_back(c);
        }
    }
  }
  return out;
}

std::string HelpText() {
  return std::string(
             "Usage: wrenlocator [--stack bluez|sim[:FILE]] [--data-dir DIR]   the window\n"
             "                   [--settings FILE] [--update-url URL] [--mqtt URL]\n"
             "       wrenlocator scan [--json] [--stack ...] [--data-dir DIR]\n"
             "       wrenlocator services ADDRESS [--stack ...] [--data-dir DIR]\n"
             "       wrenlocator vendor PREFIX [--stack ...] [--data-dir DIR]\n"
             "       wrenlocator class HEX [--stack ...] [--data-dir DIR]\n"
             "       wrenlocator check-update [--url URL]\n"
             "       wrenlocator history [--json] [--data-dir DIR]\n"
             "       wrenlocator collect --mqtt URL [--data-dir DIR]\n"
             "       wrenlocator --version | --help\n") +
         HeadlessHelpText() +
         "\n"
         "Commands:\n"
         "  scan               one scan of the local radios and the devices they report,\n"
         "                     one record per line, fields separated by tabs: radio name,\n"
         "                     name, address, producer, last seen, last used, type,\n"
         "                     services, class of device, connected, remembered,\n"
         "                     authenticated, image, local radio (tab, line ends and\n"
         "                     backslash inside a field are written \\t \\n \\r \\\\)\n"
         "    --json           the records as a JSON array of objects instead\n"
         "  services ADDRESS   the texts of the service records of the devices in range\n"
         "                     whose address contains ADDRESS (upper case, as 00:1A:2B:3C:4D:5E;\n"
         "                     an empty ADDRESS lists every device), one per line\n"
         "  vendor PREFIX      the company that owns a vendor prefix (00-0A-D9, 00:0A:D9,\n"
         "                     000AD9 or a whole address)\n"
         "  class HEX          the type text, service text and image index of a class of\n"
         "                     device (5A020C or 0x5A020C), separated by tabs\n"
         "  check-update       fetch the version manifest and print the outcome: \"There are\n"
         "                     no new versions available.\", \"Internet Connection\n"
         "                     Failed...\" with the reason, or \"New Version Available!\"\n"
         "                     and the manifest's rows (name, tab, text)\n"
         "    --url URL        the manifest's address instead of the maker's (an http\n"
         "                     address; the UpdateUrl setting or --update-url URL does the\n"
         "                     same for the window)\n"
         "  history            the history report of history.xml as last saved: for every\n"
         "                     device ever shown, a summary line (name, type, producer,\n"
         "                     last seen) and eight indented lines Radio:, Name:, Type:,\n"
         "                     Address:, Producer:, LastSeenTime:, LastUsedTime:,\n"
         "                     Services: (escaped as for scan)\n"
         "    --json           a JSON array of objects with summary, image and children\n"
         "  collect            keep one history.xml of a fleet of monitors that publish with\n"
         "                     --mqtt: subscribes to wrenlocator/+/devices/+ and merges each\n"
         "                     record by address, the newest last-seen time winning, its\n"
         "                     Radio written \"HOST: radio name\"; saves every 2 seconds\n"
         "                     when something changed, and at SIGINT or SIGTERM, then exits\n"
         "                     0. Records that are not one (bad topic address, malformed\n"
         "                     JSON, more than 64 KiB) are refused with a line on stderr.\n"
         "    --mqtt URL       the broker: mqtt://[USER[:PASSWORD]@]HOST[:PORT] or\n"
         "                     mqtts://... (TLS, the system's CA store)\n"
         "\n"
         "Options:\n"
         "  --stack bluez      the system's BlueZ stack\n"
         "  --stack sim[:FILE] the simulated stack playing the scenario FILE, or the\n"
         "                     demo scenario built into the program\n"
         "                     (default: BlueZ when it answers, otherwise the demo)\n"
         "  --data-dir DIR     the folder for history.xml and alarmlog.txt\n"
         "  --help             this text\n"
         "\n"
         "Exit status: 0 done, 1 nothing found or input unreadable, 2 bad usage,\n"
         "4 the data folder is in use by another Wrenlocator (--headless).\n"
         "check-update: 0 no newer version, 3 a newer version, 1 the check failed.\n";
}

bool ParseCommandLine(const std::vector<std::string>& args, Command& out, std::string& error) {
  Command c;
  std::vector<std::string> words;
  bool help = false;
  bool version = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    switch (TakeCommonOption(args, i, c.stack, c.dataDir, error)) {
      case CommonOption::Taken:
        continue;
      case CommonOption::Bad:
        return false;
      case CommonOption::NotCommon:
        break;
    }
    if (a == "--help" || a == "-h") {
      help = true;
    } else if (a == "--version") {
      version = true;
    } else if (a == "--json") {
      c.json = true;
    } else if (a == "--url" || a.rfind("--url=", 0) == 0) {
      if (ReadOptionValue(args, i, "--url", c.url, error) != OptionValue::Read) return false;
      if (c.url.empty()) {
        error = "--url needs an address";
        return false;
      }
    } else if (a == "--mqtt" || a.rfind("--mqtt=", 0) == 0) {
      if (ReadOptionValue(args, i, "--mqtt", c.mqttUrl, error) != OptionValue::Read) return false;
      if (c.mqttUrl.empty()) {
        error = "--mqtt needs a broker address like mqtt://host:1883";
        return false;
      }
    } else if (a.size() > 1 && a[0] == '-' && a != "--") {
      error = "unknown option " + a;
      return false;
    } else if (a == "--") {
      for (++i; i < args.size(); ++i) words.push_back(args[i]);
    } else {
      words.push_back(a);
    }
  }
  if (help || version) {
    c.kind = help ? CommandKind::Help : CommandKind::Version;
    out = c;
    return true;
  }
  const bool urlGiven = !c.url.empty();
  if (words.empty()) {
    if (urlGiven) {
      error = "--url belongs to check-update";
      return false;
    }
    if (c.json) {
      error = "--json belongs to scan or history";
      return false;
    }
    if (!c.mqttUrl.empty()) {
      error = "--mqtt belongs to collect, --headless or the window";
      return false;
    }
    out = c;
    return true;
  }
  const std::string& name = words[0];
  std::size_t wanted = 1;
  if (name == "scan") {
    c.kind = CommandKind::Scan;
    wanted = 0;
  } else if (name == "services") {
    c.kind = CommandKind::Services;
  } else if (name == "vendor") {
    c.kind = CommandKind::Vendor;
  } else if (name == "class") {
    c.kind = CommandKind::Class;
  } else if (name == "check-update") {
    c.kind = CommandKind::CheckUpdate;
    wanted = 0;
  } else if (name == "history") {
    c.kind = CommandKind::History;
    wanted = 0;
  } else if (name == "collect") {
    c.kind = CommandKind::Collect;
    wanted = 0;
  } else {
    error = "unknown command " + name;
    return false;
  }
  if (c.json && c.kind != CommandKind::Scan && c.kind != CommandKind::History) {
    error = "--json belongs to scan or history";
    return false;
  }
  if (c.kind == CommandKind::Collect && c.mqttUrl.empty()) {
    error = "collect needs --mqtt URL";
    return false;
  }
  if (!c.mqttUrl.empty() && c.kind != CommandKind::Collect) {
    error = "--mqtt belongs to collect, --headless or the window";
    return false;
  }
  if (urlGiven && c.kind != CommandKind::CheckUpdate) {
    error = "--url belongs to check-update";
    return false;
  }
  if (words.size() - 1 < wanted) {
    error = name + " needs " +
            (c.kind == CommandKind::Services ? "an ADDRESS"
             : c.kind == CommandKind::Vendor ? "a PREFIX"
                                             : "a HEX class");
    return false;
  }
  if (words.size() - 1 > wanted) {
    error = "too many arguments for " + name + ": " + words[wanted + 1];
    return false;
  }
  if (wanted == 1) c.argument = words[1];
  out = c;
  return true;
}

int RunCommand(const Command& c, std::ostream& out, std::ostream& err, const StackFactory& stacks,
               const ClientOpeners& clients) {
  if (!c.dataDir.empty()) platform::SetDataFolderOverride(c.dataDir);
  switch (c.kind) {
    case CommandKind::Help:
      out << HelpText();
      return kExitOk;
    case CommandKind::Version:
      out << kProgram << ' ' << product::kVersion << '\n';
      return kExitOk;
    case CommandKind::Window:
      return Fail(err, "the window is not part of this build yet; see --help for the commands",
                  kExitUsage);
    case CommandKind::Vendor: {
      std::string prefix;
      if (!NormalisePrefix(c.argument, prefix))
        return Usage(err, "vendor: \"" + c.argument + "\" is not a prefix like 00-0A-D9");
      VendorDatabase vendors;
      if (!vendors.LoadVendorDatabase())
        return Fail(err, "the vendor database could not be read", kExitFailed);
      std::string company;
      if (!vendors.LookUpVendor(company, prefix))
        return Fail(err, "no company is listed for " + prefix, kExitFailed);
      out << EscapeField(company) << '\n';
      return kExitOk;
    }
    case CommandKind::Class: {
      unsigned cod = 0;
      if (!ParseClass(c.argument, cod))
        return Usage(err, "class: \"" + c.argument + "\" is not a hexadecimal class like 5A020C");
      std::string type, services;
      int image = AssignedNumbers().DecodeClassOfDevice(cod, type, services);
      out << type << '\t' << services << '\t' << image << '\n';
      return kExitOk;
    }
    case CommandKind::CheckUpdate:
      return RunCheckUpdate(c, out, err, clients);
    case CommandKind::History:
      return RunHistory(c, out, err);
    case CommandKind::Collect:
      return RunCollect(c, out, err, clients);
    case CommandKind::Scan:
    case CommandKind::Services:
      break;
  }
  StackRequest request;
  request.choice = c.stack;
  OpenedStack opened = stacks.Open(request);
  if (!opened.stack)
    return Fail(err, opened.message,
                opened.failure == StackFailure::Usage ? kExitUsage : kExitFailed);
  if (!opened.message.empty()) err << kProgram << ": " << opened.message << '\n';
  platform::BluetoothStack* stack = opened.stack.get();
  // Nobody may take simulated devices for real ones.
  if (stack->IsSimulation()) err << kProgram << ": " << stack->Description() << '\n';
  if (c.kind == CommandKind::Scan) return RunScan(c, *stack, out);
  return RunServices(c, *stack, out, err);
}

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   const StackFactory& stacks, const ClientOpeners& clients) {
  Command c;
  std::string error;
  if (!ParseCommandLine(args, c, error)) return Usage(err, error);
  return RunCommand(c, out, err, stacks, clients);
}

}  // namespace wren
