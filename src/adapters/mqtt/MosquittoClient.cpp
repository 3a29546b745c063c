#include "adapters/mqtt/MosquittoClient.h"

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

namespace wren::platform {
namespace {

std::string ErrorText(int rc) {
  if (rc == MOSQ_ERR_ERRNO) return std::strerror(errno);
  return mosquitto_strerror(rc);
}

class MosquittoClient : public MqttClient {
public:
  MosquittoClient() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
  }
  ~MosquittoClient() override { Stop(); }

  bool Start(const MqttConnectOptions& o, MqttHandlers handlers, std::string& error) override {
    if (m_mosq) {
      error = "already started";
      return false;
    }
    m_handlers = std::move(handlers);
    m_mosq = mosquitto_new(o.clientId.empty() ? nullptr : o.clientId.c_str(),
                           o.clientId.empty() ? true : o.cleanSession, this);
    if (!m_mosq) {
      error = "the MQTT client could not be created: " + ErrorText(MOSQ_ERR_ERRNO);
      return false;
    }
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(m_mosq, &OnConnect);
    mosquitto_disconnect_callback_set(m_mosq, &OnDisconnect);
    mosquitto_publish_callback_set(m_mosq, &OnPublish);
    mosquitto_message_callback_set(m_mosq, &OnMessage);
    if (!o.user.empty() &&
        mosquitto_username_pw_set(m_mosq, o.user.c_str(),
                                  o.password.empty() ? nullptr : o.password.c_str()) !=
            MOSQ_ERR_SUCCESS) {
      error = "the user name or password cannot be used";
      Destroy();
      return false;
    }
    if (o.tls) {
      int rc = MOSQ_ERR_SUCCESS;
      if (o.caFile.empty())
        rc = mosquitto_int_option(m_mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
      else
        rc = mosquitto_tls_set(m_mosq, o.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
      if (rc != MOSQ_ERR_SUCCESS) {
        error = "TLS cannot be set up" + (o.caFile.empty() ? "" : " with " + o.caFile) + ": " +
                ErrorText(rc);
        Destroy();
        return false;
      }
    }
    m_where = o.host + ":" + std::to_string(o.port);
    m_options = o;
    mosquitto_threaded_set(m_mosq, true);
    m_stop = false;
    m_thread = std::thread([this] { NetworkLoop(); });
    return true;
  }

  int Publish(const std::string& topic, const std::string& payload, int qos,
              bool retain) override {
    if (!m_mosq) return -1;
    int id = 0;
    const int rc = mosquitto_publish(m_mosq, &id, topic.c_str(), static_cast<int>(payload.size()),
                                     payload.data(), qos, retain);
    // A QoS 1 message the library took while the connection dropped stays
    // in its queue and goes again when it reconnects.
    if (rc == MOSQ_ERR_SUCCESS || (rc == MOSQ_ERR_NO_CONN && qos > 0 && id > 0)) return id;
    return -1;
  }

  bool Subscribe(const std::string& pattern, int qos) override {
    return m_mosq && mosquitto_subscribe(m_mosq, nullptr, pattern.c_str(), qos) == MOSQ_ERR_SUCCESS;
  }

  void Stop() override {
    if (!m_mosq) return;
    {
      std::lock_guard lock(m_sleepLock);
      m_stop = true;
    }
    m_sleep.notify_all();
    if (m_thread.joinable()) m_thread.join();
    Destroy();
  }

private:
  // Connects, runs the connection until it ends, waits with exponential
  // backoff and tries again, until Stop or a refusal that retrying cannot
  // mend. The library's own thread does not retry a first connection that
  // failed, so the loop is ours.
  void NetworkLoop() {
    int delay = std::max(1, m_options.reconnectMinSeconds);
    bool first = true;
    while (!m_stop) {
      int rc = first ? mosquitto_connect_async(m_mosq, m_options.host.c_str(), m_options.port,
                                               m_options.keepAliveSeconds)
                     : mosquitto_reconnect_async(m_mosq);
      first = false;
      if (rc == MOSQ_ERR_SUCCESS) {
        while (!m_stop && !m_gaveUp && (rc = mosquitto_loop(m_mosq, 100, 1)) == MOSQ_ERR_SUCCESS) {
        }
        if (m_stop) break;
        if (m_connected.exchange(false)) {
          delay = std::max(1, m_options.reconnectMinSeconds);
          rc = MOSQ_ERR_SUCCESS;  // the drop was reported as it happened
        }
      }
      if (rc != MOSQ_ERR_SUCCESS && !m_stop && !m_gaveUp && !m_toldDown && m_handlers.onState) {
        m_handlers.onState(
            MqttState::Disconnected,
            rc == MOSQ_ERR_TLS
                ? "the TLS connection to " + m_where +
                      " failed (is its certificate signed by the CA of the MqttCaFile setting, "
                      "or by one the system trusts?)"
                : "the broker at " + m_where + " does not answer (" + ErrorText(rc) + ")");
        m_toldDown = true;
      }
      if (m_stop || m_gaveUp) break;
      std::unique_lock lock(m_sleepLock);
      m_sleep.wait_for(lock, std::chrono::seconds(delay), [this] { return m_stop.load(); });
      delay = std::min(delay * 2, std::max(delay, m_options.reconnectMaxSeconds));
    }
    if (m_connected.exchange(false)) {
      // A clean goodbye, so the broker keeps no stale will or session state.
      mosquitto_disconnect(m_mosq);
      for (int i = 0; i < 5 && mosquitto_loop(m_mosq, 50, 1) == MOSQ_ERR_SUCCESS; ++i) {
      }
    }
  }

  void Destroy() {
    mosquitto_destroy(m_mosq);
    m_mosq = nullptr;
  }

  static MosquittoClient& Self(void* object) { return *static_cast<MosquittoClient*>(object); }

  static void OnConnect(mosquitto* mosq, void* object, int rc) {
    MosquittoClient& self = Self(object);
    if (!self.m_handlers.onState) return;
    if (rc == 0) {
      self.m_connected = true;
      self.m_toldDown = false;
      self.m_handlers.onState(MqttState::Connected, "");
      return;
    }
    if (rc == 3) {
      // Server unavailable: the library tries again.
      self.m_handlers.onState(MqttState::Disconnected, "the broker at " + self.m_where +
                                                           " is unavailable");
      return;
    }
    // 4: bad user name or password, 5: not authorised. Retrying the same
    // credentials cannot help.
    const bool credentials = rc == 4 || rc == 5;
    self.m_handlers.onState(credentials ? MqttState::Refused : MqttState::Failed,
                            "the broker at " + self.m_where + " refused the connection: " +
                                mosquitto_connack_string(rc) +
                                (credentials ? " (check the user name and password)" : ""));
    self.m_gaveUp = true;
    mosquitto_disconnect(mosq);
  }

  static void OnDisconnect(mosquitto*, void* object, int rc) {
    MosquittoClient& self = Self(object);
    // 0: we asked for it.
    if (rc != 0 && self.m_connected && self.m_handlers.onState) {
      self.m_handlers.onState(MqttState::Disconnected,
                              "the connection to " + self.m_where + " dropped");
      self.m_toldDown = true;
    }
  }

  static void OnPublish(mosquitto*, void* object, int id) {
    MosquittoClient& self = Self(object);
    if (self.m_handlers.onDelivered) self.m_handlers.onDelivered(id);
  }

  static void OnMessage(mosquitto*, void* object, const mosquitto_message* message) {
    MosquittoClient& self = Self(object);
    if (!self.m_handlers.onMessage || !message->topic) return;
    self.m_handlers.onMessage(
        message->topic,
        std::string(static_cast<const char*>(message->payload),
                    message->payloadlen > 0 ? static_cast<std::size_t>(message->payloadlen) : 0));
  }

  mosquitto* m_mosq = nullptr;
  MqttHandlers m_handlers;
  MqttConnectOptions m_options;
  std::string m_where;
  std::thread m_thread;
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_gaveUp{false};
  std::atomic<bool> m_connected{false};
  bool m_toldDown = false;  // the current outage was reported (network thread only)
  std::mutex m_sleepLock;
  std::condition_variable m_sleep;
};

}  // namespace

std::unique_ptr<MqttClient> OpenMosquittoClient() { return std::make_unique<MosquittoClient>(); }

}  // namespace wren::platform
