#include "agent/agentoptions.h"

#include <arpa/inet.h>

#include <algorithm>
#include <set>
#include <string_view>

namespace quorvel {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Whole decimal digits up to `max`; nothing for anything else.
std::optional<std::uint64_t> ReadUnsigned(std::string_view text, std::uint64_t max) {
  if (text.empty() || !std::all_of(text.begin(), text.end(), IsDigit)) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > max) return max + 1;  // out of range, told apart from "not a number"
  }
  return value;
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

struct Failure {
  std::string message;
};

// "0.5", "2", ".25", "3." as milliseconds; a fourth decimal must be 0.
std::chrono::milliseconds ReadInterval(std::string_view text) {
  const std::size_t dot = text.find('.');
  const std::string_view whole = text.substr(0, dot);
  const std::string_view fraction = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
  const auto allDigits = [](std::string_view s) { return std::all_of(s.begin(), s.end(), IsDigit); };
  if ((whole.empty() && fraction.empty()) || !allDigits(whole) || !allDigits(fraction) ||
      whole.size() > 12) {
    throw Failure{"--interval: " + Quoted(text) + " is not a number of seconds"};
  }
  if (fraction.size() > 3 &&
      fraction.substr(3).find_first_not_of('0') != std::string_view::npos) {
    throw Failure{"--interval: " + Quoted(text) + " has more than three decimals"};
  }
  std::int64_t ms = 0;
  for (const char c : whole) ms = ms * 10 + (c - '0');
  ms *= 1000;
  std::int64_t scale = 100;
  for (std::size_t i = 0; i < fraction.size() && i < 3; ++i, scale /= 10) ms += (fraction[i] - '0') * scale;
  const std::chrono::milliseconds interval(ms);
  if (interval < kMinInterval) throw Failure{"--interval: " + std::string(text) + " s is below the shortest interval, 0.2 s"};
  if (interval > kMaxInterval) throw Failure{"--interval: " + std::string(text) + " s is above the longest interval, 86400 s"};
  return interval;
}

std::uint64_t ReadCount(std::string_view text) {
  const auto n = ReadUnsigned(text, kMaxCount);
  if (!n) throw Failure{"--count: " + Quoted(text) + " is not a whole number"};
  if (*n < 1 || *n > kMaxCount) throw Failure{"--count: " + std::string(text) + " is out of range (1 to 1000000000)"};
  return *n;
}

int ReadTimeout(std::string_view text) {
  const auto n = ReadUnsigned(text, kMaxTimeoutMs);
  if (!n) throw Failure{"--timeout: " + Quoted(text) + " is not a whole number of milliseconds"};
  if (*n < kMinTimeoutMs || *n > kMaxTimeoutMs) throw Failure{"--timeout: " + std::string(text) + " is out of range (1 to 60000 ms)"};
  return static_cast<int>(*n);
}

ListenAddress ReadListen(std::string_view text) {
  const Failure shape{"--listen: " + Quoted(text) +
                      " is not ADDRESS:PORT (an IPv4 address, or an IPv6 address in brackets)"};
  ListenAddress listen;
  listen.text = std::string(text);
  std::string_view address;
  std::string_view port;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') throw shape;
    address = text.substr(1, close - 1);
    port = text.substr(close + 2);
    listen.ipv6 = true;
  } else {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) throw shape;
    address = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  listen.address = std::string(address);
  unsigned char scratch[16];
  if (::inet_pton(listen.ipv6 ? AF_INET6 : AF_INET, listen.address.c_str(), scratch) != 1) throw shape;
  const auto n = ReadUnsigned(port, 65535);
  if (!n || *n < 1 || *n > 65535) throw Failure{"--listen: the port of " + Quoted(text) + " must be from 1 to 65535"};
  listen.port = static_cast<int>(*n);
  return listen;
}

std::string ReadFile(std::string_view name, std::string_view value) {
  if (value.empty() || (value.front() == '-' && value != "-")) {
    throw Failure{std::string(name) + " needs a file name, or - for standard output"};
  }
  return std::string(value);
}

void CheckTarget(const std::string& target) {
  if (target.empty()) throw Failure{"an empty target"};
  if (target.size() > kMaxTargetLength) throw Failure{"a target longer than 1024 characters"};
  for (const char c : target) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7F) {
      throw Failure{"the target " + Quoted(target) + " holds a blank or a control character"};
    }
  }
}

enum class Option { Interval, Count, Timeout, Csv, Json, Listen, Quiet, Help };

std::optional<Option> OptionNamed(std::string_view name) {
  if (name == "--interval") return Option::Interval;
  if (name == "--count") return Option::Count;
  if (name == "--timeout") return Option::Timeout;
  if (name == "--csv") return Option::Csv;
  if (name == "--json") return Option::Json;
  if (name == "--listen") return Option::Listen;
  if (name == "--quiet") return Option::Quiet;
  if (name == "--help" || name == "-h") return Option::Help;
  return std::nullopt;
}

ParsedArguments Parse(const std::vector<std::string>& arguments) {
  ParsedArguments parsed;
  AgentOptions& o = parsed.options;
  std::set<Option> seen;
  std::set<std::string> targets;
  bool timeoutGiven = false;
  bool help = false;
  bool afterDashes = false;

  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (!afterDashes && word == "--") {
      afterDashes = true;
      continue;
    }
    if (afterDashes || word.empty() || word.front() != '-') {
      CheckTarget(word);
      if (!targets.insert(word).second) throw Failure{"the target " + Quoted(word) + " is given twice"};
      o.targets.push_back(word);
      if (o.targets.size() > kMaxTargets) throw Failure{"more than 1000 targets"};
      continue;
    }

    const std::size_t equals = word.find('=');
    const std::string_view name = std::string_view(word).substr(0, equals);
    const std::optional<Option> option = OptionNamed(name);
    if (!option) {
      if (word.size() >= 2 && word[1] == '-') throw Failure{"unknown option " + std::string(name)};
      throw Failure{"unknown option " + word + " (a target that starts with \"-\" goes after \"--\")"};
    }
    if (!seen.insert(*option).second) throw Failure{std::string(name) + " is given twice"};

    if (*option == Option::Quiet || *option == Option::Help) {
      if (equals != std::string::npos) throw Failure{std::string(name) + " takes no value"};
      if (*option == Option::Quiet) o.quiet = true;
      if (*option == Option::Help) help = true;
      continue;
    }

    std::string value;
    if (equals != std::string::npos) {
      value = word.substr(equals + 1);
    } else {
      if (i + 1 >= arguments.size()) throw Failure{std::string(name) + " needs a value"};
      value = arguments[++i];
    }
    switch (*option) {
      case Option::Interval: o.interval = ReadInterval(value); break;
      case Option::Count: o.count = ReadCount(value); break;
      case Option::Timeout: o.timeoutMs = ReadTimeout(value); timeoutGiven = true; break;
      case Option::Csv: o.csvPath = ReadFile("--csv", value); break;
      case Option::Json: o.jsonPath = ReadFile("--json", value); break;
      case Option::Listen: o.listen = ReadListen(value); break;
      case Option::Quiet:
      case Option::Help: break;
    }
  }

  if (help) {
    parsed.status = ParsedArguments::Status::Help;
    return parsed;
  }
  if (o.csvPath && o.jsonPath && *o.csvPath == *o.jsonPath) {
    throw Failure{*o.csvPath == "-" ? "--csv and --json cannot both write to standard output"
                                    : "--csv and --json cannot write to the same file"};
  }
  if (o.targets.empty()) throw Failure{"no target given"};
  if (!timeoutGiven) o.timeoutMs = DefaultTimeoutMs(o.interval);
  parsed.status = ParsedArguments::Status::Run;
  return parsed;
}

}  // namespace

int DefaultTimeoutMs(std::chrono::milliseconds interval) {
  const auto ms = interval.count();
  return static_cast<int>(std::min<std::int64_t>(std::max<std::int64_t>(ms - 200, ms / 2), 3000));
}

int ProbeWaitMs(std::chrono::milliseconds interval, int timeoutMs) {
  const std::int64_t fill = interval.count() - 50;
  const std::int64_t slack = std::min<std::int64_t>(fill - timeoutMs, 1000);
  return timeoutMs + static_cast<int>(std::max<std::int64_t>(slack, 0));
}

ParsedArguments ParseAgentArguments(const std::vector<std::string>& arguments) {
  try {
    return Parse(arguments);
  } catch (const Failure& failure) {
    ParsedArguments parsed;
    parsed.status = ParsedArguments::Status::Error;
    parsed.error = failure.message;
    return parsed;
  }
}

std::string AgentUsage() {
  return "usage: quorvel-agent [--interval SECONDS] [--count N] [--timeout MS] [--csv FILE|-]\n"
         "                     [--json FILE|-] [--listen ADDRESS:PORT] [--quiet] TARGET...\n";
}

std::string AgentHelp() {
  return AgentUsage() +
         "\n"
         "Pings every TARGET once per interval with the system ping, all targets at once,\n"
         "and prints a report line per target at the end.\n"
         "\n"
         "  --interval SECONDS     time between two probes of a target, 0.2 to 86400 (default 1)\n"
         "  --count N              stop after N probes per target (default: run until\n"
         "                         SIGINT or SIGTERM)\n"
         "  --timeout MS           the longest round trip that counts as a reply, 1 to 60000\n"
         "                         (default: the interval minus 200 ms, at least half the\n"
         "                         interval, at most 3000); ping waits up to 1 s longer,\n"
         "                         until 50 ms before the next probe, so that a busy CPU\n"
         "                         does not turn a reply into a loss\n"
         "  --csv FILE|-           append one CSV row per probe to FILE (- : standard output)\n"
         "  --json FILE|-          append one JSON line per probe to FILE (- : standard output)\n"
         "  --listen ADDRESS:PORT  serve Prometheus metrics at http://ADDRESS:PORT/metrics\n"
         "  --quiet                no live lines on the terminal\n"
         "  --                     every word after it is a target, even one starting with -\n"
         "\n"
         "Exit status: 0 when every target answered at least once, 1 when one never did,\n"
         "2 for bad arguments, 3 when a row could not be written, 4 when no probe could\n"
         "be made at all (the system refused descriptors or processes), 5 when a target's\n"
         "name never resolved.\n";
}

}  // namespace quorvel
