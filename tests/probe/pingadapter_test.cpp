#include "probe/pingadapter.h"

#include <gtest/gtest.h>

#include "probe/pingchild.h"
#include "probe/pingprobe.h"

namespace quorvel {
namespace {

// Outputs recorded from iputils 20221126 with LC_ALL=C.
constexpr const char* kReplyV4 =
    "PING 127.0.0.1 (127.0.0.1) 56(84) bytes of data.\n"
    "64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.047 ms\n"
    "\n"
    "--- 127.0.0.1 ping statistics ---\n"
    "1 packets transmitted, 1 received, 0% packet loss, time 0ms\n"
    "rtt min/avg/max/mdev = 0.047/0.047/0.047/0.000 ms\n";
constexpr const char* kReplyV6 =
    "PING ::1(::1) 56 data bytes\n"
    "64 bytes from ::1: icmp_seq=1 ttl=64 time=23.022 ms\n"
    "\n"
    "--- ::1 ping statistics ---\n"
    "1 packets transmitted, 1 received, 0% packet loss, time 0ms\n"
    "rtt min/avg/max/mdev = 0.022/0.022/0.022/0.000 ms\n";
constexpr const char* kLost =
    "PING 192.0.2.1 (192.0.2.1) 56(84) bytes of data.\n"
    "\n"
    "--- 192.0.2.1 ping statistics ---\n"
    "1 packets transmitted, 0 received, 100% packet loss, time 0ms\n"
    "\n";
constexpr const char* kUnreachable =
    "PING 10.0.0.9 (10.0.0.9) 56(84) bytes of data.\n"
    "From 10.0.0.1 icmp_seq=1 Destination Host Unreachable\n"
    "\n"
    "--- 10.0.0.9 ping statistics ---\n"
    "1 packets transmitted, 0 received, +1 errors, 100% packet loss, time 0ms\n";

PingReply Parse(const std::string& text) { return ParseReplyLine(ReplyLine(text), 3000); }

TEST(PingAdapter, ReplyLandsOnLineThreeWithItsFraction) {
  const PingCommand c{"127.0.0.1", 800};
  const std::string text = AdaptIputilsOutput(c, kReplyV4, "");
  EXPECT_EQ(ReplyLine(text), "Reply from 127.0.0.1: bytes=64 icmp_seq=1 ttl=64 time=0.047ms");
  const PingReply s = Parse(text);
  EXPECT_EQ(s.text, "0");
  EXPECT_FALSE(s.Lost());
  EXPECT_NE(text.find("1 packets transmitted, 1 received"), std::string::npos);
}

TEST(PingAdapter, Ipv6Reply) {
  const std::string text = AdaptIputilsOutput({"::1", 800}, kReplyV6, "");
  EXPECT_EQ(ReplyLine(text), "Reply from ::1: bytes=64 icmp_seq=1 ttl=64 time=23.022ms");
  EXPECT_EQ(Parse(text).value, 23);
}

TEST(PingAdapter, LostReplyIsRequestTimedOut) {
  const std::string text = AdaptIputilsOutput({"192.0.2.1", 3000}, kLost, "");
  EXPECT_EQ(ReplyLine(text), "Request timed out.");
  EXPECT_TRUE(Parse(text).Lost());
  EXPECT_FALSE(ContainsHostNotFound(text));
}

TEST(PingAdapter, ErrorReplyIsLost) {
  const std::string text = AdaptIputilsOutput({"10.0.0.9", 3000}, kUnreachable, "");
  EXPECT_EQ(ReplyLine(text), "From 10.0.0.1 icmp_seq=1 Destination Host Unreachable");
  EXPECT_EQ(Parse(text).value, 3000);
}

TEST(PingAdapter, UnknownHostCouldNotBeFound) {
  for (const char* err : {"ping: nohost: Name or service not known\n",
                          "ping: nohost: Temporary failure in name resolution\n"}) {
    const std::string text = AdaptIputilsOutput({"nohost", 3000}, "", err);
    EXPECT_TRUE(ContainsHostNotFound(text)) << err;
    EXPECT_NE(ReplyLine(text).find("could not find host nohost"), std::string::npos);
    EXPECT_TRUE(Parse(text).Lost());
  }
}

TEST(PingAdapter, OtherErrorsAreShownAndLost) {
  const std::string text = AdaptIputilsOutput({"h", 3000}, "", "ping: connect: Network is unreachable\n");
  EXPECT_EQ(ReplyLine(text), "ping: connect: Network is unreachable");
  EXPECT_FALSE(ContainsHostNotFound(text));
}

TEST(PingAdapter, NoOutputGivesNoText) {
  EXPECT_EQ(AdaptIputilsOutput({"h", 3000}, "", ""), "");
}

TEST(PingAdapter, LineBreaksInTheAddressDoNotMoveTheReply) {
  const std::string text = AdaptIputilsOutput({"a\nb\nc", 3000}, "", "ping: a: Name or service not known\n");
  EXPECT_NE(ReplyLine(text).find("could not find host a b c"), std::string::npos);
}

// A carriage return inside a line of ping's output (an echoed name can hold
// one) is shown as a blank: it must not break the line in two and move the
// reply off its line.
TEST(PingAdapter, CarriageReturnsInsideLinesDoNotMoveTheReply) {
  const struct {
    const char* out;
    const char* err;
    const char* reply;
  } cases[] = {
      {"PING a\rb (127.0.0.1) 56(84) bytes of data.\n"
       "64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=7.1 ms\n",
       "", "Reply from 127.0.0.1: bytes=64 icmp_seq=1 ttl=64 time=7.1ms"},
      {"PING a (127.0.0.1) 56(84) bytes of data.\n"
       "64 bytes from 127.0.0.1: icmp_seq=1\rttl=64 time=7.1 ms\n",
       "", "Reply from 127.0.0.1: bytes=64 icmp_seq=1 ttl=64 time=7.1ms"},
      {"", "ping: a\rb: Network is unreachable\n", "ping: a b: Network is unreachable"},
  };
  for (const auto& c : cases) {
    const std::string text = AdaptIputilsOutput({"a", 3000}, c.out, c.err);
    EXPECT_EQ(ReplyLine(text), c.reply) << text;
    EXPECT_EQ(text.find('\r'), std::string::npos) << text;
  }
}

struct CommandCase {
  const char* line;
  bool ok;
  const char* address;
  int timeout;
};

TEST(PingAdapter, CommandLineIsSplitIntoAddressAndTimeout) {
  const CommandCase cases[] = {
      {"ping 192.0.2.1 -w 3000 -n 1", true, "192.0.2.1", 3000},
      {"ping  spaced  -w 800 -n 1", true, "spaced", 800},
      {"ping -f -w 800 -n 1", true, "-f", 800},
      {"ping 8.8.8.8 -t -w 800 -n 1", true, "8.8.8.8 -t", 800},
      {"ping a -w 1 -w 800 -n 1", true, "a -w 1", 800},
      {"ping  -w 800 -n 1", false, "", 0},
      {"ping x -w abc -n 1", false, "", 0},
      {"pong x -w 800 -n 1", false, "", 0},
      {"ping x -w 800", false, "", 0},
  };
  for (const CommandCase& c : cases) {
    const auto parsed = ParsePingCommandLine(c.line);
    ASSERT_EQ(parsed.has_value(), c.ok) << c.line;
    if (!c.ok) continue;
    EXPECT_EQ(parsed->address, c.address) << c.line;
    EXPECT_EQ(parsed->timeoutMs, c.timeout) << c.line;
  }
}

// An exec cannot carry a NUL: ping would get only the part before it, a
// different address. Such an address is not run at all.
TEST(PingAdapter, AnAddressWithANulIsNotRun) {
  using namespace std::string_literals;
  EXPECT_FALSE(ParsePingCommandLine(BuildPingCommandLine("127.0.0.1\0.evil"s, 800)));
  EXPECT_FALSE(ParsePingCommandLine(BuildPingCommandLine("\0"s, 800)));
  EXPECT_TRUE(ParsePingCommandLine(BuildPingCommandLine("127.0.0.1", 800)));
}

// iputils counts a reply whose payload came back changed, then says so.
TEST(PingAdapter, SpoiltRepliesAreKnownByPingsOwnWords) {
  EXPECT_FALSE(IsSpoilt(kReplyV4));
  EXPECT_TRUE(IsSpoilt(std::string(kReplyV4) + "wrong data byte #16 should be 0x10 but was 0x90\n"));
  EXPECT_TRUE(IsSpoilt("64 bytes from 10.0.0.1: icmp_seq=1 ttl=64 time=1.0 ms (BAD CHECKSUM!)\n"));
}

TEST(PingAdapter, AddressIsOneOperandAfterDashes) {
  const auto args = IputilsArguments({"8.8.8.8 -t", 800});
  const std::vector<std::string> expected = {"ping", "-n", "-c", "1", "-W", "0.800", "--", "8.8.8.8 -t"};
  EXPECT_EQ(args, expected);
  EXPECT_EQ(IputilsArguments({"-f", 3000})[5], "3.000");
  EXPECT_EQ(IputilsArguments({"-f", 3000}).back(), "-f");
}

}  // namespace
}  // namespace quorvel
