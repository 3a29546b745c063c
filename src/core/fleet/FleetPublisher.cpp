#include "core/fleet/FleetPublisher.h"

#include <utility>

#include "core/fleet/DeviceJson.h"
#include "core/fleet/Topics.h"

namespace wren::fleet {
namespace {

constexpr int kQos = 1;

std::int64_t NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

FleetPublisher::FleetPublisher(platform::MqttClient& client, std::string host,
                               PublisherOptions options)
    : m_client(client),
      m_host(std::move(host)),
      m_eventsTopic(EventsTopic(m_host)),
      m_options(std::move(options)),
      m_queue(m_options.queueCapacity) {}

FleetPublisher::~FleetPublisher() { Stop(std::chrono::milliseconds(0)); }

void FleetPublisher::Log(const std::string& line) const {
  if (m_options.log) m_options.log(line);
}

bool FleetPublisher::Start(const platform::MqttConnectOptions& options, std::string& error) {
  platform::MqttHandlers handlers;
  handlers.onState = [this](platform::MqttState state, const std::string& reason) {
    OnState(state, reason);
  };
  handlers.onDelivered = [this](int) { OnDelivered(); };
  if (!m_client.Start(options, std::move(handlers), error)) return false;
  {
    std::lock_guard lock(m_mutex);
    m_started = true;
  }
  m_sender = std::thread([this] { SenderLoop(); });
  return true;
}

void FleetPublisher::Enqueue(std::string topic, std::string payload, bool retain) {
  std::lock_guard lock(m_mutex);
  if (m_stopping || m_gaveUp) return;
  ++m_stats.enqueued;
  m_queue.Push(OutboundMessage{std::move(topic), std::move(payload), retain, NowUs()});
  m_wake.notify_one();
}

void FleetPublisher::PublishEvent(const std::string& line) {
  Enqueue(m_eventsTopic, line, false);
}

void FleetPublisher::PublishRecord(const DeviceRecord& record) {
  if (!IsDeviceAddress(record.m_address)) return;
  std::string topic = DeviceTopic(m_host, record.m_address);
  std::string payload = DeviceJson(record);
  {
    std::lock_guard lock(m_mutex);
    std::string& last = m_lastPayload[topic];
    if (last == payload) {
      ++m_stats.unchanged;
      return;
    }
    last = payload;
  }
  Enqueue(std::move(topic), std::move(payload), true);
}

void FleetPublisher::OnState(platform::MqttState state, const std::string& reason) {
  std::lock_guard lock(m_mutex);
  switch (state) {
    case platform::MqttState::Connected: {
      const std::uint64_t lost = m_queue.Dropped() - m_droppedAtOutage;
      Log(std::string(m_everConnected ? "reconnected to the broker" : "connected to the broker") +
          (lost ? "; " + std::to_string(lost) + " messages dropped while it was away" : ""));
      m_connected = true;
      m_away = false;
      m_everConnected = true;
      // The client sends again what the broker had not acknowledged; the
      // window of unacknowledged messages starts afresh.
      m_inFlight = 0;
      break;
    }
    case platform::MqttState::Disconnected:
      // The client says so once per outage.
      Log((m_everConnected ? "lost the broker: " : "no broker yet: ") + reason +
          "; retrying, up to " + std::to_string(m_queue.Capacity()) + " messages kept");
      if (m_connected) m_droppedAtOutage = m_queue.Dropped();
      m_connected = false;
      m_away = true;
      break;
    case platform::MqttState::Refused:
    case platform::MqttState::Failed:
      Log(reason + "; publishing stopped");
      m_connected = false;
      m_gaveUp = true;
      break;
  }
  m_wake.notify_all();
}

void FleetPublisher::OnDelivered() {
  std::lock_guard lock(m_mutex);
  ++m_stats.delivered;
  if (m_inFlight > 0) --m_inFlight;
  m_wake.notify_all();
}

void FleetPublisher::SenderLoop() {
  std::unique_lock lock(m_mutex);
  for (;;) {
    m_wake.wait(lock, [this] {
      return m_stopping || m_gaveUp ||
             (m_connected && !m_queue.Empty() && m_inFlight < m_options.maxInFlight);
    });
    if (m_stopping || m_gaveUp) return;
    OutboundMessage message = *m_queue.Pop();
    lock.unlock();
    const int id = m_client.Publish(message.topic, message.payload, kQos, message.retain);
    lock.lock();
    if (id > 0) {
      ++m_stats.published;
      ++m_inFlight;
      continue;
    }
    // Not taken: the broker went away under us. It waits for the next
    // connection at the front of the queue.
    m_queue.PushFront(std::move(message));
    m_wake.wait_for(lock, std::chrono::milliseconds(100));
  }
}

void FleetPublisher::Stop(std::chrono::milliseconds drain) {
  {
    std::unique_lock lock(m_mutex);
    if (!m_started) return;
    // A first connection still on its way counts as coming: a short run
    // must not end before its broker had a chance to answer.
    m_wake.wait_for(lock, drain, [this] {
      return m_away || m_gaveUp || (m_queue.Empty() && m_stats.delivered >= m_stats.published);
    });
    m_stopping = true;
    m_started = false;
  }
  m_wake.notify_all();
  if (m_sender.joinable()) m_sender.join();
  m_client.Stop();
}

PublisherStats FleetPublisher::Stats() const {
  std::lock_guard lock(m_mutex);
  PublisherStats s = m_stats;
  s.dropped = m_queue.Dropped();
  s.superseded = m_queue.Superseded();
  s.queued = m_queue.Size();
  return s;
}

std::string FleetPublisher::Summary() const {
  const PublisherStats s = Stats();
  return std::to_string(s.enqueued) + " messages queued, " + std::to_string(s.delivered) +
         " delivered, " + std::to_string(s.dropped) + " dropped, " +
         std::to_string(s.superseded) + " superseded by a newer record, " +
         std::to_string(s.queued + (s.published - std::min(s.published, s.delivered))) +
         " undelivered at the end";
}

bool FleetPublisher::Connected() const {
  std::lock_guard lock(m_mutex);
  return m_connected;
}

bool FleetPublisher::GaveUp() const {
  std::lock_guard lock(m_mutex);
  return m_gaveUp;
}

}  // namespace wren::fleet
