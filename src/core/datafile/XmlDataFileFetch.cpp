#include "core/datafile/XmlDataFile.h"

namespace wren {

bool XmlDataFile::FetchUrl(const std::string& url, platform::HttpClient& http, std::string& error) {
  std::string body;
  error.clear();
  if (!http.Fetch(url, body, error)) return false;
  std::size_t zero = body.find('\0');
  if (zero != std::string::npos) body.resize(zero);
  SetText(std::move(body));
  return true;
}

}  // namespace wren
