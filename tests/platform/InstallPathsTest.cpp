#include "base/InstallPaths.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace wren::platform {
namespace {

namespace fs = std::filesystem;

// Lays out a prefix: <root>/bin/wrenlocator and, when asked, the shared
// files under <root>/share/wrenlocator.
struct Layout {
  explicit Layout(bool installed) {
    fs::create_directories(root / "bin");
    test::WriteFile(root / "bin/wrenlocator", "");
    if (installed) fs::create_directories(root / "share/wrenlocator/sounds");
  }
  test::TempFolder root{"install"};
  std::string Exe() const { return root / "bin/wrenlocator"; }
};

TEST(InstallPaths, InstalledProgramFindsItsSharedFiles) {
  Layout layout(true);
  EXPECT_EQ(ResourceFolderFor(layout.Exe()), layout.root / "share/wrenlocator");
  EXPECT_TRUE(IsInstalledExecutable(layout.Exe()));
}

TEST(InstallPaths, BuildTreeAndPortableCopyUseTheExecutablesFolder) {
  // A bin folder without share/wrenlocator is a portable copy.
  Layout portable(false);
  EXPECT_EQ(ResourceFolderFor(portable.Exe()), portable.root / "bin");
  EXPECT_FALSE(IsInstalledExecutable(portable.Exe()));

  // Help or sounds beside the executable win over an installed share.
  Layout both(true);
  fs::create_directories(both.root / "bin/help");
  EXPECT_EQ(ResourceFolderFor(both.Exe()), both.root / "bin");

  // Not in a folder named bin: never an installed layout.
  test::TempFolder tree("tree");
  fs::create_directories(tree / "share/wrenlocator");
  EXPECT_EQ(ResourceFolderFor(tree / "wrenlocator"), tree.path());
  EXPECT_FALSE(IsInstalledExecutable(tree / "wrenlocator"));
}

TEST(InstallPaths, ProgramAtTheRootOfTheFileSystem) {
  // /bin/wrenlocator: the prefix is "/", never "" (which would look in the
  // working folder).
  EXPECT_EQ(ResourceFolderFor("/wrenlocator"), "/");
  std::string folder = ResourceFolderFor("/bin/wrenlocator");
  EXPECT_TRUE(folder == "/bin" || folder == "/share/wrenlocator") << folder;
}

TEST(InstallPaths, HelpAndSoundsHangOffTheResourceFolder) {
  std::string folder = ResourceFolder();
  EXPECT_EQ(HelpPagePath(), folder + "/help/index.html");
  EXPECT_EQ(SoundsFolder(), folder + "/sounds");
}

}  // namespace
}  // namespace wren::platform
