#include "adapters/bluez/BluezTypes.h"

#include <cinttypes>
#include <cstdio>
#include <utility>

namespace wren::bluez {

Value Value::Bool(bool v) {
  Value out;
  out.kind = Kind::Bool;
  out.boolean = v;
  out.signature = "b";
  return out;
}

Value Value::Signed(std::int64_t v, std::string signature) {
  Value out;
  out.kind = Kind::Signed;
  out.signedValue = v;
  out.signature = std::move(signature);
  return out;
}

Value Value::Unsigned(std::uint64_t v, std::string signature) {
  Value out;
  out.kind = Kind::Unsigned;
  out.unsignedValue = v;
  out.signature = std::move(signature);
  return out;
}

Value Value::Real(double v, std::string signature) {
  Value out;
  out.kind = Kind::Double;
  out.doubleValue = v;
  out.signature = std::move(signature);
  return out;
}

Value Value::String(std::string v) {
  Value out;
  out.kind = Kind::String;
  out.text = CutUtf8(std::move(v), kMaxStringBytes);
  out.signature = "s";
  return out;
}

Value Value::Path(std::string v) {
  Value out;
  out.kind = Kind::ObjectPath;
  out.text = CutUtf8(std::move(v), kMaxStringBytes);
  out.signature = "o";
  return out;
}

Value Value::Strings(std::vector<std::string> v) {
  Value out;
  out.kind = Kind::StringList;
  if (v.size() > kMaxListItems) {
    out.dropped = v.size() - kMaxListItems;
    v.resize(kMaxListItems);
  }
  for (auto& s : v) s = CutUtf8(std::move(s), kMaxStringBytes);
  out.list = std::move(v);
  out.signature = "as";
  return out;
}

Value Value::Other(std::string rendering, std::string signature) {
  Value out;
  out.kind = Kind::Other;
  out.text = CutUtf8(std::move(rendering), kMaxStringBytes);
  out.signature = std::move(signature);
  return out;
}

std::string CutUtf8(std::string text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t end = maxBytes;
  // Step back over continuation bytes (10xxxxxx) to the start of the
  // sequence that would be split, and cut before it.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

std::string ValueText(const Value& value) {
  char buffer[32];
  switch (value.kind) {
    case Value::Kind::Bool:
      return value.boolean ? "yes" : "no";
    case Value::Kind::Signed:
      std::snprintf(buffer, sizeof buffer, "%" PRId64, value.signedValue);
      return buffer;
    case Value::Kind::Unsigned:
      std::snprintf(buffer, sizeof buffer, "%" PRIu64, value.unsignedValue);
      return buffer;
    case Value::Kind::Double:
      std::snprintf(buffer, sizeof buffer, "%g", value.doubleValue);
      return buffer;
    case Value::Kind::String:
    case Value::Kind::ObjectPath:
    case Value::Kind::Other:
      return value.text;
    case Value::Kind::StringList: {
      std::string out;
      for (const auto& item : value.list) {
        if (!out.empty()) out += ", ";
        out += item;
      }
      if (value.dropped > 0) {
        std::snprintf(buffer, sizeof buffer, "%zu", value.dropped);
        out += std::string(out.empty() ? "" : ", ") + "... and " + buffer + " more";
      }
      return out;
    }
  }
  return {};
}

}  // namespace wren::bluez
