#pragma once
// An MqttClient that keeps what it is given and lets a test play the
// broker: connect and drop, acknowledge, deliver messages.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "ports/MqttClient.h"

namespace wren::test {

class FakeMqttClient : public platform::MqttClient {
public:
  struct Sent {
    std::string topic, payload;
    bool retain;
  };

  bool Start(const platform::MqttConnectOptions& options, platform::MqttHandlers handlers,
             std::string& error) override {
    std::lock_guard lock(m_mutex);
    if (m_refuseStart) {
      error = "cannot start";
      return false;
    }
    m_options = options;
    m_handlers = std::move(handlers);
    m_started = true;
    return true;
  }
  int Publish(const std::string& topic, const std::string& payload, int, bool retain) override {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_holdPublish; });
    if (!m_connected) return -1;
    m_sent.push_back({topic, payload, retain});
    m_changed.notify_all();
    return static_cast<int>(m_sent.size());
  }
  bool Subscribe(const std::string& pattern, int) override {
    std::lock_guard lock(m_mutex);
    m_subscriptions.push_back(pattern);
    return true;
  }
  void Stop() override {
    std::lock_guard lock(m_mutex);
    m_stopped = true;
  }

  // The broker's side.
  void SetState(platform::MqttState state, const std::string& reason = "test") {
    {
      std::lock_guard lock(m_mutex);
      m_connected = state == platform::MqttState::Connected;
    }
    if (m_handlers.onState) m_handlers.onState(state, reason);
  }
  void AckAll() {
    std::size_t n;
    {
      std::lock_guard lock(m_mutex);
      n = m_sent.size() - m_acked;
      m_acked = m_sent.size();
    }
    for (std::size_t i = 0; i < n; ++i) m_handlers.onDelivered(static_cast<int>(i + 1));
  }
  void Deliver(const std::string& topic, const std::string& payload) {
    m_handlers.onMessage(topic, payload);
  }
  void HoldPublish(bool hold) {
    std::lock_guard lock(m_mutex);
    m_holdPublish = hold;
    m_changed.notify_all();
  }
  // Waits (up to 10 s) until `count` messages were sent.
  bool WaitSent(std::size_t count) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::seconds(10),
                              [&] { return m_sent.size() >= count; });
  }
  std::vector<Sent> SentMessages() {
    std::lock_guard lock(m_mutex);
    return m_sent;
  }

  bool m_refuseStart = false;
  platform::MqttConnectOptions m_options;
  std::vector<std::string> m_subscriptions;
  std::atomic<bool> m_started{false};  // set last in Start: what Start stored is then visible
  bool m_stopped = false;

private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  platform::MqttHandlers m_handlers;
  bool m_connected = false;
  bool m_holdPublish = false;
  std::vector<Sent> m_sent;
  std::size_t m_acked = 0;
};

}  // namespace wren::test
