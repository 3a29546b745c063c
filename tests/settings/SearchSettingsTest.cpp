#include "core/bluetooth/SearchSettings.h"

#include "adapters/posix/MemorySettingsStore.h"
#include "base/System.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace wren {
namespace {

using platform::MemorySettingsStore;
namespace s = settings;

std::int64_t StoredInt(const MemorySettingsStore& store, std::string_view section,
                       std::string_view key) {
  auto v = store.Find(section, key);
  EXPECT_TRUE(v.has_value()) << section << "/" << key << " not stored";
  if (!v) return -999;
  auto* n = std::get_if<std::int64_t>(&*v);
  EXPECT_NE(n, nullptr) << section << "/" << key << " stored as text";
  return n ? *n : -999;
}

std::string StoredText(const MemorySettingsStore& store, std::string_view key) {
  auto v = store.Find(s::kNotifySection, key);
  EXPECT_TRUE(v.has_value()) << key << " not stored";
  if (!v) return "<missing>";
  auto* t = std::get_if<std::string>(&*v);
  EXPECT_NE(t, nullptr) << key << " stored as integer";
  return t ? *t : "<int>";
}

// ---------------------------------------------------------------- loading

TEST(SearchSettingsLoad, EmptyStoreGivesTheDefaults) {
  MemorySettingsStore store;
  SearchParamsModel model(store);
  const SearchSettings& a = model.Search();
  EXPECT_EQ(a.m_authentication, 1);
  EXPECT_EQ(a.m_connected, 1);
  EXPECT_EQ(a.m_remembered, 1);
  EXPECT_EQ(a.m_unknown, 1);
  EXPECT_EQ(a.m_updateSpeed, 2u);
  EXPECT_EQ(a.m_newInquiry, 0);
  EXPECT_EQ(a.m_newInquiryTimeout, 5);
  const NotifySettings& n = model.Notify();
  EXPECT_EQ(n.m_inSound, 0);
  EXPECT_EQ(n.m_outSound, 0);
  EXPECT_EQ(n.m_devDetSound, 0);
  EXPECT_EQ(n.m_devUndetSound, 0);
  EXPECT_EQ(n.m_inVoicePath, "");
  EXPECT_EQ(n.m_outVoicePath, "");
  EXPECT_EQ(n.m_netSend, "");
  EXPECT_EQ(n.m_devDetVoicePath, "");
  EXPECT_EQ(n.m_devUndetVoicePath, "");
  EXPECT_TRUE(store.Writes().empty()) << "loading must not write";
}

struct IntKey {
  std::string_view section, key;
  std::int64_t stored;
  std::function<std::int64_t(const SearchParamsModel&)> member;
};

TEST(SearchSettingsLoad, EveryIntegerComesFromItsSectionAndKey) {
  const std::vector<IntKey> table = {
      {s::kSearchSection, "Authentication", 0, [](auto& m) { return m.Search().m_authentication; }},
      {s::kSearchSection, "Connected", 0, [](auto& m) { return m.Search().m_connected; }},
      {s::kSearchSection, "Remembered", 0, [](auto& m) { return m.Search().m_remembered; }},
      {s::kSearchSection, "Unknown", 0, [](auto& m) { return m.Search().m_unknown; }},
      {s::kSettingsSection, "UpdateSpeed", 17, [](auto& m) { return m.Search().m_updateSpeed; }},
      {s::kNotifySection, "inSound", 1, [](auto& m) { return m.Notify().m_inSound; }},
      {s::kNotifySection, "outSound", 1, [](auto& m) { return m.Notify().m_outSound; }},
      {s::kNotifySection, "devDetSound", 1, [](auto& m) { return m.Notify().m_devDetSound; }},
      {s::kNotifySection, "devUndetSound", 1, [](auto& m) { return m.Notify().m_devUndetSound; }},
      {s::kSearchSection, "NewInquiry", 1, [](auto& m) { return m.Search().m_newInquiry; }},
      {s::kSearchSection, "NewInquiryTimeout", 33,
       [](auto& m) { return m.Search().m_newInquiryTimeout; }},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(std::string(row.section) + "/" + std::string(row.key));
    MemorySettingsStore store;
    ASSERT_TRUE(store.WriteInt(row.section, row.key, row.stored));
    SearchParamsModel model(store);
    EXPECT_EQ(row.member(model), row.stored);
    // The same key in a wrong section is not read.
    MemorySettingsStore elsewhere;
    ASSERT_TRUE(elsewhere.WriteInt("Elsewhere", row.key, row.stored));
    SearchParamsModel defaults(elsewhere);
    EXPECT_NE(row.member(defaults), row.stored);
  }
}

TEST(SearchSettingsLoad, EveryTextComesFromItsKey) {
  const std::vector<
      std::pair<std::string_view, std::function<std::string(const SearchParamsModel&)>>>
      table = {
          {"InVoicePath", [](auto& m) { return m.Notify().m_inVoicePath; }},
          {"OutVoicePath", [](auto& m) { return m.Notify().m_outVoicePath; }},
          {"NetSend", [](auto& m) { return m.Notify().m_netSend; }},
          {"DevDetVoicePath", [](auto& m) { return m.Notify().m_devDetVoicePath; }},
          {"devUndetVoicePath", [](auto& m) { return m.Notify().m_devUndetVoicePath; }},
      };
  for (const auto& [key, member] : table) {
    SCOPED_TRACE(std::string(key));
    MemorySettingsStore store;
    std::string value = "/snd/" + std::string(key) + ".wav";
    ASSERT_TRUE(store.WriteText(s::kNotifySection, key, value));
    SearchParamsModel model(store);
    EXPECT_EQ(member(model), value);
  }
}

TEST(SearchSettingsLoad, InquiryTimeoutBelowFiveLoadsAsFive) {
  for (std::int64_t stored : {2, 0, -3, 4}) {
    MemorySettingsStore store;
    store.WriteInt(s::kSearchSection, s::kNewInquiryTimeout, stored);
    SearchParamsModel model(store);
    EXPECT_EQ(model.Search().m_newInquiryTimeout, 5) << stored;
  }
  MemorySettingsStore store;
  store.WriteInt(s::kSearchSection, s::kNewInquiryTimeout, 6);
  EXPECT_EQ(SearchParamsModel(store).Search().m_newInquiryTimeout, 6);
}

TEST(SearchSettingsLoad, ValuesThatDoNotFitTheirMemberFallBackToTheDefault) {
  MemorySettingsStore store;
  store.WriteInt(s::kSettingsSection, s::kUpdateSpeed, -1);
  store.WriteInt(s::kSearchSection, s::kAuthentication, 1LL << 40);
  store.WriteText(s::kSearchSection, s::kConnected, "yes");  // a text where a number belongs
  store.WriteInt(s::kNotifySection, s::kNetSend, 12);        // a number where a text belongs
  SearchParamsModel model(store);
  EXPECT_EQ(model.Search().m_updateSpeed, 2u);
  EXPECT_EQ(model.Search().m_authentication, 1);
  EXPECT_EQ(model.Search().m_connected, 1);
  EXPECT_EQ(model.Notify().m_netSend, "");

  MemorySettingsStore big;
  big.WriteInt(s::kSettingsSection, s::kUpdateSpeed, 4294967295LL);
  EXPECT_EQ(SearchParamsModel(big).Search().m_updateSpeed, 4294967295u);
}

TEST(SearchSettingsLoad, OpeningReloadsTheStoredValues) {
  MemorySettingsStore store;
  SearchParamsModel model(store);
  SearchDialogFields f = model.Fields();
  f.updateSpeed = "9";
  ASSERT_TRUE(model.ReadFields(f).ok);
  EXPECT_EQ(model.Search().m_updateSpeed, 9u);
  store.WriteInt(s::kSettingsSection, s::kUpdateSpeed, 4);
  SearchDialogFields shown = model.Open();
  EXPECT_EQ(shown.updateSpeed, "4");
  EXPECT_EQ(model.Search().m_updateSpeed, 4u);
}

// ---------------------------------------------------------------- fields

TEST(SearchSettingsFields, ParsingOfTheNumericEdits) {
  struct Case {
    const char* text;
    std::optional<std::uint32_t> asUnsigned;
    std::optional<std::int32_t> asSigned;
  };
  const Case cases[] = {
      {"12", 12u, 12},
      {" 12 ", 12u, 12},
      {"\t3\t", 3u, 3},
      {"0", 0u, 0},
      {"007", 7u, 7},
      {"", std::nullopt, std::nullopt},
      {"   ", std::nullopt, std::nullopt},
      {"abc", std::nullopt, std::nullopt},
      {"12a", std::nullopt, std::nullopt},
      {"1 2", std::nullopt, std::nullopt},
      {"1.5", std::nullopt, std::nullopt},
      {"0x10", std::nullopt, std::nullopt},
      {"-1", std::nullopt, -1},
      {"+7", std::nullopt, 7},
      {"- 5", std::nullopt, std::nullopt},
      {"-", std::nullopt, std::nullopt},
      {"2147483647", 2147483647u, 2147483647},
      {"2147483648", 2147483648u, std::nullopt},
      {"-2147483648", std::nullopt, -2147483647 - 1},
      {"-2147483649", std::nullopt, std::nullopt},
      {"4294967295", 4294967295u, std::nullopt},
      {"4294967296", std::nullopt, std::nullopt},
      {"99999999999999999999999", std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseUnsignedField(c.text), c.asUnsigned) << '"' << c.text << '"';
    EXPECT_EQ(ParseSignedField(c.text), c.asSigned) << '"' << c.text << '"';
  }
}

TEST(SearchSettingsFields, CheckStatesOutsideZeroToTwoShowAsCleared) {
  MemorySettingsStore store;
  store.WriteInt(s::kSearchSection, s::kAuthentication, 7);
  store.WriteInt(s::kSearchSection, s::kConnected, -1);
  store.WriteInt(s::kSearchSection, s::kRemembered, 2);
  store.WriteInt(s::kNotifySection, s::kDevDetSound, 3);
  SearchParamsModel model(store);
  SearchDialogFields f = model.Fields();
  EXPECT_EQ(f.authentication, 0);
  EXPECT_EQ(f.connected, 0);
  EXPECT_EQ(f.remembered, 2);
  EXPECT_EQ(f.devDetSound, 0);
  EXPECT_EQ(f.updateSpeed, "2");
  EXPECT_EQ(f.newInquiryTimeout, "5");
}

// ---------------------------------------------------------------- Run

class SearchRun : public ::testing::Test {
protected:
  MemorySettingsStore store;
  SearchParamsModel model{store};
};

TEST_F(SearchRun, StoresEveryValueInOrderAndCloses) {
  SearchDialogFields f = model.Open();
  f.authentication = 0;
  f.connected = 1;
  f.remembered = 0;
  f.unknown = 2;
  f.updateSpeed = "8";
  f.inSound = 1;
  f.outSound = 0;
  f.inVoicePath = "/s/in.wav";
  f.outVoicePath = "/s/out.mp3";
  f.netSend = " BOSS ";
  f.devDetSound = 1;
  f.devDetVoicePath = "/s/det.au";
  f.devUndetSound = 1;
  f.devUndetVoicePath = "/s/undet.wav";
  f.newInquiry = 1;
  f.newInquiryTimeout = "6";

  RunResult r = model.Run(f);
  EXPECT_EQ(r.result, kDialogRun);
  EXPECT_TRUE(r.messages.empty());
  EXPECT_FALSE(r.focus.has_value());
  EXPECT_TRUE(r.stored);

  const std::vector<std::string> order = {
      "DevSearchSettings/Authentication",
      "DevSearchSettings/Connected",
      "DevSearchSettings/Remembered",
      "DevSearchSettings/Unknown",
      "DevSearchSettings/NewInquiry",
      "DevSearchSettings/NewInquiryTimeout",
      "Settings/UpdateSpeed",
      "DevNotifySettings/devDetSound",
      "DevNotifySettings/devUndetSound",
      "DevNotifySettings/inSound",
      "DevNotifySettings/outSound",
      "DevNotifySettings/InVoicePath",
      "DevNotifySettings/OutVoicePath",
      "DevNotifySettings/NetSend",
      "DevNotifySettings/DevDetVoicePath",
      "DevNotifySettings/devUndetVoicePath",
  };
  EXPECT_EQ(store.Writes(), order);

  EXPECT_EQ(StoredInt(store, s::kSearchSection, "Authentication"), 0);
  EXPECT_EQ(StoredInt(store, s::kSearchSection, "Connected"), 1);
  EXPECT_EQ(StoredInt(store, s::kSearchSection, "Remembered"), 0);
  EXPECT_EQ(StoredInt(store, s::kSearchSection, "Unknown"), 2);
  EXPECT_EQ(StoredInt(store, s::kSearchSection, "NewInquiry"), 1);
  EXPECT_EQ(StoredInt(store, s::kSearchSection, "NewInquiryTimeout"), 6);
  EXPECT_EQ(StoredInt(store, s::kSettingsSection, "UpdateSpeed"), 8);
  EXPECT_EQ(StoredInt(store, s::kNotifySection, "devDetSound"), 1);
  EXPECT_EQ(StoredInt(store, s::kNotifySection, "devUndetSound"), 1);
  EXPECT_EQ(StoredInt(store, s::kNotifySection, "inSound"), 1);
  EXPECT_EQ(StoredInt(store, s::kNotifySection, "outSound"), 0);
  EXPECT_EQ(StoredText(store, "InVoicePath"), "/s/in.wav");
  EXPECT_EQ(StoredText(store, "OutVoicePath"), "/s/out.mp3");
  EXPECT_EQ(StoredText(store, "NetSend"), " BOSS ");  // texts are kept as typed
  EXPECT_EQ(StoredText(store, "DevDetVoicePath"), "/s/det.au");
  EXPECT_EQ(StoredText(store, "devUndetVoicePath"), "/s/undet.wav");

  // A fresh holder loads what was stored.
  SearchParamsModel reloaded(store);
  EXPECT_EQ(reloaded.Fields(), model.Fields());
}

TEST_F(SearchRun, TimeoutEnteredAsZeroIsStoredAsFive) {
  SearchDialogFields f = model.Open();
  f.newInquiryTimeout = "0";
  RunResult r = model.Run(f);
  EXPECT_EQ(r.result, kDialogRun);
  EXPECT_EQ(StoredInt(store, s::kSearchSection, "NewInquiryTimeout"), 5);
  EXPECT_EQ(SearchParamsModel(store).Search().m_newInquiryTimeout, 5);
}

TEST_F(SearchRun, RefreshPeriodCoversTheInquiryOnlyWhenOneIsMade) {
  SearchDialogFields f = model.Open();
  f.updateSpeed = "3";
  f.newInquiryTimeout = "10";
  f.newInquiry = 1;
  model.Run(f);
  EXPECT_EQ(StoredInt(store, s::kSettingsSection, "UpdateSpeed"), 10);

  f.newInquiry = 0;
  model.Run(f);
  EXPECT_EQ(StoredInt(store, s::kSettingsSection, "UpdateSpeed"), 3);

  // A period already longer than the inquiry stays.
  f.newInquiry = 1;
  f.updateSpeed = "30";
  model.Run(f);
  EXPECT_EQ(StoredInt(store, s::kSettingsSection, "UpdateSpeed"), 30);
}

TEST_F(SearchRun, RefreshOfZeroIsStoredAsOne) {
  SearchDialogFields f = model.Open();
  f.updateSpeed = "0";
  EXPECT_EQ(model.Run(f).result, kDialogRun);
  EXPECT_EQ(StoredInt(store, s::kSettingsSection, "UpdateSpeed"), 1);
}

TEST_F(SearchRun, UnparsableRefreshShowsItsMessageTwiceAndStaysOpen) {
  store.WriteText(s::kNotifySection, s::kNetSend, "OLDBOSS");
  SearchDialogFields f = model.Open();
  store.ClearWrites();
  f.authentication = 0;  // before the faulty edit: read
  f.unknown = 0;
  f.updateSpeed = "abc";  // the faulty edit
  f.inSound = 1;          // from here on: members keep their values
  f.netSend = "NEWBOSS";
  f.newInquiry = 1;
  f.newInquiryTimeout = "junk";  // never reached, so never reported

  RunResult r = model.Run(f);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.messages, (std::vector<std::string>{"Please enter a positive integer.",
                                                  "Please enter a positive integer."}));
  EXPECT_EQ(r.focus, NumericField::UpdateSpeed);

  // Every value was stored all the same, from the members.
  EXPECT_EQ(store.Writes().size(), 16u);
  EXPECT_EQ(StoredInt(store, s::kSearchSection, "Authentication"), 0);
  EXPECT_EQ(StoredInt(store, s::kSearchSection, "Unknown"), 0);
  EXPECT_EQ(StoredInt(store, s::kSettingsSection, "UpdateSpeed"), 2);
  EXPECT_EQ(StoredInt(store, s::kNotifySection, "inSound"), 0);
  EXPECT_EQ(StoredText(store, "NetSend"), "OLDBOSS");
  EXPECT_EQ(StoredInt(store, s::kSearchSection, "NewInquiry"), 0);
  EXPECT_EQ(StoredInt(store, s::kSearchSection, "NewInquiryTimeout"), 5);
}

TEST_F(SearchRun, UnparsableTimeoutShowsTheIntegerMessage) {
  SearchDialogFields f = model.Open();
  f.updateSpeed = "7";
  f.inSound = 1;
  f.newInquiryTimeout = "ten";
  RunResult r = model.Run(f);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.messages,
            (std::vector<std::string>{"Please enter an integer.", "Please enter an integer."}));
  EXPECT_EQ(r.focus, NumericField::NewInquiryTimeout);
  // Everything before the timeout was read and stored.
  EXPECT_EQ(StoredInt(store, s::kSettingsSection, "UpdateSpeed"), 7);
  EXPECT_EQ(StoredInt(store, s::kNotifySection, "inSound"), 1);
  EXPECT_EQ(StoredInt(store, s::kSearchSection, "NewInquiryTimeout"), 5);
}

TEST_F(SearchRun, CancelStoresNothing) {
  SearchDialogFields f = model.Open();
  f.updateSpeed = "99";
  f.netSend = "SOMEONE";
  EXPECT_EQ(model.Cancel(), kDialogCancel);
  EXPECT_TRUE(store.Writes().empty());
  EXPECT_EQ(model.Open().updateSpeed, "2");
}

TEST_F(SearchRun, StoreThatRefusesWritesIsReported) {
  SearchDialogFields f = model.Open();
  store.SetReadOnly(true);
  RunResult r = model.Run(f);
  EXPECT_EQ(r.result, kDialogRun);
  EXPECT_FALSE(r.stored);
}

// ---------------------------------------------------------------- Select File

TEST_F(SearchRun, SelectFileCancelledStoresTheEmptyPathAgainAndNothingElse) {
  SearchDialogFields f = model.Open();
  ASSERT_EQ(f.devDetVoicePath, "");
  SelectFileResult r = model.SelectFile(AlarmRow::Detection, std::nullopt, f);
  EXPECT_EQ(store.Writes(), std::vector<std::string>{"DevNotifySettings/DevDetVoicePath"});
  EXPECT_EQ(StoredText(store, "DevDetVoicePath"), "");
  EXPECT_EQ(r.fields, f);
  EXPECT_TRUE(r.messages.empty());
  EXPECT_TRUE(r.stored);
}

TEST_F(SearchRun, SelectFileChosenStoresThePathAtOnceForEachRow) {
  const std::pair<AlarmRow, std::string_view> rows[] = {
      {AlarmRow::Detection, "DevDetVoicePath"},
      {AlarmRow::OutOfRange, "devUndetVoicePath"},
      {AlarmRow::Connection, "InVoicePath"},
      {AlarmRow::Disconnection, "OutVoicePath"},
  };
  for (const auto& [row, key] : rows) {
    SCOPED_TRACE(std::string(key));
    store.ClearWrites();
    SearchDialogFields f = model.Open();
    f.updateSpeed = "12";  // typed but not yet read
    std::string chosen = "/home/u/sounds/" + std::string(key) + ".wav";
    SelectFileResult r = model.SelectFile(row, chosen, f);
    EXPECT_EQ(store.Writes(), std::vector<std::string>{"DevNotifySettings/" + std::string(key)});
    EXPECT_EQ(StoredText(store, key), chosen);
    EXPECT_EQ(model.SoundPath(row), chosen);
    EXPECT_EQ(r.fields.updateSpeed, "12") << "the user's typing stays in the controls";
    EXPECT_EQ(model.Search().m_updateSpeed, 12u) << "controls are read after the store";
    // The chosen path shows in the row's edit.
    SearchDialogFields expected = f;
    if (row == AlarmRow::Detection) expected.devDetVoicePath = chosen;
    if (row == AlarmRow::OutOfRange) expected.devUndetVoicePath = chosen;
    if (row == AlarmRow::Connection) expected.inVoicePath = chosen;
    if (row == AlarmRow::Disconnection) expected.outVoicePath = chosen;
    EXPECT_EQ(r.fields, expected);
    // And stays stored when the dialog is then cancelled.
    model.Cancel();
    EXPECT_EQ(SearchParamsModel(store).SoundPath(row), chosen);
  }
}

TEST_F(SearchRun, SelectFileReportsAnUnparsableEditWhenReadingAfterwards) {
  SearchDialogFields f = model.Open();
  f.updateSpeed = "x";
  SelectFileResult r = model.SelectFile(AlarmRow::Connection, std::string("/a.wav"), f);
  EXPECT_EQ(r.messages, std::vector<std::string>{"Please enter a positive integer."});
  EXPECT_EQ(r.focus, NumericField::UpdateSpeed);
  EXPECT_EQ(StoredText(store, "InVoicePath"), "/a.wav");
}

TEST(SearchSelectFile, InitialFolderIsTheSoundsFolderBesideTheProgram) {
  EXPECT_EQ(InitialSoundFolder("/opt/wren/wrenlocator"), "/opt/wren/sounds");
  EXPECT_EQ(InitialSoundFolder("/opt/wrenlocator/bin/wrenlocator"), "/opt/wrenlocator/bin/sounds");
  // Under another name the executable's own path is kept.
  EXPECT_EQ(InitialSoundFolder("/opt/wren/wrenlocator-1.7"), "/opt/wren/wrenlocator-1.7");
  EXPECT_EQ(InitialSoundFolder("/opt/wren/Wrenlocator"), "/opt/wren/Wrenlocator");
  EXPECT_EQ(InitialSoundFolder(""), "");
}

TEST(SearchSelectFile, InitialFolderOfARowWithASoundIsThatSound) {
  MemorySettingsStore store;
  store.WriteText(s::kNotifySection, s::kOutVoicePath, "/music/bye.mp3");
  SearchParamsModel model(store);
  EXPECT_EQ(model.SelectFileInitialFolder(AlarmRow::Disconnection), "/music/bye.mp3");
  // This test binary is not called "wrenlocator": its own path is kept.
  EXPECT_EQ(model.SelectFileInitialFolder(AlarmRow::Connection), platform::ExecutablePath());
}

// ---------------------------------------------------------------- snapshot

TEST(SearchSnapshot, FlagsAndMultiplierComeFromTheCurrentMembers) {
  MemorySettingsStore store;
  store.WriteInt(s::kSearchSection, s::kAuthentication, 0);
  store.WriteInt(s::kSearchSection, s::kRemembered, 1);
  store.WriteInt(s::kSearchSection, s::kUnknown, 2);
  store.WriteInt(s::kSearchSection, s::kConnected, 0);
  SearchParamsModel model(store);
  SearchParams p = model.Snapshot();
  EXPECT_EQ(p.m_returnAuthenticated, 0);
  EXPECT_EQ(p.m_returnRemembered, 1);
  EXPECT_EQ(p.m_returnUnknown, 2);
  EXPECT_EQ(p.m_returnConnected, 0);
  EXPECT_EQ(p.m_issueInquiry, 0);
  EXPECT_EQ(p.m_timeoutMultiplier, 0);

  struct Case {
    const char* timeout;
    int multiplier;
  };
  for (Case c : {Case{"5", 4}, Case{"10", 7}, Case{"57", 44}, Case{"58", 45}, Case{"400", 45}}) {
    SearchDialogFields f = model.Fields();
    f.newInquiry = 1;
    f.newInquiryTimeout = c.timeout;
    ASSERT_TRUE(model.ReadFields(f).ok);
    SearchParams q = model.Snapshot();
    EXPECT_EQ(q.m_issueInquiry, 1);
    EXPECT_EQ(q.m_timeoutMultiplier, c.multiplier) << c.timeout;
  }
  SearchDialogFields f = model.Fields();
  f.newInquiry = 0;
  ASSERT_TRUE(model.ReadFields(f).ok);
  EXPECT_EQ(model.Snapshot().m_timeoutMultiplier, 0);
}

}  // namespace
}  // namespace wren
