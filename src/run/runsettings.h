#pragma once

#include <cstdint>
#include <string>

#include "run/pinglog.h"

namespace quorvel {

// What the plot run reads of the settings, each value at the moment a step
// needs it: the window keeps it up to date from its controls, so a change
// made during a probe takes effect at once.
struct RunSettings {
  std::string address;                // cbURL's text
  std::int32_t intervalSeconds = 10;  // spX
  std::int32_t pointsPerPage = 400;   // spPoints
  std::int32_t pages = 50;            // spPages; 0: no page limit
  bool stopAtLimit = true;            // rbStop
  bool restartAtLimit = false;        // rbRestart
  bool ignoreFirst = true;            // cbIgnore
  bool startDown = false;             // btnStart is down
  bool capture = false;               // cbCapture
  std::string captureFolder;          // edFolder
  LogSettings log;                    // the "Log Options  " group
  bool logComparesPing = false;       // rbPing
  bool logComparesAverage = true;     // rbAvgPing
};

}  // namespace quorvel
