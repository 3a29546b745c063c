#include "adapters/posix/DataFolderLock.h"
#include "base/FileBackup.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

namespace wren::platform {
namespace {

using test::ReadFile;

TEST(DataFolderLock, OneOwnerAtATimeAndTheRefusalNamesIt) {
  test::TempFolder scratch("lock");
  std::string error;
  DataFolderLock first;
  ASSERT_EQ(first.Acquire(scratch.path(), error), DataFolderLock::Result::Acquired) << error;
  EXPECT_TRUE(first.Held());
  EXPECT_EQ(ReadFile(scratch / kDataFolderLockName), std::to_string(getpid()) + "\n");

  DataFolderLock second;
  EXPECT_EQ(second.Acquire(scratch.path(), error), DataFolderLock::Result::Busy);
  EXPECT_FALSE(second.Held());
  EXPECT_EQ(second.OwnerPid(), getpid());
  EXPECT_EQ(second.BusyMessage(), "the data folder " + scratch.path() +
                                      " is in use by another Wrenlocator (process " +
                                      std::to_string(getpid()) + ")");
  // The refused one leaves the owner's file as it was.
  EXPECT_EQ(ReadFile(scratch / kDataFolderLockName), std::to_string(getpid()) + "\n");

  first.Release();
  EXPECT_FALSE(first.Held());
  EXPECT_EQ(second.Acquire(scratch.path(), error), DataFolderLock::Result::Acquired) << error;
}

// An owner that ends without letting go, as a crash does, leaves the
// folder free.
TEST(DataFolderLock, AnOwnerThatDiedLeavesNoStuckLock) {
  test::TempFolder scratch("lock");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    DataFolderLock lock;
    std::string error;
    char ok = lock.Acquire(scratch.path(), error) == DataFolderLock::Result::Acquired ? 1 : 0;
    if (write(ready[1], &ok, 1) != 1) _exit(2);
    pause();  // until killed
    _exit(0);
  }
  close(ready[1]);
  char ok = 0;
  ASSERT_EQ(read(ready[0], &ok, 1), 1);
  close(ready[0]);
  ASSERT_EQ(ok, 1);

  DataFolderLock mine;
  std::string error;
  EXPECT_EQ(mine.Acquire(scratch.path(), error), DataFolderLock::Result::Busy);
  EXPECT_EQ(mine.OwnerPid(), child);

  kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  // The dead owner's number is still in the file; the lock is free anyway.
  ASSERT_EQ(mine.Acquire(scratch.path(), error), DataFolderLock::Result::Acquired) << error;
  EXPECT_EQ(ReadFile(scratch / kDataFolderLockName), std::to_string(getpid()) + "\n");
}

TEST(DataFolderLock, ALockFileThatIsNotAFileIsNotUsed) {
  test::TempFolder scratch("lock");
  const std::string target = scratch / "elsewhere";
  test::WriteFile(target, "precious");
  ASSERT_EQ(symlink(target.c_str(), (scratch / kDataFolderLockName).c_str()), 0);
  DataFolderLock lock;
  std::string error;
  EXPECT_EQ(lock.Acquire(scratch.path(), error), DataFolderLock::Result::Failed);
  EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
  EXPECT_EQ(ReadFile(target), "precious");

  EXPECT_EQ(lock.Acquire(scratch / "no-such-folder", error), DataFolderLock::Result::Failed);
  EXPECT_FALSE(lock.Held());
}

TEST(StaleTemporaries, OnlyLeftoversOfTheNamedFilesGo) {
  test::TempFolder scratch("tmp");
  const char* removed[] = {"history.xml.tmp-a1B2c3", "history.xml.tmp-000000",
                           "other.txt.tmp-zzzzzz"};
  const char* kept[] = {"history.xml",
                        "history.xml.tmp-a1B2c",
                        "history.xml.tmp-a1B2c34",
                        "history.xml.tmp-a1.2c3",
                        "xhistory.xml.tmp-a1B2c3",
                        "alarmlog.txt.tmp-a1B2c3",
                        "history.xml.bad"};
  for (const char* name : removed) test::WriteFile(scratch / name, "x");
  for (const char* name : kept) test::WriteFile(scratch / name, "x");
  // Not a regular file: left alone, and its target too.
  test::WriteFile(scratch / "target", "precious");
  ASSERT_EQ(symlink((scratch / "target").c_str(), (scratch / "history.xml.tmp-L1nk00").c_str()), 0);
  ASSERT_EQ(mkdir((scratch / "history.xml.tmp-D1r000").c_str(), 0755), 0);

  EXPECT_EQ(RemoveStaleTemporaries(scratch.path(), {"history.xml", "other.txt"}), 3u);
  std::set<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(scratch.path()))
    left.insert(e.path().filename().string());
  std::set<std::string> expected(std::begin(kept), std::end(kept));
  expected.insert({"target", "history.xml.tmp-L1nk00", "history.xml.tmp-D1r000"});
  EXPECT_EQ(left, expected);
  EXPECT_EQ(ReadFile(scratch / "target"), "precious");
  EXPECT_EQ(RemoveStaleTemporaries(scratch / "missing", {"history.xml"}), 0u);
}

}  // namespace
}  // namespace wren::platform
