#include "base/Text.h"

namespace wren {

std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

bool ParseSeconds(std::string_view text, std::int64_t& ms, std::int64_t maxSeconds) {
  std::int64_t whole = 0;
  std::int64_t fraction = 0;
  int decimals = 0;
  bool digits = false;
  bool point = false;
  for (char c : text) {
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (c < '0' || c > '9') return false;
    digits = true;
    if (point) {
      if (++decimals > 3) return false;
      fraction = fraction * 10 + (c - '0');
    } else {
      whole = whole * 10 + (c - '0');
      if (whole > maxSeconds) return false;
    }
  }
  if (!digits) return false;
  for (; decimals < 3; ++decimals) fraction *= 10;
  const std::int64_t total = whole * 1000 + fraction;
  if (total > maxSeconds * 1000) return false;
  ms = total;
  return true;
}

}  // namespace wren
