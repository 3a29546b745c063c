#include "adapters/sim/Scenario.h"

#include <algorithm>

namespace wren::sim {
namespace {

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

}  // namespace

bool ParseAddress(std::string_view text, BluetoothAddress& out) {
  return BluetoothAddress::Parse(text, out);
}

bool ParseGuid(std::string_view text, platform::EventGuid& out) {
  if (text.size() == 38) {
    if (text.front() != '{' || text.back() != '}') return false;
    text = text.substr(1, 36);
  }
  // 8-4-4-4-12 hexadecimal digits.
  if (text.size() != 36) return false;
  platform::EventGuid bytes{};
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != '-') return false;
      ++i;
      continue;
    }
    int h = HexDigit(text[i]), l = HexDigit(text[i + 1]);
    if (h < 0 || l < 0) return false;
    bytes[n++] = static_cast<std::uint8_t>(h * 16 + l);
    i += 2;
  }
  out = bytes;
  return true;
}

bool ParseUtcTime(std::string_view text, UtcTime& out) {
  if (text == "never") {
    out = UtcTime{};
    return true;
  }
  // YYYY-MM-DD hh:mm:ss, a "T" allowed for the blank and a "Z" at the end.
  if (!text.empty() && text.back() == 'Z') text.remove_suffix(1);
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' ||
      (text[10] != ' ' && text[10] != 'T') || text[13] != ':' || text[16] != ':')
    return false;
  auto number = [&](std::size_t at, std::size_t len, int& value) {
    value = 0;
    for (std::size_t i = at; i < at + len; ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      value = value * 10 + (text[i] - '0');
    }
    return true;
  };
  UtcTime t;
  if (!number(0, 4, t.year) || !number(5, 2, t.month) || !number(8, 2, t.day) ||
      !number(11, 2, t.hour) || !number(14, 2, t.minute) || !number(17, 2, t.second))
    return false;
  if (t.year < 1601 || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.day > DaysInMonth(t.year, t.month) || t.hour > 23 || t.minute > 59 || t.second > 59)
    return false;
  out = t;
  return true;
}

std::int64_t ToEpochSeconds(const UtcTime& t) {
  return DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) *
             86400 +
         t.hour * 3600 + t.minute * 60 + t.second;
}

UtcTime FromEpochSeconds(std::int64_t seconds) {
  std::int64_t days = seconds / 86400, rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // Civil date from days since 1970-01-01.
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  UtcTime t;
  t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (t.month <= 2));
  t.hour = static_cast<int>(rest / 3600);
  t.minute = static_cast<int>(rest % 3600 / 60);
  t.second = static_cast<int>(rest % 60);
  return t;
}

}  // namespace wren::sim
