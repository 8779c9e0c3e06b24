#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// The host's ping (iputils) differs from the command line the plot run builds
// and from the output it reads. This adapter bridges both ways: it turns the
// built command line into an argument vector for iputils, and iputils' output
// into the response text the reply parse expects (reply on the line at index
// 3, "time=<ms>" for a reply, "Request timed out." for a lost one, "could not
// find host" when the name does not resolve).

struct PingCommand {
  std::string address;  // blanks at either end removed
  int timeoutMs = 0;
  int family = 0;       // 4 or 6: only that address family ("-4", "-6"); 0: either
};

// Splits "ping " + address + " -w " + timeout + " -n 1". Returns nothing for a
// line of another shape, an empty address or one holding a NUL.
std::optional<PingCommand> ParsePingCommandLine(std::string_view commandLine);

// The argument vector run for a command: numeric output, one echo, the reply
// timeout in (fractional) seconds, "-4" or "-6" when a family is asked for,
// and the address as a single operand after "--" so that it can never be
// read as an option.
std::vector<std::string> IputilsArguments(const PingCommand& command);

// Brings what iputils wrote into the response text shape. Both streams empty
// gives an empty text.
std::string AdaptIputilsOutput(const PingCommand& command, std::string_view standardOutput,
                               std::string_view standardError);

}  // namespace quorvel
