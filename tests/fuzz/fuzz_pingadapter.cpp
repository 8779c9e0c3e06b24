// The probe's text side: the command line of one ping, the argument vector
// run for it, the adaptation of the host ping's output, and the reply parse.
//
// Input: address 0x1E timeout (decimal) 0x1E standard output 0x1E standard
// error. Properties: the address always reaches ping whole, as the one
// operand after "--"; the reply always stands on the line the parse reads;
// a reply read is a whole reply time, or the timeout for a lost one.
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "fuzzsupport.h"
#include "probe/pingadapter.h"
#include "probe/pingprobe.h"

using namespace quorvel;

namespace {

void CheckSample(const PingReply& sample, std::int32_t timeout) {
  if (sample.Lost()) {
    FUZZ_CHECK(sample.text == std::to_string(timeout) && sample.value == timeout);
    return;
  }
  FUZZ_CHECK(!sample.text.empty() && sample.text.size() <= 10);
  FUZZ_CHECK(sample.text.find_first_not_of("0123456789") == std::string::npos);
  std::int64_t value = 0;
  std::from_chars(sample.text.data(), sample.text.data() + sample.text.size(), value);
  FUZZ_CHECK(value == sample.value && sample.value >= 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto f = fuzzsupport::Fields(data, size, 4);
  const std::string_view address = f[0];
  std::int32_t timeout = 800;
  std::from_chars(f[1].data(), f[1].data() + f[1].size(), timeout);
  const std::string_view out = f[2];
  const std::string_view err = f[3];

  // The command line of the plot run, taken apart again.
  const std::string line = BuildPingCommandLine(address, timeout);
  const std::optional<PingCommand> command = ParsePingCommandLine(line);
  const std::string_view trimmed = Trim(address);
  const bool carried = !trimmed.empty() && trimmed.find('\0') == std::string_view::npos;
  if (timeout >= -1'000'000'000 && timeout <= 1'000'000'000) {
    FUZZ_CHECK(command.has_value() == carried);
  }
  if (command) {
    FUZZ_CHECK(command->address == trimmed);
    FUZZ_CHECK(command->timeoutMs == timeout);
    // The argument vector: options first, then "--" and the address as its
    // own, last operand, which an exec can carry (no NUL inside).
    const std::vector<std::string> argv = IputilsArguments(*command);
    FUZZ_CHECK(argv.size() == 8 && argv[0] == "ping");
    FUZZ_CHECK(argv[6] == "--" && argv[7] == command->address);
    for (const std::size_t option : {1, 2, 4}) FUZZ_CHECK(argv[option].starts_with('-'));
    for (const std::string& a : argv) FUZZ_CHECK(a.find('\0') == std::string::npos);

    // The adapted output: the reply is the line at index 3, however the
    // lines are broken, and nothing before it takes its place.
    const std::string text = AdaptIputilsOutput(*command, out, err);
    if (!out.empty() || !err.empty()) {
      std::vector<std::string_view> adapted;
      for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        adapted.push_back(std::string_view(text).substr(at, end - at));
        at = end + 1;
      }
      FUZZ_CHECK(adapted.size() >= 5);
      FUZZ_CHECK(ReplyLine(text) == adapted[3]);
      FUZZ_CHECK(!adapted[3].empty());
      CheckSample(ParseReplyLine(ReplyLine(text), timeout), timeout);
      // A name that does not resolve is reported as such when no reply came
      // (a carriage return inside a line counts as a blank).
      std::string lines(out);
      for (char& c : lines) {
        if (c == '\r') c = ' ';
      }
      if (fuzzsupport::Contains(err, "Name or service not known") &&
          !fuzzsupport::Contains(lines, " bytes from ") &&
          !fuzzsupport::Contains(lines, "\nFrom ") && !lines.starts_with("From ")) {
        FUZZ_CHECK(ContainsHostNotFound(text));
      }
    } else {
      FUZZ_CHECK(text.empty());
    }
  }

  // Any reply line and any response text.
  CheckSample(ParseReplyLine(out, timeout), timeout);
  const std::string reply = ReplyLine(out);
  FUZZ_CHECK(reply.find_first_of("\r\n") == std::string::npos);
  FUZZ_CHECK(reply.size() <= out.size());
  return 0;
}
