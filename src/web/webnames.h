#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// The extension of a name: the part from the last "." that comes after the
// last "\" or ":"; empty when there is none.
std::string_view FileExtension(std::string_view name);

// `name` with its extension (as above) replaced by `extension`, which may be
// empty; a name without one gets `extension` appended.
std::string ReplaceExtension(std::string_view name, std::string_view extension);

// The edTempChange rule: the status text with its extension replaced by the
// extension of the new web image name (possibly empty). An empty status text
// becomes the bare extension.
std::string StatusTextForName(std::string_view statusText, std::string_view newName);

// "SERVER RUNNING - http://" + address + ":" + port + "/" + name.
std::string ServerRunningText(std::string_view address, int port, std::string_view name);

}  // namespace quorvel
