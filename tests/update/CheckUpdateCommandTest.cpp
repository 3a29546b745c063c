// The check-update form of the command line: what it accepts and refuses,
// and what it does in a build without an HTTP client.
#include <gtest/gtest.h>

#include <sstream>

#include "program/CommandLine.h"

namespace wren {
namespace {

TEST(CheckUpdateCommand, Parsing) {
  struct Case {
    std::vector<std::string> args;
    bool ok;
    std::string url;
  };
  const Case cases[] = {
      {{"check-update"}, true, ""},
      {{"check-update", "--url", "http://127.0.0.1:8080/v.xml"},
       true,
       "http://127.0.0.1:8080/v.xml"},
      {{"--url=http://mirror.example/v.xml", "check-update"}, true, "http://mirror.example/v.xml"},
      {{"check-update", "--url"}, false, ""},
      {{"check-update", "--url="}, false, ""},
      {{"check-update", "extra"}, false, ""},
      {{"scan", "--url", "http://x.example/"}, false, ""},
      {{"--url", "http://x.example/"}, false, ""},
      {{"check-update", "--json"}, false, ""},
  };
  for (const auto& c : cases) {
    Command command;
    std::string error;
    const bool ok = ParseCommandLine(c.args, command, error);
    std::string joined;
    for (const auto& a : c.args) joined += a + " ";
    EXPECT_EQ(ok, c.ok) << joined << error;
    if (ok) {
      EXPECT_EQ(command.kind, CommandKind::CheckUpdate) << joined;
      EXPECT_EQ(command.url, c.url) << joined;
    } else {
      EXPECT_FALSE(error.empty()) << joined;
    }
  }
}

TEST(CheckUpdateCommand, HelpNamesTheFormAndItsStatuses) {
  const std::string help = HelpText();
  EXPECT_NE(help.find("check-update [--url URL]"), std::string::npos);
  EXPECT_NE(help.find("0 no newer version, 3 a newer version, 1 the check failed"),
            std::string::npos);
  EXPECT_NE(kExitNewVersion, kExitOk);
  EXPECT_NE(kExitNewVersion, kExitFailed);
  EXPECT_NE(kExitNewVersion, kExitUsage);
}

TEST(CheckUpdateCommand, WithoutAnHttpClientItIsAUsageError) {
  std::ostringstream out, err;
  EXPECT_EQ(RunCommandLine({"check-update"}, out, err, StackFactory(), ClientOpeners{}),
            kExitUsage);
  EXPECT_TRUE(out.str().empty());
  EXPECT_NE(err.str().find("not part of this build"), std::string::npos);
}

// A client that answers from memory, to see the printed outcome of each kind.
class CannedClient : public platform::HttpClient {
public:
  static inline bool ok = true;
  static inline std::string body;
  static inline std::string error;
  static inline std::string lastUrl;
  bool Fetch(const std::string& url, std::string& outBody, std::string& outError) override {
    lastUrl = url;
    outBody = body;
    outError = error;
    return ok;
  }
  static std::unique_ptr<platform::HttpClient> Open() { return std::make_unique<CannedClient>(); }
};

TEST(CheckUpdateCommand, PrintsEachOutcomeWithItsStatus) {
  const ClientOpeners clients{&CannedClient::Open};
  struct Case {
    bool ok;
    std::string body, error;
    int status;
    std::string printed;
  };
  const Case cases[] = {
      {true, "<m version=\"1.7.4.0\" created=\"d\"/>", "", kExitOk,
       "There are no new versions available.\n"},
      {false, "", "Connection refused", kExitFailed,
       "Internet Connection Failed...Connection refused\n"},
      {false, "", "", kExitFailed, "Internet Connection Failed...\n"},
      {true, "<m version=\"1.7.5.0\" created=\"12/01/2026\"><update comment=\"tab\there\"/></m>",
       "", kExitNewVersion,
       "New Version Available!\nProduct\tWrenlocator "
       "1.7.5.0\nDate\t12/01/2026\nDescription\ttab\\there\n"},
  };
  for (const auto& c : cases) {
    CannedClient::ok = c.ok;
    CannedClient::body = c.body;
    CannedClient::error = c.error;
    std::ostringstream out, err;
    EXPECT_EQ(RunCommandLine({"check-update", "--url", "http://127.0.0.1:9/m.xml"}, out, err,
                             StackFactory(), clients),
              c.status);
    EXPECT_EQ(out.str(), c.printed);
    EXPECT_EQ(CannedClient::lastUrl, "http://127.0.0.1:9/m.xml");
  }
  std::ostringstream out, err;
  RunCommandLine({"check-update"}, out, err, StackFactory(), clients);
  EXPECT_EQ(CannedClient::lastUrl, "http://www.pelmark.example/wrenlocator/version.xml");
}

}  // namespace
}  // namespace wren
