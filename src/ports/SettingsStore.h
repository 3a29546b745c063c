#pragma once
// The per-user settings store: integers and texts kept by section and key.
// Reads fall back to the caller's default when the value is missing or of
// the wrong kind; writes report whether the value reached the store.

#include <cstdint>
#include <string>
#include <string_view>

namespace wren::platform {

class SettingsStore {
public:
  virtual ~SettingsStore() = default;

  virtual std::int64_t ReadInt(std::string_view section, std::string_view key,
                               std::int64_t defaultValue) const = 0;
  virtual std::string ReadText(std::string_view section, std::string_view key,
                               std::string_view defaultValue) const = 0;

  virtual bool WriteInt(std::string_view section, std::string_view key, std::int64_t value) = 0;
  virtual bool WriteText(std::string_view section, std::string_view key,
                         std::string_view value) = 0;
};

}  // namespace wren::platform
