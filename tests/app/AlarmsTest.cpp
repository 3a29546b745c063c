#include "core/monitor/Alarms.h"

#include "Fakes.h"
#include "adapters/posix/MemorySettingsStore.h"
#include "base/System.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

namespace wren {
namespace {

using platform::SendStatus;
using Calls = std::vector<std::string>;

const char kStartLine[] = "14:03:59 07/21/2009 - Wrenlocator Started...";

using test::ReadFile;

TEST(AlarmLogText, TrailingFullStopsThenCommasGoAndCrLfEnds) {
  const std::pair<const char*, const char*> cases[] = {
      {kStartLine, "14:03:59 07/21/2009 - Wrenlocator Started\r\n"},
      {"a - remote radio has just been retrieved,currently connected,.",
       "a - remote radio has just been retrieved,currently connected\r\n"},
      {"local host iniated the l2cap connection,.", "local host iniated the l2cap connection\r\n"},
      {"x,,..", "x\r\n"},
      {"x.,", "x.\r\n"},  // a full stop before the comma stays
      {"Bluetooth device has changed: .", "Bluetooth device has changed: \r\n"},
      {"no change", "no change\r\n"},
      {"", "\r\n"},
      {"...", "\r\n"},
  };
  for (auto [line, stored] : cases) EXPECT_EQ(AlarmLogText(line), stored) << line;
}

TEST(AlarmLogText, LineBreaksInsideALineCannotForgeAnotherLine) {
  EXPECT_EQ(AlarmLogText("12:00:00 - 00:11:22:33:44:55 Evil\r\n12:00:01 - Wrenlocator Started."),
            "12:00:00 - 00:11:22:33:44:55 Evil  12:00:01 - Wrenlocator Started\r\n");
}

TEST(AlarmLogText, ControlsInADeviceNameCannotDriveTheTerminalThatShowsTheLog) {
  EXPECT_EQ(
      AlarmLogText("12:00:00 - 00:11:22:33:44:55 \x1B[2J\x1B[31mFORGED\x07\tJ\xC3\xBCrgen\xC2\x9B"
                   "1m."),
      "12:00:00 - 00:11:22:33:44:55  [2J [31mFORGED  J\xC3\xBCrgen  1m\r\n");
}

TEST(MessengerBlock, FiveCharacterHostNineCharacterRecipientAndAbcMakeTwentyBytes) {
  std::string block = MessengerBlock("HOST5", "RECIPIENT", "abc");
  EXPECT_EQ(block.size(), 20u);
  EXPECT_EQ(block, std::string("HOST5\0RECIPIENT\0abc\0", 20));
}

class AlarmsTest : public ::testing::Test {
protected:
  void SetUp() override {
    logPath = folder + "/alarmlog.txt";
    alarms.SetLogPath(logPath);
    alarms.SetHostNameSource([this] { return hostName; });
    player.SetWindowOpen(true);
  }

  static AlarmEvent Event(std::string text, bool det, bool out, bool con, bool dis) {
    AlarmEvent e;
    e.text = std::move(text);
    e.detected = det;
    e.outOfRange = out;
    e.connected = con;
    e.disconnected = dis;
    return e;
  }

  void EnableAll() {
    notify.m_devDetSound = notify.m_devUndetSound = notify.m_inSound = notify.m_outSound = 1;
    notify.m_devDetVoicePath = "/s/det.wav";
    notify.m_devUndetVoicePath = "/s/undet.au";
    notify.m_inVoicePath = "/s/in.mp3";
    notify.m_outVoicePath = "/s/out.wav";
    notify.m_netSend = "BOSS";
  }

  test::TempFolder scratch{"alarms"};
  std::string folder = scratch.path();
  std::string logPath;
  std::string hostName = "DESK1";
  NotifySettings notify;
  test::FakeSoundOutput sound;
  SoundPlayer player{sound};
  test::FakeMessenger messenger;
  Alarms alarms{notify, player, messenger};
};

TEST_F(AlarmsTest, StartUpLineEmptiesTheLogAndEventLinesAppend) {
  {
    std::ofstream old(logPath, std::ios::binary);
    old << "lines of the previous run\r\n";
  }
  LogResult r = alarms.LogEvent(kStartLine, AlarmEvent(), Disposition::CreateAlways);
  EXPECT_TRUE(r.written) << r.error;
  EXPECT_EQ(ReadFile(logPath), "14:03:59 07/21/2009 - Wrenlocator Started\r\n");

  alarms.LogEvent("14:04:00 07/21/2009 - Bluetooth Adapter Removed.", AlarmEvent(),
                  Disposition::OpenAlways);
  EXPECT_EQ(ReadFile(logPath),
            "14:03:59 07/21/2009 - Wrenlocator Started\r\n"
            "14:04:00 07/21/2009 - Bluetooth Adapter Removed\r\n");
}

TEST_F(AlarmsTest, EventLineCreatesAMissingLog) {
  LogResult r = alarms.LogEvent("a.", AlarmEvent(), Disposition::OpenAlways);
  EXPECT_TRUE(r.written);
  EXPECT_EQ(ReadFile(logPath), "a\r\n");
}

TEST_F(AlarmsTest, AlarmsAreRaisedBeforeTheLineIsWritten) {
  EnableAll();
  alarms.LogEvent(kStartLine, AlarmEvent(), Disposition::CreateAlways);
  std::string logAtSound;
  sound.onOpen = [&](const std::string&) { logAtSound = ReadFile(logPath); };
  alarms.LogEvent("14:05:00 07/21/2009 - A Previously discovered device X has not been found.",
                  Event("t", false, true, false, false), Disposition::OpenAlways);
  EXPECT_EQ(logAtSound, "14:03:59 07/21/2009 - Wrenlocator Started\r\n");
  EXPECT_NE(ReadFile(logPath), logAtSound);
}

TEST_F(AlarmsTest, UnwritableLogIsReportedAndTheAlarmStillRaised) {
  EnableAll();
  alarms.SetLogPath(folder);  // a folder cannot be opened as the log
  LogResult r =
      alarms.LogEvent("x", Event("x", true, false, false, false), Disposition::OpenAlways);
  EXPECT_FALSE(r.written);
  EXPECT_FALSE(r.error.empty());
  EXPECT_EQ(r.alarm.kind, AlarmKind::Detection);
  EXPECT_EQ(sound.calls.front(), "open /s/det.wav");
  EXPECT_EQ(messenger.sent.size(), 1u);

  alarms.SetLogPath(folder + "/missing/alarmlog.txt");
  EXPECT_FALSE(alarms.LogEvent("x", AlarmEvent(), Disposition::CreateAlways).written);
}

// A link or FIFO in the log's place is neither followed nor waited on; the
// start-up line does not empty what a link points to.
TEST_F(AlarmsTest, ALogThatIsNotARegularFileIsLeftAlone) {
  const std::string target = folder + "/precious.txt";
  test::WriteFile(target, "keep me\n");
  ASSERT_EQ(symlink(target.c_str(), logPath.c_str()), 0);
  for (Disposition d : {Disposition::CreateAlways, Disposition::OpenAlways}) {
    LogResult r = alarms.LogEvent(kStartLine, AlarmEvent(), d);
    EXPECT_FALSE(r.written);
    EXPECT_EQ(r.error, "it is a symbolic link, not a regular file");
  }
  EXPECT_EQ(ReadFile(target), "keep me\n");
  ASSERT_EQ(unlink(logPath.c_str()), 0);
  ASSERT_EQ(mkfifo(logPath.c_str(), 0644), 0);
  LogResult r = alarms.LogEvent(kStartLine, AlarmEvent(), Disposition::CreateAlways);
  EXPECT_FALSE(r.written);
  EXPECT_EQ(r.error, "it is a FIFO, not a regular file");
}

TEST(AlarmLogHealth, SaysOnceWhenFailingAndOnceWhenWrittenAgain) {
  AlarmLogHealth health;
  LogResult ok;
  ok.written = true;
  LogResult bad;
  bad.error = "No space left on device";
  struct Step {
    const LogResult& result;
    std::optional<std::string> notice;
  };
  const Step steps[] = {
      {ok, std::nullopt},
      {bad, "alarm log not written: No space left on device"},
      {bad, std::nullopt},
      {bad, std::nullopt},
      {ok, "alarm log written again"},
      {ok, std::nullopt},
      {bad, "alarm log not written: No space left on device"},
  };
  for (const Step& step : steps) EXPECT_EQ(health.Notice(step.result), step.notice);
  EXPECT_TRUE(health.Failing());
}

TEST_F(AlarmsTest, FirstEnabledKindWinsInDetectionOutOfRangeConnectionDisconnectionOrder) {
  struct Case {
    const char* name;
    bool det, out, con, dis;         // event flags
    int enDet, enOut, enCon, enDis;  // settings
    AlarmKind kind;
    const char* sound;
  };
  const Case cases[] = {
      {"detection", 1, 0, 0, 0, 1, 1, 1, 1, AlarmKind::Detection, "/s/det.wav"},
      {"out of range", 0, 1, 0, 0, 1, 1, 1, 1, AlarmKind::OutOfRange, "/s/undet.au"},
      {"connection", 0, 0, 1, 0, 1, 1, 1, 1, AlarmKind::Connection, "/s/in.mp3"},
      {"disconnection", 0, 0, 0, 1, 1, 1, 1, 1, AlarmKind::Disconnection, "/s/out.wav"},
      {"detection and connection", 1, 0, 1, 0, 1, 1, 1, 1, AlarmKind::Detection, "/s/det.wav"},
      {"detection off: connection", 1, 0, 1, 0, 0, 1, 1, 1, AlarmKind::Connection, "/s/in.mp3"},
      {"all flags, only disconnection on", 1, 1, 1, 1, 0, 0, 0, 1, AlarmKind::Disconnection,
       "/s/out.wav"},
      {"indeterminate check counts as on", 0, 1, 0, 0, 0, 2, 0, 0, AlarmKind::OutOfRange,
       "/s/undet.au"},
      {"only flag disabled", 0, 0, 1, 0, 1, 1, 0, 1, AlarmKind::None, nullptr},
      {"no flag", 0, 0, 0, 0, 1, 1, 1, 1, AlarmKind::None, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EnableAll();
    notify.m_devDetSound = c.enDet;
    notify.m_devUndetSound = c.enOut;
    notify.m_inSound = c.enCon;
    notify.m_outSound = c.enDis;
    sound.calls.clear();
    messenger.sent.clear();
    LogResult r = alarms.LogEvent("line.", Event("line.", c.det, c.out, c.con, c.dis),
                                  Disposition::CreateAlways);
    EXPECT_EQ(r.alarm.kind, c.kind);
    EXPECT_TRUE(r.written);
    EXPECT_EQ(ReadFile(logPath), "line\r\n");
    if (c.sound) {
      // One sound: the previous case's playback is cut off, this one opened.
      Calls opened;
      std::copy_if(sound.calls.begin(), sound.calls.end(), std::back_inserter(opened),
                   [](const std::string& s) { return s.rfind("open", 0) == 0; });
      EXPECT_EQ(opened, Calls{std::string("open ") + c.sound});
      ASSERT_EQ(messenger.sent.size(), 1u);
      EXPECT_EQ(messenger.sent[0].block, MessengerBlock("DESK1", "BOSS", "line."));
      EXPECT_EQ(r.alarm.message, SendStatus::Sent);
    } else {
      EXPECT_TRUE(sound.calls.empty());
      EXPECT_TRUE(messenger.sent.empty());
      EXPECT_FALSE(r.alarm.message.has_value());
    }
  }
}

TEST_F(AlarmsTest, SettingsAreReadAtTheMomentOfTheEvent) {
  AlarmEvent e = Event("e", false, false, true, false);
  EXPECT_EQ(alarms.RaiseAlarms(e).kind, AlarmKind::None);
  notify.m_inSound = 1;
  notify.m_inVoicePath = "/now.wav";
  EXPECT_EQ(alarms.RaiseAlarms(e).sound, "/now.wav");
}

TEST_F(AlarmsTest, FollowsTheDialogsMembersAfterRun) {
  platform::MemorySettingsStore store;
  SearchParamsModel model(store);
  Alarms live(model.Notify(), player, messenger);
  live.SetHostNameSource([] { return std::string("H"); });
  live.SetLogPath(logPath);
  SearchDialogFields f = model.Open();
  f.devUndetSound = 1;
  f.devUndetVoicePath = "/gone.wav";
  f.netSend = "ADMIN";
  ASSERT_EQ(model.Run(f).result, kDialogRun);
  AlarmOutcome o = live.RaiseAlarms(Event("t", false, true, false, false));
  EXPECT_EQ(o.kind, AlarmKind::OutOfRange);
  EXPECT_EQ(o.sound, "/gone.wav");
  ASSERT_EQ(messenger.sent.size(), 1u);
  EXPECT_EQ(messenger.sent[0].recipient, "ADMIN");
}

TEST_F(AlarmsTest, TwoAlarmsInQuickSuccessionTheSecondCutsOffTheFirst) {
  EnableAll();
  alarms.RaiseAlarms(Event("a", true, false, false, false));
  alarms.RaiseAlarms(Event("b", false, false, false, true));
  EXPECT_EQ(sound.calls,
            (Calls{"open /s/det.wav", "play 1", "close 1", "open /s/out.wav", "play 2"}));
}

TEST_F(AlarmsTest, SoundIsPlayedEvenWhenTheFileIsMissingAndTheMessageStillGoes) {
  EnableAll();
  sound.failOpen = true;
  AlarmOutcome o = alarms.RaiseAlarms(Event("a", true, false, false, false));
  EXPECT_EQ(o.kind, AlarmKind::Detection);
  EXPECT_EQ(messenger.sent.size(), 1u);
}

TEST_F(AlarmsTest, RecipientIsTrimmedAndBlanksOnlySendNothing) {
  notify.m_netSend = " \t BOSS \r\n";
  EXPECT_EQ(alarms.SendNetMessage("hello"), SendStatus::Sent);
  ASSERT_EQ(messenger.sent.size(), 1u);
  EXPECT_EQ(messenger.sent[0].sender, "DESK1");
  EXPECT_EQ(messenger.sent[0].recipient, "BOSS");
  EXPECT_EQ(messenger.sent[0].block, std::string("DESK1\0BOSS\0hello\0", 17));

  messenger.sent.clear();
  for (const char* blank : {"", "   ", "\t\r\n"}) {
    notify.m_netSend = blank;
    EXPECT_EQ(alarms.SendNetMessage("hello"), SendStatus::NoRecipient);
  }
  EXPECT_TRUE(messenger.sent.empty());
}

TEST_F(AlarmsTest, SenderIsTheHostNameOrWrenlocatorWhenThereIsNone) {
  notify.m_netSend = "RECIPIENT";
  hostName = "HOST5";
  alarms.SendNetMessage("abc");
  hostName = "";
  alarms.SendNetMessage("abc");
  ASSERT_EQ(messenger.sent.size(), 2u);
  EXPECT_EQ(messenger.sent[0].block.size(), 20u);
  EXPECT_EQ(messenger.sent[0].block, std::string("HOST5\0RECIPIENT\0abc\0", 20));
  EXPECT_EQ(messenger.sent[1].sender, "Wrenlocator");
  EXPECT_EQ(messenger.sent[1].block, std::string("Wrenlocator\0RECIPIENT\0abc\0", 26));
}

TEST_F(AlarmsTest, RecipientsThatAreNotMessengerNamesSendNothing) {
  const char* refused[] = {
      "..\\pipe\\x",  // path separators would leave the mailslot
      "host/share",       "a\\mailslot\\other",
      "two\tparts",  // control characters
      "bell\a",
      "SIXTEENCHARSLONG",  // longer than a NetBIOS name
  };
  for (const char* r : refused) {
    notify.m_netSend = r;
    EXPECT_EQ(alarms.SendNetMessage("x"), SendStatus::InvalidRecipient) << r;
  }
  EXPECT_TRUE(messenger.sent.empty());
  notify.m_netSend = "FIFTEENCHARSLON";
  EXPECT_EQ(alarms.SendNetMessage("x"), SendStatus::Sent);
}

TEST_F(AlarmsTest, TransportFailureIsReportedNotShown) {
  EnableAll();
  messenger.answer = SendStatus::NotResolved;
  LogResult r =
      alarms.LogEvent("x", Event("x", true, false, false, false), Disposition::CreateAlways);
  EXPECT_EQ(r.alarm.message, SendStatus::NotResolved);
  EXPECT_TRUE(r.written);
}

TEST_F(AlarmsTest, SessionAlarmLogOpensTheLogHoldingOnlyTheStartUpLine) {
  alarms.LogEvent(kStartLine, AlarmEvent(), Disposition::CreateAlways);
  test::FakeShell shell;
  EXPECT_TRUE(alarms.OnSessionAlarmLog(shell));
  ASSERT_EQ(shell.opened, Calls{logPath});
  EXPECT_EQ(ReadFile(shell.opened[0]), "14:03:59 07/21/2009 - Wrenlocator Started\r\n");
}

TEST_F(AlarmsTest, LogLivesInTheDataFolderByDefault) {
  Alarms plain(notify, player, messenger);
  platform::SetDataFolderOverride(folder + "/data");
  EXPECT_EQ(plain.LogPath(), folder + "/data/alarmlog.txt");
  EXPECT_TRUE(plain.LogEvent(kStartLine, AlarmEvent(), Disposition::CreateAlways).written);
  EXPECT_EQ(ReadFile(folder + "/data/alarmlog.txt"),
            "14:03:59 07/21/2009 - Wrenlocator Started\r\n");
  platform::SetDataFolderOverride("");
}

}  // namespace
}  // namespace wren
