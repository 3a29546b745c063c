#pragma once
// The settings store over QSettings("Pelmark", "Wrenlocator"): on Linux an
// INI file in the user's configuration folder, one group per section, the
// same section and key names as everywhere else.

#include "ports/SettingsStore.h"

#include <QSettings>

#include <memory>

namespace wren::platform {

class QtSettingsStore : public SettingsStore {
public:
  // The user's own settings.
  QtSettingsStore();
  // An INI file of the caller's choosing (tests, portable copies).
  explicit QtSettingsStore(const QString& iniPath);

  std::int64_t ReadInt(std::string_view section, std::string_view key,
                       std::int64_t defaultValue) const override;
  std::string ReadText(std::string_view section, std::string_view key,
                       std::string_view defaultValue) const override;
  bool WriteInt(std::string_view section, std::string_view key, std::int64_t value) override;
  bool WriteText(std::string_view section, std::string_view key, std::string_view value) override;

private:
  bool Commit();

  std::unique_ptr<QSettings> m_settings;
};

}  // namespace wren::platform
