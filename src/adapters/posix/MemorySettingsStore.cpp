#include "adapters/posix/MemorySettingsStore.h"

namespace wren::platform {
namespace {

std::pair<std::string, std::string> Key(std::string_view section, std::string_view key) {
  return {std::string(section), std::string(key)};
}

}  // namespace

std::optional<MemorySettingsStore::Value> MemorySettingsStore::Find(std::string_view section,
                                                                    std::string_view key) const {
  auto it = m_values.find(Key(section, key));
  if (it == m_values.end()) return std::nullopt;
  return it->second;
}

std::int64_t MemorySettingsStore::ReadInt(std::string_view section, std::string_view key,
                                          std::int64_t defaultValue) const {
  auto value = Find(section, key);
  if (!value) return defaultValue;
  if (const auto* number = std::get_if<std::int64_t>(&*value)) return *number;
  return defaultValue;
}

std::string MemorySettingsStore::ReadText(std::string_view section, std::string_view key,
                                          std::string_view defaultValue) const {
  auto value = Find(section, key);
  if (!value) return std::string(defaultValue);
  if (const auto* text = std::get_if<std::string>(&*value)) return *text;
  return std::string(defaultValue);
}

bool MemorySettingsStore::WriteInt(std::string_view section, std::string_view key,
                                   std::int64_t value) {
  if (m_readOnly) return false;
  m_values[Key(section, key)] = value;
  m_writes.push_back(std::string(section) + "/" + std::string(key));
  return true;
}

bool MemorySettingsStore::WriteText(std::string_view section, std::string_view key,
                                    std::string_view value) {
  if (m_readOnly) return false;
  m_values[Key(section, key)] = std::string(value);
  m_writes.push_back(std::string(section) + "/" + std::string(key));
  return true;
}

}  // namespace wren::platform
