#pragma once
// A 48-bit Bluetooth address as a value: parsed from and written to its two
// text forms, the address "00:1A:2B:3C:4D:5E" and the vendor prefix
// "00-1A-2B" of its first three bytes, hashed and ordered. Every place that
// formats or parses an address goes through here.

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

#include "base/Text.h"

namespace wren {

class BluetoothAddress {
public:
  static constexpr std::uint64_t kMask = 0xFFFFFFFFFFFFULL;

  constexpr BluetoothAddress() = default;
  // The low 48 bits of `value`; bits 47..40 are the first pair of the text.
  // Implicit, so that tables and records write addresses as numbers.
  constexpr BluetoothAddress(std::uint64_t value) : m_value(value & kMask) {}  // NOLINT

  constexpr std::uint64_t Value() const { return m_value; }
  // Byte `i` of the text form, 0 for the first pair.
  constexpr std::uint8_t Byte(std::size_t i) const {
    return static_cast<std::uint8_t>((m_value >> (8 * (5 - i))) & 0xFF);
  }

  // Six pairs of hex digits in either case joined by `separator`
  // ("00:1A:2B:3C:4D:5E"); false for anything else.
  static bool Parse(std::string_view text, BluetoothAddress& out, char separator = ':');
  // "%02X:%02X:%02X:%02X:%02X:%02X", or with another separator.
  std::string Text(char separator = ':') const;
  // "%02X-%02X-%02X": the vendor prefix, as the vendor database keys it.
  std::string VendorPrefix() const;
  // The 24-bit number of a prefix text in exactly that form ("00-0A-D9",
  // upper case); false for any other text.
  static bool ParseVendorPrefix(std::string_view text, std::uint32_t& out);

  friend constexpr bool operator==(BluetoothAddress, BluetoothAddress) = default;
  friend constexpr auto operator<=>(BluetoothAddress, BluetoothAddress) = default;

private:
  std::uint64_t m_value = 0;
};

// The text form, for logs and test messages.
std::ostream& operator<<(std::ostream& out, BluetoothAddress address);

}  // namespace wren

template <>
struct std::hash<wren::BluetoothAddress> {
  std::size_t operator()(wren::BluetoothAddress a) const noexcept {
    return std::hash<std::uint64_t>()(a.Value());
  }
};
