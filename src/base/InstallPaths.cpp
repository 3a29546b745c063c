#include "base/InstallPaths.h"

#include <sys/stat.h>

#include "base/System.h"

namespace wren::platform {
namespace {

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string FolderOf(std::string_view path) {
  auto slash = path.rfind('/');
  if (slash == std::string_view::npos) return ".";
  if (slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

std::string Join(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (path.empty() || path.back() != '/') path.push_back('/');
  path.append(name);
  return path;
}

// <exe folder>/../share/wrenlocator, spelled without "..": the parent of a
// folder named "bin".
std::string InstalledShareFor(const std::string& exeFolder) {
  std::string_view folder = exeFolder;
  auto slash = folder.rfind('/');
  if (slash == std::string_view::npos || folder.substr(slash + 1) != "bin") return {};
  std::string prefix(folder.substr(0, slash));
  return Join(prefix.empty() ? "/" : prefix, kInstalledShareFolder);
}

}  // namespace

std::string ResourceFolderFor(std::string_view executablePath) {
  std::string folder = FolderOf(executablePath);
  if (IsFolder(Join(folder, "help")) || IsFolder(Join(folder, "sounds"))) return folder;
  std::string share = InstalledShareFor(folder);
  if (!share.empty() && IsFolder(share)) return share;
  return folder;
}

bool IsInstalledExecutable(std::string_view executablePath) {
  std::string share = InstalledShareFor(FolderOf(executablePath));
  return !share.empty() && IsFolder(share);
}

std::string ResourceFolder() { return ResourceFolderFor(ExecutablePath()); }

std::string HelpPagePath() { return Join(ResourceFolder(), "help/index.html"); }

std::string SoundsFolder() { return Join(ResourceFolder(), "sounds"); }

}  // namespace wren::platform
