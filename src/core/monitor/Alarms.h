#pragma once
// Every event line the main frame produces passes through LogEvent: it
// raises the alarm the event stands for (a sound and a network message, when
// the user enabled that kind) and appends the line to the session alarm log,
// alarmlog.txt, which the start-up line empties at every program start.
//
// Failures never reach the user: a log that cannot be written, a sound that
// cannot be played, a message that cannot be sent are dropped. They are
// still returned, so that a caller without windows can say what happened.

#include "core/monitor/SoundPlayer.h"
#include "core/bluetooth/SearchSettings.h"
#include "ports/MessengerTransport.h"
#include "ports/Shell.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace wren {

// An event line with the alarm kinds it stands for.
struct AlarmEvent {
  bool detected = false;      // a remote radio came into range
  bool outOfRange = false;    // a previously discovered device went out of range
  bool connected = false;     // a connection was made or requested
  bool disconnected = false;  // a connection ended
  bool newDevice = false;     // a device never seen before, in the history or this run
  std::string text;           // the line as the status bar shows it
};

// How the log file is opened: afresh for the start-up line, appended to for
// every later line.
enum class Disposition { CreateAlways, OpenAlways };

// NewDevice plays the detection sound; it has its own switch (newDevice).
enum class AlarmKind { None, NewDevice, Detection, OutOfRange, Connection, Disconnection };

struct AlarmOutcome {
  AlarmKind kind = AlarmKind::None;             // the kind that won, if any
  std::string sound;                            // the file handed to the player
  std::optional<platform::SendStatus> message;  // set whenever a kind won
};

struct LogResult {
  AlarmOutcome alarm;
  bool written = false;
  std::string error;  // why the line is not in the log
};

// The line as the log stores it: line breaks inside it become blanks (a
// device name must not forge log lines), every trailing full stop and then
// every trailing comma is removed, and CR LF ends it.
std::string AlarmLogText(std::string_view line);

// The messenger's block: sender, recipient and text, each ending in a zero byte.
std::string MessengerBlock(std::string_view sender, std::string_view recipient,
                           std::string_view text);

// A log that cannot be written is said once, when it starts failing, and
// once more when it is written again, not at every event.
class AlarmLogHealth {
public:
  // The text to show after this result, if any.
  std::optional<std::string> Notice(const LogResult& result);
  bool Failing() const { return m_failing; }

private:
  bool m_failing = false;
};

class Alarms {
public:
  // `settings` is read at the moment of each event, never copied.
  Alarms(const NotifySettings& settings, SoundPlayer& player,
         platform::MessengerTransport& messenger);

  // The log file; empty (the default) means alarmlog.txt in the data folder.
  void SetLogPath(std::string path) { m_logPath = std::move(path); }
  std::string LogPath() const;
  // Where the sender's name comes from; the local host name by default.
  void SetHostNameSource(std::function<std::string()> hostName) {
    m_hostName = std::move(hostName);
  }

  LogResult LogEvent(const std::string& line, AlarmEvent event, Disposition disposition);
  // The first kind, in the order new device, detection, out of range,
  // connection, disconnection, that the event carries and the settings
  // enable: its sound plays, then the event's text goes out as a network
  // message. A new device sounds like a detection.
  AlarmOutcome RaiseAlarms(AlarmEvent event);
  platform::SendStatus SendNetMessage(const std::string& text);
  platform::SendStatus WriteMailslotMessage(const std::string& sender, const std::string& recipient,
                                            const std::string& text);
  // The Session Alarm Log command: the log opens in the user's viewer.
  bool OnSessionAlarmLog(platform::Shell& shell) const;

private:
  const NotifySettings& m_settings;
  SoundPlayer& m_player;
  platform::MessengerTransport& m_messenger;
  std::string m_logPath;
  std::function<std::string()> m_hostName;
};

}  // namespace wren
