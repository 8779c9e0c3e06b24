#pragma once

#include <cstdint>
#include <string_view>

#include "graph/colour.h"
#include "probe/pingprobe.h"

namespace quorvel {

// The result of one ping as the plot run plots it: the reply line read, and
// the colour of its point: the ping plot colour for a reply, red for a lost
// one.
struct Sample : PingReply {
  Colour colour = kRed;
};

// ParseReplyLine, with the point's colour.
Sample ParsePingReply(std::string_view replyLine, std::int32_t pingTimeout, Colour plotColour);

}  // namespace quorvel
