#pragma once
// The user's search and alarm settings as the search-parameters dialog holds
// them: loaded from the settings store, edited through the dialog's fields,
// stored when the dialog's Run is pressed. Between showings the members are
// what scans (through the SearchParams snapshot) and alarms read.
//
// The dialog window only moves texts in and out: it shows Fields(), and
// hands back the texts and check states the user left in its controls.

#include "core/bluetooth/SearchParams.h"
#include "ports/SettingsStore.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wren {

namespace settings {
inline constexpr std::string_view kSettingsSection = "Settings";
inline constexpr std::string_view kSearchSection = "DevSearchSettings";
inline constexpr std::string_view kNotifySection = "DevNotifySettings";

inline constexpr std::string_view kAuthentication = "Authentication";
inline constexpr std::string_view kConnected = "Connected";
inline constexpr std::string_view kRemembered = "Remembered";
inline constexpr std::string_view kUnknown = "Unknown";
inline constexpr std::string_view kUpdateSpeed = "UpdateSpeed";
inline constexpr std::string_view kInSound = "inSound";
inline constexpr std::string_view kOutSound = "outSound";
inline constexpr std::string_view kInVoicePath = "InVoicePath";
inline constexpr std::string_view kOutVoicePath = "OutVoicePath";
inline constexpr std::string_view kNetSend = "NetSend";
inline constexpr std::string_view kDevDetSound = "devDetSound";
inline constexpr std::string_view kDevDetVoicePath = "DevDetVoicePath";
inline constexpr std::string_view kDevUndetSound = "devUndetSound";
inline constexpr std::string_view kDevUndetVoicePath = "devUndetVoicePath";
inline constexpr std::string_view kNewInquiry = "NewInquiry";
inline constexpr std::string_view kNewInquiryTimeout = "NewInquiryTimeout";
// A device never seen before raises the detection alarm; not in the dialog.
inline constexpr std::string_view kNewDevice = "newDevice";

// The shortest inquiry the dialog lets through, in seconds.
inline constexpr std::int32_t kMinInquiryTimeout = 5;
}  // namespace settings

struct SearchSettings {
  std::int32_t m_authentication = 1;
  std::int32_t m_connected = 1;
  std::int32_t m_remembered = 1;
  std::int32_t m_unknown = 1;
  std::uint32_t m_updateSpeed = 2;  // seconds between scans
  std::int32_t m_newInquiry = 0;
  std::int32_t m_newInquiryTimeout = 5;  // seconds
};

struct NotifySettings {
  std::int32_t m_inSound = 0;
  std::int32_t m_outSound = 0;
  std::string m_inVoicePath;
  std::string m_outVoicePath;
  std::string m_netSend;  // the network-message recipient
  std::int32_t m_devDetSound = 0;
  std::string m_devDetVoicePath;
  std::int32_t m_devUndetSound = 0;
  std::string m_devUndetVoicePath;
  std::int32_t m_newDevice = 0;  // kept as stored: Run does not write it
};

// The dialog's controls in the order their values are read: check states
// (0 cleared, 1 checked, 2 indeterminate) and edit texts.
struct SearchDialogFields {
  int authentication = 0;
  int connected = 0;
  int remembered = 0;
  int unknown = 0;
  std::string updateSpeed;
  int inSound = 0;
  int outSound = 0;
  std::string inVoicePath;
  std::string outVoicePath;
  std::string netSend;
  int devDetSound = 0;
  std::string devDetVoicePath;
  int devUndetSound = 0;
  std::string devUndetVoicePath;
  int newInquiry = 0;
  std::string newInquiryTimeout;

  bool operator==(const SearchDialogFields&) const = default;
};

// The two edits whose text must parse.
enum class NumericField { UpdateSpeed, NewInquiryTimeout };

enum class AlarmRow { Detection, OutOfRange, Connection, Disconnection };

inline constexpr std::string_view kPositiveIntegerMessage = "Please enter a positive integer.";
inline constexpr std::string_view kIntegerMessage = "Please enter an integer.";
inline constexpr int kDialogRun = 1;
inline constexpr int kDialogCancel = 2;

// Edit texts: decimal digits, optional blanks (space, tab) before and
// after; the signed form takes one leading '+' or '-'. Anything else, an
// empty text, or a value outside the type's range does not parse.
std::optional<std::uint32_t> ParseUnsignedField(std::string_view text);
std::optional<std::int32_t> ParseSignedField(std::string_view text);

// Reading the controls into the members stops at the first edit that does
// not parse: the members from that control on keep their previous values.
struct FieldsRead {
  bool ok = true;
  std::string message;  // the framework's message for the faulty edit
  std::optional<NumericField> focus;
};

struct RunResult {
  std::vector<std::string> messages;  // in the order they are shown
  std::optional<NumericField> focus;  // the faulty edit, its text selected
  int result = 0;                     // kDialogRun: the dialog closes; 0: it stays open
  bool stored = true;                 // false when the store refused a value
};

struct SelectFileResult {
  SearchDialogFields fields;  // the controls afterwards
  std::vector<std::string> messages;
  std::optional<NumericField> focus;
  bool stored = true;
};

// Select File's starting folder when the row has no sound yet: the "sounds"
// folder beside the executable. The executable's file name is replaced only
// when it is the program's own ("wrenlocator"); under any other name the
// executable's own path is kept, just as a renamed program never found the
// name it looked for.
std::string InitialSoundFolder(std::string_view executablePath);

class SearchParamsModel {
public:
  // Sets the defaults, then loads the stored values.
  explicit SearchParamsModel(platform::SettingsStore& store);

  // Reads every value from its section and key, the default where missing;
  // an inquiry timeout below 5 s becomes 5 s.
  void LoadSettings();

  // Opening the dialog: the stored values again, shown in the controls.
  SearchDialogFields Open();
  // The members as the controls show them (check states outside 0..2 clear).
  SearchDialogFields Fields() const;
  FieldsRead ReadFields(const SearchDialogFields& fields);

  RunResult Run(const SearchDialogFields& fields);
  // Cancel stores nothing.
  int Cancel() const { return kDialogCancel; }

  std::string SelectFileInitialFolder(AlarmRow row) const;
  // After the file dialog: `chosen` is the full path picked, or nothing when
  // cancelled. The row's path is stored in either case.
  SelectFileResult SelectFile(AlarmRow row, const std::optional<std::string>& chosen,
                              const SearchDialogFields& fields);
  // Play: the controls are read first; the row's sound is then this path.
  const std::string& SoundPath(AlarmRow row) const;

  // The parameter block for one scan, from the current members. Taken on
  // the user-interface thread when a scan starts; the worker gets the copy.
  SearchParams Snapshot() const;

  const SearchSettings& Search() const { return m_search; }
  // Alarms keep this reference and read the values at each event.
  const NotifySettings& Notify() const { return m_notify; }

private:
  std::string& PathMember(AlarmRow row);
  std::string_view PathKey(AlarmRow row) const;

  platform::SettingsStore& m_store;
  SearchSettings m_search;
  NotifySettings m_notify;
};

}  // namespace wren
