#include "adapters/sim/Scenario.h"

#include "base/Text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

#include "base/SdpDecoder.h"
#include "xml/XmlDocument.h"

extern "C" const char wren_demo_scenario[];
extern const std::size_t wren_demo_scenario_size;

namespace wren::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kMaxValueDepth = 64;
constexpr std::int64_t kMaxSeconds = 1000000000;  // about 31 years of timeline

// Decimal, or hexadecimal after "0x"; no sign, no blanks.
bool ParseUnsigned(std::string_view text, std::uint64_t max, std::uint64_t& out) {
  std::uint64_t value = 0;
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  for (char c : text) {
    int d = HexDigit(c);
    if (d < 0 || d >= base) return false;
    if (value > (max - static_cast<std::uint64_t>(d)) / static_cast<std::uint64_t>(base))
      return false;
    value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
  }
  out = value;
  return true;
}

bool ParseSigned(std::string_view text, std::int64_t min, std::int64_t max, std::int64_t& out) {
  bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  std::uint64_t magnitude = 0;
  std::uint64_t limit =
      negative ? static_cast<std::uint64_t>(-(min + 1)) + 1 : static_cast<std::uint64_t>(max);
  if (!ParseUnsigned(text, limit, magnitude)) return false;
  out = negative ? -static_cast<std::int64_t>(magnitude - 1) - 1
                 : static_cast<std::int64_t>(magnitude);
  return true;
}

bool ParseBool(std::string_view text, bool& out) {
  if (text == "yes" || text == "true" || text == "1") {
    out = true;
    return true;
  }
  if (text == "no" || text == "false" || text == "0") {
    out = false;
    return true;
  }
  return false;
}

bool ParseHexBytes(std::string_view text, Bytes& out) {
  out.clear();
  int high = -1;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (high >= 0) return false;  // a byte is two digits together
      continue;
    }
    int d = HexDigit(c);
    if (d < 0) return false;
    if (high < 0) {
      high = d;
    } else {
      out.push_back(static_cast<std::uint8_t>(high * 16 + d));
      high = -1;
    }
  }
  return high < 0;
}

bool ParseUuid128(std::string_view text, Bytes& out) {
  platform::EventGuid bytes;
  if (text.size() != 36 || !ParseGuid(text, bytes)) return false;
  out.assign(bytes.begin(), bytes.end());
  return true;
}

// Data elements the shared writers do not cover.
Bytes Element(std::uint8_t header, std::uint64_t value, int bytes) {
  Bytes out{header};
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  return out;
}

std::string Quote(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02X", u);
      out += esc;
    } else {
      out.push_back(c);
    }
  }
  if (out.size() > 80) out = out.substr(0, 77) + "...";
  return out + "\"";
}

// A reference to a radio or device by name, resolved once everything is read.
struct PendingRef {
  std::string text;
  std::size_t line = 0;
  std::string element;
  std::string attribute;
};

class Loader {
public:
  Loader(std::string_view text, std::string_view source) : m_text(text), m_source(source) {}

  bool Run(Scenario& out, std::string& error) {
    if (!m_doc.SetText(m_text)) {
      ParseFailure();
      error = m_error;
      return false;
    }
    bool ok = Next() && ReadScenario(out) && Resolve(out);
    if (!ok) error = m_error;
    return ok;
  }

private:
  // The current element's name and attributes are read once, as the
  // position moves onto it.
  struct CurrentElement {
    std::string name;
    std::vector<XmlAttribute> attributes;
    bool wellFormed = true;
  };

  void ReadCurrent() {
    m_current.name = std::string(m_doc.GetElementName());
    m_current.wellFormed = m_doc.GetAttributes(m_current.attributes);
    m_values.clear();
  }
  bool Next() {
    if (!m_doc.FindElement()) return false;
    ReadCurrent();
    return true;
  }
  void Enter() { m_doc.EnterElement(); }
  void Leave() {
    m_doc.LeaveElement();
    ReadCurrent();
  }
  const CurrentElement& Current() const { return m_current; }
  std::size_t Line() const { return m_doc.GetElementLine(); }

  bool Fail(std::size_t line, const std::string& what) {
    if (!m_error.empty()) return false;
    m_error = std::string(m_source);
    if (line > 0) m_error += ":" + std::to_string(line);
    m_error += ": " + what;
    return false;
  }
  // A fault of the current element.
  bool FailHere(const std::string& what) {
    return Fail(Line(), "<" + m_current.name + ">: " + what);
  }
  bool BadValue(std::string_view attribute, std::string_view value, std::string_view expected) {
    return FailHere("attribute " + std::string(attribute) + "=" + Quote(value) + " is not " +
                    std::string(expected));
  }

  void ParseFailure() {
    std::string result = m_doc.GetResult();
    if (result.empty()) result = "unreadable markup";
    Fail(m_doc.GetErrorLine(), "not well-formed XML: " + result);
  }

  // The attributes of the current element must be among `allowed`,
  // each once, each with a quoted value.
  bool CheckAttributes(std::initializer_list<std::string_view> allowed) {
    const auto& attributes = m_current.attributes;
    if (!m_current.wellFormed) return FailHere("the attribute list is malformed");
    m_values.clear();
    for (std::size_t i = 0; i < attributes.size(); ++i) {
      const XmlAttribute& a = attributes[i];
      if (std::find(allowed.begin(), allowed.end(), a.name) == allowed.end())
        return FailHere("unknown attribute " + Quote(a.name));
      if (!a.quoted) return FailHere("attribute " + Quote(a.name) + " needs a quoted value");
      for (std::size_t j = 0; j < i; ++j)
        if (attributes[j].name == a.name)
          return FailHere("attribute " + Quote(a.name) + " is given twice");
    }
    // Values decoded once; a character reference must name a character.
    for (const XmlAttribute& a : attributes) {
      std::string value;
      std::string bad;
      if (!XmlDocument::DecodeValueStrict(a.rawValue, value, bad))
        return FailHere("attribute " + std::string(a.name) + " holds " + Quote(bad) +
                        ", which names no Unicode character");
      m_values.push_back(std::move(value));
    }
    return true;
  }
  bool Has(std::string_view name) const {
    for (const auto& a : m_current.attributes)
      if (a.name == name) return true;
    return false;
  }
  // Only after CheckAttributes has passed for the current element.
  std::string Get(std::string_view name) const {
    for (std::size_t i = 0; i < m_current.attributes.size() && i < m_values.size(); ++i)
      if (m_current.attributes[i].name == name) return m_values[i];
    return {};
  }
  bool Require(std::string_view name) {
    if (Has(name)) return true;
    return FailHere("attribute " + std::string(name) + " is missing");
  }

  bool GetUnsigned(std::string_view name, std::uint64_t max, std::uint64_t& out,
                   std::string_view what) {
    if (!Has(name)) return true;
    std::string v = Get(name);
    if (!ParseUnsigned(v, max, out)) return BadValue(name, v, what);
    return true;
  }
  bool GetBool(std::string_view name, bool& out) {
    if (!Has(name)) return true;
    std::string v = Get(name);
    if (!ParseBool(v, out)) return BadValue(name, v, "yes or no");
    return true;
  }
  bool GetAddress(std::string_view name, BluetoothAddress& out) {
    std::string v = Get(name);
    if (!ParseAddress(v, out)) return BadValue(name, v, "an address like 00:1A:2B:3C:4D:5E");
    return true;
  }
  bool GetTime(std::string_view name, UtcTime& out) {
    if (!Has(name)) return true;
    std::string v = Get(name);
    if (!ParseUtcTime(v, out))
      return BadValue(name, v, "a UTC time like 2009-07-21 14:03:59, or never");
    return true;
  }
  // A signal or transmit power in dBm.
  bool GetPower(std::string_view name, std::optional<std::int16_t>& out) {
    if (!Has(name)) return true;
    std::string v = Get(name);
    std::int64_t n = 0;
    if (!ParseSigned(v, -127, 127, n)) return BadValue(name, v, "a power in dBm from -127 to 127");
    out = static_cast<std::int16_t>(n);
    return true;
  }
  // Bluetooth LE: address-type="public|random", appearance="0x00C1",
  // manufacturer="0x004C:0215AB 0x0006" (company identifiers, each with
  // its bytes after a colon, or none), service-data="UUID:BYTES ...".
  bool GetLeFields(platform::LeFields& le) {
    if (Has("address-type")) {
      std::string v = Get("address-type");
      if (v == "public")
        le.addressType = platform::AddressType::Public;
      else if (v == "random")
        le.addressType = platform::AddressType::Random;
      else
        return BadValue("address-type", v, "public or random");
    }
    if (Has("appearance")) {
      std::uint64_t v = 0;
      if (!GetUnsigned("appearance", 0xFFFF, v, "an appearance value up to 0xFFFF")) return false;
      le.appearance = static_cast<std::uint16_t>(v);
    }
    auto entries = [&](std::string_view name, auto add) {
      if (!Has(name)) return true;
      std::istringstream words(Get(name));
      std::string word;
      while (words >> word) {
        const std::size_t colon = word.find(':');
        Bytes bytes;
        if (colon != std::string::npos && !ParseHexBytes(word.substr(colon + 1), bytes))
          return BadValue(name, word, "a key, then a colon and hexadecimal bytes");
        if (!add(word.substr(0, colon), std::move(bytes))) return false;
      }
      return true;
    };
    return entries("manufacturer",
                   [&](const std::string& key, Bytes bytes) {
                     std::uint64_t id = 0;
                     if (!ParseUnsigned(key, 0xFFFF, id))
                       return BadValue("manufacturer", key, "a company identifier up to 0xFFFF");
                     le.manufacturerData.emplace_back(static_cast<std::uint16_t>(id),
                                                      std::move(bytes));
                     return true;
                   }) &&
           entries("service-data", [&](std::string key, Bytes bytes) {
             Bytes ignored;
             if (!ParseUuid128(key, ignored))
               return BadValue("service-data", key,
                               "a UUID like 0000180d-0000-1000-8000-00805f9b34fb");
             for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
             le.serviceData.emplace_back(std::move(key), std::move(bytes));
             return true;
           });
  }
  bool GetClass(std::uint32_t& out) {
    std::uint64_t v = out;
    if (!GetUnsigned("class", 0xFFFFFFFF, v, "a class of device (a number up to 0xFFFFFFFF)"))
      return false;
    out = static_cast<std::uint32_t>(v);
    return true;
  }
  // Elements that take no children.
  bool NoChildren() {
    Enter();
    bool any = Next();
    if (any) {
      std::string name = Current().name;
      Leave();
      return FailHere("<" + name + "> is not allowed here");
    }
    Leave();
    return m_error.empty();
  }
  // Walks the children of the current element, calling `each` on every one.
  template <typename F>
  bool Children(F each) {
    Enter();
    while (Next()) {
      if (!each(Current().name)) {
        Leave();
        return false;
      }
    }
    Leave();
    return m_error.empty();
  }
  bool Unexpected(std::string_view where) {
    return FailHere("not allowed inside <" + std::string(where) + ">");
  }

  bool ReadScenario(Scenario& out) {
    if (Current().name != "scenario") return FailHere("the root element must be <scenario>");
    if (!CheckAttributes({"name", "start", "lookup-multiplier"})) return false;
    out = Scenario{};
    out.name = Get("name");
    if (Has("start")) {
      UtcTime start;
      std::string v = Get("start");
      if (!ParseUtcTime(v, start) || start.IsZero())
        return BadValue("start", v, "a UTC time like 2009-07-21 14:03:59");
      out.startUtc = ToEpochSeconds(start);
    }
    std::uint64_t lookup = out.lookupMultiplier;
    if (!GetUnsigned("lookup-multiplier", 255, lookup, "a multiplier from 0 to 255")) return false;
    out.lookupMultiplier = static_cast<std::uint8_t>(lookup);
    bool timelineSeen = false;
    return Children([&](const std::string& name) {
      if (name == "radio") return ReadRadio(out);
      if (name == "device") return ReadDevice(out);
      if (name == "timeline") {
        if (timelineSeen) return FailHere("a scenario has one timeline");
        timelineSeen = true;
        return ReadTimeline(out);
      }
      return Unexpected("scenario");
    });
  }

  bool ReadRadio(Scenario& out) {
    if (!CheckAttributes({"id", "address", "name", "class", "present", "readable"})) return false;
    if (!Require("id") || !Require("address")) return false;
    SimRadio radio;
    radio.id = Get("id");
    if (radio.id.empty()) return FailHere("attribute id is empty");
    if (!GetAddress("address", radio.address)) return false;
    radio.name = Get("name");
    if (!GetClass(radio.classOfDevice) || !GetBool("present", radio.present) ||
        !GetBool("readable", radio.readable))
      return false;
    if (m_radioIds.count(radio.id))
      return FailHere("radio id " + Quote(radio.id) + " is used twice");
    if (m_radioAddresses.count(radio.address))
      return FailHere("radio address " + Get("address") + " is used twice");
    m_radioIds.emplace(radio.id, out.radios.size());
    m_radioAddresses.insert(radio.address);
    out.radios.push_back(std::move(radio));
    return NoChildren();
  }

  bool ReadDevice(Scenario& out) {
    if (!CheckAttributes({"address",     "name",          "class",      "connected",
                          "remembered",  "authenticated", "last-seen",  "last-used",
                          "radios",      "discoverable",  "in-range",   "alias",
                          "trusted",     "blocked",       "rssi",       "tx-power",
                          "uuids",       "address-type",  "appearance", "manufacturer",
                          "service-data"}))
      return false;
    if (!Require("address")) return false;
    SimDevice device;
    if (!GetAddress("address", device.address)) return false;
    if (!m_deviceAddresses.emplace(device.address, out.devices.size()).second)
      return FailHere("device address " + Get("address") + " is used twice");
    device.name = Get("name");
    if (!GetClass(device.classOfDevice) || !GetBool("connected", device.connected) ||
        !GetBool("remembered", device.remembered) ||
        !GetBool("authenticated", device.authenticated) ||
        !GetBool("discoverable", device.discoverable) || !GetBool("in-range", device.inRange) ||
        !GetTime("last-seen", device.lastSeen) || !GetTime("last-used", device.lastUsed) ||
        !GetBool("trusted", device.trusted) || !GetBool("blocked", device.blocked) ||
        !GetPower("rssi", device.rssi) || !GetPower("tx-power", device.txPower))
      return false;
    device.alias = Get("alias");
    if (Has("uuids")) {
      std::istringstream words(Get("uuids"));
      std::string uuid;
      while (words >> uuid) {
        Bytes ignored;
        if (!ParseUuid128(uuid, ignored))
          return BadValue("uuids", uuid, "a UUID like 00001101-0000-1000-8000-00805f9b34fb");
        for (char& c : uuid) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        device.uuids.push_back(uuid);
      }
    }
    if (!GetLeFields(device.le)) return false;
    // A device the scenario calls trusted is one the stack remembers.
    if (device.trusted) device.remembered = true;
    std::size_t index = out.devices.size();
    if (Has("radios")) {
      std::string list = Get("radios");
      std::size_t line = Line();
      std::istringstream words(list);
      std::string id;
      bool any = false;
      while (words >> id) {
        m_deviceRadios.push_back({index, {id, line, "device", "radios"}});
        any = true;
      }
      if (!any) return BadValue("radios", list, "a list of radio ids");
    }
    out.devices.push_back(std::move(device));
    return Children([&](const std::string& name) {
      if (name == "record") return ReadRecord(out.devices[index]);
      if (name == "pairing") return ReadPairing(out.devices[index]);
      return Unexpected("device");
    });
  }

  // How the device pairs: the agent's question and the outcome.
  bool ReadPairing(SimDevice& device) {
    if (!CheckAttributes({"method", "passkey", "pin", "outcome"})) return false;
    struct Method {
      std::string_view name;
      PairingMethod method;
    };
    static constexpr Method kMethods[] = {
        {"just-works", PairingMethod::JustWorks},
        {"confirm-passkey", PairingMethod::ConfirmPasskey},
        {"display-passkey", PairingMethod::DisplayPasskey},
        {"display-pin", PairingMethod::DisplayPinCode},
        {"request-pin", PairingMethod::RequestPinCode},
        {"request-passkey", PairingMethod::RequestPasskey},
    };
    struct Outcome {
      std::string_view name;
      platform::DeviceError error;
    };
    static constexpr Outcome kOutcomes[] = {
        {"success", platform::DeviceError::None},
        {"authentication-failed", platform::DeviceError::AuthenticationFailed},
        {"rejected", platform::DeviceError::AuthenticationRejected},
        {"canceled", platform::DeviceError::AuthenticationCanceled},
        {"timeout", platform::DeviceError::AuthenticationTimeout},
        {"unreachable", platform::DeviceError::ConnectionAttemptFailed},
        {"failed", platform::DeviceError::Failed},
    };
    SimPairing pairing;
    if (Has("method")) {
      const std::string v = Get("method");
      const Method* m = nullptr;
      for (const auto& candidate : kMethods)
        if (candidate.name == v) m = &candidate;
      if (m == nullptr)
        return BadValue("method", v,
                        "just-works, confirm-passkey, display-passkey, display-pin, request-pin or "
                        "request-passkey");
      pairing.method = m->method;
    }
    std::uint64_t passkey = 0;
    if (!GetUnsigned("passkey", 999999, passkey, "a passkey from 0 to 999999")) return false;
    pairing.passkey = static_cast<std::uint32_t>(passkey);
    if (Has("pin")) {
      pairing.pin = Get("pin");
      if (pairing.pin.empty() || pairing.pin.size() > 16)
        return BadValue("pin", pairing.pin, "a PIN of 1 to 16 characters");
    }
    if (Has("outcome")) {
      const std::string v = Get("outcome");
      const Outcome* o = nullptr;
      for (const auto& candidate : kOutcomes)
        if (candidate.name == v) o = &candidate;
      if (o == nullptr)
        return BadValue(
            "outcome", v,
            "success, authentication-failed, rejected, canceled, timeout, unreachable or failed");
      pairing.failure = o->error;
    }
    device.pairing = std::move(pairing);
    return NoChildren();
  }

  bool ReadRecord(SimDevice& device) {
    if (!CheckAttributes({"hex", "blob"})) return false;
    platform::ServiceRecord record;
    bool blob = true;
    if (!GetBool("blob", blob)) return false;
    record.hasBlob = blob;
    if (Has("hex")) {
      if (!blob) return FailHere("a record without blob takes no hex bytes");
      std::string v = Get("hex");
      if (!ParseHexBytes(v, record.blob)) return BadValue("hex", v, "hexadecimal bytes");
      device.records.push_back(std::move(record));
      return NoChildren();
    }
    std::vector<Bytes> attributes;
    bool ok = Children([&](const std::string& name) {
      if (name != "attr") return Unexpected("record");
      if (!blob) return FailHere("a record without blob holds no attributes");
      return ReadAttribute(attributes);
    });
    if (!ok) return false;
    if (blob) record.blob = sdp::EncodeSequence(attributes);
    device.records.push_back(std::move(record));
    return true;
  }

  bool ReadAttribute(std::vector<Bytes>& attributes) {
    if (!CheckAttributes({"id"}) || !Require("id")) return false;
    std::uint64_t id = 0;
    if (!GetUnsigned("id", 0xFFFF, id, "an attribute id from 0 to 0xFFFF")) return false;
    std::vector<Bytes> values;
    if (!Children([&](const std::string&) { return ReadValue(values, 1); })) return false;
    if (values.size() != 1) return FailHere("an attribute holds exactly one value");
    attributes.push_back(sdp::EncodeUnsigned(id, 2));
    attributes.push_back(std::move(values.front()));
    return true;
  }

  bool ReadValue(std::vector<Bytes>& out, int depth) {
    const std::string name = Current().name;
    if (depth > kMaxValueDepth) return FailHere("values are nested too deeply");
    if (name == "seq" || name == "alt") {
      if (!CheckAttributes({})) return false;
      std::vector<Bytes> inner;
      if (!Children([&](const std::string&) { return ReadValue(inner, depth + 1); })) return false;
      out.push_back(sdp::EncodeSequence(
          inner, name == "seq" ? sdp::ElementType::Sequence : sdp::ElementType::Alternative));
      return true;
    }
    if (name == "nil") {
      if (!CheckAttributes({})) return false;
      out.push_back(Bytes{0x00});
      return NoChildren();
    }
    if (!CheckAttributes({"value"}) || !Require("value")) return false;
    std::string v = Get("value");
    struct Unsigned {
      const char* name;
      int bytes;
    };
    static constexpr Unsigned kUnsigned[] = {
        {"uint8", 1}, {"uint16", 2}, {"uint32", 4}, {"uint64", 8}};
    static constexpr Unsigned kSigned[] = {{"int8", 1}, {"int16", 2}, {"int32", 4}, {"int64", 8}};
    Bytes element;
    bool known = false;
    for (const auto& u : kUnsigned) {
      if (name != u.name) continue;
      known = true;
      std::uint64_t max =
          u.bytes == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * u.bytes)) - 1;
      std::uint64_t n = 0;
      if (!ParseUnsigned(v, max, n)) return BadValue("value", v, "a number that fits " + name);
      element = sdp::EncodeUnsigned(n, u.bytes);
    }
    for (const auto& s : kSigned) {
      if (name != s.name) continue;
      known = true;
      std::int64_t max = s.bytes == 8 ? INT64_MAX : (std::int64_t{1} << (8 * s.bytes - 1)) - 1;
      std::int64_t n = 0;
      if (!ParseSigned(v, -max - 1, max, n))
        return BadValue("value", v, "a number that fits " + name);
      int sizeIndex = s.bytes == 1 ? 0 : s.bytes == 2 ? 1 : s.bytes == 4 ? 2 : 3;
      element = Element(static_cast<std::uint8_t>(0x10 | sizeIndex), static_cast<std::uint64_t>(n),
                        s.bytes);
    }
    if (name == "uuid16" || name == "uuid32") {
      known = true;
      std::uint64_t n = 0;
      bool wide = name == "uuid32";
      if (!ParseUnsigned(v, wide ? 0xFFFFFFFF : 0xFFFF, n))
        return BadValue("value", v, "a " + name);
      element = wide ? Element(0x1A, n, 4) : sdp::EncodeUuid16(static_cast<std::uint16_t>(n));
    } else if (name == "uuid128") {
      known = true;
      Bytes uuid;
      if (!ParseUuid128(v, uuid))
        return BadValue("value", v, "a UUID like 00001101-0000-1000-8000-00805F9B34FB");
      element = Bytes{0x1C};
      element.insert(element.end(), uuid.begin(), uuid.end());
    } else if (name == "text" || name == "url") {
      known = true;
      element = sdp::EncodeText(v, name == "text" ? sdp::ElementType::Text : sdp::ElementType::Url);
    } else if (name == "bool") {
      known = true;
      bool b = false;
      if (!ParseBool(v, b)) return BadValue("value", v, "yes or no");
      element = Bytes{0x28, static_cast<std::uint8_t>(b ? 1 : 0)};
    } else if (name == "raw") {
      known = true;
      if (!ParseHexBytes(v, element)) return BadValue("value", v, "hexadecimal bytes");
    }
    if (!known)
      return FailHere(
          "not a value element (text, url, uint8..uint64, int8..int64, uuid16, uuid32, uuid128, "
          "bool, nil, seq, alt, raw)");
    out.push_back(std::move(element));
    return NoChildren();
  }

  bool ReadTimeline(Scenario& out) {
    if (!CheckAttributes({"repeat"})) return false;
    if (Has("repeat")) {
      std::string v = Get("repeat");
      if (!ParseSeconds(v, out.repeatMs, kMaxSeconds) || out.repeatMs == 0)
        return BadValue("repeat", v, "a period in seconds above 0");
    }
    return Children([&](const std::string& name) { return ReadEvent(out, name); });
  }

  bool ReadEvent(Scenario& out, const std::string& name) {
    struct Kind {
      const char* name;
      EventKind kind;
    };
    static constexpr Kind kKinds[] = {
        {"adapter-inserted", EventKind::AdapterInserted},
        {"adapter-removed", EventKind::AdapterRemoved},
        {"in-range", EventKind::InRange},
        {"out-of-range", EventKind::OutOfRange},
        {"hci-connect", EventKind::HciConnect},
        {"hci-disconnect", EventKind::HciDisconnect},
        {"l2cap-connect", EventKind::L2capConnect},
        {"l2cap-disconnect", EventKind::L2capDisconnect},
        {"pin-request", EventKind::PinRequest},
        {"custom", EventKind::Custom},
    };
    const Kind* kind = nullptr;
    for (const auto& k : kKinds)
      if (name == k.name) kind = &k;
    if (!kind)
      return FailHere(
          "not an event (adapter-inserted, adapter-removed, in-range, out-of-range, hci-connect, "
          "hci-disconnect, l2cap-connect, l2cap-disconnect, pin-request, custom)");

    SimEvent event;
    event.kind = kind->kind;
    bool ok = true;
    switch (event.kind) {
      case EventKind::AdapterInserted:
      case EventKind::AdapterRemoved:
        ok = CheckAttributes({"at", "radio"}) && Require("radio");
        break;
      case EventKind::InRange:
        ok = CheckAttributes({"at", "radio", "device", "flags", "previous", "name"}) &&
             Require("device") && Require("flags");
        break;
      case EventKind::L2capConnect:
        ok = CheckAttributes({"at", "radio", "device", "initiated"}) && Require("device");
        break;
      case EventKind::PinRequest:
        ok = CheckAttributes({"at", "radio", "device"});
        break;
      case EventKind::Custom:
        ok = CheckAttributes({"at", "radio", "guid"});
        break;
      default:
        ok = CheckAttributes({"at", "radio", "device"}) && Require("device");
        break;
    }
    if (!ok || !Require("at")) return false;
    std::string at = Get("at");
    if (!ParseSeconds(at, event.atMs, kMaxSeconds))
      return BadValue("at", at, "a time in seconds (up to three decimals)");
    if (out.repeatMs > 0 && event.atMs >= out.repeatMs)
      return FailHere("at=\"" + at + "\" is not before the timeline repeats");
    std::uint64_t flags = 0;
    if (!GetUnsigned("flags", 0xFFFFFFFF, flags, "device flags (a number up to 0xFFFFFFFF)"))
      return false;
    event.flags = static_cast<std::uint32_t>(flags);
    if (Has("previous")) {
      std::uint64_t previous = 0;
      if (!GetUnsigned("previous", 0xFFFFFFFF, previous,
                       "device flags (a number up to 0xFFFFFFFF)"))
        return false;
      event.previousFlags = static_cast<std::uint32_t>(previous);
    }
    if (Has("name")) event.name = Get("name");
    if (!GetBool("initiated", event.initiated)) return false;
    if (event.kind == EventKind::Custom) {
      event.hasRecord = Has("guid");
      if (event.hasRecord) {
        std::string g = Get("guid");
        if (!ParseGuid(g, event.guid))
          return BadValue("guid", g, "an identifier like {FC240062-1541-49BE-B463-84C4DCD7BF7F}");
      }
    }
    std::size_t index = out.timeline.size();
    std::size_t line = Line();
    if (Has("radio")) m_eventRadios.push_back({index, {Get("radio"), line, name, "radio"}});
    if (Has("device")) m_eventDevices.push_back({index, {Get("device"), line, name, "device"}});
    out.timeline.push_back(std::move(event));
    return NoChildren();
  }

  bool FailRef(const PendingRef& ref, const std::string& what) {
    return Fail(ref.line, "<" + ref.element + ">: attribute " + ref.attribute + "=" +
                              Quote(ref.text) + " " + what);
  }

  bool Resolve(Scenario& out) {
    auto radioIndex = [&](const std::string& id) {
      auto found = m_radioIds.find(id);
      return found == m_radioIds.end() ? kNone : found->second;
    };
    for (const auto& [device, ref] : m_deviceRadios) {
      std::size_t r = radioIndex(ref.text);
      if (r == kNone) return FailRef(ref, "names no radio");
      auto& radios = out.devices[device].radios;
      if (std::find(radios.begin(), radios.end(), r) == radios.end()) radios.push_back(r);
    }
    for (const auto& [event, ref] : m_eventRadios) {
      std::size_t r = radioIndex(ref.text);
      if (r == kNone) return FailRef(ref, "names no radio");
      out.timeline[event].radio = r;
    }
    for (const auto& [event, ref] : m_eventDevices) {
      BluetoothAddress address = 0;
      if (!ParseAddress(ref.text, address))
        return FailRef(ref, "is not an address like 00:1A:2B:3C:4D:5E");
      auto found = m_deviceAddresses.find(address);
      if (found == m_deviceAddresses.end()) return FailRef(ref, "names no device of the scenario");
      out.timeline[event].device = found->second;
    }
    std::stable_sort(out.timeline.begin(), out.timeline.end(),
                     [](const SimEvent& a, const SimEvent& b) { return a.atMs < b.atMs; });
    return true;
  }

  std::string_view m_text;
  std::string_view m_source;
  XmlDocument m_doc;
  CurrentElement m_current;
  std::vector<std::string> m_values;  // decoded, in the order of m_current.attributes
  std::string m_error;
  std::unordered_map<std::string, std::size_t> m_radioIds;
  std::unordered_set<BluetoothAddress> m_radioAddresses;
  std::unordered_map<BluetoothAddress, std::size_t> m_deviceAddresses;
  std::vector<std::pair<std::size_t, PendingRef>> m_deviceRadios;
  std::vector<std::pair<std::size_t, PendingRef>> m_eventRadios;
  std::vector<std::pair<std::size_t, PendingRef>> m_eventDevices;
};

}  // namespace

bool ParseScenario(std::string_view text, std::string_view sourceName, Scenario& out,
                   std::string& error) {
  Loader loader(text, sourceName);
  Scenario scenario;
  if (!loader.Run(scenario, error)) return false;
  out = std::move(scenario);
  return true;
}

bool LoadScenarioFile(const std::string& path, Scenario& out, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  std::string text;
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  // A folder opens but does not read.
  bool failed = std::ferror(file) != 0;
  int code = errno;
  std::fclose(file);
  if (failed) {
    error = path + ": " + std::strerror(code);
    return false;
  }
  return ParseScenario(text, path, out, error);
}

std::string_view DemoScenarioText() {
  return std::string_view(wren_demo_scenario, wren_demo_scenario_size);
}

bool LoadDemoScenario(Scenario& out, std::string& error) {
  return ParseScenario(DemoScenarioText(), "demo-scenario.xml", out, error);
}

}  // namespace wren::sim
