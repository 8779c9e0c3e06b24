#include "probe/pingadapter.h"

#include <cstdio>

#include "base/text.h"

namespace quorvel {

namespace {

// The lines of ping's output. The response text is read with CR as a line
// break too, so a carriage return left inside a line (an echoed name can
// hold one) becomes a blank: otherwise it would split the line and move the
// reply off its line.
std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string& kept = lines.emplace_back(line);
    for (char& c : kept) {
      if (c == '\r') c = ' ';
    }
    start = end + 1;
  }
  return lines;
}

bool Contains(std::string_view s, std::string_view what) { return s.find(what) != std::string_view::npos; }

bool IsResolutionFailure(std::string_view line) {
  return Contains(line, "Name or service not known") ||
         Contains(line, "Temporary failure in name resolution") ||
         Contains(line, "No address associated with hostname") ||
         Contains(line, "Non-recoverable failure in name resolution") ||
         Contains(line, "Address family for hostname not supported") ||
         Contains(line, "unknown host");
}

// "64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.270 ms" becomes
// "Reply from 127.0.0.1: bytes=64 icmp_seq=1 ttl=64 time=0.270ms".
std::string ReplyFromIputils(std::string_view line) {
  std::string out;
  const std::size_t from = line.find(" bytes from ");
  const std::size_t colon = line.find(": ", from == std::string_view::npos ? 0 : from);
  if (from != std::string_view::npos && colon != std::string_view::npos) {
    out = "Reply from ";
    out += line.substr(from + 12, colon - (from + 12));
    out += ": bytes=";
    out += Trim(line.substr(0, from));
    out += ' ';
    out += line.substr(colon + 2);
  } else {
    out = std::string(line);
  }
  const std::size_t unit = out.find(" ms", out.find("time="));
  if (unit != std::string::npos) out.erase(unit, 1);
  return out;
}

}  // namespace

std::optional<PingCommand> ParsePingCommandLine(std::string_view line) {
  constexpr std::string_view kHead = "ping ";
  constexpr std::string_view kTail = " -n 1";
  constexpr std::string_view kTimeout = " -w ";
  if (line.substr(0, kHead.size()) != kHead) return std::nullopt;
  if (line.size() < kHead.size() + kTail.size() ||
      line.substr(line.size() - kTail.size()) != kTail)
    return std::nullopt;
  std::string_view middle = line.substr(kHead.size(), line.size() - kHead.size() - kTail.size());
  const std::size_t w = middle.rfind(kTimeout);
  if (w == std::string_view::npos) return std::nullopt;
  std::string_view timeout = middle.substr(w + kTimeout.size());
  if (timeout.empty()) return std::nullopt;
  long long ms = 0;
  bool negative = false;
  std::size_t i = 0;
  if (timeout[0] == '-') { negative = true; i = 1; }
  if (i == timeout.size()) return std::nullopt;
  for (; i < timeout.size(); ++i) {
    if (timeout[i] < '0' || timeout[i] > '9') return std::nullopt;
    ms = ms * 10 + (timeout[i] - '0');
    if (ms > 1'000'000'000) return std::nullopt;
  }
  PingCommand command;
  command.address = std::string(Trim(middle.substr(0, w)));
  command.timeoutMs = static_cast<int>(negative ? -ms : ms);
  // An argument vector cannot carry a NUL: ping would get another address.
  if (command.address.empty() || command.address.find('\0') != std::string::npos) {
    return std::nullopt;
  }
  return command;
}

std::vector<std::string> IputilsArguments(const PingCommand& command) {
  // iputils takes the reply timeout in seconds; fractions are fine. Keep at
  // least a millisecond: 0 would mean "wait forever".
  const int ms = command.timeoutMs > 0 ? command.timeoutMs : 1;
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%d.%03d", ms / 1000, ms % 1000);
  std::vector<std::string> arguments = {"ping", "-n", "-c", "1", "-W", seconds};
  if (command.family == 4 || command.family == 6) arguments.push_back(command.family == 4 ? "-4" : "-6");
  arguments.push_back("--");
  arguments.push_back(command.address);
  return arguments;
}

std::string AdaptIputilsOutput(const PingCommand& command, std::string_view out,
                               std::string_view err) {
  if (out.empty() && err.empty()) return {};

  // The address is shown in the text; a line break in it must not move the
  // reply to another line.
  std::string shown = command.address;
  for (char& c : shown) {
    if (c == '\n' || c == '\r') c = ' ';
  }

  const std::vector<std::string> outLines = SplitLines(out);
  const std::vector<std::string> errLines = SplitLines(err);

  std::string header;
  std::string reply;
  std::vector<std::string_view> rest;  // statistics and anything else, in order
  bool inStatistics = false;
  for (std::string_view line : outLines) {
    if (header.empty() && line.substr(0, 5) == "PING ") {
      header = std::string(line);
    } else if (reply.empty() && !inStatistics && Contains(line, " bytes from ") &&
               Contains(line, "time=")) {
      reply = ReplyFromIputils(line);
    } else if (reply.empty() && !inStatistics && line.substr(0, 5) == "From ") {
      reply = std::string(line);  // an error reply such as "Destination Host Unreachable"
    } else if (!line.empty()) {
      if (line.substr(0, 4) == "--- ") inStatistics = true;
      rest.push_back(line);
    }
  }

  bool notFound = false;
  for (std::string_view line : errLines) notFound = notFound || IsResolutionFailure(line);

  if (reply.empty()) {
    if (notFound) {
      reply = "Ping request could not find host " + shown +
              ". Please check the name and try again.";
    } else {
      for (std::string_view line : errLines) {
        if (!Trim(line).empty()) { reply = std::string(line); break; }
      }
      if (reply.empty()) reply = "Request timed out.";
    }
  }

  std::string text;
  text += "> ping -n -c 1 -W " + IputilsArguments(command)[5] + " -- " + shown + "\n";
  text += header + "\n";
  text += "\n";
  text += reply + "\n";
  text += "\n";
  for (std::string_view line : rest) { text += line; text += '\n'; }
  for (std::string_view line : errLines) {
    if (Trim(line).empty() || reply == line) continue;
    text += line;
    text += '\n';
  }
  return text;
}

}  // namespace quorvel
