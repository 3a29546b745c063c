#pragma once
// MqttClient over Debian's Mosquitto client library in its thread-safe
// mode: a network thread of the client's own connects, runs the connection,
// reconnects with exponential backoff and runs the handlers.

#include <memory>

#include "ports/MqttClient.h"

namespace wren::platform {

std::unique_ptr<MqttClient> OpenMosquittoClient();

}  // namespace wren::platform
