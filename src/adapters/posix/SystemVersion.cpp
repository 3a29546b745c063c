#include "adapters/posix/SystemVersion.h"

#include <sys/utsname.h>

#include <cctype>
#include <fstream>
#include <sstream>

namespace wren::platform {
namespace {

bool ReadText(const char* path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream all;
  all << in.rdbuf();
  text = all.str();
  return true;
}

// An os-release value: optionally quoted, with backslash escapes.
std::string Unquote(std::string_view value) {
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r'))
    value.remove_suffix(1);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    const char quote = value.front();
    value = value.substr(1, value.size() - 2);
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
      if (quote == '"' && value[i] == '\\' && i + 1 < value.size()) ++i;
      out += value[i];
    }
    return out;
  }
  return std::string(value);
}

}  // namespace

bool ParseKernelRelease(std::string_view release, int& major, int& minor) {
  std::size_t i = 0;
  auto number = [&](int& into) {
    if (i >= release.size() || !std::isdigit(static_cast<unsigned char>(release[i]))) return false;
    long value = 0;
    while (i < release.size() && std::isdigit(static_cast<unsigned char>(release[i]))) {
      if (value < 100000) value = value * 10 + (release[i] - '0');
      ++i;
    }
    into = static_cast<int>(value);
    return true;
  };
  major = minor = 0;
  if (!number(major)) return false;
  if (i < release.size() && release[i] == '.') {
    ++i;
    if (!number(minor)) minor = 0;
  }
  return true;
}

std::string OsReleaseName(std::string_view text) {
  std::string pretty, name, versionId;
  std::istringstream lines{std::string(text)};
  std::string line;
  while (std::getline(lines, line)) {
    const auto eq = line.find('=');
    if (eq == std::string::npos || line.empty() || line[0] == '#') continue;
    const std::string key = line.substr(0, eq);
    const std::string value = Unquote(std::string_view(line).substr(eq + 1));
    if (key == "PRETTY_NAME")
      pretty = value;
    else if (key == "NAME")
      name = value;
    else if (key == "VERSION_ID")
      versionId = value;
  }
  if (!pretty.empty()) return pretty;
  if (!name.empty()) return versionId.empty() ? name : name + " " + versionId;
  return {};
}

SystemVersion ReadSystemVersion() {
  SystemVersion version;
  utsname uts{};
  if (uname(&uts) != 0) return version;
  version.platform = SystemPlatform::Linux;
  ParseKernelRelease(uts.release, version.major, version.minor);
  std::string text;
  if (ReadText("/etc/os-release", text) || ReadText("/usr/lib/os-release", text))
    version.name = OsReleaseName(text);
  if (version.name.empty()) version.name = std::string(uts.sysname) + " " + uts.release;
  return version;
}

bool IsSupported(const SystemVersion& v) {
  if (v.platform == SystemPlatform::Linux)
    return v.major > kMinKernelMajor || (v.major == kMinKernelMajor && v.minor >= kMinKernelMinor);
  const bool nt = v.platform == SystemPlatform::WindowsNt;
  return v.major > 5 || (v.major == 5 && v.minor != 0 && nt);
}

std::string SystemName(const SystemVersion& v) {
  if (v.platform == SystemPlatform::Linux) return v.name;
  const bool nt = v.platform == SystemPlatform::WindowsNt;
  if (nt && v.major == 4 && v.minor == 0) return "Windows NT";
  if (nt && v.major == 5 && v.minor == 0) return "Windows 2000";
  if (nt && v.major == 5 && v.minor == 1) return "Windows XP";
  if (nt && v.major == 5 && v.minor == 2) return "Windows 2003";
  if (!nt && v.major == 4 && v.minor == 0) return "Windows 95";
  if (!nt && v.major >= 4 && v.minor != 0 && !(v.major == 4 && v.minor == 90)) return "Windows 98";
  if (!nt && v.major == 4 && v.minor == 90) return "Windows ME";
  return {};
}

std::string RefusalText(std::string_view program, std::string_view systemName) {
  std::string out;
  const std::string_view format = kRefusalFormat;
  std::string_view args[] = {program, systemName};
  std::size_t next = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's' && next < 2) {
      out += args[next++];
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

}  // namespace wren::platform
