#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// The help document lives beside the executable while the program runs: it
// is written afresh at every start and deleted at every close.

// The executable's path with its extension replaced by `extension`.
std::string PathBesideExecutable(std::string_view executablePath, std::string_view extension);

// Start: a file already at `path` is deleted first; when none is left (the
// delete worked or there was none), the document is written there whole. A
// file that cannot be deleted (another copy of the program, or a viewer,
// holds it) stays as it is and counts as installed. Returns an empty text on
// success, else the message to show: Cannot create file "<path>". <reason>
std::string InstallHelpFile(const std::string& path, std::string_view document);

// Close: deletes the file if there is one; a file that cannot be deleted
// stays.
void RemoveHelpFile(const std::string& path);

bool FileExists(const std::string& path);

}  // namespace quorvel
