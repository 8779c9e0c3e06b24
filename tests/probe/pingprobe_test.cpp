#include "probe/pingprobe.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel {
namespace {

struct ParseCase {
  const char* line;
  int timeout;
  const char* text;
  int value;
  bool lost;
  long long micros;  // the precise time; -1: lost, no time
};

TEST(ParseReplyLine, GivesTextValueAndPreciseTime) {
  const ParseCase cases[] = {
      {"Reply from 192.0.2.1: bytes=32 time=85ms TTL=55", 3000, "85", 85, false, 85'000},
      {"Request timed out.", 3000, "3000", 3000, true, -1},
      {"Request timed out.", 800, "800", 800, true, -1},
        // "time<" is a sub-millisecond reply, not a lost one.
      {"Reply from 127.0.0.1: bytes=32 time<1ms TTL=128", 3000, "1", 1, false, 1'000},
      {"Reply from 127.0.0.1: bytes=32 time<1.5ms", 3000, "1", 1, false, 1'000},
      {"Request time=85ms", 3000, "3000", 3000, true, -1},
      {"x time=12345678901234ms", 3000, "1234567890", 1234567890, false, 1'234'567'890'000},
        // A whole number cut by the ten scanned characters keeps no decimals.
      {"x time=1234567890.5ms", 3000, "1234567890", 1234567890, false, 1'234'567'890'000},
      {"x time=85.3ms", 3000, "85", 85, false, 85'300},
      {"Reply from 127.0.0.1: bytes=64 time=0.045ms", 3000, "0", 0, false, 45},
      {"Reply from 127.0.0.1: bytes=64 time=315.522ms", 3000, "315", 315, false, 315'522},
      {"x time=12.34ms", 3000, "12", 12, false, 12'340},
      {"x time=0.0004ms", 3000, "0", 0, false, 0},
      {"x time=7.ms", 3000, "7", 7, false, 7'000},
      {"x time=7.x9ms", 3000, "7", 7, false, 7'000},
      {"", 3000, "3000", 3000, true, -1},
      {"From 10.0.0.1 icmp_seq=1 Destination Host Unreachable", 1800, "1800", 1800, true, -1},
      {"Ping request could not find host x. Please check the name and try again.", 800, "800", 800,
       true, -1},
        // No digit after "time=": a lost ping rather than an error at every tick.
      {"x time=abc", 3000, "3000", 3000, true, -1},
      {"x time=", 3000, "3000", 3000, true, -1},
      {"x time=.5ms", 3000, "3000", 3000, true, -1},
        // Ten digits beyond 32 bits: also a lost ping.
      {"x time=9999999999ms", 3000, "3000", 3000, true, -1},
      {"x time=2147483647ms", 3000, "2147483647", 2147483647, false, 2'147'483'647'000},
      {"x time=007ms", 3000, "007", 7, false, 7'000},
        // The first "time=" counts.
      {"time=5ms time=9.5ms", 3000, "5", 5, false, 5'000},
        // Case matters.
      {"request TIME=5ms", 3000, "3000", 3000, true, -1},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.line);
    const PingReply s = ParseReplyLine(c.line, c.timeout);
    EXPECT_EQ(s.text, c.text);
    EXPECT_EQ(s.value, c.value);
    EXPECT_EQ(s.Lost(), c.lost);
    EXPECT_EQ(s.micros.value_or(-1), c.micros);
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
