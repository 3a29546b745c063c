#pragma once
// The parameter block one scan receives, passed by value.

#include <cstdint>

namespace wren {

struct SearchParams {
  std::int32_t m_returnAuthenticated = 1;
  std::int32_t m_returnRemembered = 1;
  std::int32_t m_returnUnknown = 0;
  std::int32_t m_returnConnected = 0;
  std::int32_t m_issueInquiry = 0;
  std::uint8_t m_timeoutMultiplier = 1;
};

// Inquiry length in seconds -> the stack's multiplier (units of 1.28 s),
// bounded to 4..45; 0 when no inquiry is made.
inline std::uint8_t InquiryMultiplier(std::int32_t timeoutSeconds, bool inquiry) {
  if (!inquiry) return 0;
  // seconds / 1.28 truncated == seconds * 100 / 128 truncated, in integers.
  long long q = static_cast<long long>(timeoutSeconds) * 100 / 128;
  if (q < 4) q = 4;
  if (q > 45) q = 45;
  return static_cast<std::uint8_t>(q);
}

}  // namespace wren
