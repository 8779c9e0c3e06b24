#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "stats/runstatistics.h"

namespace quorvel {

// The closing line of one target, times in ms with three decimals and loss in
// percent with three decimals:
//   TARGET sent=N received=N loss=P% min=X avg=X p50=X p95=X p99=X max=X jitter=X
// A time is "-" when no reply came; jitter is "-" before the second reply (it
// is a difference of two replies), loss is "-" (without "%") when nothing was
// sent. No line break at the end.
std::string ReportLine(const std::string& target, const StatisticsSummary& s);

// 0 when every target was answered at least once, 1 when one never was
// (also when there is no target at all).
int AnsweredExitStatus(const std::vector<StatisticsSummary>& summaries);

// What the live line of a target shows about its last probe.
struct LastProbe {
  bool any = false;                   // false before the first probe has ended
  std::optional<std::int64_t> micros;  // empty: it was lost
};

// The live line of one target, its name padded to `width`:
//   TARGET  last=0.047  loss=0.000%  avg=0.052  p95=0.061  jitter=0.004
// "last=lost" after a lost probe, "-" for what does not exist yet.
std::string LiveLine(const std::string& target, std::size_t width, const LastProbe& last,
                     const StatisticsSummary& s);

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
