// The alert rule text and the engine behind it: any text is read or refused
// with a printable message; a rule read back from its canonical text is the
// same rule; fed probes, every rule alternates raised and cleared, and the
// active set says the same as the events.
//
// Input: rule 0x1E probes (each byte one probe: odd lost, even a reply of
// byte x 4 ms).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "alert/alertengine.h"
#include "alert/alertrule.h"
#include "fuzzsupport.h"

using namespace quorvel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto f = fuzzsupport::Fields(data, size, 2);
  const ParsedAlertRule parsed = ParseAlertRule(f[0]);
  if (parsed.status != ParsedAlertRule::Status::Ok) {
    FUZZ_CHECK(!parsed.error.empty());
    for (char c : parsed.error) FUZZ_CHECK(c >= 0x20 && c < 0x7f);
    return 0;
  }

  const std::string text = AlertRuleText(parsed.rule);
  const ParsedAlertRule again = ParseAlertRule(text);
  FUZZ_CHECK(again.status == ParsedAlertRule::Status::Ok);
  FUZZ_CHECK(again.rule == parsed.rule);
  FUZZ_CHECK(AlertRuleText(again.rule) == text);
  FUZZ_CHECK(text.find_first_of("\t\n") == std::string::npos);
  FUZZ_CHECK(AlertRuleSpan(parsed.rule) >= 1);
  FUZZ_CHECK(AlertRuleSpan(parsed.rule) <= kMaxLostInRow);

  // Two rules alike in one engine behave alike.
  AlertEngine engine("target", {parsed.rule, again.rule});
  bool active = false;
  std::int64_t unixMs = 0;
  for (char byte : f[1]) {
    const auto b = static_cast<unsigned char>(byte);
    ProbeOutcome probe;
    probe.unixMs = ++unixMs;
    if ((b & 1) == 0) probe.rtt = std::chrono::milliseconds(b * 4);
    const std::vector<AlertEvent> events = engine.Add(probe);
    FUZZ_CHECK(events.size() == 0 || events.size() == 2);
    for (const AlertEvent& e : events) {
      FUZZ_CHECK((e.type == AlertEvent::Type::Raised) != active);
      FUZZ_CHECK(e.rule == text && e.unixMs == unixMs && !e.figures.description.empty());
    }
    if (!events.empty()) active = !active;
    FUZZ_CHECK(engine.IsActive(0) == active && engine.IsActive(1) == active);
    FUZZ_CHECK(engine.Active().size() == (active ? 2u : 0u));
  }
  return 0;
}
