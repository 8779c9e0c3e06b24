#include "probe/pingprobe.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel {
namespace {

constexpr Colour kPlot = RgbColour(0, 0, 255);

struct ParseCase {
  const char* line;
  int timeout;
  const char* text;
  int value;
  bool red;
};

TEST(ParsePingReply, GivesTextValueAndColour) {
  const ParseCase cases[] = {
      ParseCase{"Reply from 192.0.2.1: bytes=32 time=85ms TTL=55", 3000, "85", 85, false},
      ParseCase{"Request timed out.", 3000, "3000", 3000, true},
      ParseCase{"Request timed out.", 800, "800", 800, true},
        // "time<" is a sub-millisecond reply, not a lost one.
      ParseCase{"Reply from 127.0.0.1: bytes=32 time<1ms TTL=128", 3000, "1", 1, false},
      ParseCase{"Request time=85ms", 3000, "3000", 3000, true},
      ParseCase{"x time=12345678901234ms", 3000, "1234567890", 1234567890, false},
      ParseCase{"x time=85.3ms", 3000, "85", 85, false},
      ParseCase{"Reply from 127.0.0.1: bytes=64 time=0.045ms", 3000, "0", 0, false},
      ParseCase{"", 3000, "3000", 3000, true},
      ParseCase{"From 10.0.0.1 icmp_seq=1 Destination Host Unreachable", 1800, "1800", 1800, true},
        // No digit after "time=": a lost ping rather than an error at every tick.
      ParseCase{"x time=abc", 3000, "3000", 3000, true},
      ParseCase{"x time=", 3000, "3000", 3000, true},
        // Ten digits beyond 32 bits: also a lost ping.
      ParseCase{"x time=9999999999ms", 3000, "3000", 3000, true},
      ParseCase{"x time=2147483647ms", 3000, "2147483647", 2147483647, false},
      ParseCase{"x time=007ms", 3000, "007", 7, false},
        // The first "time=" counts.
      ParseCase{"time=5ms time=9ms", 3000, "5", 5, false},
        // Case matters.
      ParseCase{"request TIME=5ms", 3000, "3000", 3000, true},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.line);
    const Sample s = ParsePingReply(c.line, c.timeout, kPlot);
    EXPECT_EQ(s.text, c.text);
    EXPECT_EQ(s.value, c.value);
    EXPECT_EQ(s.colour, c.red ? kRed : kPlot);
  }
}

TEST(PingTimeout, IsThePeriodLess200CappedAt3000) {
  EXPECT_EQ(PingTimeoutFor(1), 800);
  EXPECT_EQ(PingTimeoutFor(2), 1800);
  EXPECT_EQ(PingTimeoutFor(3), 2800);
  EXPECT_EQ(PingTimeoutFor(4), 3000);
  EXPECT_EQ(PingTimeoutFor(10), 3000);
  EXPECT_EQ(PingTimeoutFor(2147383647), 3000);  // no overflow
}

TEST(PingCommandLine, IsBuiltFromItsPiecesWithoutTrimming) {
  EXPECT_EQ(BuildPingCommandLine("192.0.2.1", 3000), "ping 192.0.2.1 -w 3000 -n 1");
  EXPECT_EQ(BuildPingCommandLine("127.0.0.1", 800), "ping 127.0.0.1 -w 800 -n 1");
  EXPECT_EQ(BuildPingCommandLine(" host ", 800), "ping  host  -w 800 -n 1");
}

TEST(ReplyLine, IsTheLineAtIndexThree) {
  EXPECT_EQ(ReplyLine("a\nb\nc\nd\ne\n"), "d");
  EXPECT_EQ(ReplyLine("a\r\nb\r\nc\r\nd\r\n"), "d");
  EXPECT_EQ(ReplyLine("\n\n\nd"), "d");
  EXPECT_EQ(ReplyLine("a\nb\nc\n"), "");
  EXPECT_EQ(ReplyLine("a\nb\nc"), "");
  EXPECT_EQ(ReplyLine(""), "");
  EXPECT_EQ(ReplyLine("a\rb\rc\rd"), "d");
}

TEST(HostNotFound, IsFoundAnywhereInTheText) {
  EXPECT_TRUE(ContainsHostNotFound("x\nPing request could not find host abc. Please\n"));
  EXPECT_FALSE(ContainsHostNotFound("Could Not Find Host"));
}

}  // namespace
}  // namespace quorvel
