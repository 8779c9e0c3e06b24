#pragma once

#include <optional>
#include <string>

namespace quorvel {

// The program's arguments: "--help" and "--version" print their text to
// standard output and end the program with status 0 before any window
// exists; an address puts it in the address box and starts a run. Other
// options are ignored. Plain functions; any thread.

// The text to print for the first of "--help" and "--version" among
// argv[1] ... argv[argc - 1]; nothing when neither is there.
std::optional<std::string> InformationRequested(int argc, const char* const* argv);

// The address to plot: the first argument that is not an option (one that
// does not begin with "-", or any after "--"); nothing without one. Asked
// after QApplication has taken its own options ("-platform ...") out.
std::optional<std::string> AddressArgument(int argc, const char* const* argv);

}  // namespace quorvel
