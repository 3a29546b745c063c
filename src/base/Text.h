#pragma once
// Small text helpers every layer shares: hexadecimal digits, event lines
// kept to one line, and durations in seconds.

#include <cstdint>
#include <string>
#include <string_view>

namespace wren {

// The value of a hexadecimal digit in either case; -1 for any other byte.
constexpr int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// `text` fit for one line of a terminal, a log or a data file: controls
// (C0 with tab and line breaks, DEL, C1) and every byte that belongs to no
// well-formed UTF-8 sequence become spaces, one per byte, so that nothing a
// device calls itself can start a line, move the cursor or colour the
// screen. Letters of every language stay; the length stays.
std::string OneLine(std::string text);
void OneLineInPlace(std::string& text);

// Seconds in decimal with up to three decimals, to milliseconds: "20",
// "0.25", ".5" and "5." are read; a sign, an exponent, a fourth decimal,
// anything else, or more than `maxSeconds`, is refused.
bool ParseSeconds(std::string_view text, std::int64_t& ms, std::int64_t maxSeconds);

}  // namespace wren
