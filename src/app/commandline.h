#pragma once

#include <optional>
#include <string>

namespace quorvel {

// The program takes no arguments beyond two that only inform: "--help" and
// "--version" print their text to standard output and end the program
// with status 0 before any window exists. Every other argument is ignored.
// Plain function; any thread.

// The text to print for the first of "--help" and "--version" among
// argv[1] ... argv[argc - 1]; nothing when neither is there.
std::optional<std::string> InformationRequested(int argc, const char* const* argv);

}  // namespace quorvel
