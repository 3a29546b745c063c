#pragma once
// HTTP over Qt Network. A fetch waits in a local event loop that leaves
// out user input: the caller stays modal while its windows keep painting.

#include <memory>

#include "ports/HttpClient.h"

namespace wren::platform {

class QtHttpClient : public HttpClient {
public:
  explicit QtHttpClient(int timeoutMs = kHttpTimeoutMs, std::size_t bodyLimit = kHttpBodyLimit);
  bool Fetch(const std::string& url, std::string& body, std::string& error) override;

private:
  int m_timeoutMs;
  std::size_t m_bodyLimit;
};

// For the command-line forms, which run without an application object:
// makes one when none exists yet, then returns a client.
std::unique_ptr<HttpClient> OpenQtHttpClient();

}  // namespace wren::platform
