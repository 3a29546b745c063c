#include "program/CommandLine.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>

#include "base/System.h"

namespace wren {
namespace {

const std::string kScenario = std::string(WREN_TEST_DATA) + "/cli-scenario.xml";

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome Execute(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  int status = RunCommandLine(args, out, err);
  return {status, out.str(), err.str()};
}

std::size_t Lines(const std::string& s) {
  return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n'));
}

TEST(CommandLine, ParsesEveryForm) {
  struct Case {
    std::vector<std::string> args;
    CommandKind kind;
    std::string stack, dataDir, argument;
    bool json;
  } cases[] = {
      {{}, CommandKind::Window, "", "", "", false},
      {{"--stack", "sim"}, CommandKind::Window, "sim", "", "", false},
      {{"scan"}, CommandKind::Scan, "", "", "", false},
      {{"scan", "--json", "--stack=sim:a.xml"}, CommandKind::Scan, "sim:a.xml", "", "", true},
      {{"--data-dir", "/tmp/d", "scan", "--stack", "bluez"},
       CommandKind::Scan,
       "bluez",
       "/tmp/d",
       "",
       false},
      {{"services", "00:1A:2B:3C:4D:5E"},
       CommandKind::Services,
       "",
       "",
       "00:1A:2B:3C:4D:5E",
       false},
      {{"services", ""}, CommandKind::Services, "", "", "", false},
      {{"services", "--", "-odd"}, CommandKind::Services, "", "", "-odd", false},
      {{"vendor", "00-0A-D9", "--data-dir=/x"}, CommandKind::Vendor, "", "/x", "00-0A-D9", false},
      {{"class", "5A020C"}, CommandKind::Class, "", "", "5A020C", false},
      {{"history"}, CommandKind::History, "", "", "", false},
      {{"history", "--json", "--data-dir", "/d"}, CommandKind::History, "", "/d", "", true},
      {{"scan", "--help"}, CommandKind::Help, "", "", "", false},
      {{"-h"}, CommandKind::Help, "", "", "", false},
      {{"--version"}, CommandKind::Version, "", "", "", false},
      {{"--version", "--help"}, CommandKind::Help, "", "", "", false},
  };
  for (const auto& c : cases) {
    Command command;
    std::string error;
    ASSERT_TRUE(ParseCommandLine(c.args, command, error)) << error;
    EXPECT_EQ(command.kind, c.kind);
    EXPECT_EQ(command.stack, c.stack);
    EXPECT_EQ(command.dataDir, c.dataDir);
    EXPECT_EQ(command.argument, c.argument);
    EXPECT_EQ(command.json, c.json);
  }
}

TEST(CommandLine, BadUsageIsStatusTwoWithOneLine) {
  const std::vector<std::vector<std::string>> cases = {
      {"frobnicate"},
      {"scan", "extra"},
      {"services"},
      {"services", "a", "b"},
      {"vendor"},
      {"class"},
      {"--stack"},
      {"scan", "--stack", "winsock"},
      {"scan", "--stack", "sim:"},
      {"scan", "--data-dir"},
      {"scan", "--data-dir="},
      {"scan", "--verbose"},
      {"services", "00:1A", "--json"},
      {"history", "extra"},
      {"vendor", "00-0A-D9", "--json"},
      {"--json"},
      {"vendor", "00-0A"},
      {"vendor", "00--0A-D9"},
      {"vendor", "zz-zz-zz"},
      {"class", "0x"},
      {"class", "123456789"},
      {"class", "12G"},
      {"scan", "--stack", "bluez"},
      {"services", "00:1A", "--stack", "bluez"},
      {"collect"},
      {"collect", "--mqtt"},
      {"collect", "--mqtt", ""},
      {"collect", "--mqtt", "http://broker"},
      {"collect", "--mqtt", "mqtt://broker:99999"},
      {"collect", "--mqtt", "mqtt://broker", "extra"},
      {"scan", "--mqtt", "mqtt://broker"},
      {"--mqtt", "mqtt://broker"},
  };
  for (const auto& args : cases) {
    Outcome r = Execute(args);
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_EQ(r.status, kExitUsage) << joined;
    EXPECT_EQ(Lines(r.err), 1u) << joined << ": " << r.err;
    EXPECT_EQ(r.err.rfind("wrenlocator: ", 0), 0u) << r.err;
    EXPECT_EQ(r.out, "") << joined;
  }
}

TEST(CommandLine, CollectTakesTheBrokerAndTheDataFolder) {
  Command command;
  std::string error;
  ASSERT_TRUE(ParseCommandLine({"collect", "--data-dir", "/d", "--mqtt=mqtts://a:b@broker"},
                               command, error))
      << error;
  EXPECT_EQ(command.kind, CommandKind::Collect);
  EXPECT_EQ(command.mqttUrl, "mqtts://a:b@broker");
  EXPECT_EQ(command.dataDir, "/d");
}

TEST(CommandLine, VersionSaysTheProgramAndItsVersionOnly) {
  Outcome r = Execute({"--version"});
  EXPECT_EQ(r.status, kExitOk);
  EXPECT_EQ(r.out, "wrenlocator 1.7.4.0\n");
  EXPECT_EQ(r.err, "");
}

TEST(CommandLine, HelpListsTheCommandsAndOptions) {
  Outcome r = Execute({"--help"});
  EXPECT_EQ(r.status, kExitOk);
  for (const char* word :
       {"scan", "--json", "services ADDRESS", "vendor PREFIX", "class HEX", "history",
        "--export txt|xml|pdf FILE", "--stack bluez", "sim[:FILE]", "--data-dir DIR", "--help",
        "collect --mqtt URL", "wrenlocator/HOST/devices/ADDRESS"})
    EXPECT_NE(r.out.find(word), std::string::npos) << word;
  EXPECT_EQ(r.err, "");
}

TEST(CommandLine, VendorLooksUpTheEmbeddedDatabase) {
  Outcome r = Execute({"vendor", "00-01-C8"});
  EXPECT_EQ(r.status, kExitOk) << r.err;
  EXPECT_FALSE(r.out.empty());
  EXPECT_EQ(Lines(r.out), 1u);
  // Any spelling of the same prefix gives the same answer.
  for (const char* spelling : {"00:01:c8", "0001C8", "00-01-c8", "00:01:C8:12:34:56"})
    EXPECT_EQ(Execute({"vendor", spelling}).out, r.out) << spelling;
  Outcome none = Execute({"vendor", "02-AB-CD"});
  EXPECT_EQ(none.status, kExitFailed);
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.err, "wrenlocator: no company is listed for 02-AB-CD\n");
}

TEST(CommandLine, ClassDecodesTheTexts) {
  EXPECT_EQ(Execute({"class", "5A020C"}).out,
            "Phone/Smart phone\tNetworking,Capturing,Object Transfer,Telephony\t11\n");
  EXPECT_EQ(Execute({"class", "0x000540"}).out, "Peripheral/Keyboard/Uncategorised\t\t6\n");
  EXPECT_EQ(Execute({"class", "0"}).out, "Miscellaneous\t\t6\n");
}

class ScanCommandTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (const char* tz = std::getenv("TZ")) m_saved = tz, m_had = true;
    setenv("TZ", "UTC0", 1);
    tzset();
  }
  void TearDown() override {
    if (m_had)
      setenv("TZ", m_saved.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

private:
  std::string m_saved;
  bool m_had = false;
};

TEST_F(ScanCommandTest, OneRecordPerLineWithEscapedFields) {
  Outcome r = Execute({"scan", "--stack", "sim:" + kScenario});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(r.out,
            "Desk\tDesk\t00:02:5B:10:20:30\tCambridge Silicon "
            "Radio\t\t\tComputer/Desktop\t\t0x000104\t1\t1\t1\t13\t1\n"
            "Desk\tTab\\t\"quoted\" \\\\ Zo\xC3\xAB\t00:15:2A:3C:4D:5E\tNokia "
            "Corporation\t12:00:00 07/21/2009\t"
            "00:00:00 01/01/1970\tPhone/Smart phone\tNetworking,Capturing,Object "
            "Transfer,Telephony\t0x5A020C\t1\t1\t1\t11\t0\n"
            "Desk\tOther\t0A:0B:0C:0D:0E:0F\t\t00:00:00 01/01/1970\t00:00:00 "
            "01/01/1970\tMiscellaneous\t\t0x000000\t0\t1\t0\t6\t0\n");
  // The simulation says so, on stderr.
  EXPECT_NE(r.err.find("Simulated Bluetooth stack"), std::string::npos);
}

TEST_F(ScanCommandTest, JsonEscapesEveryField) {
  Outcome r = Execute({"scan", "--json", "--stack", "sim:" + kScenario});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(
      r.out.rfind("[\n{\"radioName\":\"Desk\",\"name\":\"Desk\",\"address\":\"00:02:5B:10:20:30\"",
                  0),
      0u)
      << r.out;
  EXPECT_NE(r.out.find("\"name\":\"Tab\\t\\\"quoted\\\" \\\\ Zo\xC3\xAB\""), std::string::npos)
      << r.out;
  EXPECT_NE(
      r.out.find(
          "\"classOfDevice\":5898764,\"connected\":true,\"remembered\":true,\"authenticated\":true,"
          "\"image\":11,\"isLocalRadio\":false}"),
      std::string::npos);
  EXPECT_EQ(r.out.substr(r.out.size() - 4), "}\n]\n");
  EXPECT_EQ(Lines(r.out), 5u);
}

TEST_F(ScanCommandTest, LowEnergyDevicesGetTheirTextsAndJsonFields) {
  const std::string le = std::string(WREN_TEST_DATA) + "/cli-le-scenario.xml";
  Outcome tabbed = Execute({"scan", "--stack", "sim:" + le});
  ASSERT_EQ(tabbed.status, kExitOk) << tabbed.err;
  EXPECT_NE(tabbed.out.find("Desk\tRunner\tF4:F5:D8:11:22:33\tApple, Inc.\t"), std::string::npos)
      << tabbed.out;
  EXPECT_NE(tabbed.out.find("\tWatch/Sports Watch\tBattery Service\t0x000000\t"), std::string::npos)
      << tabbed.out;
  EXPECT_NE(tabbed.out.find("Desk\tBelt\tD0:03:4B:44:55:66\tApple, Inc.\t"), std::string::npos)
      << tabbed.out;
  EXPECT_NE(tabbed.out.find("\tHeart Rate Sensor/Heart Rate Belt\tHeart Rate,Battery Service\t"),
            std::string::npos)
      << tabbed.out;
  // Unknown company: no producer (not the prefix's); unlisted appearance:
  // the class decoding's text.
  EXPECT_NE(tabbed.out.find("Desk\t\t7A:00:00:00:00:01\t\t"), std::string::npos) << tabbed.out;

  Outcome r = Execute({"scan", "--json", "--stack", "sim:" + le});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_NE(r.out.find("\"address\":\"F4:F5:D8:11:22:33\",\"producer\":\"Apple, Inc.\""),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\"type\":\"Watch/Sports Watch\",\"services\":\"Battery Service\""),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\"image\":9,\"isLocalRadio\":false,\"addressType\":\"random\","
                       "\"appearance\":193,\"manufacturer\":76}"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\"addressType\":\"public\",\"appearance\":833}"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\"addressType\":\"random\",\"appearance\":65472,\"manufacturer\":61440}"),
            std::string::npos)
      << r.out;
  // The radio reports none of them.
  EXPECT_EQ(r.out.find("\"isLocalRadio\":true,"), std::string::npos) << r.out;
}

TEST(CommandLine, JsonStringsAreValid) {
  EXPECT_EQ(JsonString("plain"), "\"plain\"");
  EXPECT_EQ(JsonString("a\"b\\c/d"), "\"a\\\"b\\\\c/d\"");
  EXPECT_EQ(JsonString("\b\f\n\r\t\x01\x1F"), "\"\\b\\f\\n\\r\\t\\u0001\\u001F\"");
  EXPECT_EQ(JsonString(std::string("\0", 1)), "\"\\u0000\"");
  EXPECT_EQ(JsonString("Zo\xC3\xAB \xE2\x98\xBA \xF0\x9F\x98\x80"),
            "\"Zo\xC3\xAB \xE2\x98\xBA \xF0\x9F\x98\x80\"");
  // Bytes that are not UTF-8: a lone continuation, a cut sequence, an
  // overlong form, a surrogate, a byte past U+10FFFF.
  EXPECT_EQ(JsonString("a\x80z"), "\"a\\uFFFDz\"");
  EXPECT_EQ(JsonString("a\xE2\x98"), "\"a\\uFFFD\\uFFFD\"");
  EXPECT_EQ(JsonString("\xC0\xAF"), "\"\\uFFFD\\uFFFD\"");
  EXPECT_EQ(JsonString("\xED\xA0\x80"), "\"\\uFFFD\\uFFFD\\uFFFD\"");
  EXPECT_EQ(JsonString("\xF4\x90\x80\x80"), "\"\\uFFFD\\uFFFD\\uFFFD\\uFFFD\"");
}

TEST(CommandLine, FieldEscapes) {
  EXPECT_EQ(EscapeField("a\tb\nc\rd\\e\x01"), "a\\tb\\nc\\rd\\\\e\\x01");
  EXPECT_EQ(EscapeField("Zo\xC3\xAB"), "Zo\xC3\xAB");
}

TEST(CommandLine, ServicesPrintsOnePiecePerSegment) {
  Outcome r = Execute({"services", "00:15:2A:3C:4D:5E", "--stack", "sim:" + kScenario});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(r.out, "Hands-Free\n Audio Gateway\n\nMaker\n");
  EXPECT_EQ(Execute({"services", "", "--stack", "sim:" + kScenario}).out,
            "Hands-Free\n Audio Gateway\n\nMaker\nSerial Port\n");
  // Nothing found is status 1, as --help says.
  Outcome none = Execute({"services", "00:15:2a", "--stack", "sim:" + kScenario});
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.status, kExitFailed);
  EXPECT_NE(none.err.find("no service texts found for devices in range matching \"00:15:2a\""),
            std::string::npos)
      << none.err;
}

TEST(CommandLine, UnreadableScenarioIsStatusOneWithTheReason) {
  Outcome r = Execute({"scan", "--stack", "sim:/nonexistent/s.xml"});
  EXPECT_EQ(r.status, kExitFailed);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("wrenlocator: /nonexistent/s.xml: ", 0), 0u) << r.err;
  EXPECT_EQ(Lines(r.err), 1u);
}

TEST(CommandLine, DemoScenarioIsTheDefault) {
  Outcome r = Execute({"scan"});
  EXPECT_EQ(r.status, kExitOk);
  EXPECT_GE(Lines(r.out), 14u);
  EXPECT_EQ(r.err, "wrenlocator: Simulated Bluetooth stack: demo scenario\n");
}

TEST(CommandLine, DataDirSetsTheDataFolder) {
  char folder[] = "/tmp/wren-cli-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  EXPECT_EQ(Execute({"class", "0", "--data-dir", folder}).status, kExitOk);
  EXPECT_EQ(platform::DataFolder(), folder);
  platform::SetDataFolderOverride("");
}

class HistoryCommandTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_NE(mkdtemp(m_folder), nullptr); }
  void TearDown() override {
    platform::SetDataFolderOverride("");
    std::filesystem::remove_all(m_folder);
  }
  void WriteHistory(const std::string& text) {
    std::ofstream(std::string(m_folder) + "/history.xml", std::ios::binary) << text;
  }
  Outcome History(bool json = false) {
    std::vector<std::string> args{"history", "--data-dir", m_folder};
    if (json) args.push_back("--json");
    return Execute(args);
  }
  char m_folder[32] = "/tmp/wren-history-XXXXXX";
};

const char* kTwoEntries =
    "<?xml version=\"1.0\"?>\r\n<dataroot version=\"1.7.4.0\">\r\n"
    "<entry Radio=\"Desk\" Name=\"Phone\" Address=\"00:1A:2B:3C:4D:5E\" Producer=\"Acme\" "
    "LastSeenTime=\"14:03:59 07/21/2009\" LastUsedTime=\"\" Type=\"Phone/Smart phone\" "
    "Services=\"Audio,\" Image=\"3\"/>\r\n"
    "<entry Radio=\"Desk\" Name=\"\" Address=\"01:02:03:04:05:06\" Producer=\"\" "
    "LastSeenTime=\"\" LastUsedTime=\"\" Type=\"Two&#10;lines\" Services=\"\" Image=\"x\"/>\r\n"
    "</dataroot>\r\n";

TEST_F(HistoryCommandTest, PrintsASummaryLineAndEightIndentedLinesPerDevice) {
  WriteHistory(kTwoEntries);
  Outcome r = History();
  EXPECT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "Phone Phone/Smart phone Acme 14:03:59 07/21/2009\n"
            "  Radio:Desk\n  Name:Phone\n  Type:Phone/Smart phone\n  Address:00:1A:2B:3C:4D:5E\n"
            "  Producer:Acme\n  LastSeenTime:14:03:59 07/21/2009\n  LastUsedTime:\n"
            "  Services:Audio,\n"
            " Two\\nlines  \n"
            "  Radio:Desk\n  Name:\n  Type:Two\\nlines\n  Address:01:02:03:04:05:06\n"
            "  Producer:\n  LastSeenTime:\n  LastUsedTime:\n  Services:\n");
}

TEST_F(HistoryCommandTest, JsonHasTheSameTextsAndTheImage) {
  WriteHistory(kTwoEntries);
  Outcome r = History(true);
  EXPECT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(r.out,
            "[\n{\"summary\":\"Phone Phone/Smart phone Acme 14:03:59 07/21/2009\",\"image\":3,"
            "\"children\":[\"Radio:Desk\",\"Name:Phone\",\"Type:Phone/Smart phone\","
            "\"Address:00:1A:2B:3C:4D:5E\",\"Producer:Acme\",\"LastSeenTime:14:03:59 07/21/2009\","
            "\"LastUsedTime:\",\"Services:Audio,\"]},\n"
            "{\"summary\":\" Two\\nlines  \",\"image\":0,"
            "\"children\":[\"Radio:Desk\",\"Name:\",\"Type:Two\\nlines\","
            "\"Address:01:02:03:04:05:06\",\"Producer:\",\"LastSeenTime:\",\"LastUsedTime:\","
            "\"Services:\"]}\n]\n");
}

TEST_F(HistoryCommandTest, NoFileIsAnEmptyHistoryAndAnUnreadableOneSaysSo) {
  Outcome none = History();
  EXPECT_EQ(none.status, kExitOk);
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(History(true).out, "[]\n");
  EXPECT_FALSE(std::filesystem::exists(std::string(m_folder) + "/history.xml"))
      << "reading the history must not create it";

  WriteHistory("<dataroot><entry");
  Outcome bad = History();
  EXPECT_EQ(bad.status, kExitFailed);
  EXPECT_EQ(bad.out, "");
  EXPECT_EQ(Lines(bad.err), 1u);
  EXPECT_NE(bad.err.find(std::string(m_folder) + "/history.xml could not be read"),
            std::string::npos)
      << bad.err;
  std::ifstream in(std::string(m_folder) + "/history.xml");
  std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(kept, "<dataroot><entry") << "an unreadable history is left as it is";
}

// A link or a FIFO named history.xml is neither followed nor waited on.
TEST_F(HistoryCommandTest, ALinkOrAFifoInPlaceOfTheFileIsNotRead) {
  const std::string path = std::string(m_folder) + "/history.xml";
  const std::string real = std::string(m_folder) + "/real.xml";
  std::ofstream(real, std::ios::binary) << kTwoEntries;
  ASSERT_EQ(symlink(real.c_str(), path.c_str()), 0);
  Outcome linked = History();
  EXPECT_EQ(linked.status, kExitFailed);
  EXPECT_EQ(linked.out, "") << "nothing is read through the link";
  EXPECT_NE(linked.err.find(path + " could not be read"), std::string::npos) << linked.err;

  ASSERT_EQ(unlink(path.c_str()), 0);
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  auto run = std::async(std::launch::async, [this] { return History(); });
  if (run.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    // Let the stuck reader go before failing.
    const int writer = open(path.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) close(writer);
    FAIL() << "history waited on a FIFO";
  }
  Outcome fifo = run.get();
  EXPECT_EQ(fifo.status, kExitFailed);
  EXPECT_NE(fifo.err.find(path + " could not be read"), std::string::npos) << fifo.err;
}

}  // namespace
}  // namespace wren
