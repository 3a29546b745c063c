#pragma once
// MqttClient over Debian's Mosquitto client library, on its threaded
// interface: the library's network thread connects, reconnects with
// exponential backoff and runs the handlers.

#include <memory>

#include "platform/mqtt/MqttClient.h"

namespace wren::platform {

std::unique_ptr<MqttClient> OpenMosquittoClient();

}  // namespace wren::platform
