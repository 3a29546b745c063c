#include "platform/mqtt/MosquittoClient.h"

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <mutex>
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
    mosquitto_reconnect_delay_set(m_mosq, static_cast<unsigned>(o.reconnectMinSeconds),
                                  static_cast<unsigned>(o.reconnectMaxSeconds), true);
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
    const int rc = mosquitto_connect_async(m_mosq, o.host.c_str(), o.port, o.keepAliveSeconds);
    if (rc == MOSQ_ERR_INVAL) {
      error = "the broker address " + m_where + " cannot be used";
      Destroy();
      return false;
    }
    if (mosquitto_loop_start(m_mosq) != MOSQ_ERR_SUCCESS) {
      error = "the MQTT network thread could not start";
      Destroy();
      return false;
    }
    // The network thread keeps trying; the user hears why it has not
    // connected yet.
    if (rc != MOSQ_ERR_SUCCESS && m_handlers.onState)
      m_handlers.onState(MqttState::Disconnected,
                         "the broker at " + m_where + " does not answer (" + ErrorText(rc) + ")");
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
    mosquitto_disconnect(m_mosq);
    mosquitto_loop_stop(m_mosq, false);
    Destroy();
  }

private:
  void Destroy() {
    mosquitto_destroy(m_mosq);
    m_mosq = nullptr;
  }

  static MosquittoClient& Self(void* object) { return *static_cast<MosquittoClient*>(object); }

  static void OnConnect(mosquitto* mosq, void* object, int rc) {
    MosquittoClient& self = Self(object);
    if (!self.m_handlers.onState) return;
    if (rc == 0) {
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
    mosquitto_disconnect(mosq);
  }

  static void OnDisconnect(mosquitto*, void* object, int rc) {
    MosquittoClient& self = Self(object);
    // 0: we asked for it.
    if (rc != 0 && self.m_handlers.onState)
      self.m_handlers.onState(MqttState::Disconnected,
                              "the connection to " + self.m_where + " dropped");
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
  std::string m_where;
};

}  // namespace

std::unique_ptr<MqttClient> OpenMosquittoClient() { return std::make_unique<MosquittoClient>(); }

}  // namespace wren::platform
