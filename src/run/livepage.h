#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "alert/alertengine.h"
#include "stats/runstatistics.h"

namespace quorvel {

// What the live page shows: the web image and the figures of the address
// measured, with the active alerts where alert rules are set.
struct LivePage {
  std::string imageName;        // the web image, beside the page
  int refreshSeconds = 10;      // the plot interval: the page reloads itself at it
  std::int64_t nowUnixMs = 0;   // when the page is made: the image's query, so it is fetched afresh
  std::int32_t utcOffsetSeconds = 0;
  std::string address;
  StatisticsSummary summary;
  bool alertsOn = false;
  std::vector<ActiveAlert> alerts;
};

// The live page: one HTML5 document that reloads itself (a meta refresh;
// no script) and shows the image and the figures as a table. Everything it
// needs is inside it or beside it on the same server: no external
// resource. Text from the settings and the address is escaped. Plain
// function; any thread.
std::string LivePageHtml(const LivePage& page);

}  // namespace quorvel
