#pragma once
// Fetches one document over HTTP. The reply's Content-Length decides what
// is read: a reply without it is a failure, and only that many bytes of the
// body are taken. The status code is not looked at, so an error page with a
// length counts as a fetch. Replies larger than the limit are refused before
// their body is read, and a fetch that does not finish in time gives up.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wren::platform {

inline constexpr std::string_view kHttpUserAgent = "Wrenlocator/1.7";
inline constexpr std::size_t kHttpBodyLimit = 1024 * 1024;
inline constexpr int kHttpTimeoutMs = 15000;

class HttpClient {
public:
  virtual ~HttpClient() = default;
  // True with `body` on success. False otherwise, with `error` holding the
  // reason when there is one (a reply without Content-Length gives none).
  virtual bool Fetch(const std::string& url, std::string& body, std::string& error) = 0;
};

// What a reply's Content-Length header allows. Shared by the adapters so
// that each applies the same rules.
struct ContentLengthVerdict {
  bool ok = false;
  std::uint64_t length = 0;
  std::string error;  // empty for a missing header
};

inline ContentLengthVerdict CheckContentLength(const std::optional<std::string>& header,
                                               std::size_t limit = kHttpBodyLimit) {
  ContentLengthVerdict v;
  if (!header) return v;
  std::string_view text = *header;
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty()) return v;
  std::uint64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') {
      v.error = "The server sent an unreadable Content-Length.";
      return v;
    }
    if (n > (UINT64_MAX - 9) / 10) {
      v.error = "The reply is too large to be a version manifest; it was not read.";
      return v;
    }
    n = n * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (n > limit) {
    v.error = "The reply is too large to be a version manifest; it was not read.";
    return v;
  }
  v.ok = true;
  v.length = n;
  return v;
}

}  // namespace wren::platform
