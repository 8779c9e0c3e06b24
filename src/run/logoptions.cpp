#include "run/logoptions.h"

#include <cstddef>
#include <utility>

#include "base/text.h"

namespace quorvel {

namespace {


bool ContainsWwwDot(std::string_view text) {
  constexpr std::string_view kWww = "www.";
  if (text.size() < kWww.size()) return false;
  for (std::size_t i = 0; i + kWww.size() <= text.size(); ++i) {
    std::size_t k = 0;
    while (k < kWww.size() && AsciiLower(text[i + k]) == kWww[k]) ++k;
    if (k == kWww.size()) return true;
  }
  return false;
}

// Drops `count` leading code points. Counting lead bytes keeps a multi-byte
// character whole, so the rest stays valid UTF-8.
std::string_view DropCodePoints(std::string_view text, std::size_t count) {
  std::size_t i = 0;
  while (i < text.size() && count > 0) {
    ++i;
    while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
    --count;
  }
  return text.substr(i);
}

}  // namespace

std::string_view LogNamePart(std::string_view fileName) {
  const std::size_t slash = fileName.rfind('/');
  return slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
}

std::string_view LogDirectoryPart(std::string_view fileName) {
  const std::size_t slash = fileName.rfind('/');
  return slash == std::string_view::npos ? std::string_view() : fileName.substr(0, slash + 1);
}

std::string ExtractDomainName(std::string_view address) {
  std::string_view rest = address;
  if (ContainsWwwDot(address)) rest = DropCodePoints(address, 4);
  const std::size_t dot = rest.find('.');
  std::string name(dot == std::string_view::npos ? std::string_view() : rest.substr(0, dot));
  name += ".txt";
  return name;
}

std::string LogNameOnExit(std::string_view fileName) {
  const std::size_t nameStart = fileName.size() - LogNamePart(fileName).size();
  const std::size_t dot = fileName.rfind('.');
  std::string result(dot != std::string_view::npos && dot >= nameStart ? fileName.substr(0, dot)
                                                                        : fileName);
  result += ".txt";
  return result;
}

std::string LogCaption(std::string_view fileName) {
  std::string caption(kPlainCaption);
  caption += "  [Log: ";
  caption += LogNamePart(fileName);
  caption += "]";
  return caption;
}

bool OffersNewLogName(std::string_view proposedName, std::string_view fileName) {
  return proposedName != LogNamePart(fileName) && proposedName != ".txt";
}

LogModeClickPlan PlanLogModeClick(const LogModeChecks& checks, std::string_view fileName,
                                  bool windowShowing, std::string_view selectedEntry) {
  LogModeClickPlan plan;
  if (!checks.Logging()) return plan;
  if (fileName.empty() && windowShowing) {
    plan.step = LogModeClickStep::kBrowse;
    return plan;
  }
  std::string proposed = ExtractDomainName(selectedEntry);
  if (OffersNewLogName(proposed, fileName)) {
    plan.step = LogModeClickStep::kAskChange;
    plan.proposedName = std::move(proposed);
  }
  return plan;
}

std::optional<std::string> CaptionAfterLogModeClick(const LogModeChecks& checks,
                                                    std::string_view fileName) {
  std::optional<std::string> caption;
  if (checks.Logging()) caption = LogCaption(fileName);
  if (fileName.empty() || checks.noLog) caption = std::string(kPlainCaption);
  return caption;
}

std::optional<std::string> CaptionAfterLogNameChange(const LogModeChecks& checks,
                                                     std::string_view fileName) {
  if (fileName.empty() || checks.noLog) return std::string(kPlainCaption);
  return std::nullopt;
}

LogBrowseOutcome AfterLogBrowse(std::string_view fileName) {
  LogBrowseOutcome outcome;
  outcome.noLogChecked = fileName.empty();
  if (fileName.empty()) outcome.caption = std::string(kPlainCaption);
  return outcome;
}

std::string LogBrowseStartDirectory(std::string_view fileName,
                                    std::string_view executableDirectory) {
  std::string_view directory = LogDirectoryPart(fileName);
  if (directory.empty()) return std::string(executableDirectory);
  if (directory.size() > 1) directory.remove_suffix(1);
  return std::string(directory);
}

}  // namespace quorvel
