#pragma once
// Publishes a monitor's event lines and merged records to the fleet's
// broker. The monitoring cycle only enqueues (a lock held for a queue
// operation, never for the network); a sender thread of its own hands the
// messages to the client while it is connected, at most `maxInFlight`
// unacknowledged at a time, and waits while the broker is away. The
// client's network thread reconnects with backoff.
//
// Messages go with QoS 1; records are retained. A record whose JSON did not
// change since it was last enqueued is not sent again.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

#include "core/bluetooth/DeviceRecord.h"
#include "core/fleet/OutboundQueue.h"
#include "ports/MqttClient.h"

namespace wren::fleet {

struct PublisherOptions {
  std::size_t queueCapacity = 10000;
  std::uint64_t maxInFlight = 200;
  // One line per connection change and per outage's drops; called from
  // the publisher's threads.
  std::function<void(const std::string&)> log;
};

struct PublisherStats {
  std::uint64_t enqueued = 0;    // messages taken from the monitor
  std::uint64_t unchanged = 0;   // records not sent again because nothing changed
  std::uint64_t superseded = 0;  // queued records replaced by a newer state of the same device
  std::uint64_t dropped = 0;     // lost to the queue's bound while the broker was away
  std::uint64_t published = 0;   // handed to the client
  std::uint64_t delivered = 0;   // acknowledged by the broker
  std::size_t queued = 0;        // waiting now
};

class FleetPublisher {
public:
  // `client` outlives the publisher. `host`: topic-safe (TopicSafeHost).
  FleetPublisher(platform::MqttClient& client, std::string host, PublisherOptions options = {});
  ~FleetPublisher();
  FleetPublisher(const FleetPublisher&) = delete;
  FleetPublisher& operator=(const FleetPublisher&) = delete;

  // Starts the client and the sender thread. False with `error` when the
  // client cannot start at all.
  bool Start(const platform::MqttConnectOptions& options, std::string& error);

  void PublishEvent(const std::string& line);
  void PublishRecord(const DeviceRecord& record);

  // Gives the queue up to `drain` to reach the broker (unless the client
  // said the broker is away), then stops the sender and the client.
  // Idempotent.
  void Stop(std::chrono::milliseconds drain);

  PublisherStats Stats() const;
  // "N sent, N delivered, N dropped ..." for the end of a run.
  std::string Summary() const;
  bool Connected() const;
  // The broker refused the user name or password, or the client gave up.
  bool GaveUp() const;

private:
  void Enqueue(std::string topic, std::string payload, bool retain);
  void SenderLoop();
  void OnState(platform::MqttState state, const std::string& reason);
  void OnDelivered();
  void Log(const std::string& line) const;

  platform::MqttClient& m_client;
  const std::string m_host;
  const std::string m_eventsTopic;
  PublisherOptions m_options;

  mutable std::mutex m_mutex;
  std::condition_variable m_wake;
  OutboundQueue m_queue;
  std::unordered_map<std::string, std::string> m_lastPayload;  // by topic
  PublisherStats m_stats;
  bool m_connected = false;
  bool m_away = false;  // the client said the broker is not there (until it connects)
  bool m_everConnected = false;
  bool m_gaveUp = false;
  bool m_started = false;
  bool m_stopping = false;
  std::uint64_t m_droppedAtOutage = 0;
  std::uint64_t m_inFlight = 0;  // handed to the client, not yet acknowledged
  std::thread m_sender;
};

}  // namespace wren::fleet
