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

}  // namespace quorvel
