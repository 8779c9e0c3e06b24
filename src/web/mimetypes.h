#pragma once

#include <string_view>

namespace quorvel {

// The content type for the extension of `path`: the part from the last ".",
// lower-cased (ASCII), looked up in a built-in table of common types; a path
// without an extension, or with one not in the table, gives
// "application/octet-stream". The table is a constant sorted array, so the
// call needs no set-up and is safe from any thread. The returned view points
// into static storage.
std::string_view GetMIMEType(std::string_view path);

}  // namespace quorvel
