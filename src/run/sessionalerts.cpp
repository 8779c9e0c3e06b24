#include "run/sessionalerts.h"

#include "stats/isotime.h"
#include "stats/runstatistics.h"

namespace quorvel {

ReadAlertRules ReadSwitchedOnRules(const std::vector<SwitchedRule>& texts) {
  ReadAlertRules read;
  for (const SwitchedRule& text : texts) {
    if (!text.on) continue;
    ParsedAlertRule parsed = ParseAlertRule(text.text);
    if (parsed.status == ParsedAlertRule::Status::Ok) {
      read.rules.push_back(std::move(parsed.rule));
    } else {
      read.errors.push_back("Alert rule \"" + text.text + "\" cannot be used: " + parsed.error);
    }
  }
  return read;
}

std::string ActiveAlertsJson(const std::vector<ActiveAlert>& active, std::int32_t utcOffsetSeconds) {
  std::string json = "[";
  for (const ActiveAlert& a : active) {
    if (json.size() > 1) json += ',';
    json += "{\"rule\":" + JsonString(a.rule);
    json += ",\"since\":" + JsonString(FormatIsoLocal(a.sinceUnixMs, utcOffsetSeconds));
    json += ",\"since_unix_ms\":" + std::to_string(a.sinceUnixMs);
    json += ",\"value\":" + JsonString(a.figures.value);
    json += ",\"description\":" + JsonString(a.figures.description) + "}";
  }
  return json + "]";
}

std::string WithAlerts(std::string statisticsJson, const std::string& alertsJson) {
  const std::size_t close = statisticsJson.rfind('}');
  if (close == std::string::npos) return statisticsJson;
  statisticsJson.insert(close, ",\"alerts\":" + alertsJson);
  return statisticsJson;
}

std::string AlertLogLine(const AlertEvent& event) {
  return FormatIsoLocal(event.unixMs, event.utcOffsetSeconds) + " alert " +
         AlertEventTypeName(event.type) + ": " + event.target + " " + event.rule + ": " +
         event.figures.description + "\n";
}

std::string AlertNotificationTitle(const AlertEvent& event) {
  return std::string("Quorvel: alert ") + AlertEventTypeName(event.type);
}

std::string AlertNotificationText(const AlertEvent& event) {
  return event.target + " " + event.rule + ": " + event.figures.description;
}

std::string ActiveAlertsLine(const std::vector<ActiveAlert>& active) {
  std::string line;
  for (const ActiveAlert& a : active) {
    line += line.empty() ? "ALERT " : "; ";
    line += a.rule + ": " + a.figures.description;
  }
  return line;
}

std::string_view CaptionWithoutAlert(std::string_view caption) {
  if (caption.substr(0, kAlertCaptionMark.size()) == kAlertCaptionMark) {
    caption.remove_prefix(kAlertCaptionMark.size());
  }
  return caption;
}

std::string CaptionWithAlert(std::string_view caption, bool active) {
  const std::string_view plain = CaptionWithoutAlert(caption);
  return active ? std::string(kAlertCaptionMark) + std::string(plain) : std::string(plain);
}

std::vector<std::string> CommandWords(const std::string& command) {
  std::vector<std::string> words;
  std::string word;
  for (char c : command) {
    if (c == ' ' || c == '\t') {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

}  // namespace quorvel
