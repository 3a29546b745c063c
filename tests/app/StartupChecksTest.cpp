#include "program/StartupChecks.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "program/CommandLine.h"
#include "base/System.h"
#include "support/TestFiles.h"

namespace wren {
namespace {

TEST(StartupChecks, SecondOwnerOfADataFolderIsRefusedByNameAndProcess) {
  test::TempFolder data("owner");
  platform::SetDataFolderOverride(data.path());
  // What an interrupted save left behind, and a file that only looks alike.
  test::WriteFile(data / "history.xml.tmp-a1B2c3", "half a file");
  test::WriteFile(data / "history.xml.tmp-keep", "not ours");

  platform::DataFolderLock first;
  std::string message;
  ASSERT_EQ(TakeDataFolder(first, message), kExitOk) << message;
  EXPECT_EQ(access((data / "history.xml.tmp-a1B2c3").c_str(), F_OK), -1);
  EXPECT_EQ(access((data / "history.xml.tmp-keep").c_str(), F_OK), 0);

  platform::DataFolderLock second;
  EXPECT_EQ(TakeDataFolder(second, message), kExitBusy);
  EXPECT_NE(message.find(data.path()), std::string::npos) << message;
  EXPECT_NE(message.find(std::to_string(getpid())), std::string::npos) << message;
  EXPECT_FALSE(second.Held());

  first.Release();
  EXPECT_EQ(TakeDataFolder(second, message), kExitOk) << message;
  platform::SetDataFolderOverride("");
}

TEST(StartupChecks, SettingsFileMustBeARegularFile) {
  test::TempFolder dir("settings");
  test::WriteFile(dir / "wren.ini", "[Settings]\n");
  std::string error;
  EXPECT_TRUE(SettingsFileUsable(dir / "wren.ini", error)) << error;
  EXPECT_FALSE(SettingsFileUsable(dir / "missing.ini", error));
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
  EXPECT_FALSE(SettingsFileUsable(dir.path(), error));
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
}

}  // namespace
}  // namespace wren
