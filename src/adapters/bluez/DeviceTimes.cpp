#include "adapters/bluez/DeviceTimes.h"

#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/System.h"
#include "adapters/bluez/ObjectTree.h"

namespace wren::bluez {
namespace {

constexpr std::string_view kHeader =
    "# Wrenlocator device times: address, last seen, last used (UTC seconds since 1970, 0 = never)";

// Generous: a full store is about 40 bytes a line.
constexpr std::size_t kMaxFileBytes = 1024 * 1024;

bool ParseNumber(std::string_view text, std::int64_t& out) {
  if (text.empty()) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size() && out >= 0;
}

}  // namespace

DeviceTimes::Times& DeviceTimes::Entry(platform::BluetoothAddress device) {
  auto it = m_times.find(device);
  if (it != m_times.end()) return it->second;
  if (m_times.size() >= kMaxDevices) {
    auto oldest = m_times.begin();
    for (auto i = m_times.begin(); i != m_times.end(); ++i)
      if (std::max(i->second.seen, i->second.used) <
          std::max(oldest->second.seen, oldest->second.used))
        oldest = i;
    m_times.erase(oldest);
  }
  return m_times[device];
}

void DeviceTimes::Seen(platform::BluetoothAddress device, std::int64_t utcSeconds) {
  Times& t = Entry(device);
  if (t.seen != utcSeconds) {
    t.seen = utcSeconds;
    m_dirty = true;
  }
}

void DeviceTimes::Used(platform::BluetoothAddress device, std::int64_t utcSeconds) {
  Times& t = Entry(device);
  if (t.used != utcSeconds) {
    t.used = utcSeconds;
    m_dirty = true;
  }
}

std::int64_t DeviceTimes::LastSeen(platform::BluetoothAddress device) const {
  auto it = m_times.find(device);
  return it == m_times.end() ? 0 : it->second.seen;
}

std::int64_t DeviceTimes::LastUsed(platform::BluetoothAddress device) const {
  auto it = m_times.find(device);
  return it == m_times.end() ? 0 : it->second.used;
}

std::string DeviceTimes::Serialize() const {
  std::string out(kHeader);
  out += '\n';
  char line[80];
  for (const auto& [address, t] : m_times) {
    std::snprintf(line, sizeof line, "%s %" PRId64 " %" PRId64 "\n", address.Text().c_str(), t.seen,
                  t.used);
    out += line;
  }
  return out;
}

void DeviceTimes::Parse(std::string_view text, std::size_t& skipped) {
  m_times.clear();
  skipped = 0;
  while (!text.empty()) {
    const auto newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    // "<address> <seen> <used>", single blanks.
    const auto first = line.find(' ');
    const auto second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    platform::BluetoothAddress address = 0;
    std::int64_t seen = 0;
    std::int64_t used = 0;
    if (second == std::string_view::npos ||
        !BluetoothAddress::Parse(line.substr(0, first), address) ||
        !ParseNumber(line.substr(first + 1, second - first - 1), seen) ||
        !ParseNumber(line.substr(second + 1), used) || m_times.size() >= kMaxDevices) {
      ++skipped;
      continue;
    }
    m_times[address] = Times{seen, used};
  }
  m_dirty = false;
}

bool DeviceTimes::Load(const std::string& path, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    if (errno != ENOENT) {
      error = std::strerror(errno);
      return false;
    }
    m_times.clear();
    m_dirty = false;
    return true;
  }
  std::string text(kMaxFileBytes + 1, '\0');
  const std::size_t got = std::fread(text.data(), 1, text.size(), file);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    error = "read error";
    return false;
  }
  if (got > kMaxFileBytes) {
    error = "file too large";
    return false;
  }
  text.resize(got);
  std::size_t skipped = 0;
  Parse(text, skipped);
  return true;
}

bool DeviceTimes::Save(const std::string& path, std::string& error) {
  if (!platform::WriteFileAtomically(path, Serialize(), error)) return false;
  m_dirty = false;
  return true;
}

platform::UtcTime ToUtcTime(std::int64_t utcSeconds) {
  platform::UtcTime out;
  if (utcSeconds <= 0) return out;
  const std::time_t t = static_cast<std::time_t>(utcSeconds);
  std::tm tm{};
  if (gmtime_r(&t, &tm) == nullptr) return out;
  out.year = tm.tm_year + 1900;
  out.month = tm.tm_mon + 1;
  out.day = tm.tm_mday;
  out.hour = tm.tm_hour;
  out.minute = tm.tm_min;
  out.second = tm.tm_sec;
  return out;
}

}  // namespace wren::bluez
