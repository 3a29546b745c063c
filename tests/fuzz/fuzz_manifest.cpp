// Any bytes as a version manifest, the way the update check meets them: the
// fetch's cut at the first zero byte, the parse, the header, the outcome
// against our own version and the rows the dialog would list. Properties
// that must hold for every input are checked.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/datafile/XmlDataFile.h"
#include "core/update/UpdateCheck.h"

namespace {

void Require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz_manifest: %s\n", what);
  std::abort();
}

// Serves the fuzzer's bytes as a reply body.
class BytesClient : public wren::platform::HttpClient {
public:
  explicit BytesClient(std::string body) : m_body(std::move(body)) {}
  bool Fetch(const std::string&, std::string& body, std::string&) override {
    body = m_body;
    return true;
  }

private:
  std::string m_body;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  BytesClient client(bytes);
  wren::XmlDataFile file;
  std::string error;
  Require(file.FetchUrl("http://127.0.0.1/version.xml", client, error), "fetch reported failure");
  const std::string taken = file.GetDocumentText();
  Require(taken.find('\0') == std::string::npos, "zero byte kept");
  Require(bytes.compare(0, taken.size(), taken) == 0, "fetched text is not a prefix of the body");

  wren::ProgramVersion version;
  std::string created;
  const bool header = file.ReadHeader(version, created);

  const auto rows = wren::BuildVersionRows(taken);
  Require(rows.size() >= 2, "Product and Date rows missing");
  Require(rows[0].label == "Product" && rows[0].image == wren::kProductImage,
          "first row is not Product");
  Require(rows[0].text == "Wrenlocator " + version.ToString(),
          "Product row disagrees with the header");
  Require(rows[1].label == "Date" && rows[1].text == created, "Date row disagrees with the header");
  for (std::size_t i = 1; i < rows.size(); ++i)
    Require(rows[i].image == wren::kDetailImage, "detail image");

  const wren::UpdateCheckResult result =
      wren::CheckForUpdates(client, "http://127.0.0.1/version.xml");
  Require(result.outcome != wren::UpdateOutcome::Failed,
          "a delivered body counted as a failed fetch");
  const bool newer = wren::ProgramVersion().IsOlderThan(version);
  Require((result.outcome == wren::UpdateOutcome::NewVersion) == newer,
          "outcome disagrees with the version");
  // A manifest whose version reads completely as ours or older offers nothing.
  if (header && !newer) Require(result.message == wren::kNoNewVersionText, "no-newer text");
  if (newer) Require(result.manifestText == taken, "dialog gets another text than was fetched");
  return 0;
}
