#include "core/monitor/Alarms.h"

#include "base/Text.h"

#include "base/System.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace wren {
namespace {

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string Trimmed(std::string_view text) {
  while (!text.empty() && IsWhiteSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsWhiteSpace(text.back())) text.remove_suffix(1);
  return std::string(text);
}

// Appends `text` to `path`, opened per `disposition` and closed again. A
// link, FIFO or anything else but a regular file is left untouched.
bool AppendToFile(const std::string& path, const std::string& text, Disposition disposition,
                  std::string& error) {
  int fd = -1;
  if (platform::OpenRegularForWriting(path, disposition == Disposition::CreateAlways, fd, error) !=
      platform::OpenOutcome::Opened) {
    if (error.empty()) error = std::strerror(ENOENT);
    return false;
  }
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = std::strerror(errno);
      close(fd);
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (close(fd) != 0) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace

std::string AlarmLogText(std::string_view line) {
  std::string text = OneLine(std::string(line));
  while (!text.empty() && text.back() == '.') text.pop_back();
  while (!text.empty() && text.back() == ',') text.pop_back();
  text.append("\r\n");
  return text;
}

std::string MessengerBlock(std::string_view sender, std::string_view recipient,
                           std::string_view text) {
  std::string block;
  block.reserve(sender.size() + recipient.size() + text.size() + 3);
  block.append(sender);
  block.push_back('\0');
  block.append(recipient);
  block.push_back('\0');
  block.append(text);
  block.push_back('\0');
  return block;
}

Alarms::Alarms(const NotifySettings& settings, SoundPlayer& player,
               platform::MessengerTransport& messenger)
    : m_settings(settings),
      m_player(player),
      m_messenger(messenger),
      m_hostName(platform::HostName) {}

std::string Alarms::LogPath() const {
  return m_logPath.empty() ? platform::DataFilePath("alarmlog.txt") : m_logPath;
}

LogResult Alarms::LogEvent(const std::string& line, AlarmEvent event, Disposition disposition) {
  LogResult result;
  const std::string path = LogPath();
  const std::string text = AlarmLogText(line);
  // Alarms come first: a log that cannot be written must not keep them back.
  result.alarm = RaiseAlarms(std::move(event));
  result.written = AppendToFile(path, text, disposition, result.error);
  return result;
}

AlarmOutcome Alarms::RaiseAlarms(AlarmEvent event) {
  struct Kind {
    AlarmKind kind;
    bool carried;
    std::int32_t enabled;
    const std::string& sound;
  };
  const Kind kinds[] = {
      {AlarmKind::NewDevice, event.newDevice, m_settings.m_newDevice, m_settings.m_devDetVoicePath},
      {AlarmKind::Detection, event.detected, m_settings.m_devDetSound,
       m_settings.m_devDetVoicePath},
      {AlarmKind::OutOfRange, event.outOfRange, m_settings.m_devUndetSound,
       m_settings.m_devUndetVoicePath},
      {AlarmKind::Connection, event.connected, m_settings.m_inSound, m_settings.m_inVoicePath},
      {AlarmKind::Disconnection, event.disconnected, m_settings.m_outSound,
       m_settings.m_outVoicePath},
  };
  AlarmOutcome outcome;
  for (const Kind& k : kinds) {
    if (!k.carried || k.enabled == 0) continue;
    outcome.kind = k.kind;
    outcome.sound = k.sound;
    m_player.Play(outcome.sound);
    outcome.message = SendNetMessage(event.text);
    break;
  }
  return outcome;
}

platform::SendStatus Alarms::SendNetMessage(const std::string& text) {
  const std::string recipient = Trimmed(m_settings.m_netSend);
  if (recipient.empty()) return platform::SendStatus::NoRecipient;
  std::string sender = m_hostName ? m_hostName() : std::string();
  if (sender.empty()) sender = "Wrenlocator";
  return WriteMailslotMessage(sender, recipient, text);
}

platform::SendStatus Alarms::WriteMailslotMessage(const std::string& sender,
                                                  const std::string& recipient,
                                                  const std::string& text) {
  // A recipient that is not a plain computer name could turn the mailslot
  // path into some other destination: nothing is sent to it.
  if (!platform::IsMessengerRecipient(recipient)) return platform::SendStatus::InvalidRecipient;
  return m_messenger.Send(sender, recipient, MessengerBlock(sender, recipient, text));
}

std::optional<std::string> AlarmLogHealth::Notice(const LogResult& result) {
  if (!result.written) {
    if (m_failing) return std::nullopt;
    m_failing = true;
    return "alarm log not written: " + result.error;
  }
  if (!m_failing) return std::nullopt;
  m_failing = false;
  return "alarm log written again";
}

bool Alarms::OnSessionAlarmLog(platform::Shell& shell) const { return shell.OpenPath(LogPath()); }

}  // namespace wren
