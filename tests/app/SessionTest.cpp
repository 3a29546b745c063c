// The composition root: which stack each choice opens, and a session
// assembled from its options as the window and the headless monitor get it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "Fakes.h"
#include "MonitorFakes.h"
#include "core/monitor/Session.h"
#include "program/StackFactory.h"
#include "adapters/posix/MemorySettingsStore.h"
#include "base/System.h"
#include "adapters/sim/SimulatedStack.h"
#include "support/TestFiles.h"

namespace wren::test {
namespace {

const std::string kScenario = std::string(WREN_TEST_DATA) + "/cli-scenario.xml";

// A BlueZ stand-in: what it was asked, and whether it answers.
struct BluezCalls {
  struct Call {
    bool required;
    bool pairingAgent;
  };
  std::vector<Call> calls;
  bool answers = true;
  std::string note;  // handed back with a stack

  StackFactory Factory() {
    return StackFactory([this](bool required, bool agent, std::string& error) {
      calls.push_back({required, agent});
      platform::StackPorts stack;
      if (answers || required) {
        auto fake = std::make_unique<FakeStack>();
        fake->SetRadios({{0x000102030405ULL, "hci0", 0x000104}});
        platform::DeviceInfo phone;
        phone.address = 0x001A2B3C4D5EULL;
        phone.name = "Phone";
        phone.remembered = true;
        fake->SetDevices({phone});
        stack.stack = std::move(fake);
        error = note;
      } else {
        error = "BlueZ does not answer";
      }
      return stack;
    });
  }
};

TEST(StackFactoryTest, EachChoiceOpensItsStack) {
  struct Case {
    const char* what;
    std::string choice;
    bool haveBluez;
    bool bluezAnswers;
    bool stepped;
    bool expectStack;
    bool expectSimulation;
    StackFailure failure;
    std::vector<bool> bluezAskedRequired;  // one entry per call of the opener
  };
  const Case cases[] = {
      {"default, BlueZ answers", "", true, true, false, true, false, StackFailure::None, {false}},
      {"default, BlueZ silent: the demo",
       "",
       true,
       false,
       false,
       true,
       true,
       StackFailure::None,
       {false}},
      {"default without BlueZ: the demo",
       "",
       false,
       false,
       false,
       true,
       true,
       StackFailure::None,
       {}},
      {"default on stepped time: the demo",
       "",
       true,
       true,
       true,
       true,
       true,
       StackFailure::None,
       {}},
      {"bluez, even while silent",
       "bluez",
       true,
       false,
       false,
       true,
       false,
       StackFailure::None,
       {true}},
      {"bluez in a build without it",
       "bluez",
       false,
       false,
       false,
       false,
       false,
       StackFailure::Usage,
       {}},
      {"sim: the demo", "sim", true, true, false, true, true, StackFailure::None, {}},
      {"sim:FILE", "sim:" + kScenario, true, true, false, true, true, StackFailure::None, {}},
      {"sim:FILE missing",
       "sim:/nonexistent/scenario.xml",
       true,
       true,
       false,
       false,
       false,
       StackFailure::Failed,
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BluezCalls bluez;
    bluez.answers = c.bluezAnswers;
    const StackFactory factory = c.haveBluez ? bluez.Factory() : StackFactory();
    EXPECT_EQ(factory.HaveBluez(), c.haveBluez);
    StackRequest request;
    request.choice = c.choice;
    request.steppedTime = c.stepped;
    OpenedStack opened = factory.Open(request);
    EXPECT_EQ(opened.stack != nullptr, c.expectStack);
    EXPECT_EQ(opened.simulation != nullptr, c.expectSimulation);
    EXPECT_EQ(opened.failure, c.failure);
    if (opened.simulation) {
      EXPECT_EQ(dynamic_cast<platform::BluetoothStack*>(opened.simulation), opened.stack.get());
      // The simulation manages its devices itself, as a real stack would.
      EXPECT_EQ(opened.devices, dynamic_cast<platform::DeviceManager*>(opened.simulation));
      // A silent BlueZ is no news when the demo stands in for it.
      EXPECT_EQ(opened.message, "");
    }
    if (!opened.stack) {
      EXPECT_FALSE(opened.message.empty());
    }
    ASSERT_EQ(bluez.calls.size(), c.bluezAskedRequired.size());
    for (std::size_t i = 0; i < bluez.calls.size(); ++i)
      EXPECT_EQ(bluez.calls[i].required, c.bluezAskedRequired[i]);
  }
}

TEST(StackFactoryTest, TheScenarioFileNamesTheSimulationAndFailuresSayWhich) {
  StackRequest request;
  request.choice = "sim:" + kScenario;
  OpenedStack opened = StackFactory().Open(request);
  ASSERT_NE(opened.simulation, nullptr);
  EXPECT_NE(opened.stack->Description().find("cli-scenario.xml"), std::string::npos);

  request.choice = "sim:/nonexistent/lab.xml";
  opened = StackFactory().Open(request);
  EXPECT_NE(opened.message.find("/nonexistent/lab.xml"), std::string::npos) << opened.message;
}

TEST(StackFactoryTest, BlueZNotesReachTheCaller) {
  BluezCalls bluez;
  bluez.note = "BlueZ is not answering yet";
  StackRequest request;
  request.choice = "bluez";
  request.pairingAgent = true;
  OpenedStack opened = bluez.Factory().Open(request);
  ASSERT_NE(opened.stack, nullptr);
  EXPECT_EQ(opened.simulation, nullptr);
  EXPECT_EQ(opened.message, "BlueZ is not answering yet");
  ASSERT_EQ(bluez.calls.size(), 1u);
  EXPECT_TRUE(bluez.calls[0].pairingAgent);
}

class SessionTest : public ::testing::Test {
protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
  void TearDown() override { platform::SetDataFolderOverride(""); }

  HostPorts Ports() { return HostPorts{store, sound, messenger, timer, dispatcher, status}; }

  TempFolder folder{"session"};
  platform::MemorySettingsStore store;
  FakeSoundOutput sound;
  FakeMessenger messenger;
  FakeTimer timer;
  QueueDispatcher dispatcher;
  RecordingStatus status;
  BluezCalls bluez;
};

TEST_F(SessionTest, ASimulationSaysSoBeforeTheStartUpLine) {
  WriteFile(folder / "timed.xml",
            "<scenario name=\"timed\" start=\"2009-07-21 14:03:59\">"
            "<radio id=\"a\" address=\"00:02:5B:10:20:30\" name=\"Desk\"/></scenario>");
  SessionFailure failure;
  const StackFactory stacks = bluez.Factory();
  auto session = SessionBuilder(stacks, Ports())
                     .Stack("sim:" + (folder / "timed.xml"))
                     .DataFolder(folder.path())
                     .SteppedClock(true)
                     .Build(failure);
  ASSERT_NE(session, nullptr) << failure.message;
  ASSERT_NE(session->Simulation(), nullptr);
  // The window's device dialogs reach the simulation through the port.
  EXPECT_EQ(session->Devices(), dynamic_cast<platform::DeviceManager*>(session->Simulation()));
  ASSERT_FALSE(status.texts.empty());
  EXPECT_EQ(status.texts.front(),
            session->Stack().Description() + " - a simulation, none of its devices is real");
  ASSERT_FALSE(status.logged.empty());
  EXPECT_TRUE(bluez.calls.empty());
  // The frame's lines carry the simulation's time, not the wall clock's.
  EXPECT_EQ(status.logged.front().line, "14:03:59 07/21/2009 - Wrenlocator Started...");
}

TEST_F(SessionTest, HistoryIsLoadedAtStartUpAndItsCheckLogged) {
  // An unreadable file: the check's line follows the start-up line, and the
  // history starts empty.
  WriteFile(folder / "history.xml", "<broken");
  SessionFailure failure;
  const StackFactory stacks;
  auto session = SessionBuilder(stacks, Ports())
                     .Stack("sim:" + kScenario)
                     .DataFolder(folder.path())
                     .Build(failure);
  ASSERT_NE(session, nullptr) << failure.message;
  EXPECT_TRUE(session->HistoryCheck().unreadable);
  ASSERT_EQ(status.logged.size(), 2u);
  EXPECT_NE(status.logged[1].line.find("history.xml could not be read"), std::string::npos)
      << status.logged[1].line;
  EXPECT_EQ(ReadFile(folder / "history.xml.bad"), "<broken");
  EXPECT_EQ(session->History().Size(), 0u);
  session.reset();

  // A readable file: its entries are in the history at once.
  std::string saveError;
  {
    DeviceHistory seed;
    DeviceRecord known;
    known.m_address = "00:0A:0B:0C:0D:0E";
    known.m_name = "Known";
    seed.Merge(known);
    ASSERT_TRUE(seed.Save(&saveError)) << saveError;
  }
  status = RecordingStatus();
  session = SessionBuilder(stacks, Ports()).Stack("sim:" + kScenario).Build(failure);
  ASSERT_NE(session, nullptr) << failure.message;
  EXPECT_TRUE(session->HistoryCheck().fileRead);
  ASSERT_EQ(session->History().Size(), 1u);
  EXPECT_EQ(session->History().List().front().m_name, "Known");
  EXPECT_EQ(status.logged.size(), 1u);
}

TEST_F(SessionTest, ScansReachTheListAndTheHistoryAndAreSaved) {
  store.WriteInt("BlueZ", "PairingAgent", 1);
  SessionFailure failure;
  const StackFactory stacks = bluez.Factory();
  auto session = SessionBuilder(stacks, Ports()).DataFolder(folder.path()).Build(failure);
  ASSERT_NE(session, nullptr) << failure.message;
  EXPECT_EQ(session->Simulation(), nullptr);
  ASSERT_EQ(bluez.calls.size(), 1u);
  EXPECT_TRUE(bluez.calls[0].pairingAgent);
  EXPECT_FALSE(session->SteppedClock());

  session->Monitoring().OnCreate();
  session->Monitoring().RunMonitoring();
  // The wall-clock session runs on the host's timer.
  ASSERT_EQ(timer.created.size(), 1u);
  session->Workers().WaitIdle();
  dispatcher.RunPending();

  const DeviceListModel& list = session->List();
  ASSERT_EQ(list.RowCount(), 2);  // the radio, then the phone
  EXPECT_EQ(list.AddressText(1), "00:1A:2B:3C:4D:5E");
  EXPECT_EQ(&session->Reconciler().Model(), &session->List());
  ASSERT_EQ(session->History().Size(), 2u);
  EXPECT_EQ(session->History().List().front().m_name, "Phone");

  session->Shutdown();
  std::string error;
  ASSERT_TRUE(session->SaveHistory(&error)) << error;
  EXPECT_NE(ReadFile(folder / "history.xml").find("Name=\"Phone\""), std::string::npos);
}

TEST_F(SessionTest, NewDeviceAlarmComesThroughTheSessionsMerge) {
  store.WriteInt("DevNotifySettings", "newDevice", 1);
  SessionFailure failure;
  const StackFactory stacks = bluez.Factory();
  auto session = SessionBuilder(stacks, Ports()).DataFolder(folder.path()).Build(failure);
  ASSERT_NE(session, nullptr) << failure.message;
  session->Monitoring().OnCreate();
  session->Monitoring().RunMonitoring();
  session->Workers().WaitIdle();
  dispatcher.RunPending();
  session->Monitoring().StartScanWorker();
  session->Workers().WaitIdle();
  dispatcher.RunPending();
  ASSERT_EQ(session->Monitoring().ScansMerged(), 2u);

  int lines = 0;
  for (const auto& logged : status.logged)
    if (logged.line.find(" - 00:1A:2B:3C:4D:5E Phone - New Bluetooth device, never seen before") !=
        std::string::npos)
      ++lines;
  EXPECT_EQ(lines, 1);
  ASSERT_EQ(session->List().RowCount(), 2);
  EXPECT_FALSE(session->List().IsRowNew(0)) << "the local radio";
  EXPECT_TRUE(session->List().IsRowNew(1));
}

TEST_F(SessionTest, SteppedTimeRunsOnItsOwnTimer) {
  SessionFailure failure;
  const StackFactory stacks = bluez.Factory();
  auto session =
      SessionBuilder(stacks, Ports()).DataFolder(folder.path()).SteppedClock(true).Build(failure);
  ASSERT_NE(session, nullptr) << failure.message;
  // The default stack on stepped time is the demo, never BlueZ.
  EXPECT_TRUE(bluez.calls.empty());
  ASSERT_NE(session->Simulation(), nullptr);
  ASSERT_TRUE(session->SteppedClock());
  session->Monitoring().OnCreate();
  session->Monitoring().RunMonitoring();
  EXPECT_TRUE(timer.created.empty());
  ASSERT_TRUE(session->SteppedTimer()->NextDue().has_value());
  session->Shutdown();
}

TEST_F(SessionTest, AStackThatCannotOpenGivesNoSession) {
  SessionFailure failure;
  auto session = SessionBuilder(StackFactory(), Ports())
                     .Stack("sim:/nonexistent/lab.xml")
                     .DataFolder(folder.path())
                     .Build(failure);
  EXPECT_EQ(session, nullptr);
  EXPECT_EQ(failure.kind, StackFailure::Failed);
  EXPECT_NE(failure.message.find("/nonexistent/lab.xml"), std::string::npos);
  // Nothing was started: no log line, no history file.
  EXPECT_TRUE(status.logged.empty());
  EXPECT_FALSE(std::filesystem::exists(folder / "history.xml"));

  const StackFactory none;
  session = SessionBuilder(none, Ports()).Stack("bluez").Build(failure);
  EXPECT_EQ(session, nullptr);
  EXPECT_EQ(failure.kind, StackFailure::Usage);
}

}  // namespace
}  // namespace wren::test
