#include "base/BluetoothAddress.h"

#include <cstdio>
#include <ostream>

namespace wren {

bool BluetoothAddress::Parse(std::string_view text, BluetoothAddress& out, char separator) {
  if (text.size() != 17) return false;
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < 6; ++i) {
    const int hi = HexDigit(text[i * 3]);
    const int lo = HexDigit(text[i * 3 + 1]);
    if (hi < 0 || lo < 0) return false;
    if (i < 5 && text[i * 3 + 2] != separator) return false;
    value = (value << 8) | static_cast<std::uint64_t>(hi * 16 + lo);
  }
  out = BluetoothAddress(value);
  return true;
}

std::string BluetoothAddress::Text(char separator) const {
  char buffer[18];
  std::snprintf(buffer, sizeof buffer, "%02X%c%02X%c%02X%c%02X%c%02X%c%02X", Byte(0), separator,
                Byte(1), separator, Byte(2), separator, Byte(3), separator, Byte(4), separator,
                Byte(5));
  return buffer;
}

std::string BluetoothAddress::VendorPrefix() const {
  char buffer[9];
  std::snprintf(buffer, sizeof buffer, "%02X-%02X-%02X", Byte(0), Byte(1), Byte(2));
  return buffer;
}

bool BluetoothAddress::ParseVendorPrefix(std::string_view text, std::uint32_t& out) {
  if (text.size() != 8 || text[2] != '-' || text[5] != '-') return false;
  std::uint32_t value = 0;
  static constexpr std::size_t kDigits[] = {0, 1, 3, 4, 6, 7};
  for (std::size_t i : kDigits) {
    // Lower case is another text, so it is not the canonical form.
    if (text[i] >= 'a' && text[i] <= 'f') return false;
    const int digit = HexDigit(text[i]);
    if (digit < 0) return false;
    value = (value << 4) | static_cast<std::uint32_t>(digit);
  }
  out = value;
  return true;
}

std::ostream& operator<<(std::ostream& out, BluetoothAddress address) {
  return out << address.Text();
}

}  // namespace wren
