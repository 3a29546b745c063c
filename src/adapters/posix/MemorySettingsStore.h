#pragma once
// A settings store held in memory: for tests and for runs that must not
// touch the user's settings. Keeps the order of writes so that callers can
// check which values were stored and when.

#include "ports/SettingsStore.h"

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace wren::platform {

class MemorySettingsStore : public SettingsStore {
public:
  using Value = std::variant<std::int64_t, std::string>;

  std::int64_t ReadInt(std::string_view section, std::string_view key,
                       std::int64_t defaultValue) const override;
  std::string ReadText(std::string_view section, std::string_view key,
                       std::string_view defaultValue) const override;
  bool WriteInt(std::string_view section, std::string_view key, std::int64_t value) override;
  bool WriteText(std::string_view section, std::string_view key, std::string_view value) override;

  // The stored value, if any.
  std::optional<Value> Find(std::string_view section, std::string_view key) const;
  // "section/key" of every write, oldest first.
  const std::vector<std::string>& Writes() const { return m_writes; }
  void ClearWrites() { m_writes.clear(); }
  // While set, writes fail and change nothing (a store that cannot be written).
  void SetReadOnly(bool readOnly) { m_readOnly = readOnly; }

private:
  std::map<std::pair<std::string, std::string>, Value, std::less<>> m_values;
  std::vector<std::string> m_writes;
  bool m_readOnly = false;
};

}  // namespace wren::platform
