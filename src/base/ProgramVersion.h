#pragma once
// The program's version and the comparison the update check makes.

#include <cstdint>
#include <string>

#include "base/Product.h"

namespace wren {

struct ProgramVersion {
  std::uint32_t major = product::kVersionMajor;
  std::uint32_t minor = product::kVersionMinor;
  std::uint32_t build = product::kVersionBuild;
  std::uint32_t revision = product::kVersionRevision;

  ProgramVersion() = default;
  ProgramVersion(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d)
      : major(a), minor(b), build(c), revision(d) {}

  bool IsOlderThan(const ProgramVersion& other) const {
    if (major != other.major) return major < other.major;
    if (minor != other.minor) return minor < other.minor;
    if (build != other.build) return build < other.build;
    return revision < other.revision;
  }
  bool operator==(const ProgramVersion& o) const {
    return major == o.major && minor == o.minor && build == o.build && revision == o.revision;
  }
  std::string ToString() const {
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(build) + "." +
           std::to_string(revision);
  }
};

}  // namespace wren
