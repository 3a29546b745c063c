#pragma once
// The port to an MQTT broker: one connection, kept up by its own network
// thread, reconnecting with backoff when the broker goes away.
//
// Handlers run on the network thread. Publish and Subscribe may be called
// from any thread; they never wait for the network.

#include <cstdint>
#include <functional>
#include <string>

namespace wren::platform {

struct MqttConnectOptions {
  std::string host;
  int port = 1883;
  bool tls = false;
  std::string caFile;  // "" : the system's CA store (TLS only)
  std::string user;    // "" : no user name
  std::string password;
  std::string clientId;       // "" : one made up by the library
  bool cleanSession = true;   // false keeps subscriptions and queued messages across drops
  int keepAliveSeconds = 30;
  int reconnectMinSeconds = 1;  // backoff doubles from here...
  int reconnectMaxSeconds = 30;  // ...up to here
};

enum class MqttState {
  Connected,
  Disconnected,  // the broker went away or is not there; retrying
  Refused,       // the broker refused the user name or password; no more retries
  Failed,        // a failure retrying cannot mend (bad host name, TLS set-up); stopped
};

struct MqttHandlers {
  // Every change of the connection, with a one-line reason.
  std::function<void(MqttState, const std::string& reason)> onState;
  std::function<void(const std::string& topic, const std::string& payload)> onMessage;
  // A QoS 1 message the broker acknowledged, by the id Publish gave.
  std::function<void(int id)> onDelivered;
};

class MqttClient {
public:
  virtual ~MqttClient() = default;
  // Starts the network thread, which connects in the background. False
  // with `error` when the options cannot work at all (TLS files unreadable).
  virtual bool Start(const MqttConnectOptions& options, MqttHandlers handlers,
                     std::string& error) = 0;
  // The message id (> 0) once the library has taken the message, -1 when
  // it did not (not connected, too big).
  virtual int Publish(const std::string& topic, const std::string& payload, int qos,
                      bool retain) = 0;
  virtual bool Subscribe(const std::string& pattern, int qos) = 0;
  // Disconnects and joins the network thread. Handlers are not called after.
  virtual void Stop() = 0;
};

}  // namespace wren::platform
