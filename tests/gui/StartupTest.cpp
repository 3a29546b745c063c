// What happens before the window: the system-version check with its name
// table and refusal, the window's options, and the display check.
#include <QByteArray>
#include <QtGlobal>

#include <gtest/gtest.h>

#include "program/RunWindow.h"
#include "adapters/posix/SystemVersion.h"

namespace wren::gui {
namespace {

using platform::SystemPlatform;
using platform::SystemVersion;

TEST(SystemVersionCheck, NameTableAndVerdictByVersion) {
  const struct {
    int major, minor;
    SystemPlatform platform;
    const char* name;
    bool supported;
  } cases[] = {
      {4, 0, SystemPlatform::WindowsNt, "Windows NT", false},
      {5, 0, SystemPlatform::WindowsNt, "Windows 2000", false},
      {5, 1, SystemPlatform::WindowsNt, "Windows XP", true},
      {5, 2, SystemPlatform::WindowsNt, "Windows 2003", true},
      {4, 0, SystemPlatform::Windows, "Windows 95", false},
      {4, 10, SystemPlatform::Windows, "Windows 98", false},
      {4, 90, SystemPlatform::Windows, "Windows ME", false},
      {6, 0, SystemPlatform::WindowsNt, "", true},
      {5, 1, SystemPlatform::Windows, "Windows 98", false},  // not NT: 5.1 is no XP
      {5, 0, SystemPlatform::Windows, "", false},
      {0, 0, SystemPlatform::Win32s, "", false},  // the version could not be read
  };
  for (const auto& c : cases) {
    SystemVersion v{c.major, c.minor, c.platform, ""};
    EXPECT_EQ(platform::SystemName(v), c.name) << c.major << "." << c.minor;
    EXPECT_EQ(platform::IsSupported(v), c.supported) << c.major << "." << c.minor;
  }
}

TEST(SystemVersionCheck, LinuxKernelsFromThreeFourOnAndTheDistributionsName) {
  const struct {
    int major, minor;
    bool supported;
  } cases[] = {{2, 6, false}, {3, 3, false}, {3, 4, true}, {6, 1, true}};
  for (const auto& c : cases) {
    SystemVersion v{c.major, c.minor, SystemPlatform::Linux, "Debian GNU/Linux 12 (bookworm)"};
    EXPECT_EQ(platform::IsSupported(v), c.supported) << c.major << "." << c.minor;
    EXPECT_EQ(platform::SystemName(v), "Debian GNU/Linux 12 (bookworm)");
  }
}

TEST(SystemVersionCheck, RefusalIsShownOnceWithCaptionAndEndsStartUp) {
  std::vector<std::pair<std::string, std::string>> shown;
  auto refuse = [&](const std::string& caption, const std::string& text) {
    shown.emplace_back(caption, text);
  };
  EXPECT_FALSE(CheckSystemVersion({5, 0, SystemPlatform::WindowsNt, ""}, refuse));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].first, "Wrenlocator");
  EXPECT_EQ(shown[0].second, "Sorry...Wrenlocator dosn`t support Windows 2000 !");

  shown.clear();
  EXPECT_FALSE(CheckSystemVersion({2, 6, SystemPlatform::Linux, "Old Linux 1.0"}, refuse));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].second, "Sorry...Wrenlocator dosn`t support Old Linux 1.0 !");

  shown.clear();  // an unnamed system still gets its refusal
  EXPECT_FALSE(CheckSystemVersion({}, refuse));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].second, "Sorry...Wrenlocator dosn`t support  !");

  shown.clear();
  EXPECT_TRUE(CheckSystemVersion({5, 1, SystemPlatform::WindowsNt, ""}, refuse));
  EXPECT_TRUE(CheckSystemVersion({6, 1, SystemPlatform::Linux, "Debian"}, refuse));
  EXPECT_TRUE(shown.empty());
}

TEST(SystemVersionCheck, ThisMachineIsReadAndPasses) {
  const SystemVersion v = platform::ReadSystemVersion();
  EXPECT_EQ(v.platform, SystemPlatform::Linux);
  EXPECT_GE(v.major, 3);
  EXPECT_FALSE(v.name.empty());
  EXPECT_TRUE(platform::IsSupported(v));
}

TEST(SystemVersionCheck, KernelReleaseAndOsReleaseTexts) {
  int major = -1, minor = -1;
  EXPECT_TRUE(platform::ParseKernelRelease("6.1.0-18-amd64", major, minor));
  EXPECT_EQ(major, 6);
  EXPECT_EQ(minor, 1);
  EXPECT_TRUE(platform::ParseKernelRelease("5", major, minor));
  EXPECT_EQ(major, 5);
  EXPECT_EQ(minor, 0);
  EXPECT_FALSE(platform::ParseKernelRelease("linux-6.1", major, minor));
  EXPECT_FALSE(platform::ParseKernelRelease("", major, minor));

  EXPECT_EQ(platform::OsReleaseName(
                "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
            "Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(platform::OsReleaseName("NAME=Fedora\nVERSION_ID=39\n"), "Fedora 39");
  EXPECT_EQ(platform::OsReleaseName("PRETTY_NAME='Quoted \"One\"'\n"), "Quoted \"One\"");
  EXPECT_EQ(platform::OsReleaseName("PRETTY_NAME=\"Say \\\"hi\\\"\"\n"), "Say \"hi\"");
  EXPECT_EQ(platform::OsReleaseName("# nothing here\n"), "");
}

TEST(WindowOptions, OnlyTheWindowsOptionsMakeTheWindowForm) {
  const struct {
    std::vector<std::string> args;
    bool window;
    bool error;  // a malformed window option, rather than another form
  } cases[] = {
      {{}, true, false},
      {{"--stack", "sim"}, true, false},
      {{"--stack=sim:lab.xml", "--data-dir", "/tmp/x", "--settings", "s.ini"}, true, false},
      {{"--stack", "nonsense"}, false, true},
      {{"--data-dir"}, false, true},
      {{"--settings"}, false, true},
      {{"--settings="}, false, true},
      {{"--update-url", "http://127.0.0.1:8080/version.xml"}, true, false},
      {{"--update-url"}, false, true},
      {{"--update-url="}, false, true},
      {{"--mqtt", "mqtt://broker:1883", "--stack", "sim"}, true, false},
      {{"--mqtt"}, false, true},
      {{"--mqtt="}, false, true},
      {{"collect", "--mqtt", "mqtt://broker"}, false, false},
      {{"scan"}, false, false},
      {{"--headless"}, false, false},
      {{"--stack", "sim", "vendor", "00-11-22"}, false, false},
  };
  for (const auto& c : cases) {
    WindowOptions o;
    std::string error;
    EXPECT_EQ(ParseWindowOptions(c.args, o, error), c.window) << ::testing::PrintToString(c.args);
    EXPECT_EQ(!error.empty(), c.error) << ::testing::PrintToString(c.args) << ": " << error;
  }
  WindowOptions o;
  std::string error;
  ASSERT_TRUE(ParseWindowOptions({"--stack=sim:lab.xml", "--data-dir", "/d", "--settings", "s.ini"},
                                 o, error));
  EXPECT_EQ(o.stack, "sim:lab.xml");
  EXPECT_EQ(o.dataDir, "/d");
  EXPECT_EQ(o.settingsFile, "s.ini");
  EXPECT_EQ(o.updateUrl, "");
  ASSERT_TRUE(
      ParseWindowOptions({"--update-url=http://mirror.example/v.xml", "--stack", "sim"}, o, error));
  EXPECT_EQ(o.updateUrl, "http://mirror.example/v.xml");
  EXPECT_EQ(o.stack, "sim");
  EXPECT_EQ(o.mqttUrl, "");
  ASSERT_TRUE(ParseWindowOptions({"--mqtt=mqtts://a:b@broker"}, o, error));
  EXPECT_EQ(o.mqttUrl, "mqtts://a:b@broker");
}

// Restores an environment variable when the test ends.
class SavedEnv {
public:
  explicit SavedEnv(const char* name)
      : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_value(qgetenv(name)) {}
  ~SavedEnv() {
    if (m_had)
      qputenv(m_name, m_value);
    else
      qunsetenv(m_name);
  }

private:
  const char* m_name;
  bool m_had;
  QByteArray m_value;
};

TEST(DisplayCheck, NoDisplayIsSaidBeforeAnyToolkitStarts) {
  SavedEnv platform("QT_QPA_PLATFORM"), x11("DISPLAY"), wayland("WAYLAND_DISPLAY");
  qunsetenv("QT_QPA_PLATFORM");
  qunsetenv("DISPLAY");
  qunsetenv("WAYLAND_DISPLAY");
  std::string why;
  EXPECT_FALSE(DisplayAvailable(why));
  EXPECT_NE(why.find("DISPLAY"), std::string::npos) << why;

  qputenv("DISPLAY", QByteArray(":987"));  // nobody serves it
  why.clear();
  EXPECT_FALSE(DisplayAvailable(why));
  EXPECT_NE(why.find(":987"), std::string::npos) << why;

  qputenv("QT_QPA_PLATFORM",
          QByteArray("offscreen"));  // a platform chosen by the user needs no server
  EXPECT_TRUE(DisplayAvailable(why));
}

}  // namespace
}  // namespace wren::gui
