#pragma once
// Where the fleet's messages go, and the broker address users give.
//
//   wrenlocator/<host>/events               every event line, as text
//   wrenlocator/<host>/devices/<address>    every merged record, as JSON, retained
//
// <host> is the machine's host name with every character but letters,
// digits, '-', '_' and '.' turned into '_' (at most 64 characters);
// <address> is the list's address text, "00:1A:2B:3C:4D:5E", which holds
// none of '+', '#' and '/'.

#include <string>
#include <string_view>

#include "ports/MqttClient.h"

namespace wren::fleet {

inline constexpr std::string_view kTopicRoot = "wrenlocator";
inline constexpr std::string_view kDevicesPattern = "wrenlocator/+/devices/+";

std::string TopicSafeHost(std::string_view hostName);
std::string EventsTopic(std::string_view host);
std::string DeviceTopic(std::string_view host, std::string_view address);

// Six upper-case hexadecimal pairs joined by colons.
bool IsDeviceAddress(std::string_view address);

// Splits "wrenlocator/<host>/devices/<address>". False with `error` for any
// other topic and for an address that is not one.
bool ParseDeviceTopic(std::string_view topic, std::string& host, std::string& address,
                      std::string& error);

// mqtt://[user[:password]@]host[:port] and mqtts://... (TLS; port 8883 by
// default, 1883 for mqtt). User and password may be percent-encoded. False
// with a one-line `error` for anything else.
bool ParseMqttUrl(std::string_view url, platform::MqttConnectOptions& options,
                  std::string& error);

}  // namespace wren::fleet
