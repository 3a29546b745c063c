#pragma once
// Moving a damaged data file out of the way without ever replacing an
// earlier copy.

#include <string>

namespace wren::platform {

// Renames `path` to `path` + `suffix`, or, when that name is taken, to
// `path` + `suffix` + ".1", ".2" and so on: the first free name. An
// existing file is never replaced. On success `keptPath` is the new name;
// on failure `error` says why and `path` is untouched.
bool KeepUnderFreeName(const std::string& path, const std::string& suffix, std::string& keptPath,
                       std::string& error);

}  // namespace wren::platform
