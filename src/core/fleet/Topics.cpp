#include "core/fleet/Topics.h"

#include "base/Text.h"

#include <charconv>

namespace wren::fleet {
namespace {

constexpr std::size_t kMaxHostLength = 64;

bool IsUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

bool PercentDecode(std::string_view text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out.push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const int hi = HexDigit(text[i + 1]), lo = HexDigit(text[i + 2]);
    if (hi < 0 || lo < 0) return false;
    out.push_back(static_cast<char>(hi * 16 + lo));
    i += 2;
  }
  return true;
}

}  // namespace

std::string TopicSafeHost(std::string_view hostName) {
  std::string out;
  for (char c : hostName.substr(0, kMaxHostLength)) {
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '_' || c == '.';
    out.push_back(keep ? c : '_');
  }
  return out.empty() ? "unknown-host" : out;
}

std::string EventsTopic(std::string_view host) {
  return std::string(kTopicRoot) + "/" + std::string(host) + "/events";
}

std::string DeviceTopic(std::string_view host, std::string_view address) {
  return std::string(kTopicRoot) + "/" + std::string(host) + "/devices/" + std::string(address);
}

bool IsDeviceAddress(std::string_view a) {
  if (a.size() != 17) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (i % 3 == 2) {
      if (a[i] != ':') return false;
    } else if (!IsUpperHex(a[i])) {
      return false;
    }
  }
  return true;
}

bool ParseDeviceTopic(std::string_view topic, std::string& host, std::string& address,
                      std::string& error) {
  const std::string prefix = std::string(kTopicRoot) + "/";
  const std::string_view middle = "/devices/";
  if (topic.substr(0, prefix.size()) != prefix) {
    error = "not a device topic";
    return false;
  }
  const std::string_view rest = topic.substr(prefix.size());
  const std::size_t slash = rest.find('/');
  if (slash == 0 || slash == std::string_view::npos ||
      rest.substr(slash, middle.size()) != middle) {
    error = "not a device topic";
    return false;
  }
  const std::string_view a = rest.substr(slash + middle.size());
  if (!IsDeviceAddress(a)) {
    error = "\"" + std::string(a.substr(0, 40)) + "\" is not a device address";
    return false;
  }
  host.assign(rest.substr(0, slash));
  address.assign(a);
  return true;
}

bool ParseMqttUrl(std::string_view url, platform::MqttConnectOptions& options, std::string& error) {
  platform::MqttConnectOptions o = options;
  std::string_view rest;
  if (url.substr(0, 7) == "mqtt://") {
    o.tls = false;
    o.port = 1883;
    rest = url.substr(7);
  } else if (url.substr(0, 8) == "mqtts://") {
    o.tls = true;
    o.port = 8883;
    rest = url.substr(8);
  } else {
    error = "the broker address must start with mqtt:// or mqtts://";
    return false;
  }
  if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
  if (rest.find('/') != std::string_view::npos || rest.find('?') != std::string_view::npos) {
    error = "the broker address takes no path: mqtt://[user[:password]@]host[:port]";
    return false;
  }
  const std::size_t at = rest.rfind('@');
  if (at != std::string_view::npos) {
    const std::string_view credentials = rest.substr(0, at);
    const std::size_t colon = credentials.find(':');
    std::string user, password;
    if (!PercentDecode(credentials.substr(0, colon), user) ||
        (colon != std::string_view::npos &&
         !PercentDecode(credentials.substr(colon + 1), password))) {
      error = "a bad %-escape in the broker address's user or password";
      return false;
    }
    if (user.empty()) {
      error = "an empty user name in the broker address";
      return false;
    }
    o.user = user;
    if (colon != std::string_view::npos) o.password = password;
    rest = rest.substr(at + 1);
  }
  std::string_view host = rest;
  if (!rest.empty() && rest.front() == '[') {
    // [::1]:1883
    const std::size_t close = rest.find(']');
    if (close == std::string_view::npos) {
      error = "an unclosed [ in the broker address";
      return false;
    }
    host = rest.substr(1, close - 1);
    rest = rest.substr(close + 1);
    if (!rest.empty() && rest.front() != ':') {
      error = "a bad broker address after ]";
      return false;
    }
  } else {
    const std::size_t colon = rest.rfind(':');
    host = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon);
  }
  if (!rest.empty()) {
    const std::string_view digits = rest.substr(1);
    int port = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || port < 1 ||
        port > 65535) {
      error = "the broker port must be a number from 1 to 65535";
      return false;
    }
    o.port = port;
  }
  if (host.empty()) {
    error = "the broker address has no host";
    return false;
  }
  o.host.assign(host);
  options = o;
  return true;
}

}  // namespace wren::fleet
