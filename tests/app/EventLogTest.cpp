// The Bluetooth event log: the lines of every event kind, the flag walk of
// the radio-in-range event, the alarm kinds, and what the frame does with
// each device-change message.

#include "MonitorFixture.h"
#include "core/monitor/EventLog.h"

namespace wren::test {
namespace {

using platform::DeviceChange;

constexpr std::string_view kTime = "14:03:59 07/21/2009";

DeviceChange Custom(const platform::EventGuid& guid) {
  DeviceChange c;
  c.eventType = platform::kCustomEvent;
  c.hasRecord = true;
  c.eventGuid = guid;
  return c;
}

DeviceChange Hci(bool connected) {
  DeviceChange c = Custom(platform::kHciEventGuid);
  c.bthAddress = kPhone;
  c.connected = connected;
  return c;
}

DeviceChange L2cap(bool connected, bool initiated) {
  DeviceChange c = Custom(platform::kL2capEventGuid);
  c.bthAddress = kPhone;
  c.connected = connected;
  c.initiated = initiated;
  return c;
}

DeviceChange InRange(std::uint32_t flags, std::uint32_t previous, std::string name = "Phone") {
  DeviceChange c = Custom(platform::kRadioInRangeGuid);
  c.address = kPhone;
  c.flags = flags;
  c.previousFlags = previous;
  c.name = std::move(name);
  return c;
}

DeviceChange OutOfRange() {
  DeviceChange c = Custom(platform::kRadioOutOfRangeGuid);
  c.deviceAddress = kPhone;
  return c;
}

struct Flags {
  bool detected, outOfRange, connected, disconnected;
};

void ExpectFlags(const AlarmEvent& e, Flags want, const std::string& what) {
  EXPECT_EQ(e.detected, want.detected) << what;
  EXPECT_EQ(e.outOfRange, want.outOfRange) << what;
  EXPECT_EQ(e.connected, want.connected) << what;
  EXPECT_EQ(e.disconnected, want.disconnected) << what;
}

TEST(EventLines, EveryKindWordForWord) {
  struct Case {
    const char* what;
    DeviceChange change;
    std::string line;
    Flags flags;
  };
  const Case cases[] = {
      {"hci connected",
       Hci(true),
       "14:03:59 07/21/2009 - 00:1A:2B:3C:4D:5E: Connection to the remote radio has just been "
       "estrablished.",
       {false, false, true, false}},
      {"hci destroyed",
       Hci(false),
       "14:03:59 07/21/2009 - 00:1A:2B:3C:4D:5E: Connection to the remote radio has just been "
       "destroyed.",
       {false, false, false, true}},
      {"l2cap remote",
       L2cap(true, false),
       "14:03:59 07/21/2009 - 00:1A:2B:3C:4D:5E: Connection with remote radio has just been "
       "established,remote host initated the l2cap connection.",
       {false, false, true, false}},
      {"l2cap local",
       L2cap(true, true),
       "14:03:59 07/21/2009 - 00:1A:2B:3C:4D:5E: Connection with remote radio has just been "
       "established,local host iniated the l2cap connection,.",
       {false, false, true, false}},
      {"l2cap destroyed",
       L2cap(false, true),
       "14:03:59 07/21/2009 - 00:1A:2B:3C:4D:5E: Connection with remote radio has just been "
       "destroyed,.",
       {false, false, false, true}},
      {"in range",
       InRange(platform::kFlagName | platform::kFlagConnected, 0),
       "14:03:59 07/21/2009 - 00:1A:2B:3C:4D:5E Phone - Bluetooth device has changed: name "
       "changed, "
       "remote radio has just been retrieved,currently connected,.",
       {true, false, true, false}},
      {"in range, nothing changed",
       InRange(0x3F, 0x3F),
       "14:03:59 07/21/2009 - 00:1A:2B:3C:4D:5E Phone - Bluetooth device has changed: .",
       {false, false, false, false}},
      {"out of range",
       OutOfRange(),
       "14:03:59 07/21/2009 - A Previously discovered device 00:1A:2B:3C:4D:5E has not been found.",
       {false, true, false, false}},
      {"pin request",
       Custom(platform::kPinRequestGuid),
       "14:03:59 07/21/2009 - A Bluetooth device is requesting to connect to your computer.",
       {false, false, true, false}},
  };
  for (const Case& c : cases) {
    AlarmEvent event;
    std::optional<std::string> line = CustomEventLine(c.change, kTime, event);
    ASSERT_TRUE(line.has_value()) << c.what;
    EXPECT_EQ(*line, c.line) << c.what;
    ExpectFlags(event, c.flags, c.what);
    EXPECT_TRUE(event.text.empty()) << c.what;
  }
}

TEST(EventLines, AdapterAndStartupLines) {
  EXPECT_EQ(StartupLine(kTime), "14:03:59 07/21/2009 - Wrenlocator Started...");
  EXPECT_EQ(AdapterInsertedLine(kTime), "14:03:59 07/21/2009 - New Bluetooth Adapter Inserted.");
  EXPECT_EQ(AdapterRemovedLine(kTime), "14:03:59 07/21/2009 - Bluetooth Adapter Removed.");
}

TEST(EventLines, UnknownIdentifierAndMissingRecordGiveNoLine) {
  AlarmEvent event;
  platform::EventGuid other = platform::kPinRequestGuid;
  other[15] ^= 1;  // one byte off
  EXPECT_FALSE(CustomEventLine(Custom(other), kTime, event).has_value());
  DeviceChange none = Custom(platform::kPinRequestGuid);
  none.hasRecord = false;
  EXPECT_FALSE(CustomEventLine(none, kTime, event).has_value());
  ExpectFlags(event, {false, false, false, false}, "no line");
}

TEST(EventLines, NameEndsAtItsFirstZeroByteAndAddressUsesTheLowSixBytes) {
  AlarmEvent event;
  DeviceChange c = InRange(0, 0, std::string("Pho\0ne", 6));
  c.address = 0xFFFF001A2B3C4D5EULL;
  EXPECT_EQ(*CustomEventLine(c, kTime, event),
            "14:03:59 07/21/2009 - 00:1A:2B:3C:4D:5E Pho - Bluetooth device has changed: .");
  DeviceChange out = OutOfRange();
  out.deviceAddress = 0xABCD00000000000FULL;
  EXPECT_EQ(
      *CustomEventLine(out, kTime, event),
      "14:03:59 07/21/2009 - A Previously discovered device 00:00:00:00:00:0F has not been found.");
}

TEST(FlagWalk, EachBitGainedAndLost) {
  struct Case {
    std::uint32_t bit;
    const char* gained;
    Flags gainedFlags;
    const char* lost;
    Flags lostFlags;
  };
  const Case cases[] = {
      {0x01, "address changed,", {}, "address changed,", {}},
      {0x02, "code changed,", {}, "code changed,", {}},
      {0x04,
       "name changed, remote radio has just been retrieved,",
       {true, false, false, false},
       "name changed,",
       {}},
      {0x08, "paired - remembered and authenticated,", {}, "not paired,", {}},
      {0x10,
       "device is remembered,device is not authenticated,",
       {},
       "device is not remembered,",
       {}},
      {0x20,
       "currently connected,",
       {false, false, true, false},
       "disconnected,",
       {false, false, false, true}},
  };
  for (const Case& c : cases) {
    std::string what = "bit " + std::to_string(c.bit);
    AlarmEvent gained;
    EXPECT_EQ(RadioInRangeChangeText(c.bit, 0, gained), c.gained) << what;
    ExpectFlags(gained, c.gainedFlags, what + " gained");
    AlarmEvent lost;
    EXPECT_EQ(RadioInRangeChangeText(0, c.bit, lost), c.lost) << what;
    ExpectFlags(lost, c.lostFlags, what + " lost");
    AlarmEvent same;
    EXPECT_EQ(RadioInRangeChangeText(c.bit, c.bit, same), "") << what;
    ExpectFlags(same, {}, what + " unchanged");
  }
}

TEST(FlagWalk, RememberedWhilePairedIsNotCalledUnauthenticated) {
  AlarmEvent event;
  EXPECT_EQ(RadioInRangeChangeText(0x18, 0x08, event), "device is remembered,");
  AlarmEvent both;
  EXPECT_EQ(RadioInRangeChangeText(0x18, 0x00, both),
            "paired - remembered and authenticated,device is remembered,");
}

TEST(FlagWalk, TextsFollowTheBitOrderAndFlagsAccumulate) {
  AlarmEvent event;
  // Gains 0x01, 0x04, 0x20; loses 0x02, 0x08. Bits above 0x20 are ignored.
  EXPECT_EQ(RadioInRangeChangeText(0x25 | 0x40, 0x0A | 0x80, event),
            "address changed,code changed,name changed, remote radio has just been retrieved,"
            "not paired,currently connected,");
  ExpectFlags(event, {true, false, true, false}, "mixed");
}

TEST(TimeText, LocalTimeInTheZoneInForce) {
  const char* old = std::getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(FormatTimeText(1248185039), "14:03:59 07/21/2009");
  EXPECT_EQ(FormatTimeText(0), "00:00:00 01/01/1970");
  setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
  tzset();
  EXPECT_EQ(FormatTimeText(1248185039), "10:03:59 07/21/2009");  // daylight time in July
  EXPECT_EQ(FormatTimeText(1230768000), "19:00:00 12/31/2008");
  if (old)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

using FrameEvents = MonitorFixture;

TEST_F(FrameEvents, StartupLineEmptiesTheLogAndIsStoredWithoutFullStops) {
  {
    std::ofstream old(Dir() + "/alarmlog.txt", std::ios::binary);
    old << "a line of an earlier run\r\n";
  }
  MakeFrame();
  EXPECT_EQ(ReadLog(), "14:03:59 07/21/2009 - Wrenlocator Started\r\n");
  EXPECT_TRUE(status.texts.empty());  // no window yet
  ASSERT_EQ(status.logged.size(), 1u);
  EXPECT_EQ(status.logged[0].line, "14:03:59 07/21/2009 - Wrenlocator Started...");
  EXPECT_TRUE(status.logged[0].written);
}

TEST_F(FrameEvents, HistoryCheckMessageFollowsTheStartupLine) {
  MakeFrame(
      [] { return std::string("history.xml could not be read and was kept as history.xml.bad"); });
  EXPECT_EQ(
      ReadLog(),
      "14:03:59 07/21/2009 - Wrenlocator Started\r\n"
      "14:03:59 07/21/2009 - history.xml could not be read and was kept as history.xml.bad\r\n");
}

TEST_F(FrameEvents, EveryCustomEventStartsOneWorkerFirst) {
  platform::EventGuid foreign{};
  foreign[0] = 0x42;
  DeviceChange noRecord = Custom(platform::kHciEventGuid);
  noRecord.hasRecord = false;
  struct Case {
    const char* what;
    DeviceChange change;
    bool logged;
  };
  const Case cases[] = {
      {"hci", Hci(true), true},
      {"l2cap", L2cap(true, false), true},
      {"in range", InRange(0x04, 0), true},
      {"out of range", OutOfRange(), true},
      {"pin", Custom(platform::kPinRequestGuid), true},
      {"foreign identifier", Custom(foreign), false},
      {"no record", noRecord, false},
  };
  Monitor& f = MakeFrame();
  for (const Case& c : cases) {
    int started = workers.started;
    std::size_t texts = status.texts.size();
    std::size_t logged = status.logged.size();
    f.OnDeviceChange(c.change);
    EXPECT_EQ(workers.started, started + 1) << c.what;
    RunWorkers();  // the scan ends before the next event
    EXPECT_EQ(status.texts.size(), texts + (c.logged ? 1 : 0)) << c.what;
    EXPECT_EQ(status.logged.size(), logged + (c.logged ? 1 : 0)) << c.what;
  }
}

TEST_F(FrameEvents, OtherEventTypesAreIgnored) {
  Monitor& f = MakeFrame();
  DeviceChange c = Hci(true);
  c.eventType = 0x8000;  // arrival of some other device
  f.OnDeviceChange(c);
  EXPECT_EQ(workers.started, 0);
  EXPECT_TRUE(status.texts.empty());
}

TEST_F(FrameEvents, LinesGoToStatusAndLogTrimmed) {
  Monitor& f = MakeFrame();
  stack.Deliver(L2cap(true, true));
  stack.Deliver(InRange(platform::kFlagName | platform::kFlagConnected, 0));
  stack.Deliver(OutOfRange());
  dispatcher.RunPending();
  ASSERT_EQ(status.texts.size(), 3u);
  EXPECT_EQ(status.texts[0],
            "14:03:59 07/21/2009 - 00:1A:2B:3C:4D:5E: Connection with remote radio has just been "
            "established,local host iniated the l2cap connection,.");
  EXPECT_EQ(ReadLog(),
            "14:03:59 07/21/2009 - Wrenlocator Started\r\n"
            "14:03:59 07/21/2009 - 00:1A:2B:3C:4D:5E: Connection with remote radio has just been "
            "established,local host iniated the l2cap connection\r\n"
            "14:03:59 07/21/2009 - 00:1A:2B:3C:4D:5E Phone - Bluetooth device has changed: name "
            "changed, remote radio has just been retrieved,currently connected\r\n"
            "14:03:59 07/21/2009 - A Previously discovered device 00:1A:2B:3C:4D:5E has not been "
            "found\r\n");
  // Three events, one scan at a time: the first starts one, the others ask
  // for a single follow-up.
  EXPECT_EQ(workers.started, 1);
  EXPECT_TRUE(f.ScanAgain());
}

TEST_F(FrameEvents, EventLinesTakeTheClockAtTheEvent) {
  Monitor& f = MakeFrame();
  clock.Set(kExampleTime + 3661);
  f.OnDeviceChange(Custom(platform::kPinRequestGuid));
  EXPECT_EQ(status.texts.back(),
            "15:05:00 07/21/2009 - A Bluetooth device is requesting to connect to your computer.");
}

TEST_F(FrameEvents, AdapterRemovedThenInsertedAgain) {
  Monitor& f = MakeFrame();
  DeviceChange tree;
  tree.eventType = platform::kDeviceNodesChanged;

  // A device node that leaves radio presence as it was: nothing at all.
  f.OnDeviceChange(tree);
  EXPECT_TRUE(status.texts.empty());
  EXPECT_EQ(workers.started, 0);

  stack.SetRadios({});
  f.OnDeviceChange(tree);
  EXPECT_FALSE(f.RadioPresent());
  ASSERT_EQ(status.texts.size(), 1u);
  EXPECT_EQ(status.texts[0], "14:03:59 07/21/2009 - Bluetooth Adapter Removed.");
  EXPECT_EQ(workers.started, 0);  // no scan on removal
  EXPECT_EQ(sound.calls.size(), 0u);

  f.OnDeviceChange(tree);  // still none
  EXPECT_EQ(status.texts.size(), 1u);

  stack.SetRadios({{0x000102030405ULL, "Desk radio", 0}, {0x0A0B0C0D0E0FULL, "Dongle", 0}});
  f.OnDeviceChange(tree);
  EXPECT_TRUE(f.RadioPresent());
  ASSERT_EQ(status.texts.size(), 2u);
  EXPECT_EQ(status.texts[1], "14:03:59 07/21/2009 - New Bluetooth Adapter Inserted.");
  EXPECT_EQ(f.RegisteredRadios(), 2u);
  EXPECT_EQ(stack.RadioSinks(), 2u);  // the old registration was replaced
  EXPECT_EQ(workers.started, 1);
  EXPECT_EQ(ReadLog(),
            "14:03:59 07/21/2009 - Wrenlocator Started\r\n"
            "14:03:59 07/21/2009 - Bluetooth Adapter Removed\r\n"
            "14:03:59 07/21/2009 - New Bluetooth Adapter Inserted\r\n");
}

TEST_F(FrameEvents, SecondAdapterIsHeardWithoutALine) {
  Monitor& f = MakeFrame();
  ASSERT_EQ(stack.RadioSinks(), 1u);
  stack.SetRadios({{0x000102030405ULL, "Desk radio", 0}, {0x0A0B0C0D0E0FULL, "Dongle", 0}});
  DeviceChange tree;
  tree.eventType = platform::kDeviceNodesChanged;
  f.OnDeviceChange(tree);
  EXPECT_EQ(stack.RadioSinks(), 2u);
  EXPECT_EQ(f.RegisteredRadios(), 2u);
  EXPECT_TRUE(status.texts.empty());
  EXPECT_EQ(workers.started, 0);
  stack.SetRadios({{0x0A0B0C0D0E0FULL, "Dongle", 0}});
  f.OnDeviceChange(tree);
  EXPECT_EQ(stack.RadioSinks(), 1u);
  EXPECT_TRUE(status.texts.empty());
}

TEST_F(FrameEvents, AdapterRemovalIsLoggedEvenWhileScansRun) {
  // A worker's own presence test must not hide a removal from the log.
  Monitor& f = MakeFrame();
  f.RunMonitoring();
  stack.SetRadios({});
  RunWorkers();  // the worker sees no radio
  DeviceChange tree;
  tree.eventType = platform::kDeviceNodesChanged;
  f.OnDeviceChange(tree);
  ASSERT_FALSE(status.texts.empty());
  EXPECT_EQ(status.texts.back(), "14:03:59 07/21/2009 - Bluetooth Adapter Removed.");
}

TEST_F(FrameEvents, FirstEnabledAlarmKindSounds) {
  store.WriteInt("DevNotifySettings", "devDetSound", 1);
  store.WriteText("DevNotifySettings", "DevDetVoicePath", "/sounds/detected.wav");
  store.WriteInt("DevNotifySettings", "inSound", 1);
  store.WriteText("DevNotifySettings", "InVoicePath", "/sounds/in.wav");
  Monitor& f = MakeFrame();

  // Name and connected bits gained: detection wins.
  f.OnDeviceChange(InRange(platform::kFlagName | platform::kFlagConnected, 0));
  ASSERT_EQ(sound.calls.size(), 2u);
  EXPECT_EQ(sound.calls[0], "open /sounds/detected.wav");

  // With detection off the connection alarm sounds instead.
  store.WriteInt("DevNotifySettings", "devDetSound", 0);
  f.SearchDialog().LoadSettings();
  sound.calls.clear();
  f.OnDeviceChange(InRange(platform::kFlagName | platform::kFlagConnected, 0));
  ASSERT_FALSE(sound.calls.empty());
  EXPECT_NE(std::find(sound.calls.begin(), sound.calls.end(), "open /sounds/in.wav"),
            sound.calls.end());

  // A PIN request is a connection; adapter lines raise nothing.
  sound.calls.clear();
  f.OnDeviceChange(Custom(platform::kPinRequestGuid));
  EXPECT_NE(std::find(sound.calls.begin(), sound.calls.end(), "open /sounds/in.wav"),
            sound.calls.end());
  sound.calls.clear();
  stack.SetRadios({});
  DeviceChange tree;
  tree.eventType = platform::kDeviceNodesChanged;
  f.OnDeviceChange(tree);
  EXPECT_TRUE(sound.calls.empty());
}

TEST_F(FrameEvents, UnwritableLogIsReportedButEventsGoOn) {
  Monitor& f = MakeFrame();
  std::filesystem::remove(Dir() + "/alarmlog.txt");
  std::filesystem::create_directory(Dir() + "/alarmlog.txt");  // cannot be opened as a file
  f.OnDeviceChange(Custom(platform::kPinRequestGuid));
  ASSERT_EQ(status.logged.size(), 2u);
  EXPECT_FALSE(status.logged[1].written);
  EXPECT_EQ(status.texts.size(), 1u);
  EXPECT_EQ(workers.started, 1);
}

}  // namespace
}  // namespace wren::test
