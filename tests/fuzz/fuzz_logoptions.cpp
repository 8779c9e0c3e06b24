// The rules of the log options: the name and folder parts of a log file
// name, the name proposed from an address, the name made on leaving the box,
// the captions and the start folder of the file dialog.
//
// Input: file name 0x1E address 0x1E flags (first byte: bits of the three
// log-mode checks and whether the window shows).
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzzsupport.h"
#include "run/logoptions.h"

using namespace quorvel;

namespace {

// Whether `text` is well-formed UTF-8 (any code point, overlongs aside).
bool ValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    std::size_t length = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto f = fuzzsupport::Fields(data, size, 3);
  const std::string_view fileName = f[0];
  const std::string_view address = f[1];
  const unsigned flags = f[2].empty() ? 0u : static_cast<unsigned char>(f[2][0]);

  // A name is its folder part and its name part, and only the folder part
  // holds a "/".
  const std::string_view name = LogNamePart(fileName);
  const std::string_view folder = LogDirectoryPart(fileName);
  FUZZ_CHECK(std::string(folder) + std::string(name) == fileName);
  FUZZ_CHECK(name.find('/') == std::string_view::npos);
  FUZZ_CHECK(folder.empty() || folder.back() == '/');

  // Leaving the box: the same folder, a text file, and leaving it again
  // changes nothing more.
  const std::string onExit = LogNameOnExit(fileName);
  FUZZ_CHECK(onExit.ends_with(".txt"));
  FUZZ_CHECK(LogDirectoryPart(onExit) == folder);
  FUZZ_CHECK(LogNameOnExit(onExit) == onExit);

  // The proposed name: a text file whose stem holds no ".", valid UTF-8
  // from a valid address.
  const std::string proposed = ExtractDomainName(address);
  FUZZ_CHECK(proposed.ends_with(".txt"));
  FUZZ_CHECK(proposed.find('.') == proposed.size() - 4);
  if (ValidUtf8(address)) FUZZ_CHECK(ValidUtf8(proposed));
  FUZZ_CHECK(proposed.size() <= address.size() + 4);

  FUZZ_CHECK(LogCaption(fileName) == "Quorvel  [Log: " + std::string(name) + "]");

  // The dialog starts in the name's folder (without its last "/", except
  // the root) or in the program's.
  const std::string start = LogBrowseStartDirectory(fileName, "/opt/quorvel");
  if (folder.empty()) {
    FUZZ_CHECK(start == "/opt/quorvel");
  } else {
    FUZZ_CHECK(!start.empty() && (start == "/" || !start.ends_with('/') || folder.ends_with("//")));
    FUZZ_CHECK(std::string_view(fileName).starts_with(start));
  }

  // A log-mode click: nothing without a mode, a browse only for an empty
  // name on a shown window, a question only for a new name.
  LogModeChecks checks;
  checks.noLog = (flags & 1) != 0;
  checks.allLog = (flags & 2) != 0;
  checks.onlyLog = (flags & 4) != 0;
  const bool showing = (flags & 8) != 0;
  const LogModeClickPlan plan = PlanLogModeClick(checks, fileName, showing, address);
  if (!checks.Logging()) FUZZ_CHECK(plan.step == LogModeClickStep::kNothing);
  if (plan.step == LogModeClickStep::kBrowse) FUZZ_CHECK(fileName.empty() && showing);
  if (plan.step == LogModeClickStep::kAskChange) {
    FUZZ_CHECK(plan.proposedName == proposed && OffersNewLogName(proposed, fileName));
    FUZZ_CHECK(plan.proposedName != name && plan.proposedName != ".txt");
  }
  const auto caption = CaptionAfterLogModeClick(checks, fileName);
  if (fileName.empty() || checks.noLog) {
    FUZZ_CHECK(caption == std::string("Quorvel"));
  } else if (checks.Logging()) {
    FUZZ_CHECK(caption == LogCaption(fileName));
  }
  const LogBrowseOutcome browse = AfterLogBrowse(fileName);
  FUZZ_CHECK(browse.noLogChecked == fileName.empty());
  return 0;
}
