#pragma once
// The system version the program checks at start-up, and its verdict.
//
// The record keeps the three numbers the check has always looked at
// (major, minor, platform). On Linux the platform is kLinux, the numbers
// are the kernel's, and the name is the distribution's own (os-release's
// PRETTY_NAME). The old Windows rows of the name table stay, so the
// refusal reads the same wherever the numbers come from.

#include <string>
#include <string_view>

namespace wren::platform {

enum class SystemPlatform {
  Win32s = 0,
  Windows = 1,  // the 9x family
  WindowsNt = 2,
  Linux = 100,
};

struct SystemVersion {
  int major = 0;
  int minor = 0;
  SystemPlatform platform = SystemPlatform::Win32s;
  std::string name;  // the distribution's name, Linux only; "" when unknown
};

// Kernels older than this lack the management interface BlueZ 5 needs.
inline constexpr int kMinKernelMajor = 3;
inline constexpr int kMinKernelMinor = 4;

// The running system: uname's release and /etc/os-release (then
// /usr/lib/os-release). All zero when uname fails.
SystemVersion ReadSystemVersion();

// "6.1.0-18-amd64" gives 6 and 1; false when no leading number.
bool ParseKernelRelease(std::string_view release, int& major, int& minor);
// The PRETTY_NAME value of an os-release text (quotes and escapes undone),
// else NAME plus VERSION_ID, else "".
std::string OsReleaseName(std::string_view text);

bool IsSupported(const SystemVersion& version);
// The name of the table's first matching row ("" for none).
std::string SystemName(const SystemVersion& version);

// The refusal shown before the program ends on an unsupported system.
inline constexpr std::string_view kRefusalFormat = "Sorry...%s dosn`t support %s !";
std::string RefusalText(std::string_view program, std::string_view systemName);

}  // namespace wren::platform
