#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <thread>

#include "FakeMqttClient.h"
#include "core/fleet/DeviceJson.h"
#include "core/fleet/FleetPublisher.h"

namespace wren::fleet {
namespace {

using platform::MqttState;
using namespace std::chrono_literals;

DeviceRecord Device(const std::string& address, const std::string& name) {
  DeviceRecord r;
  r.m_address = address;
  r.m_name = name;
  return r;
}

class Publishing : public ::testing::Test {
protected:
  explicit Publishing(std::size_t capacity = 5) {
    PublisherOptions options;
    options.queueCapacity = capacity;
    options.log = [this](const std::string& line) {
      std::lock_guard lock(m_logLock);
      m_log.push_back(line);
    };
    publisher = std::make_unique<FleetPublisher>(client, "desk", options);
    std::string error;
    EXPECT_TRUE(publisher->Start(platform::MqttConnectOptions{}, error)) << error;
  }
  ~Publishing() override { publisher->Stop(0ms); }
  std::string Log() {
    std::lock_guard lock(m_logLock);
    std::string all;
    for (const auto& l : m_log) all += l + "\n";
    return all;
  }

  test::FakeMqttClient client;
  std::unique_ptr<FleetPublisher> publisher;
  std::mutex m_logLock;
  std::vector<std::string> m_log;
};

TEST_F(Publishing, WhatWaitedForTheBrokerGoesInOrderOnceItAnswers) {
  client.SetState(MqttState::Disconnected, "the broker at h:1 does not answer");
  publisher->PublishEvent("line 1");
  publisher->PublishRecord(Device("00:1A:2B:3C:4D:5E", "Phone"));
  publisher->PublishEvent("line 2");
  EXPECT_TRUE(client.SentMessages().empty());
  client.SetState(MqttState::Connected);
  ASSERT_TRUE(client.WaitSent(3));
  const auto sent = client.SentMessages();
  EXPECT_EQ(sent[0].topic, "wrenlocator/desk/events");
  EXPECT_EQ(sent[0].payload, "line 1");
  EXPECT_FALSE(sent[0].retain);
  EXPECT_EQ(sent[1].topic, "wrenlocator/desk/devices/00:1A:2B:3C:4D:5E");
  EXPECT_EQ(sent[1].payload, DeviceJson(Device("00:1A:2B:3C:4D:5E", "Phone")));
  EXPECT_TRUE(sent[1].retain);
  EXPECT_EQ(sent[2].payload, "line 2");
  client.AckAll();
  publisher->Stop(2000ms);
  const PublisherStats s = publisher->Stats();
  EXPECT_EQ(s.enqueued, 3u);
  EXPECT_EQ(s.delivered, 3u);
  EXPECT_EQ(s.dropped, 0u);
  EXPECT_NE(Log().find("does not answer"), std::string::npos) << Log();
  EXPECT_NE(Log().find("connected to the broker"), std::string::npos) << Log();
}

TEST_F(Publishing, AnOutageLongerThanTheQueueDropsTheOldestAndSaysHowMany) {
  client.SetState(MqttState::Connected);
  client.SetState(MqttState::Disconnected, "dropped");
  for (int i = 1; i <= 8; ++i) publisher->PublishEvent("line " + std::to_string(i));
  EXPECT_EQ(publisher->Stats().dropped, 3u);
  client.SetState(MqttState::Connected);
  ASSERT_TRUE(client.WaitSent(5));
  const auto sent = client.SentMessages();
  ASSERT_EQ(sent.size(), 5u);
  EXPECT_EQ(sent.front().payload, "line 4");
  EXPECT_EQ(sent.back().payload, "line 8");
  EXPECT_NE(Log().find("reconnected to the broker; 3 messages dropped while it was away"),
            std::string::npos)
      << Log();
  EXPECT_NE(publisher->Summary().find("3 dropped"), std::string::npos) << publisher->Summary();
}

TEST_F(Publishing, ARecordIsSentAgainOnlyWhenItChanged) {
  client.SetState(MqttState::Disconnected);
  const DeviceRecord phone = Device("00:1A:2B:3C:4D:5E", "Phone");
  publisher->PublishRecord(phone);
  publisher->PublishRecord(phone);
  publisher->PublishRecord(Device("00:1A:2B:3C:4D:5E", "Phone 2"));
  // Not an address: never published.
  publisher->PublishRecord(Device("", "Nameless"));
  publisher->PublishRecord(Device("00:1A:2B:3C:4D:5E/#", "Wild"));
  const PublisherStats queued = publisher->Stats();
  EXPECT_EQ(queued.unchanged, 1u);
  EXPECT_EQ(queued.superseded, 1u);
  EXPECT_EQ(queued.queued, 1u);
  client.SetState(MqttState::Connected);
  ASSERT_TRUE(client.WaitSent(1));
  publisher->Stop(100ms);
  const auto sent = client.SentMessages();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_NE(sent[0].payload.find("Phone 2"), std::string::npos);
}

TEST_F(Publishing, TheMonitorNeverWaitsForTheNetwork) {
  client.SetState(MqttState::Connected);
  client.HoldPublish(true);  // the network is stuck inside a publish
  publisher->PublishEvent("first");
  auto more = std::async(std::launch::async, [this] {
    for (int i = 0; i < 100; ++i) publisher->PublishEvent("line " + std::to_string(i));
    publisher->PublishRecord(Device("00:1A:2B:3C:4D:5E", "Phone"));
  });
  EXPECT_EQ(more.wait_for(5s), std::future_status::ready);
  client.HoldPublish(false);
  more.get();
  EXPECT_GT(publisher->Stats().dropped, 0u);
}

TEST_F(Publishing, RefusedCredentialsStopPublishing) {
  client.SetState(MqttState::Refused, "the broker refused the connection: not authorised");
  EXPECT_TRUE(publisher->GaveUp());
  publisher->PublishEvent("never");
  EXPECT_EQ(publisher->Stats().enqueued, 0u);
  EXPECT_NE(Log().find("not authorised; publishing stopped"), std::string::npos) << Log();
}

TEST(PublisherWindow, AtMostMaxInFlightWaitForTheBrokersAcknowledgement) {
  test::FakeMqttClient client;
  PublisherOptions options;
  options.maxInFlight = 2;
  FleetPublisher publisher(client, "desk", options);
  std::string error;
  ASSERT_TRUE(publisher.Start(platform::MqttConnectOptions{}, error));
  client.SetState(MqttState::Connected);
  for (int i = 0; i < 5; ++i) publisher.PublishEvent("line " + std::to_string(i));
  ASSERT_TRUE(client.WaitSent(2));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(client.SentMessages().size(), 2u);
  client.AckAll();
  ASSERT_TRUE(client.WaitSent(4));
  // A new connection: what was unacknowledged goes again from the client,
  // and the window starts afresh.
  client.SetState(MqttState::Disconnected);
  client.SetState(MqttState::Connected);
  ASSERT_TRUE(client.WaitSent(5));
  client.AckAll();
  publisher.Stop(1000ms);
  EXPECT_EQ(publisher.Stats().delivered, 5u);
  EXPECT_NE(publisher.Summary().find("0 undelivered at the end"), std::string::npos)
      << publisher.Summary();
}

TEST(PublisherStart, AClientThatCannotStartIsReported) {
  test::FakeMqttClient client;
  client.m_refuseStart = true;
  FleetPublisher publisher(client, "desk");
  std::string error;
  EXPECT_FALSE(publisher.Start(platform::MqttConnectOptions{}, error));
  EXPECT_EQ(error, "cannot start");
  publisher.PublishEvent("ignored");
  publisher.Stop(0ms);  // nothing to join
}

}  // namespace
}  // namespace wren::fleet
