#include "base/Text.h"

namespace wren {

namespace {

// The length of the well-formed UTF-8 sequence at `i` (no overlong form, no
// surrogate, nothing above U+10FFFF), 0 when there is none.
std::size_t Utf8SequenceAt(const std::string& text, std::size_t i) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = at(i);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  if (at(i + 1) < low || at(i + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k)
    if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
  return length;
}

}  // namespace

void OneLineInPlace(std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte <= 0x7E) {
      ++i;
      continue;
    }
    const std::size_t length = byte >= 0x80 ? Utf8SequenceAt(text, i) : 0;
    // U+0080 to U+009F are controls too (C2 80 to C2 9F).
    const bool c1 = length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    if (length == 0 || c1) {
      const std::size_t n = c1 ? 2 : 1;
      text.replace(i, n, n, ' ');
      i += n;
    } else {
      i += length;
    }
  }
}

std::string OneLine(std::string text) {
  OneLineInPlace(text);
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
