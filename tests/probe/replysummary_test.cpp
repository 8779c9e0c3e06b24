#include "probe/replysummary.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel {
namespace {

TEST(ShortReplyLine, KeepsWhatMatters) {
  const struct {
    const char* line;
    const char* shown;
  } cases[] = {
      {"Reply from 127.0.0.1: bytes=64 icmp_seq=1 ttl=64 time=0.047ms",
       "Reply from 127.0.0.1: time=0.047 ms"},
      {"Reply from 10.1.2.3: bytes=64 icmp_seq=1 ttl=53 time=315.522ms",
       "Reply from 10.1.2.3: time=315.522 ms"},
      {"Reply from ::1: bytes=64 icmp_seq=1 ttl=64 time<1ms", "Reply from ::1: time<1 ms"},
      {"Reply from 127.0.0.1: bytes=64 icmp_seq=1 ttl=64 time=12ms extra",
       "Reply from 127.0.0.1: time=12 ms"},
      // Everything else is short already, or not a reply: as it stands.
      {"Request timed out.", "Request timed out."},
      {"From 127.0.0.1 icmp_seq=1 Destination Host Unreachable",
       "From 127.0.0.1 icmp_seq=1 Destination Host Unreachable"},
      {"Reply from 127.0.0.1: no time here", "Reply from 127.0.0.1: no time here"},
      {"Reply from 127.0.0.1: bytes=64 time=", "Reply from 127.0.0.1: bytes=64 time="},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ShortReplyLine(c.line), c.shown) << c.line;
}

}  // namespace
}  // namespace quorvel
