#include "base/System.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
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

// Data files are opened only as regular files: no link followed, no FIFO
// waited on, nothing else emptied.
TEST(System, DataFilesOpenOnlyAsRegularFiles) {
  test::TempFolder scratch("sys");
  const std::string target = scratch / "target";
  test::WriteFile(target, "precious");
  test::WriteFile(scratch / "plain", "old text");
  ASSERT_EQ(symlink(target.c_str(), (scratch / "link").c_str()), 0);
  ASSERT_EQ(mkfifo((scratch / "fifo").c_str(), 0644), 0);
  ASSERT_EQ(mkdir((scratch / "folder").c_str(), 0755), 0);
  struct Case {
    const char* name;
    OpenOutcome read;
    OpenOutcome write;
    const char* error;
  };
  const Case cases[] = {
      {"plain", OpenOutcome::Opened, OpenOutcome::Opened, ""},
      {"missing", OpenOutcome::Missing, OpenOutcome::Opened, ""},
      {"link", OpenOutcome::NotRegular, OpenOutcome::NotRegular,
       "it is a symbolic link, not a regular file"},
      {"fifo", OpenOutcome::NotRegular, OpenOutcome::NotRegular,
       "it is a FIFO, not a regular file"},
      {"folder", OpenOutcome::NotRegular, OpenOutcome::NotRegular,
       "it is a folder, not a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes;
    std::string error;
    EXPECT_EQ(ReadRegularFile(scratch / c.name, bytes, error), c.read);
    EXPECT_EQ(error, c.error);
    if (c.read == OpenOutcome::Opened) {
      EXPECT_EQ(bytes, "old text");
    }
    error.clear();
    int fd = -1;
    EXPECT_EQ(OpenRegularForWriting(scratch / c.name, true, fd, error), c.write);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(fd >= 0, c.write == OpenOutcome::Opened);
    if (fd >= 0) {
      ASSERT_EQ(write(fd, "new", 3), 3);
      close(fd);
      EXPECT_EQ(ReadFile(scratch / c.name), "new");
    }
  }
  EXPECT_EQ(ReadFile(target), "precious");
  struct stat st {};
  ASSERT_EQ(lstat((scratch / "link").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(lstat((scratch / "fifo").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(System, OpeningForWritingAppendsUnlessEmptied) {
  test::TempFolder scratch("sys");
  const std::string path = scratch / "log";
  for (bool empty : {true, false, false}) {
    int fd = -1;
    std::string error;
    ASSERT_EQ(OpenRegularForWriting(path, empty, fd, error), OpenOutcome::Opened) << error;
    ASSERT_EQ(write(fd, "line\n", 5), 5);
    close(fd);
  }
  EXPECT_EQ(ReadFile(path), "line\nline\nline\n");
  // A read larger than any buffer comes back whole.
  const std::string big(300000, 'x');
  test::WriteFile(path, big);
  std::string bytes;
  std::string error;
  ASSERT_EQ(ReadRegularFile(path, bytes, error), OpenOutcome::Opened);
  EXPECT_EQ(bytes, big);
}

TEST(System, AFailedAtomicWriteLeavesNoTemporary) {
  test::TempFolder scratch("sys");
  // The target is a folder: the rename fails after the temporary was written.
  ASSERT_EQ(mkdir((scratch / "target").c_str(), 0755), 0);
  test::WriteFile(scratch / "target/inside", "x");
  std::string error;
  EXPECT_FALSE(WriteFileAtomically(scratch / "target", "bytes", error));
  EXPECT_FALSE(error.empty());
  std::size_t entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(scratch.path())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1u);
}

// Only regular files are replaced. A data file refuses a link; a file the
// user named follows it and writes beside its target, the link staying.
TEST(System, AtomicWriteReplacesOnlyRegularFiles) {
  test::TempFolder scratch("sys");
  const std::string target = scratch / "target";
  const std::string link = scratch / "link";
  test::WriteFile(target, "old");
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  ASSERT_EQ(mkfifo((scratch / "fifo").c_str(), 0644), 0);
  std::string error;
  EXPECT_FALSE(WriteFileAtomically(link, "new", error));
  EXPECT_EQ(error, "it is a symbolic link, not a regular file");
  EXPECT_EQ(ReadFile(target), "old");
  EXPECT_FALSE(
      WriteFileAtomically(scratch / "fifo", "new", error, LinkPolicy::FollowToRegularFile));
  EXPECT_EQ(error, "it is a FIFO, not a regular file");

  ASSERT_TRUE(WriteFileAtomically(link, "new", error, LinkPolicy::FollowToRegularFile)) << error;
  EXPECT_EQ(ReadFile(target), "new");
  struct stat st {};
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));

  ASSERT_EQ(symlink((scratch / "nowhere").c_str(), (scratch / "dangling").c_str()), 0);
  EXPECT_FALSE(
      WriteFileAtomically(scratch / "dangling", "new", error, LinkPolicy::FollowToRegularFile));
  EXPECT_EQ(error, "it is a symbolic link that leads nowhere (No such file or directory)");
  EXPECT_EQ(access((scratch / "nowhere").c_str(), F_OK), -1);
  ASSERT_EQ(mkdir((scratch / "folder").c_str(), 0755), 0);
  ASSERT_EQ(symlink((scratch / "folder").c_str(), (scratch / "to-folder").c_str()), 0);
  EXPECT_FALSE(
      WriteFileAtomically(scratch / "to-folder", "new", error, LinkPolicy::FollowToRegularFile));
  EXPECT_NE(error.find("which is a folder, not a regular file"), std::string::npos) << error;
}

// A simulation's clock decides which bias is in force, so that zones with
// daylight saving agree with its event lines.
TEST(System, TimeZoneBiasAtTheClockSet) {
  const char* old = std::getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", "WST0WDT-2,J182/0,J244/0", 1);  // two hours east in July and August only
  const std::time_t july = 1248184800;         // 2009-07-21 14:00 UTC
  const std::time_t january = 1232546400;      // 2009-01-21 14:00 UTC
  SetTimeZoneBiasClock([&] { return july; });
  EXPECT_EQ(CurrentTimeZoneBiasMinutes(), -120);
  SetTimeZoneBiasClock([&] { return january; });
  EXPECT_EQ(CurrentTimeZoneBiasMinutes(), 0);
  SetTimeZoneBiasClock({});
  setenv("TZ", "<+0530>-5:30", 1);
  EXPECT_EQ(CurrentTimeZoneBiasMinutes(), -330);
  if (old)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
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
  if (old)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

}  // namespace
}  // namespace wren::platform
