// The update check end to end over loopback HTTP: the Qt client, the
// manifest fetch, the version comparison and the dialog's rows.
#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <string>
#include <vector>

#include "core/datafile/XmlDataFile.h"
#include "adapters/posix/MemorySettingsStore.h"
#include "adapters/qt/QtHttpClient.h"
#include "update/LoopbackHttpServer.h"
#include "core/update/UpdateCheck.h"

namespace wren {
namespace {

QByteArray Manifest(const std::string& version, const std::string& inside = {}) {
  std::string text = "<?xml version=\"1.0\"?>\r\n<Wrenlocator version=\"" + version +
                     "\" vendor=\"Pelmark LLC.\" created=\"11/30/2026 09:15:00\"";
  text += inside.empty() ? "/>\r\n" : ">\r\n" + inside + "</Wrenlocator>\r\n";
  return QByteArray::fromStdString(text);
}

std::vector<std::string> Flatten(const std::vector<VersionRow>& rows) {
  std::vector<std::string> out;
  for (const auto& r : rows) out.push_back(r.label + "|" + std::to_string(r.image) + "|" + r.text);
  return out;
}

class UpdateCheckOverHttp : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(server.IsListening()); }

  UpdateCheckResult Check(const QByteArray& path) {
    return CheckForUpdates(client, server.Url(path.toStdString()));
  }

  test::LoopbackHttpServer server;
  platform::QtHttpClient client{3000};
};

struct VersionCase {
  const char* announced;
  UpdateOutcome expected;
};

TEST_F(UpdateCheckOverHttp, AnnouncedVersionAgainstOurOwn) {
  const VersionCase cases[] = {
      {"1.7.4.0", UpdateOutcome::NoNewVersion},    // equal
      {"1.7.3.9", UpdateOutcome::NoNewVersion},    // lower in the last part
      {"1.6.99.99", UpdateOutcome::NoNewVersion},  // lower where it decides
      {"0.9.9.9", UpdateOutcome::NoNewVersion},
      {"1.7.4.1", UpdateOutcome::NewVersion},  // higher only in the fourth part
      {"1.7.5.0", UpdateOutcome::NewVersion},
      {"2.0.0.0", UpdateOutcome::NewVersion},
      {"1.7.4.2147483648", UpdateOutcome::NewVersion},  // above the signed range
      {"4294967295.0.0.0", UpdateOutcome::NewVersion},
      {"1.8", UpdateOutcome::NewVersion},    // missing parts keep ours: 1.8.4.0
      {"1.7", UpdateOutcome::NoNewVersion},  // 1.7.4.0
      {"", UpdateOutcome::NoNewVersion},
      {"not a version", UpdateOutcome::NoNewVersion},
  };
  int n = 0;
  for (const auto& c : cases) {
    const QByteArray path = "/m" + QByteArray::number(n++) + ".xml";
    server.Serve(path, Manifest(c.announced));
    UpdateCheckResult r = Check(path);
    EXPECT_EQ(r.outcome, c.expected) << c.announced;
    if (c.expected == UpdateOutcome::NoNewVersion) {
      EXPECT_EQ(r.message, "There are no new versions available.") << c.announced;
    } else {
      EXPECT_EQ(r.manifestText, Manifest(c.announced).toStdString());
    }
  }
}

TEST_F(UpdateCheckOverHttp, ManifestsThatAreNotManifestsOfferNothing) {
  const QByteArray bodies[] = {"", "<html><body>Moved</body></html>", "<root version=\"9.9.9.9\"",
                               "garbage \x01\x02", "<?xml version=\"1.0\"?>\r\n"};
  int n = 0;
  for (const auto& body : bodies) {
    const QByteArray path = "/bad" + QByteArray::number(n++);
    server.Serve(path, body);
    UpdateCheckResult r = Check(path);
    EXPECT_EQ(r.outcome, UpdateOutcome::NoNewVersion) << body.toStdString();
  }
}

TEST_F(UpdateCheckOverHttp, ErrorPageWithLengthIsAnAnswer) {
  server.Serve("/gone.xml", "<html><head><title>404 Not Found</title></head></html>", 404);
  UpdateCheckResult r = Check("/gone.xml");
  EXPECT_EQ(r.outcome, UpdateOutcome::NoNewVersion);
  EXPECT_EQ(r.message, "There are no new versions available.");
  // Even an error page announcing a newer version counts: the status is not read.
  server.Serve("/odd.xml", Manifest("1.7.4.9"), 404);
  EXPECT_EQ(Check("/odd.xml").outcome, UpdateOutcome::NewVersion);
}

TEST_F(UpdateCheckOverHttp, ReplyWithoutContentLengthFailsWithNothingAppended) {
  server.Answer("/stream.xml",
                "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nConnection: close\r\n\r\n" +
                    Manifest("9.0.0.0"));
  UpdateCheckResult r = Check("/stream.xml");
  EXPECT_EQ(r.outcome, UpdateOutcome::Failed);
  EXPECT_EQ(r.message, "Internet Connection Failed...");

  server.Answer("/chunked.xml",
                "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: "
                "close\r\n\r\n5\r\nhello\r\n0\r\n\r\n");
  EXPECT_EQ(Check("/chunked.xml").message, "Internet Connection Failed...");
}

// A moved manifest is followed, and what the last server says is read in
// full; a move that leads nowhere is a failure, never "no new versions".
TEST_F(UpdateCheckOverHttp, MovedManifestsAreFollowedAndBrokenMovesFail) {
  const auto moved = [](const QByteArray& to) {
    return "HTTP/1.1 301 Moved Permanently\r\nLocation: " + to +
           "\r\nContent-Length: 5\r\nConnection: close\r\n\r\nmoved";
  };
  server.Answer("/old.xml", moved("/new.xml"));
  server.Serve("/new.xml", Manifest("99.0.0.0"));
  UpdateCheckResult r = Check("/old.xml");
  EXPECT_EQ(r.outcome, UpdateOutcome::NewVersion) << r.message;
  EXPECT_EQ(r.manifestText, Manifest("99.0.0.0").toStdString())
      << "the final answer is read to its own length";
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_TRUE(server.Requests()[1].startsWith("GET /new.xml"));

  // Five moves are followed; a sixth is one too many.
  for (int i = 0; i < 6; ++i)
    server.Answer("/hop" + QByteArray::number(i), moved("/hop" + QByteArray::number(i + 1)));
  server.Serve("/hop6", Manifest("99.0.0.0"));
  EXPECT_EQ(Check("/hop1").outcome, UpdateOutcome::NewVersion);
  server.Serve("/hop6", Manifest("99.0.0.0"));
  EXPECT_EQ(Check("/hop0").outcome, UpdateOutcome::Failed);

  QTcpServer closed;
  ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
  const QByteArray nowhere =
      "http://127.0.0.1:" + QByteArray::number(closed.serverPort()) + "/version.xml";
  closed.close();
  server.Answer("/loop.xml", moved("/loop.xml"));
  server.Answer("/nowhere.xml", moved(nowhere));
  server.Answer("/ftp.xml", moved("ftp://127.0.0.1/version.xml"));
  server.Answer("/bare.xml", "HTTP/1.1 302 Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  for (const char* path : {"/loop.xml", "/nowhere.xml", "/ftp.xml", "/bare.xml"}) {
    UpdateCheckResult failed = Check(path);
    EXPECT_EQ(failed.outcome, UpdateOutcome::Failed) << path << ": " << failed.message;
    EXPECT_EQ(failed.message.rfind("Internet Connection Failed...", 0), 0u) << failed.message;
  }
}

TEST_F(UpdateCheckOverHttp, RefusedConnectionFailsWithTheReason) {
  QTcpServer closed;
  ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
  const std::string url =
      "http://127.0.0.1:" + std::to_string(closed.serverPort()) + "/version.xml";
  closed.close();
  UpdateCheckResult r = CheckForUpdates(client, url);
  EXPECT_EQ(r.outcome, UpdateOutcome::Failed);
  EXPECT_EQ(r.message.rfind("Internet Connection Failed...", 0), 0u) << r.message;
  EXPECT_GT(r.message.size(), std::string("Internet Connection Failed...").size())
      << "the reason is appended";
}

TEST_F(UpdateCheckOverHttp, SilentServerFailsWhenTheLimitRunsOut) {
  server.Hang("/slow.xml");
  platform::QtHttpClient quick(1000);
  QElapsedTimer clock;
  clock.start();
  UpdateCheckResult r = CheckForUpdates(quick, server.Url("/slow.xml"));
  const qint64 waited = clock.elapsed();
  EXPECT_EQ(r.outcome, UpdateOutcome::Failed);
  EXPECT_EQ(r.message, "Internet Connection Failed...The server did not answer within 1 seconds.");
  // It gave up by its own limit, not by a server or socket time-out.
  EXPECT_GE(waited, 900);
  EXPECT_LT(waited, 10000);
  EXPECT_EQ(platform::kHttpTimeoutMs, 15000);
}

TEST_F(UpdateCheckOverHttp, OversizedReplyIsRefusedUnread) {
  // Announces two MiB and then sends nothing more: a client that waited
  // for the body would run into its time limit instead.
  server.AnswerAndHold("/huge.xml",
                       "HTTP/1.1 200 OK\r\nContent-Length: 2097152\r\n\r\n<Wrenlocator ");
  UpdateCheckResult r = Check("/huge.xml");
  EXPECT_EQ(r.outcome, UpdateOutcome::Failed);
  EXPECT_EQ(r.message,
            "Internet Connection Failed...The reply is too large to be a version manifest; it was "
            "not read.");

  // Exactly the limit is still read.
  QByteArray big = Manifest("1.7.4.5");
  big += QByteArray(static_cast<qsizetype>(platform::kHttpBodyLimit) - big.size(), ' ');
  server.Serve("/limit.xml", big);
  EXPECT_EQ(Check("/limit.xml").outcome, UpdateOutcome::NewVersion);
}

TEST_F(UpdateCheckOverHttp, ClientSendsItsNameAndTakesStatedLengthAndStopsAtZeroByte) {
  // Content-Length shorter than what follows: only that many bytes count.
  const QByteArray manifest = Manifest("1.7.4.3");
  server.Answer("/short.xml",
                "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(manifest.size()) +
                    "\r\nConnection: close\r\n\r\n" + manifest + "TRAILING");
  std::string body, error;
  ASSERT_TRUE(client.Fetch(server.Url("/short.xml"), body, error)) << error;
  EXPECT_EQ(body, manifest.toStdString());
  ASSERT_FALSE(server.Requests().empty());
  EXPECT_TRUE(server.Requests().back().contains("\r\nUser-Agent: Wrenlocator/1.7\r"))
      << server.Requests().back().toStdString();

  QByteArray zero = Manifest("1.7.4.8");
  zero += QByteArray("\0<second version=\"9.9.9.9\"/>", 28);
  server.Serve("/zero.xml", zero);
  XmlDataFile file;
  ASSERT_TRUE(file.FetchUrl(server.Url("/zero.xml"), client, error));
  EXPECT_EQ(file.GetDocumentText(), Manifest("1.7.4.8").toStdString());
}

TEST_F(UpdateCheckOverHttp, DialogRowsFromTheFetchedManifest) {
  server.Serve("/full.xml",
               Manifest("1.8.0.2",
                        "<update type=\"Maintenance\" comment=\"Faster scans\">"
                        "<info action=\"Added\" name=\"Pairing &amp; trust\"/>"
                        "<info action=\"Fixed\" name=\"A crash on exit\"/></update>\r\n"));
  UpdateCheckResult r = Check("/full.xml");
  ASSERT_EQ(r.outcome, UpdateOutcome::NewVersion);
  EXPECT_EQ(
      Flatten(BuildVersionRows(r.manifestText)),
      (std::vector<std::string>{"Product|33|Wrenlocator 1.8.0.2", "Date|34|11/30/2026 09:15:00",
                                "Type|34|Maintenance", "Description|34|Faster scans",
                                "Added|34|Pairing & trust", "Fixed|34|A crash on exit"}));
}

TEST(VersionRows, OptionalRowsAndOnlyTheFirstUpdate) {
  struct Case {
    const char* name;
    std::string inside;
    std::vector<std::string> extra;  // rows after Product and Date
  };
  const Case cases[] = {
      {"no update", "<info action=\"Stray\" name=\"at the root\"/>\r\n", {}},
      {"empty type, a comment",
       "<update type=\"\" comment=\"Security fix\"/>\r\n",
       {"Description|34|Security fix"}},
      {"type only", "<update type=\"Major\"/>\r\n", {"Type|34|Major"}},
      {"info outside the first update",
       "<info action=\"Root\" name=\"no\"/>\r\n<update><info action=\"A\" name=\"yes\"/>"
       "<other><info action=\"Deep\" name=\"no\"/></other></update>\r\n"
       "<update type=\"Second\"><info action=\"B\" name=\"no\"/></update>\r\n",
       {"A|34|yes"}},
      {"update after other elements",
       "<news/><update comment=\"c\"><info action=\"X\" name=\"x\"/></update>\r\n",
       {"Description|34|c", "X|34|x"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> expected{"Product|33|Wrenlocator 1.7.4.7",
                                      "Date|34|11/30/2026 09:15:00"};
    expected.insert(expected.end(), c.extra.begin(), c.extra.end());
    EXPECT_EQ(Flatten(BuildVersionRows(Manifest("1.7.4.7", c.inside).toStdString())), expected)
        << c.name;
  }
}

TEST(VersionRows, ProductShowsTheManifestsVersionAndUnreadablePartsKeepOurs) {
  EXPECT_EQ(BuildVersionRows(Manifest("3.1.4.1592").toStdString()).front().text,
            "Wrenlocator 3.1.4.1592");
  EXPECT_EQ(BuildVersionRows(Manifest("2.5").toStdString()).front().text, "Wrenlocator 2.5.4.0");
  // Not a manifest at all: our own version and an empty date.
  EXPECT_EQ(Flatten(BuildVersionRows("<<<")),
            (std::vector<std::string>{"Product|33|Wrenlocator 1.7.4.0", "Date|34|"}));
}

TEST(ManifestAddress, SettingOverridesTheMakersAddress) {
  platform::MemorySettingsStore settings;
  EXPECT_EQ(ManifestUrl(nullptr), std::string(kManifestUrl));
  EXPECT_EQ(ManifestUrl(&settings), std::string(kManifestUrl));
  settings.WriteText("Settings", "UpdateUrl", "");
  EXPECT_EQ(ManifestUrl(&settings), std::string(kManifestUrl));
  settings.WriteText("Settings", "UpdateUrl", "http://mirror.example/wl.xml");
  EXPECT_EQ(ManifestUrl(&settings), "http://mirror.example/wl.xml");
  EXPECT_EQ(std::string(kManifestUrl).find("http://www.pelmark.example/"), 0u);
  EXPECT_EQ(std::string(kInstallerUrl).find("http://www.pelmark.example/"), 0u);
}

TEST(ContentLength, RulesForTheStatedLength) {
  struct Case {
    std::optional<std::string> header;
    bool ok;
    std::uint64_t length;
    bool reason;
  };
  const Case cases[] = {
      {std::nullopt, false, 0, false}, {"", false, 0, false},
      {"0", true, 0, false},           {"42", true, 42, false},
      {" 17 ", true, 17, false},       {"1048576", true, 1048576, false},
      {"1048577", false, 0, true},     {"-5", false, 0, true},
      {"12abc", false, 0, true},       {"99999999999999999999999", false, 0, true},
  };
  for (const auto& c : cases) {
    auto v = platform::CheckContentLength(c.header);
    EXPECT_EQ(v.ok, c.ok) << c.header.value_or("(none)");
    if (c.ok) {
      EXPECT_EQ(v.length, c.length);
    }
    EXPECT_EQ(!v.error.empty(), c.reason) << c.header.value_or("(none)");
  }
}

TEST(HttpClient, AddressThatIsNoUrlFails) {
  platform::QtHttpClient client(1000);
  std::string body = "old", error;
  EXPECT_FALSE(client.Fetch("not a url", body, error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(body.empty());
}

}  // namespace
}  // namespace wren
