#include "core/fleet/DeviceJson.h"

#include <cstdio>
#include <limits>
#include <ostream>
#include <sstream>

#include <nlohmann/json.hpp>

namespace wren {

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    unsigned char c = s[i];
    if (c < 0x80) {
      switch (c) {
        case '"':
          out += "\\\"";
          break;
        case '\\':
          out += "\\\\";
          break;
        case '\b':
          out += "\\b";
          break;
        case '\f':
          out += "\\f";
          break;
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        default:
          if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04X", c);
            out += esc;
          } else {
            out.push_back(static_cast<char>(c));
          }
      }
      ++i;
      continue;
    }
    // A well-formed UTF-8 sequence is copied; anything else is U+FFFD.
    std::size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF)
      len = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    }
    bool ok = len > 0 && i + len <= n;
    for (std::size_t k = 1; ok && k < len; ++k) {
      unsigned char b = s[i + k];
      unsigned char min = k == 1 ? lo : 0x80, max = k == 1 ? hi : 0xBF;
      ok = b >= min && b <= max;
    }
    if (ok) {
      out.append(text, i, len);
      i += len;
    } else {
      out += "\\uFFFD";
      ++i;
    }
  }
  return out + "\"";
}

void WriteDeviceJson(std::ostream& out, const DeviceRecord& r) {
  auto flag = [](std::int32_t v) { return v ? "true" : "false"; };
  out << "{\"radioName\":" << JsonString(r.m_radioName) << ",\"name\":" << JsonString(r.m_name)
      << ",\"address\":" << JsonString(r.m_address) << ",\"producer\":" << JsonString(r.m_producer)
      << ",\"lastSeen\":" << JsonString(r.m_lastSeen)
      << ",\"lastUsed\":" << JsonString(r.m_lastUsed) << ",\"type\":" << JsonString(r.m_type)
      << ",\"services\":" << JsonString(r.m_services) << ",\"classOfDevice\":" << r.m_classOfDevice
      << ",\"connected\":" << flag(r.m_connected) << ",\"remembered\":" << flag(r.m_remembered)
      << ",\"authenticated\":" << flag(r.m_authenticated) << ",\"image\":" << r.m_image
      << ",\"isLocalRadio\":" << flag(r.m_isLocalRadio);
  // Bluetooth LE devices only: each field when the device reported it.
  if (!r.m_addressType.empty()) out << ",\"addressType\":" << JsonString(r.m_addressType);
  if (r.m_appearance >= 0) out << ",\"appearance\":" << r.m_appearance;
  if (r.m_companyId >= 0) out << ",\"manufacturer\":" << r.m_companyId;
  out << "}";
}

std::string DeviceJson(const DeviceRecord& record) {
  std::ostringstream out;
  WriteDeviceJson(out, record);
  return out.str();
}

}  // namespace wren

namespace wren {
namespace {

using Json = nlohmann::json;

bool ReadText(const Json& object, const char* key, std::string& into, std::string& error) {
  auto it = object.find(key);
  if (it == object.end()) return true;
  if (!it->is_string()) {
    error = std::string("\"") + key + "\" is not a string";
    return false;
  }
  into = it->get<std::string>();
  return true;
}

bool ReadFlag(const Json& object, const char* key, std::int32_t& into, std::string& error) {
  auto it = object.find(key);
  if (it == object.end()) return true;
  if (!it->is_boolean()) {
    error = std::string("\"") + key + "\" is not true or false";
    return false;
  }
  into = it->get<bool>() ? 1 : 0;
  return true;
}

template <typename Int>
bool ReadInteger(const Json& object, const char* key, Int& into, std::string& error) {
  auto it = object.find(key);
  if (it == object.end()) return true;
  bool fits = false;
  if (it->is_number_unsigned()) {
    fits = it->get<std::uint64_t>() <= static_cast<std::uint64_t>(std::numeric_limits<Int>::max());
    if (fits) into = static_cast<Int>(it->get<std::uint64_t>());
  } else if (it->is_number_integer()) {
    const std::int64_t v = it->get<std::int64_t>();
    fits = v >= static_cast<std::int64_t>(std::numeric_limits<Int>::min()) &&
           v <= static_cast<std::int64_t>(std::numeric_limits<Int>::max());
    if (fits) into = static_cast<Int>(v);
  }
  if (!fits) error = std::string("\"") + key + "\" is not an integer in range";
  return fits;
}

}  // namespace

bool ParseDeviceJson(std::string_view text, DeviceRecord& record, std::string& error) {
  // No exceptions: a text that does not parse comes back discarded.
  const Json object = Json::parse(text.begin(), text.end(), nullptr, false);
  if (object.is_discarded()) {
    error = "not valid JSON";
    return false;
  }
  if (!object.is_object()) {
    error = "not a JSON object";
    return false;
  }
  DeviceRecord r;
  if (!ReadText(object, "radioName", r.m_radioName, error) ||
      !ReadText(object, "name", r.m_name, error) ||
      !ReadText(object, "address", r.m_address, error) ||
      !ReadText(object, "producer", r.m_producer, error) ||
      !ReadText(object, "lastSeen", r.m_lastSeen, error) ||
      !ReadText(object, "lastUsed", r.m_lastUsed, error) ||
      !ReadText(object, "type", r.m_type, error) ||
      !ReadText(object, "services", r.m_services, error) ||
      !ReadInteger(object, "classOfDevice", r.m_classOfDevice, error) ||
      !ReadFlag(object, "connected", r.m_connected, error) ||
      !ReadFlag(object, "remembered", r.m_remembered, error) ||
      !ReadFlag(object, "authenticated", r.m_authenticated, error) ||
      !ReadInteger(object, "image", r.m_image, error) ||
      !ReadFlag(object, "isLocalRadio", r.m_isLocalRadio, error) ||
      !ReadText(object, "addressType", r.m_addressType, error) ||
      !ReadInteger(object, "appearance", r.m_appearance, error) ||
      !ReadInteger(object, "manufacturer", r.m_companyId, error))
    return false;
  if (!r.m_addressType.empty() && r.m_addressType != "public" && r.m_addressType != "random") {
    error = "\"addressType\" is neither \"public\" nor \"random\"";
    return false;
  }
  if (r.m_appearance > 0xFFFF || r.m_companyId > 0xFFFF ||
      (object.contains("appearance") && r.m_appearance < 0) ||
      (object.contains("manufacturer") && r.m_companyId < 0)) {
    error = "an LE number is not in 0..65535";
    return false;
  }
  if (r.m_address.empty()) {
    error = "no \"address\"";
    return false;
  }
  record = std::move(r);
  return true;
}

}  // namespace wren
