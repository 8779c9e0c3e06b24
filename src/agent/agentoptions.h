#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "alert/alertrule.h"

namespace quorvel {

// Where --listen asks the metrics server to listen.
struct ListenAddress {
  std::string address;  // an IPv4 or IPv6 literal, without brackets (":PORT" is
                        // 0.0.0.0, "localhost:PORT" 127.0.0.1)
  int port = 0;         // 1..65535
  bool ipv6 = false;
  std::string text;     // as given, for messages
};

// Which engine probes the targets (--engine).
enum class EngineChoice {
  Auto,  // the ICMP engine where an ICMP socket opens, else the ping child
  Icmp,  // the ICMP engine, or nothing (kExitNoIcmpSocket)
  Ping,  // a ping child per probe, a thread per target
};

// What the command line of quorvel-agent asks for.
struct AgentOptions {
  std::chrono::milliseconds interval{1000};  // 0.2 s (the ICMP engine: 0.01 s) to one day
  std::optional<std::uint64_t> count;        // probes per target; none: until a stop signal
  int timeoutMs = 800;                       // the reply timeout handed to ping
  std::optional<std::string> csvPath;        // "-" is standard output
  std::optional<std::string> jsonPath;       // "-" is standard output
  std::optional<ListenAddress> listen;
  bool quiet = false;
  int family = 0;                            // 4 or 6 (-4, -6): that address family only
  std::vector<AlertRule> alerts;             // --alert, in the order given, no two alike
  std::optional<std::string> onAlert;        // --on-alert: a program run for every alert event
  EngineChoice engine = EngineChoice::Auto;
  bool path = false;                         // --path: the hops to each target (the ICMP engine only)
  bool names = false;                        // --names: with --path, the hops' names as well
  std::vector<std::string> targets;          // in the order given, no two alike
};

// The limits the parse holds the values to.
inline constexpr std::chrono::milliseconds kMinInterval{200};        // the ping child's
inline constexpr std::chrono::milliseconds kMinEngineInterval{10};   // the ICMP engine's
inline constexpr std::chrono::milliseconds kMaxInterval{86'400'000};
inline constexpr int kMinTimeoutMs = 1;
inline constexpr int kMaxTimeoutMs = 60'000;
inline constexpr std::uint64_t kMaxCount = 1'000'000'000;
inline constexpr std::size_t kMaxTargets = 10'000;      // the ICMP engine's
inline constexpr std::size_t kMaxChildTargets = 1000;  // the ping child's: a thread each
inline constexpr std::size_t kMaxTargetLength = 1024;  // a row stays shorter than a pipe's atomic write
inline constexpr std::size_t kMaxAlertRules = 32;

// The reply timeout when --timeout is not given: the interval minus 200 ms,
// as the window's PingTimeout, but at least half the interval (so that short
// intervals keep a usable timeout) and at most 3000 ms. 1 s gives 800,
// 2 s 1800, 0.2 s 100, 10 s 3000.
int DefaultTimeoutMs(std::chrono::milliseconds interval);

// How long a probe may wait for its answer: the timeout plus a slack that
// fills the interval up to 50 ms before the next slot, at most 1 s beyond
// the timeout. A reply counts when the round trip ping measured (from its
// own send, by the kernel's receive time) is within the timeout; the slack
// is for the reader, not the network: a ping that a busy CPU kept from
// reading its reply before the timeout still gets to read it, so CPU delay
// does not turn into loss. Ending before the next slot, the wait of a lost
// probe never costs a slot. 0.2 s with 100 ms gives 150, 1 s with 800
// gives 950, 10 s with 3000 gives 4000; a timeout that fills the interval
// gets no slack.
int ProbeWaitMs(std::chrono::milliseconds interval, int timeoutMs);

struct ParsedArguments {
  enum class Status {
    Run,    // `options` holds what to do
    Help,   // --help: print AgentHelp() and exit 0
    Version,  // --version: print AgentVersion() and exit 0
    Error,  // `error` says what is wrong: print it and the usage, exit 2
  };
  Status status = Status::Error;
  AgentOptions options;
  std::string error;
};

// Reads the arguments after the program name, with getopt_long: short
// options (-c 3, -c3, -qc 3), long ones ("--count 3", "--count=3", or any
// unambiguous abbreviation), before, among or after the targets; after "--"
// every word is a target. Nothing is opened or started here. Thread: any
// (parses are serialised: getopt keeps its place in globals).
//
// Refused: an unknown or ambiguous option, a missing value (a --csv or
// --json value that starts with "-" other than "-" itself counts as
// missing), a value that is not a number or out of range, an option given
// twice (but --alert, which may come up to kMaxAlertRules times), a rule
// that ParseAlertRule refuses or one given twice (by its canonical text), an
// empty --on-alert, an --engine other than auto, icmp or ping, an interval
// below 0.2 s with --engine ping, --path with --engine ping, -4 with -6, --csv and --json both on standard output or on the same
// file, no target, more than kMaxTargets, a target that starts with "-" but
// stands before "--", an empty target, one longer than kMaxTargetLength or
// holding a blank or control character, and the same target twice.
ParsedArguments ParseAgentArguments(const std::vector<std::string>& arguments);

// The usage lines printed with every refusal.
std::string AgentUsage();
// The usage lines and what each option does.
std::string AgentHelp();
// "quorvel-agent 1.2" and a line end.
std::string AgentVersion();

}  // namespace quorvel
