#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <sstream>
#include <thread>

#include "FakeMqttClient.h"
#include "core/fleet/CollectCommand.h"
#include "core/fleet/DeviceJson.h"
#include "core/fleet/Topics.h"
#include "core/history/HistoryStore.h"
#include "base/System.h"
#include "support/TestFiles.h"

namespace wren::fleet {
namespace {

using platform::MqttState;

class CollectRun : public ::testing::Test {
protected:
  CollectRun() { platform::SetDataFolderOverride(folder.path()); }
  ~CollectRun() override { platform::SetDataFolderOverride(""); }

  std::future<int> Start() {
    config.enabled = true;
    config.url = "mqtt://broker:1883";
    return std::async(std::launch::async, [this] {
      return RunCollector(
          config, client, [this] { return stop.load(); }, out, err, CollectTuning{50, 10});
    });
  }
  void WaitStarted() {
    for (int i = 0; i < 500 && !client.m_started; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(client.m_started);
  }
  std::vector<DeviceRecord> Saved() {
    DeviceList list;
    HistoryStore store;
    store.LoadHistory(list);
    return {list.begin(), list.end()};
  }

  test::TempFolder folder{"collect"};
  test::FakeMqttClient client;
  FleetConfig config;
  std::atomic<bool> stop{false};
  std::ostringstream out, err;
};

TEST_F(CollectRun, RecordsAreMergedSubscribedOnEveryConnectionAndSavedAtTheEnd) {
  auto run = Start();
  WaitStarted();
  EXPECT_FALSE(client.m_options.cleanSession);
  EXPECT_FALSE(client.m_options.clientId.empty());
  client.SetState(MqttState::Connected);
  DeviceRecord r;
  r.m_radioName = "Desk";
  r.m_address = "00:1A:2B:3C:4D:5E";
  r.m_lastSeen = "10:00:00 07/21/2009";
  client.Deliver(DeviceTopic("alpha", r.m_address), DeviceJson(r));
  client.Deliver("wrenlocator/alpha/devices/nope", DeviceJson(r));
  client.Deliver(DeviceTopic("alpha", r.m_address), "{broken");
  client.Deliver(DeviceTopic("alpha", r.m_address),
                 "{\"address\":\"\\u001b[2J\\u001b[31m\\nFORGED LOG LINE\\u0007\"}");
  client.SetState(MqttState::Disconnected, "the connection to broker:1883 dropped");
  client.SetState(MqttState::Connected);
  r.m_address = "00:00:00:00:00:01";
  client.Deliver(DeviceTopic("beta", r.m_address), DeviceJson(r));
  stop = true;
  EXPECT_EQ(run.get(), 0);
  EXPECT_EQ(client.m_subscriptions,
            (std::vector<std::string>{"wrenlocator/+/devices/+", "wrenlocator/+/devices/+"}));
  EXPECT_TRUE(client.m_stopped);
  const auto saved = Saved();
  ASSERT_EQ(saved.size(), 2u);
  EXPECT_EQ(saved[0].m_radioName, "beta: Desk");
  EXPECT_EQ(saved[1].m_radioName, "alpha: Desk");
  const std::string log = err.str();
  EXPECT_NE(log.find("refused wrenlocator/alpha/devices/nope: \"nope\" is not a device address"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("not a device record"), std::string::npos) << log;
  EXPECT_NE(log.find("dropped; retrying"), std::string::npos) << log;
  // A hostile payload is quoted, never replayed to the terminal.
  EXPECT_EQ(log.find('\x1B'), std::string::npos) << log;
  EXPECT_EQ(log.find("\nFORGED"), std::string::npos) << log;
  EXPECT_NE(out.str().find("2 devices in history.xml; 2 records merged, 3 refused"),
            std::string::npos)
      << out.str();
}

TEST_F(CollectRun, TheFileIsSavedWhileRunningNotOnlyAtTheEnd) {
  auto run = Start();
  WaitStarted();
  client.SetState(MqttState::Connected);
  DeviceRecord r;
  r.m_address = "00:1A:2B:3C:4D:5E";
  r.m_lastSeen = "10:00:00 07/21/2009";
  client.Deliver(DeviceTopic("alpha", r.m_address), DeviceJson(r));
  bool seen = false;
  for (int i = 0; i < 300 && !seen; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    seen = test::ReadFile(folder / "history.xml").find("00:1A:2B:3C:4D:5E") != std::string::npos;
  }
  EXPECT_TRUE(seen);
  stop = true;
  EXPECT_EQ(run.get(), 0);
}

TEST_F(CollectRun, RefusedCredentialsEndTheRunWithAFailure) {
  auto run = Start();
  WaitStarted();
  client.SetState(MqttState::Refused,
                  "the broker at broker:1883 refused the connection: not authorised");
  EXPECT_EQ(run.get(), 1);
  EXPECT_NE(err.str().find("not authorised"), std::string::npos) << err.str();
}

}  // namespace
}  // namespace wren::fleet
