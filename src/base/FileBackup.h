#pragma once
// Moving a damaged data file out of the way without ever replacing an
// earlier copy, and clearing away what interrupted saves left behind.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace wren::platform {

// Renames `path` to `path` + `suffix`, or, when that name is taken, to
// `path` + `suffix` + ".1", ".2" and so on: the first free name. An
// existing file is never replaced. On success `keptPath` is the new name;
// on failure `error` says why and `path` is untouched.
bool KeepUnderFreeName(const std::string& path, const std::string& suffix, std::string& keptPath,
                       std::string& error);

// Removes from `folder` the temporary files an interrupted atomic save of
// one of `fileNames` left behind (the name, ".tmp-" and six characters;
// regular files only). Only the folder's owner may call this: a save in
// progress uses the same names. Returns how many were removed.
std::size_t RemoveStaleTemporaries(const std::string& folder,
                                   const std::vector<std::string_view>& fileNames);

}  // namespace wren::platform
