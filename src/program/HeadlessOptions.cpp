#include "program/HeadlessOptions.h"

#include "base/Text.h"

#include "program/Options.h"

#include <algorithm>

namespace wren {

bool IsHeadlessCommand(const std::vector<std::string>& args) {
  for (const auto& a : args) {
    if (a == "--") return false;
    if (a == "--headless") return true;
  }
  return false;
}

bool ParseHeadlessOptions(const std::vector<std::string>& args, HeadlessOptions& out,
                          std::string& error) {
  HeadlessOptions o;
  bool headless = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    switch (TakeCommonOption(args, i, o.stack, o.dataDir, error)) {
      case CommonOption::Taken:
        continue;
      case CommonOption::Bad:
        return false;
      case CommonOption::NotCommon:
        break;
    }
    auto value = [&](std::string_view option, std::string& into) {
      return ReadOptionValue(args, i, option, into, error) != OptionValue::NotThisOption;
    };
    std::string v;
    if (a == "--headless") {
      headless = true;
    } else if (value("--run-for", v)) {
      if (!error.empty()) return false;
      std::int64_t ms = 0;
      if (!ParseSeconds(v, ms, kMaxRunSeconds)) {
        error = "--run-for takes seconds (like 20 or 0.5), not \"" + v + "\"";
        return false;
      }
      o.runForMs = ms;
    } else if (a == "--export" || a.rfind("--export=", 0) == 0) {
      std::string kind;
      value("--export", kind);
      if (!error.empty()) return false;
      if (kind == "txt") {
        o.exportKind = ExportKind::Text;
      } else if (kind == "xml") {
        o.exportKind = ExportKind::Xml;
      } else if (kind == "pdf") {
        o.exportKind = ExportKind::Pdf;
      } else {
        error = "--export takes txt, xml or pdf, not \"" + kind + "\"";
        return false;
      }
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        error = "--export " + kind + " needs a FILE (- for standard output)";
        return false;
      }
      o.exportPath = args[++i];
    } else if (value("--sim-clock", v)) {
      if (!error.empty()) return false;
      if (v == "wall") {
        o.simClock = SimClockMode::Wall;
      } else if (v == "stepped") {
        o.simClock = SimClockMode::Stepped;
      } else {
        error = "--sim-clock takes wall or stepped, not \"" + v + "\"";
        return false;
      }
    } else if (value("--settings", v)) {
      if (!error.empty()) return false;
      if (v.empty()) {
        error = "--settings needs a file";
        return false;
      }
      o.settingsFile = v;
    } else if (value("--mqtt", v)) {
      if (!error.empty()) return false;
      if (v.empty()) {
        error = "--mqtt needs a broker address like mqtt://host:1883";
        return false;
      }
      o.mqttUrl = v;
    } else {
      error = a.size() > 1 && a[0] == '-' ? "unknown option " + a + " for --headless"
                                          : "--headless takes no command, not \"" + a + "\"";
      return false;
    }
  }
  if (!headless) {
    error = "not a --headless command line";
    return false;
  }
  if (o.simClock == SimClockMode::Stepped) {
    if (o.stack == "bluez") {
      error = "--sim-clock stepped needs the simulated stack";
      return false;
    }
    if (!o.runForMs) {
      error = "--sim-clock stepped needs --run-for";
      return false;
    }
  }
  out = o;
  return true;
}

std::string HeadlessHelpText() {
  return "       wrenlocator --headless [--stack ...] [--data-dir DIR] [--run-for SECONDS]\n"
         "                   [--export txt|xml|pdf FILE] [--sim-clock wall|stepped]\n"
         "                   [--settings FILE] [--mqtt URL]\n"
         "\n"
         "Headless monitor (--headless): the monitoring of the window without a window.\n"
         "  It writes the start-up line to a fresh alarmlog.txt, checks and loads\n"
         "  history.xml, registers for device events, and runs with the stored settings\n"
         "  (no dialog). Every event line and status text goes to standard output as it\n"
         "  happens; with the simulated stack the first line says so. At the end (after\n"
         "  --run-for, or on SIGINT or SIGTERM) history.xml is saved.\n"
         "  --run-for SECONDS  stop after that long (decimals allowed); default: until\n"
         "                     interrupted\n"
         "  --export txt|xml|pdf FILE\n"
         "                     at the end, write the device list as the tab-separated\n"
         "                     text report, the XML report or the printed list as PDF\n"
         "                     (on the locale's paper, Letter or A4) to FILE (- for\n"
         "                     standard output)\n"
         "  --sim-clock wall|stepped\n"
         "                     the simulated stack's time: wall (default) runs in real\n"
         "                     time; stepped runs --run-for seconds of simulated time as\n"
         "                     fast as it can, one step at a time, so that a run repeats\n"
         "                     exactly (times follow the scenario's start and TZ)\n"
         "  --settings FILE    read the settings from this INI file instead of the\n"
         "                     user's (which live in $XDG_CONFIG_HOME/Pelmark/Wrenlocator.conf)\n"
         "  --mqtt URL         publish to an MQTT broker (also for the window; the\n"
         "                     [Settings] MqttUrl setting does the same): every event line\n"
         "                     to wrenlocator/HOST/events, every merged record as JSON\n"
         "                     (the form of scan --json) to wrenlocator/HOST/devices/ADDRESS,\n"
         "                     retained. URL: mqtt://[USER[:PASSWORD]@]HOST[:PORT] or\n"
         "                     mqtts://... for TLS (settings MqttUser, MqttPassword,\n"
         "                     MqttCaFile, MqttHostName). While the broker is away up to\n"
         "                     10000 messages wait; the count of dropped ones is logged\n"
         "                     and the end of the run prints what was delivered.\n";
}

}  // namespace wren
