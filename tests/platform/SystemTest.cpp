#include "platform/System.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace wren::platform {
namespace {

using test::ReadFile;

TEST(System, FileBesideExecutableReplacesTheFileName) {
  std::string exe = ExecutablePath();
  ASSERT_FALSE(exe.empty());
  std::string beside = FileBesideExecutable("history.xml");
  EXPECT_EQ(beside, exe.substr(0, exe.rfind('/') + 1) + "history.xml");
}

TEST(System, DataFolderOverrideWinsAndIsCreated) {
  test::TempFolder scratch("sys");
  const std::string& base = scratch.path();
  SetDataFolderOverride(base + "/a/b/");
  EXPECT_EQ(DataFolder(), base + "/a/b");
  EXPECT_EQ(DataFilePath("alarmlog.txt"), base + "/a/b/alarmlog.txt");
  struct stat st {};
  EXPECT_EQ(stat((base + "/a/b").c_str(), &st), 0);
  SetDataFolderOverride("");
  EXPECT_NE(DataFolder(), base + "/a/b");
}

TEST(System, AtomicWriteReplacesWholeFileAndLeavesNoTemporary) {
  test::TempFolder scratch("sys");
  const std::string& dir = scratch.path();
  std::string path = dir + "/f.xml";
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(path, "first version", error)) << error;
  ASSERT_TRUE(WriteFileAtomically(path, std::string("a\0b", 3), error)) << error;
  EXPECT_EQ(ReadFile(path), std::string("a\0b", 3));
  // Only the target remains in the folder.
  std::string cmd = "ls -A " + dir + " | wc -l";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  int count = 0;
  ASSERT_EQ(fscanf(p, "%d", &count), 1);
  pclose(p);
  EXPECT_EQ(count, 1);
}

TEST(System, AtomicWriteToMissingFolderFailsWithMessage) {
  std::string error;
  EXPECT_FALSE(WriteFileAtomically("/nonexistent-folder-wren/x.xml", "x", error));
  EXPECT_FALSE(error.empty());
}

TEST(System, TimeZoneBiasFollowsTz) {
  const char* old = std::getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", "UTC", 1);
  EXPECT_EQ(CurrentTimeZoneBiasMinutes(), 0);
  setenv("TZ", "<+0530>-5:30", 1);  // fixed zone east of UTC, no daylight rule
  EXPECT_EQ(CurrentTimeZoneBiasMinutes(), -330);
  setenv("TZ", "<-05>5", 1);
  EXPECT_EQ(CurrentTimeZoneBiasMinutes(), 300);
  if (old) setenv("TZ", saved.c_str(), 1); else unsetenv("TZ");
  tzset();
}

}  // namespace
}  // namespace wren::platform
