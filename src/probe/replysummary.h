#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// What the status bar shows of a reply line: the part that matters to a
// person. A reply as the iputils adapter writes it,
//   "Reply from 127.0.0.1: bytes=64 icmp_seq=1 ttl=64 time=0.047ms",
// becomes "Reply from 127.0.0.1: time=0.047 ms" (also for "time<1ms"); any
// other line (a lost ping, an unreachable host, an error) is short already
// and comes back unchanged. The reply line itself, and its parse, are not
// touched: this is only a caption. Plain function; any thread.
std::string ShortReplyLine(std::string_view replyLine);

}  // namespace quorvel
