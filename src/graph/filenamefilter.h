#pragma once

namespace quorvel {

// The characters a file name cannot hold: " * / : < > ? \ |. The boxes whose
// text becomes part of a file name (axis label, web image name, log file
// name) refuse them as they are typed.
bool RefusedInFileName(char32_t c);

}  // namespace quorvel
