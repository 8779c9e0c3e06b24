#include "run/livepage.h"

#include <algorithm>
#include <cstdio>

#include "base/text.h"
#include "stats/isotime.h"

namespace quorvel {

namespace {

std::string Row(const char* name, const std::string& value, const char* id) {
  return std::string("<tr><th>") + name + "</th><td id=\"" + id + "\">" + EscapeHtml(value) +
         "</td></tr>\n";
}

// A URL path segment: the image name with every byte outside the unreserved
// set percent-encoded.
std::string UrlSegment(const std::string& name) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

}  // namespace

std::string LivePageHtml(const LivePage& page) {
  const StatisticsSummary& s = page.summary;
  const bool replies = s.received > 0;
  auto ms = [](bool valid, double value) { return valid ? FormatMs(value) + " ms" : std::string("-"); };
  auto three = [&](double a, double b, double c) {
    return replies ? FormatMs(a) + " / " + FormatMs(b) + " / " + FormatMs(c) + " ms" : std::string("-");
  };
  char loss[64];
  std::snprintf(loss, sizeof loss, "%llu of %llu (%.3f %%)", static_cast<unsigned long long>(s.lost),
                static_cast<unsigned long long>(s.sent), s.lossPercent);
  const std::string title = "Quorvel - " + (page.address.empty() ? std::string("no address") : page.address);

  std::string html;
  html += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
  html += "<meta http-equiv=\"refresh\" content=\"" + std::to_string(std::max(1, page.refreshSeconds)) + "\">\n";
  html += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
  html += "<title>" + EscapeHtml(title) + "</title>\n";
  html +=
      "<style>\n"
      "body{font-family:sans-serif;margin:1em;color:#111;background:#fff}\n"
      "img{max-width:100%;height:auto;border:1px solid #999}\n"
      "table{border-collapse:collapse;margin-top:.5em}\n"
      "th,td{padding:.15em .8em;text-align:left;border-bottom:1px solid #ddd}\n"
      "td{font-variant-numeric:tabular-nums}\n"
      ".alert{color:#b00000;font-weight:bold}\n"
      "</style>\n</head>\n<body>\n";
  html += "<h1>" + EscapeHtml(title) + "</h1>\n";
  html += "<p><img id=\"graph\" src=\"" + UrlSegment(page.imageName) + "?t=" +
          std::to_string(page.nowUnixMs) + "\" alt=\"The graph of " + EscapeHtml(page.address) + "\"></p>\n";
  if (page.alertsOn) {
    if (page.alerts.empty()) {
      html += "<p id=\"alerts\">No alert is active.</p>\n";
    } else {
      html += "<ul id=\"alerts\" class=\"alert\">\n";
      for (const ActiveAlert& a : page.alerts) {
        html += "<li>ALERT " + EscapeHtml(a.rule) + ": " + EscapeHtml(a.figures.description) +
                " (since " + EscapeHtml(FormatIsoLocal(a.sinceUnixMs, page.utcOffsetSeconds)) + ")</li>\n";
      }
      html += "</ul>\n";
    }
  }
  html += "<table id=\"figures\">\n";
  html += Row("Lost", loss, "loss");
  html += Row("Min / avg / max of replies", three(s.minMs, s.meanMs, s.maxMs), "minavgmax");
  html += Row("Median / p95 / p99 of replies", three(s.p50Ms, s.p95Ms, s.p99Ms), "percentiles");
  html += Row("Jitter (RFC 3550)", ms(s.received > 1, s.jitterMs), "jitter");
  html += Row("Longest loss run", std::to_string(s.longestLossRun), "lossrun");
  html += Row("Last loss",
              s.lastLossUnixMs ? FormatIsoLocal(*s.lastLossUnixMs, s.lastLossUtcOffsetSeconds) : "none",
              "lastloss");
  html += "</table>\n";
  html += "<p><small>Made " + EscapeHtml(FormatIsoLocal(page.nowUnixMs, page.utcOffsetSeconds)) +
          "; reloads every " + std::to_string(std::max(1, page.refreshSeconds)) + " s.</small></p>\n";
  html += "</body>\n</html>\n";
  return html;
}

}  // namespace quorvel
