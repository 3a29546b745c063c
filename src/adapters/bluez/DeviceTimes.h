#pragma once
// Last-seen and last-used times per device address, which BlueZ does not
// keep: set from sightings and connections, kept across runs in a small
// text file. Times are UTC seconds since 1970; 0 means never. Not
// thread-safe: the stack keeps it under its lock.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "ports/BluetoothStack.h"

namespace wren::bluez {

class DeviceTimes {
public:
  // At most this many devices are kept; the one seen longest ago makes
  // room for a new one.
  static constexpr std::size_t kMaxDevices = 4096;

  void Seen(platform::BluetoothAddress device, std::int64_t utcSeconds);
  void Used(platform::BluetoothAddress device, std::int64_t utcSeconds);
  std::int64_t LastSeen(platform::BluetoothAddress device) const;
  std::int64_t LastUsed(platform::BluetoothAddress device) const;
  std::size_t Size() const { return m_times.size(); }

  // Changed since the last MarkSaved (or Load).
  bool Dirty() const { return m_dirty; }
  void MarkSaved() { m_dirty = false; }
  void MarkDirty() { m_dirty = true; }

  // The file text: a comment line, then one line per device,
  // "00:1A:2B:3C:4D:5E <last seen> <last used>".
  std::string Serialize() const;
  // Replaces the times with those of a file text. Lines that do not read
  // are skipped; the count of skipped lines is returned in `skipped`.
  void Parse(std::string_view text, std::size_t& skipped);

  // Reads `path` (a missing file is an empty store; a file larger than any
  // store we write is not read). False with `error` when it exists but
  // cannot be read.
  bool Load(const std::string& path, std::string& error);
  // Writes the file atomically; on success the store is no longer dirty.
  bool Save(const std::string& path, std::string& error);

private:
  struct Times {
    std::int64_t seen = 0;
    std::int64_t used = 0;
  };
  Times& Entry(platform::BluetoothAddress device);

  std::map<platform::BluetoothAddress, Times> m_times;
  bool m_dirty = false;
};

// The calendar time of a UTC instant; all zero for 0 (never) and for an
// instant the C library cannot convert.
platform::UtcTime ToUtcTime(std::int64_t utcSeconds);

}  // namespace wren::bluez
