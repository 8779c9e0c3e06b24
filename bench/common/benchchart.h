#pragma once

#include <cstddef>

#include "graph/chartmodel.h"

// A chart as a long run leaves it: `points` pings between 10 and 54 ms with
// a lost ping (3000 ms, red) every 97th, the running average beside them,
// and the last `window` positions in the time window.
quorvel::ChartModel BenchChart(std::size_t points, std::size_t window = 400);
