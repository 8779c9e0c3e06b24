#include "agent/agentoptions.h"

#include <arpa/inet.h>
#include <getopt.h>

#include <algorithm>
#include <mutex>
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
  // The ping child's floor is held once --engine is known.
  if (interval < kMinEngineInterval) throw Failure{"--interval: " + std::string(text) + " s is below the shortest interval, 0.01 s"};
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
                      " is not [ADDRESS]:PORT (an IPv4 address, an IPv6 address in brackets, or localhost)"};
  ListenAddress listen;
  listen.text = std::string(text);
  std::string_view address;
  std::string_view port;
  if (!text.empty() && text.front() == ':' && text.find(':', 1) == std::string_view::npos) {
    // ":PORT": every IPv4 address, as the server listens by default.
    listen.address = "0.0.0.0";
    port = text.substr(1);
  } else if (text.substr(0, 10) == "localhost:") {
    // The loopback address alone; the name is not looked up.
    listen.address = "127.0.0.1";
    port = text.substr(10);
  } else if (!text.empty() && text.front() == '[') {
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
  if (listen.address.empty()) listen.address = std::string(address);
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

// An --alert rule, in the rule syntax of docs/alerts.md.
void AddRule(std::vector<AlertRule>& rules, const std::string& text) {
  const ParsedAlertRule parsed = ParseAlertRule(text);
  if (parsed.status != ParsedAlertRule::Status::Ok) throw Failure{"--alert " + Quoted(text) + ": " + parsed.error};
  for (const AlertRule& r : rules) {
    if (AlertRuleText(r) == AlertRuleText(parsed.rule)) {
      throw Failure{"--alert " + Quoted(AlertRuleText(r)) + " is given twice"};
    }
  }
  if (rules.size() >= kMaxAlertRules) throw Failure{"more than 32 alert rules"};
  rules.push_back(parsed.rule);
}

// The options, for getopt_long. Those without a short form get a value of
// their own above the characters.
enum OptionValue : int {
  kCsv = 256,
  kJson,
  kListen,
  kVersionLong,
  kAlert,
  kOnAlert,
  kEngine,
  kPath,
  kNames,
};

constexpr option kLongOptions[] = {
    {"interval", required_argument, nullptr, 'i'},
    {"count", required_argument, nullptr, 'c'},
    {"timeout", required_argument, nullptr, 't'},
    {"quiet", no_argument, nullptr, 'q'},
    {"csv", required_argument, nullptr, kCsv},
    {"json", required_argument, nullptr, kJson},
    {"listen", required_argument, nullptr, kListen},
    {"alert", required_argument, nullptr, kAlert},
    {"on-alert", required_argument, nullptr, kOnAlert},
    {"engine", required_argument, nullptr, kEngine},
    {"path", no_argument, nullptr, kPath},
    {"names", no_argument, nullptr, kNames},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersionLong},
    {nullptr, 0, nullptr, 0},
};
// "-": words that are no option come back in order (as 1), whatever
// POSIXLY_CORRECT says; ":": a missing value comes back as ':'.
constexpr const char* kShortOptions = "-:i:c:t:q46hV";

// The long name of an option, as messages name it.
std::string NameOf(int value) {
  for (const option& o : kLongOptions) {
    if (o.name != nullptr && o.val == value) return std::string("--") + o.name;
  }
  return std::string("-") + static_cast<char>(value);
}

// What is wrong with the option word `word` that getopt_long refused.
std::string Refusal(const std::string& word) {
  const std::string hint = " (a target that starts with \"-\" goes after \"--\")";
  if (word.rfind("--", 0) != 0) return "unknown option " + word + hint;
  const std::size_t equals = word.find('=');
  const std::string name = word.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
  std::vector<std::string> matches;
  for (const option& o : kLongOptions) {
    if (o.name == nullptr || std::string_view(o.name).substr(0, name.size()) != name) continue;
    if (name == o.name && o.has_arg == no_argument && equals != std::string::npos) {
      return "--" + name + " takes no value";
    }
    matches.push_back(std::string("--") + o.name);
  }
  if (matches.size() > 1 && !name.empty()) {
    std::string list;
    for (const std::string& m : matches) list += (list.empty() ? "" : ", ") + m;
    return "ambiguous option --" + name + " (" + list + ")";
  }
  return "unknown option --" + name;
}

// getopt_long works on a C argument vector and keeps its place in globals:
// it is reset for each parse, and parses run one at a time.
std::mutex g_getoptMutex;

ParsedArguments Parse(const std::vector<std::string>& arguments) {
  ParsedArguments parsed;
  AgentOptions& o = parsed.options;
  std::set<int> seen;
  std::set<std::string> targets;
  bool timeoutGiven = false;
  std::string intervalText;
  bool help = false;
  bool version = false;

  const auto addTarget = [&](const std::string& word) {
    CheckTarget(word);
    if (!targets.insert(word).second) throw Failure{"the target " + Quoted(word) + " is given twice"};
    o.targets.push_back(word);
    if (o.targets.size() > kMaxTargets) throw Failure{"more than 10000 targets"};
  };

  std::vector<std::string> words = {"quorvel-agent"};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(words.size());

  std::lock_guard<std::mutex> lock(g_getoptMutex);
  optind = 0;  // a fresh start, GNU's way
  opterr = 0;  // the messages are ours
  for (;;) {
    // The word getopt looks at: the one at optind, also in the middle of a
    // group of short options ("-qc").
    const int at = std::max(optind, 1);
    const int c = ::getopt_long(argc, argv.data(), kShortOptions, kLongOptions, nullptr);
    if (c == -1) break;
    const std::string word = at < argc ? words[static_cast<std::size_t>(at)] : std::string();
    if (c == 1) {
      // A word that is no option, before any "--".
      const std::string target = optarg;
      if (!target.empty() && target.front() == '-') throw Failure{Refusal(target)};
      addTarget(target);
      continue;
    }
    if (c == '?') throw Failure{Refusal(word)};
    if (c == ':') {
      const bool isLong = word.rfind("--", 0) == 0;
      throw Failure{(isLong ? word.substr(0, word.find('=')) : std::string("-") + static_cast<char>(optopt)) +
                    " needs a value"};
    }
    if ((c == '4' || c == '6') && o.family != 0 && o.family != c - '0') {
      throw Failure{"-4 and -6 cannot both be given"};
    }
    const int key = c == 'V' ? kVersionLong : c;
    if (!seen.insert(key).second && key != kAlert) throw Failure{NameOf(key) + " is given twice"};
    const std::string value = optarg ? optarg : "";
    switch (c) {
      case 'i':
        o.interval = ReadInterval(value);
        intervalText = value;
        break;
      case 'c': o.count = ReadCount(value); break;
      case 't': o.timeoutMs = ReadTimeout(value); timeoutGiven = true; break;
      case 'q': o.quiet = true; break;
      case '4': o.family = 4; break;
      case '6': o.family = 6; break;
      case 'h': help = true; break;
      case 'V':
      case kVersionLong: version = true; break;
      case kCsv: o.csvPath = ReadFile("--csv", value); break;
      case kJson: o.jsonPath = ReadFile("--json", value); break;
      case kListen: o.listen = ReadListen(value); break;
      case kAlert: AddRule(o.alerts, value); break;
      case kEngine:
        if (value == "auto") o.engine = EngineChoice::Auto;
        else if (value == "icmp") o.engine = EngineChoice::Icmp;
        else if (value == "ping") o.engine = EngineChoice::Ping;
        else throw Failure{"--engine: " + Quoted(value) + " is not auto, icmp or ping"};
        break;
      case kPath: o.path = true; break;
      case kNames: o.names = true; break;
      case kOnAlert:
        if (value.empty()) throw Failure{"--on-alert needs a program"};
        o.onAlert = value;
        break;
      default: throw Failure{Refusal(word)};
    }
  }
  // Every word after "--" is a target.
  for (int i = optind; i < argc; ++i) addTarget(words[static_cast<std::size_t>(i)]);

  if (help || version) {
    parsed.status = help ? ParsedArguments::Status::Help : ParsedArguments::Status::Version;
    return parsed;
  }
  if (o.csvPath && o.jsonPath && *o.csvPath == *o.jsonPath) {
    throw Failure{*o.csvPath == "-" ? "--csv and --json cannot both write to standard output"
                                    : "--csv and --json cannot write to the same file"};
  }
  if (o.targets.empty()) throw Failure{"no target given"};
  if (o.engine == EngineChoice::Ping && o.interval < kMinInterval) {
    throw Failure{"--interval: " + intervalText + " s is below the shortest interval, 0.2 s"};
  }
  if (o.engine == EngineChoice::Ping && o.targets.size() > kMaxChildTargets) {
    throw Failure{"more than 1000 targets for --engine ping"};
  }
  if (o.engine == EngineChoice::Ping && o.path) throw Failure{"--path needs the ICMP engine, not --engine ping"};
  if (o.names && !o.path) throw Failure{"--names goes with --path"};
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
  return "usage: quorvel-agent [-46q] [-i SECONDS] [-c N] [-t MS] [--csv FILE|-] [--json FILE|-]\n"
         "                     [--listen [ADDRESS]:PORT] [--alert RULE]... [--on-alert PROGRAM]\n"
         "                     [--engine auto|icmp|ping] [--path [--names]] TARGET...\n";
}

std::string AgentVersion() { return std::string("quorvel-agent ") + QUORVEL_VERSION + "\n"; }

std::string AgentHelp() {
  return AgentUsage() +
         "\n"
         "Pings every TARGET once per interval, all targets at once, and prints a report\n"
         "line per target at the end (see quorvel-agent(1)).\n"
         "\n"
         "  -i, --interval SECONDS   time between two probes of a target, 0.01 (--engine\n"
         "                           ping: 0.2) to 86400 (default 1)\n"
         "  -c, --count N            stop after N probes per target (default: run until\n"
         "                           SIGINT or SIGTERM)\n"
         "  -t, --timeout MS         the longest round trip that counts as a reply, 1 to\n"
         "                           60000 (default: the interval minus 200 ms, at least half\n"
         "                           the interval, at most 3000); ping waits up to 1 s\n"
         "                           longer, until 50 ms before the next probe, so that a\n"
         "                           busy CPU does not turn a reply into a loss\n"
         "  -4, -6                   IPv4 or IPv6 only\n"
         "  -q, --quiet              no live lines on the terminal\n"
         "      --csv FILE|-         append one CSV row per probe to FILE (- : standard output)\n"
         "      --json FILE|-        append one JSON line per probe to FILE (- : standard output)\n"
         "      --listen [ADDRESS]:PORT\n"
         "                           serve Prometheus metrics at /metrics and a status page\n"
         "                           at /; :PORT listens on every IPv4 address, localhost:PORT\n"
         "                           on 127.0.0.1 only, [::1]:PORT on an IPv6 address\n"
         "      --alert RULE         raise and clear an alert per target by RULE (repeatable):\n"
         "                           lost>=3, loss>=5%/100, avg>=150ms/20, median>=..., p95>=...,\n"
         "                           pattern:>0%,*12*,>0%, each with clear=N (see docs/alerts.md\n"
         "                           and quorvel-agent(1)); events go to standard error, to\n"
         "                           --json and to /metrics\n"
         "      --on-alert PROGRAM   run PROGRAM (no shell, no arguments) for every alert event,\n"
         "                           the event in QUORVEL_ALERT_* environment variables\n"
         "      --engine auto|icmp|ping\n"
         "                           icmp: one ICMP socket per address family for every\n"
         "                           target, with kernel timestamps (a datagram socket where\n"
         "                           net.ipv4.ping_group_range allows, else a raw one, which\n"
         "                           needs CAP_NET_RAW); ping: a ping child per probe; auto\n"
         "                           (default): icmp where a socket opens, else ping\n"
         "      --path               the hops to each TARGET (TTL-limited echoes), a report\n"
         "                           per target; --count is the number of rounds\n"
         "      --names              with --path, each hop's name beside its address, looked\n"
         "                           up without holding up the probes\n"
         "  -h, --help               this text\n"
         "  -V, --version            the version\n"
         "  --                       every word after it is a target, even one starting with -\n"
         "\n"
         "Exit status: 0 when every target answered at least once, 1 when one never did,\n"
         "2 for bad arguments, 3 when a row could not be written, 4 when no probe could\n"
         "be made at all (the system refused descriptors or processes), 5 when a target's\n"
         "name never resolved, 6 when --engine icmp (or an interval below 0.2 s) found no\n"
         "ICMP socket it may open.\n";
}

}  // namespace quorvel
