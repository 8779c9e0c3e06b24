#include "run/sample.h"

namespace quorvel {

Sample ParsePingReply(std::string_view replyLine, std::int32_t pingTimeout, Colour plotColour) {
  Sample sample;
  static_cast<PingReply&>(sample) = ParseReplyLine(replyLine, pingTimeout);
  sample.colour = sample.Lost() ? kRed : plotColour;
  return sample;
}

}  // namespace quorvel
