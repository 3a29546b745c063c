#include "adapters/bluez/ServiceCache.h"

#include "base/Text.h"

#include <cstdio>

#include "adapters/bluez/ObjectTree.h"

namespace wren::bluez {
namespace {

// BlueZ's cache files are a few kilobytes; this leaves room for devices
// with many large records.
constexpr std::size_t kMaxFileBytes = 4 * 1024 * 1024;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

bool DecodeHex(std::string_view hex, std::vector<std::uint8_t>& out) {
  if (hex.empty() || hex.size() % 2 != 0) return false;
  out.clear();
  out.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int hi = HexDigit(hex[i]);
    const int lo = HexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
  }
  return true;
}

}  // namespace

std::string CachedRecordsPath(const std::string& root, platform::BluetoothAddress adapter,
                              platform::BluetoothAddress device) {
  return root + "/" + adapter.Text() + "/cache/" + device.Text();
}

bool ParseCachedRecords(std::string_view text, std::vector<platform::ServiceRecord>& records) {
  bool inGroup = false;
  bool found = false;
  while (!text.empty()) {
    const auto newline = text.find('\n');
    const std::string_view line = Trim(text.substr(0, newline));
    text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      inGroup = line == "[ServiceRecords]";
      found = found || inGroup;
      continue;
    }
    if (!inGroup) continue;
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    platform::ServiceRecord record;
    if (!DecodeHex(Trim(line.substr(equals + 1)), record.blob)) continue;
    record.hasBlob = true;
    records.push_back(std::move(record));
  }
  return found;
}

bool ReadCachedRecords(const std::string& root, platform::BluetoothAddress adapter,
                       platform::BluetoothAddress device,
                       std::vector<platform::ServiceRecord>& records) {
  const std::string path = CachedRecordsPath(root, adapter, device);
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::string text(kMaxFileBytes + 1, '\0');
  const std::size_t got = std::fread(text.data(), 1, text.size(), file);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed || got > kMaxFileBytes) return false;
  text.resize(got);
  return ParseCachedRecords(text, records);
}

}  // namespace wren::bluez
