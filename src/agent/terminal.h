#pragma once

// Drawing the agent's live lines on a terminal.

#include <cstddef>
#include <string>
#include <vector>

namespace quorvel {

struct TerminalSize {
  std::size_t columns = 80;
  std::size_t rows = 24;
};

// The size of the terminal at `fd`; 80 x 24 when it is none or says nothing.
TerminalSize SizeOf(int fd);

// Redraws a block of lines in place on a terminal. `lines` are drawn below
// the cursor's line; `previous` is the number drawn last time (0 the first
// time), whose block is overwritten: the cursor goes up that many lines and
// every line is cleared before it is written. Lines are cut to `columns` - 1
// characters so that none wraps. With `rows` too small for all of them, the
// first rows - 2 are drawn and then a line telling how many more there are.
// Returns the bytes to write and sets `drawn` to the number of lines drawn.
std::string LiveFrame(const std::vector<std::string>& lines, std::size_t previous,
                      std::size_t columns, std::size_t rows, std::size_t& drawn);

// Removes a block of `previous` lines drawn by LiveFrame, leaving the cursor
// where the block began.
std::string ClearLiveFrame(std::size_t previous);

}  // namespace quorvel
