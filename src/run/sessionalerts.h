#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "alert/alertengine.h"
#include "alert/alertrule.h"

namespace quorvel {

// The alert rules of the window's settings, as texts with their switches:
// the rules switched on, read, and the sentences of those that cannot be
// read ("Alert rule "lost>=x" cannot be used: ..."), which are left out.
struct SwitchedRule {
  bool on = false;
  std::string text;
};
struct ReadAlertRules {
  std::vector<AlertRule> rules;
  std::vector<std::string> errors;
};
ReadAlertRules ReadSwitchedOnRules(const std::vector<SwitchedRule>& texts);

// The active alerts as a JSON array of objects, in the order of the rules:
//   {"rule":"lost>=3","since":"2026-12-07T14:05:09+01:00",
//    "since_unix_ms":...,"value":"3","description":"3 lost in a row"}
std::string ActiveAlertsJson(const std::vector<ActiveAlert>& active, std::int32_t utcOffsetSeconds);

// `statisticsJson` (one object, as StatisticsJson writes it) with the member
// "alerts": `alertsJson` added at its end.
std::string WithAlerts(std::string statisticsJson, const std::string& alertsJson);

// A line of the alert log, with its end of line:
//   "2026-12-07T14:05:09+01:00 alert raised: 127.0.0.1 lost>=3: 3 lost in a row\n"
std::string AlertLogLine(const AlertEvent& event);

// The window's texts for an alert event and for the active alerts: the
// notification's title ("Quorvel: alert raised") and text ("127.0.0.1
// lost>=3: 3 lost in a row"), and the status panel's line ("ALERT lost>=3:
// 3 lost in a row", several joined by "; "), empty with none.
std::string AlertNotificationTitle(const AlertEvent& event);
std::string AlertNotificationText(const AlertEvent& event);
std::string ActiveAlertsLine(const std::vector<ActiveAlert>& active);

// The window caption while an alert is active: "[ALERT] " before the
// caption the window would have without it; CaptionWithoutAlert takes the
// mark off again.
inline constexpr std::string_view kAlertCaptionMark = "[ALERT] ";
std::string CaptionWithAlert(std::string_view caption, bool active);
std::string_view CaptionWithoutAlert(std::string_view caption);

// The words of an alert command as typed: split at blanks (spaces and tabs),
// no quoting and no shell; the first word is the program.
std::vector<std::string> CommandWords(const std::string& command);

}  // namespace quorvel
