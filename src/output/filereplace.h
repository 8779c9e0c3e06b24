#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "output/imageresult.h"

namespace quorvel {

// Creates or replaces the file `path` whole with `bytes`: they are written to
// a new temporary file in the same directory, which is then renamed over the
// target, so readers see either the old file or the complete new one. On any
// failure the temporary file is removed, the target is left as it was, and
// the result carries 'Cannot create file "<path>". <system error text>'.
// The new file gets the usual permissions of a created file (0666 less the
// umask); a symbolic link at `path` is replaced, not followed. Any thread;
// two writers of the same path race as renames do, the last one wins.
ImageResult ReplaceFileWhole(const std::string& path, std::span<const std::uint8_t> bytes);

// The n-th name tried for a new file at `path`: the path itself for n = 1,
// then "-2", "-3" ... before its extension (the part of the name from its
// last "."; none for a name without one or starting with it):
// "/a/graph-20261207-1405.png" -> "/a/graph-20261207-1405-2.png".
std::string NumberedName(const std::string& path, int n);

// Writes `bytes` as a new file: at `path` when no file of that name exists,
// else at the first NumberedName that is free, so an existing file is
// never replaced (two captures in one minute keep both). The bytes go to a
// temporary beside it, which is then given the name without replacing
// anything (a rename that refuses to replace, or a hard link where the file
// system has no such rename), so readers never see a part of the file.
// `written` receives the name used. Gives up after `maxNames` names.
ImageResult WriteNewFile(const std::string& path, std::span<const std::uint8_t> bytes,
                         std::string* written = nullptr, int maxNames = 1000);

}  // namespace quorvel
