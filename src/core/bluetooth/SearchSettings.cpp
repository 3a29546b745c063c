#include "core/bluetooth/SearchSettings.h"

#include "base/System.h"

#include <cstdio>
#include <limits>

namespace wren {
namespace {

using namespace settings;

std::string_view TrimBlanks(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// Digits only, at least one, value at most `limit`.
std::optional<std::uint64_t> ParseDigits(std::string_view digits, std::uint64_t limit) {
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > limit) return std::nullopt;
  }
  return value;
}

int ShownCheck(std::int32_t value) { return value >= 0 && value <= 2 ? value : 0; }
std::int32_t ReadCheck(int state) { return state >= 0 && state <= 2 ? state : 0; }

std::int32_t ReadFlag(const platform::SettingsStore& store, std::string_view section,
                      std::string_view key, std::int32_t fallback) {
  std::int64_t v = store.ReadInt(section, key, fallback);
  if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
    return fallback;
  return static_cast<std::int32_t>(v);
}

std::uint32_t ReadUnsigned(const platform::SettingsStore& store, std::string_view section,
                           std::string_view key, std::uint32_t fallback) {
  std::int64_t v = store.ReadInt(section, key, fallback);
  if (v < 0 || v > std::numeric_limits<std::uint32_t>::max()) return fallback;
  return static_cast<std::uint32_t>(v);
}

// The path member of an alarm row, for a const or a mutable holder.
template <class Notify>
auto& PathOf(Notify& notify, AlarmRow row) {
  switch (row) {
    case AlarmRow::Detection:
      return notify.m_devDetVoicePath;
    case AlarmRow::OutOfRange:
      return notify.m_devUndetVoicePath;
    case AlarmRow::Connection:
      return notify.m_inVoicePath;
    case AlarmRow::Disconnection:
      break;
  }
  return notify.m_outVoicePath;
}

std::string Decimal(long long value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%lld", value);
  return buffer;
}

}  // namespace

std::optional<std::uint32_t> ParseUnsignedField(std::string_view text) {
  auto value = ParseDigits(TrimBlanks(text), std::numeric_limits<std::uint32_t>::max());
  if (!value) return std::nullopt;
  return static_cast<std::uint32_t>(*value);
}

std::optional<std::int32_t> ParseSignedField(std::string_view text) {
  text = TrimBlanks(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  const std::uint64_t limit =
      negative ? static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()) + 1
               : static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
  auto value = ParseDigits(text, limit);
  if (!value) return std::nullopt;
  long long signedValue =
      negative ? -static_cast<long long>(*value) : static_cast<long long>(*value);
  return static_cast<std::int32_t>(signedValue);
}

std::string InitialSoundFolder(std::string_view executablePath) {
  constexpr std::string_view kProgramFile = "wrenlocator";
  auto slash = executablePath.rfind('/');
  std::string_view file =
      slash == std::string_view::npos ? executablePath : executablePath.substr(slash + 1);
  if (file != kProgramFile) return std::string(executablePath);
  std::string folder(executablePath.substr(0, executablePath.size() - file.size()));
  folder.append("sounds");
  return folder;
}

SearchParamsModel::SearchParamsModel(platform::SettingsStore& store) : m_store(store) {
  m_search.m_newInquiryTimeout = 0;
  LoadSettings();
}

void SearchParamsModel::LoadSettings() {
  const SearchSettings d;
  m_search.m_authentication =
      ReadFlag(m_store, kSearchSection, kAuthentication, d.m_authentication);
  m_search.m_connected = ReadFlag(m_store, kSearchSection, kConnected, d.m_connected);
  m_search.m_remembered = ReadFlag(m_store, kSearchSection, kRemembered, d.m_remembered);
  m_search.m_unknown = ReadFlag(m_store, kSearchSection, kUnknown, d.m_unknown);
  m_search.m_updateSpeed = ReadUnsigned(m_store, kSettingsSection, kUpdateSpeed, d.m_updateSpeed);
  m_notify.m_inSound = ReadFlag(m_store, kNotifySection, kInSound, 0);
  m_notify.m_outSound = ReadFlag(m_store, kNotifySection, kOutSound, 0);
  m_notify.m_inVoicePath = m_store.ReadText(kNotifySection, kInVoicePath, "");
  m_notify.m_outVoicePath = m_store.ReadText(kNotifySection, kOutVoicePath, "");
  m_notify.m_netSend = m_store.ReadText(kNotifySection, kNetSend, "");
  m_notify.m_devDetSound = ReadFlag(m_store, kNotifySection, kDevDetSound, 0);
  m_notify.m_devDetVoicePath = m_store.ReadText(kNotifySection, kDevDetVoicePath, "");
  m_notify.m_devUndetSound = ReadFlag(m_store, kNotifySection, kDevUndetSound, 0);
  m_notify.m_devUndetVoicePath = m_store.ReadText(kNotifySection, kDevUndetVoicePath, "");
  m_notify.m_newDevice = ReadFlag(m_store, kNotifySection, kNewDevice, 0);
  m_search.m_newInquiry = ReadFlag(m_store, kSearchSection, kNewInquiry, d.m_newInquiry);
  m_search.m_newInquiryTimeout =
      ReadFlag(m_store, kSearchSection, kNewInquiryTimeout, kMinInquiryTimeout);
  if (m_search.m_newInquiryTimeout < kMinInquiryTimeout)
    m_search.m_newInquiryTimeout = kMinInquiryTimeout;
}

SearchDialogFields SearchParamsModel::Open() {
  LoadSettings();
  return Fields();
}

SearchDialogFields SearchParamsModel::Fields() const {
  SearchDialogFields f;
  f.authentication = ShownCheck(m_search.m_authentication);
  f.connected = ShownCheck(m_search.m_connected);
  f.remembered = ShownCheck(m_search.m_remembered);
  f.unknown = ShownCheck(m_search.m_unknown);
  f.updateSpeed = Decimal(m_search.m_updateSpeed);
  f.inSound = ShownCheck(m_notify.m_inSound);
  f.outSound = ShownCheck(m_notify.m_outSound);
  f.inVoicePath = m_notify.m_inVoicePath;
  f.outVoicePath = m_notify.m_outVoicePath;
  f.netSend = m_notify.m_netSend;
  f.devDetSound = ShownCheck(m_notify.m_devDetSound);
  f.devDetVoicePath = m_notify.m_devDetVoicePath;
  f.devUndetSound = ShownCheck(m_notify.m_devUndetSound);
  f.devUndetVoicePath = m_notify.m_devUndetVoicePath;
  f.newInquiry = ShownCheck(m_search.m_newInquiry);
  f.newInquiryTimeout = Decimal(m_search.m_newInquiryTimeout);
  return f;
}

FieldsRead SearchParamsModel::ReadFields(const SearchDialogFields& f) {
  m_search.m_authentication = ReadCheck(f.authentication);
  m_search.m_connected = ReadCheck(f.connected);
  m_search.m_remembered = ReadCheck(f.remembered);
  m_search.m_unknown = ReadCheck(f.unknown);
  auto speed = ParseUnsignedField(f.updateSpeed);
  if (!speed) return {false, std::string(kPositiveIntegerMessage), NumericField::UpdateSpeed};
  m_search.m_updateSpeed = *speed;
  m_notify.m_inSound = ReadCheck(f.inSound);
  m_notify.m_outSound = ReadCheck(f.outSound);
  m_notify.m_inVoicePath = f.inVoicePath;
  m_notify.m_outVoicePath = f.outVoicePath;
  m_notify.m_netSend = f.netSend;
  m_notify.m_devDetSound = ReadCheck(f.devDetSound);
  m_notify.m_devDetVoicePath = f.devDetVoicePath;
  m_notify.m_devUndetSound = ReadCheck(f.devUndetSound);
  m_notify.m_devUndetVoicePath = f.devUndetVoicePath;
  m_search.m_newInquiry = ReadCheck(f.newInquiry);
  auto timeout = ParseSignedField(f.newInquiryTimeout);
  if (!timeout) return {false, std::string(kIntegerMessage), NumericField::NewInquiryTimeout};
  m_search.m_newInquiryTimeout = *timeout;
  return {};
}

RunResult SearchParamsModel::Run(const SearchDialogFields& fields) {
  RunResult run;
  auto store = [&](std::string_view section, std::string_view key, std::int64_t value) {
    run.stored = m_store.WriteInt(section, key, value) && run.stored;
  };
  auto storeText = [&](std::string_view key, const std::string& value) {
    run.stored = m_store.WriteText(kNotifySection, key, value) && run.stored;
  };

  // 1. A parse failure shows its message; the stores below happen all the same.
  FieldsRead first = ReadFields(fields);
  if (!first.ok) {
    run.messages.push_back(first.message);
    run.focus = first.focus;
  }
  // 2.
  store(kSearchSection, kAuthentication, m_search.m_authentication);
  store(kSearchSection, kConnected, m_search.m_connected);
  store(kSearchSection, kRemembered, m_search.m_remembered);
  store(kSearchSection, kUnknown, m_search.m_unknown);
  store(kSearchSection, kNewInquiry, m_search.m_newInquiry);
  // 3.
  if (m_search.m_newInquiryTimeout < kMinInquiryTimeout)
    m_search.m_newInquiryTimeout = kMinInquiryTimeout;
  store(kSearchSection, kNewInquiryTimeout, m_search.m_newInquiryTimeout);
  // 4. An inquiry must fit in the refresh period; a period of 0 would never tick.
  if (m_search.m_newInquiry &&
      m_search.m_updateSpeed < static_cast<std::uint32_t>(m_search.m_newInquiryTimeout))
    m_search.m_updateSpeed = static_cast<std::uint32_t>(m_search.m_newInquiryTimeout);
  if (m_search.m_updateSpeed == 0) m_search.m_updateSpeed = 1;
  store(kSettingsSection, kUpdateSpeed, m_search.m_updateSpeed);
  // 5.
  store(kNotifySection, kDevDetSound, m_notify.m_devDetSound);
  store(kNotifySection, kDevUndetSound, m_notify.m_devUndetSound);
  store(kNotifySection, kInSound, m_notify.m_inSound);
  store(kNotifySection, kOutSound, m_notify.m_outSound);
  storeText(kInVoicePath, m_notify.m_inVoicePath);
  storeText(kOutVoicePath, m_notify.m_outVoicePath);
  storeText(kNetSend, m_notify.m_netSend);
  storeText(kDevDetVoicePath, m_notify.m_devDetVoicePath);
  storeText(kDevUndetVoicePath, m_notify.m_devUndetVoicePath);
  // 6.
  FieldsRead second = ReadFields(fields);
  if (second.ok) {
    run.result = kDialogRun;
  } else {
    run.messages.push_back(second.message);
    run.focus = second.focus;
  }
  return run;
}

std::string& SearchParamsModel::PathMember(AlarmRow row) { return PathOf(m_notify, row); }

const std::string& SearchParamsModel::SoundPath(AlarmRow row) const {
  return PathOf(m_notify, row);
}

std::string_view SearchParamsModel::PathKey(AlarmRow row) const {
  switch (row) {
    case AlarmRow::Detection:
      return kDevDetVoicePath;
    case AlarmRow::OutOfRange:
      return kDevUndetVoicePath;
    case AlarmRow::Connection:
      return kInVoicePath;
    case AlarmRow::Disconnection:
      break;
  }
  return kOutVoicePath;
}

std::string SearchParamsModel::SelectFileInitialFolder(AlarmRow row) const {
  const std::string& path = SoundPath(row);
  if (!path.empty()) return path;
  return InitialSoundFolder(platform::ExecutablePath());
}

SelectFileResult SearchParamsModel::SelectFile(AlarmRow row,
                                               const std::optional<std::string>& chosen,
                                               const SearchDialogFields& fields) {
  SelectFileResult out;
  out.fields = fields;
  if (chosen) {
    PathMember(row) = *chosen;
    // Only the row's path edit takes the new path; what the user typed in
    // the other controls stays until it is read below.
    switch (row) {
      case AlarmRow::Detection:
        out.fields.devDetVoicePath = *chosen;
        break;
      case AlarmRow::OutOfRange:
        out.fields.devUndetVoicePath = *chosen;
        break;
      case AlarmRow::Connection:
        out.fields.inVoicePath = *chosen;
        break;
      case AlarmRow::Disconnection:
        out.fields.outVoicePath = *chosen;
        break;
    }
  }
  out.stored = m_store.WriteText(kNotifySection, PathKey(row), PathMember(row));
  FieldsRead read = ReadFields(out.fields);
  if (!read.ok) {
    out.messages.push_back(read.message);
    out.focus = read.focus;
  }
  return out;
}

SearchParams SearchParamsModel::Snapshot() const {
  SearchParams params;
  params.m_returnAuthenticated = m_search.m_authentication;
  params.m_returnRemembered = m_search.m_remembered;
  params.m_returnUnknown = m_search.m_unknown;
  params.m_returnConnected = m_search.m_connected;
  params.m_issueInquiry = m_search.m_newInquiry;
  params.m_timeoutMultiplier =
      InquiryMultiplier(m_search.m_newInquiryTimeout, m_search.m_newInquiry != 0);
  return params;
}

}  // namespace wren
