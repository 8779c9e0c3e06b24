#include "icmp/pathreport.h"

#include <cstdio>

#include "stats/isotime.h"
#include "stats/runstatistics.h"

namespace quorvel::icmp {
namespace {

// Three decimals, as the reports of the agent write times and loss.
std::string Ms(double value) { return FormatMs(value); }

std::string Percent(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

std::string Pad(const std::string& text, std::size_t width, bool right) {
  if (text.size() >= width) return text;
  const std::string fill(width - text.size(), ' ');
  return right ? fill + text : text + fill;
}

std::string HopHost(const HopFigures& h, bool names) {
  if (h.seen.empty()) return "???";
  const std::string address = h.address.to_string();
  return names && !h.name.empty() ? h.name + " (" + address + ")" : address;
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

std::string PathReport(const PathSnapshot& path, const std::string& localHost, bool names) {
  constexpr std::size_t kHost = 40;
  const char* columns[] = {"Snt", "Last", "Avg", "Best", "Wrst", "StDev", "Rcv", "p50", "p95", "Jttr"};
  std::string out = Pad("HOST: " + localHost, kHost + 8, false) + Pad("Loss%", 7, true);
  for (const char* c : columns) out += Pad(c, 9, true);
  out += "\n";
  bool limited = false;
  bool unreachable = false;
  for (const HopFigures& h : path.hops) {
    const StatisticsSummary& s = h.figures;
    std::string line = Pad(std::to_string(h.hop), 3, true) + ".|-- " + Pad(HopHost(h, names), kHost, false);
    std::string loss = Percent(s.lossPercent) + "%";
    if (h.rateLimited) {
      loss += "*";
      limited = true;
    } else if (h.unreachable) {
      loss += "!";
      unreachable = true;
    } else {
      loss += " ";
    }
    line += Pad(loss, 8, true);
    const bool any = s.received > 0;
    const auto time = [&](double ms, bool exists) { return Pad(exists ? Ms(ms) : "-", 9, true); };
    line += Pad(std::to_string(s.sent), 9, true);
    line += time(h.lastNs ? static_cast<double>(*h.lastNs) / 1e6 : 0, h.lastNs.has_value());
    line += time(s.meanMs, any) + time(s.minMs, any) + time(s.maxMs, any) + time(s.stdDevMs, any);
    line += Pad(std::to_string(s.received), 9, true);
    line += time(s.p50Ms, any) + time(s.p95Ms, any) + time(s.jitterMs, s.received > 1);
    out += line + "\n";
    for (std::size_t i = 0; i < h.seen.size(); ++i) {
      if (h.seen[i] != h.address) out += "       " + h.seen[i].to_string() + "\n";
    }
  }
  out += "path to " + path.target.to_string() + ": " + std::to_string(path.rounds) + " rounds, " +
         (path.reached ? "target reached" : "target not reached") + ", " + std::to_string(path.pathChanges) +
         " path change" + (path.pathChanges == 1 ? "" : "s") + "\n";
  if (limited) out += "* loss not carried on to later hops: this router limits its answers\n";
  if (unreachable) out += "! destination unreachable\n";
  return out;
}

std::string PathJson(const PathSnapshot& path, const std::string& localHost, std::size_t packetBytes) {
  const auto number = [](double ms, bool exists) { return exists ? Ms(ms) : std::string("null"); };
  std::string out = "{\"report\":{\"mtr\":{\"src\":" + JsonString(localHost) +
                    ",\"dst\":" + JsonString(path.target.to_string()) +
                    ",\"tos\":0,\"tests\":" + std::to_string(path.rounds) + ",\"psize\":\"" +
                    std::to_string(packetBytes) + "\",\"bitpattern\":\"0x00\"},\"hubs\":[";
  for (std::size_t i = 0; i < path.hops.size(); ++i) {
    const HopFigures& h = path.hops[i];
    const StatisticsSummary& s = h.figures;
    const bool any = s.received > 0;
    if (i) out += ",";
    out += "{\"count\":" + std::to_string(h.hop);
    out += ",\"host\":" + JsonString(h.seen.empty() ? "???" : (h.name.empty() ? h.address.to_string() : h.name));
    out += ",\"Loss%\":" + Ms(s.lossPercent);
    out += ",\"Snt\":" + std::to_string(s.sent);
    out += ",\"Last\":" + number(h.lastNs ? static_cast<double>(*h.lastNs) / 1e6 : 0, h.lastNs.has_value());
    out += ",\"Avg\":" + number(s.meanMs, any) + ",\"Best\":" + number(s.minMs, any);
    out += ",\"Wrst\":" + number(s.maxMs, any) + ",\"StDev\":" + number(s.stdDevMs, any);
    out += ",\"Rcv\":" + std::to_string(s.received);
    out += ",\"p50\":" + number(s.p50Ms, any) + ",\"p95\":" + number(s.p95Ms, any);
    out += ",\"jitter\":" + number(s.jitterMs, s.received > 1);
    out += ",\"late\":" + std::to_string(h.late);
    out += ",\"address\":" + (h.seen.empty() ? std::string("null") : JsonString(h.address.to_string()));
    out += ",\"addresses\":[";
    for (std::size_t k = 0; k < h.seen.size(); ++k) out += (k ? "," : "") + JsonString(h.seen[k].to_string());
    out += "],\"changes\":" + std::to_string(h.changes);
    out += std::string(",\"rate_limited\":") + (h.rateLimited ? "true" : "false");
    out += std::string(",\"unreachable\":") + (h.unreachable ? "true" : "false");
    out += std::string(",\"target\":") + (h.target ? "true" : "false") + "}";
  }
  out += "],\"path\":{\"rounds\":" + std::to_string(path.rounds) + ",\"changes\":" + std::to_string(path.pathChanges) +
         ",\"reached\":" + (path.reached ? "true" : "false") + "}}}";
  return out;
}

std::string PathCsvHeader() { return "time,unix_ms,target,round,hop,address,status,rtt_ms\r\n"; }

std::string PathCsvLine(const HopResult& r, const std::string& target, std::int32_t utcOffsetSeconds) {
  const std::int64_t unixMs = FloorDiv(r.sentUnixNs, 1'000'000);
  const bool answered = r.kind != HopResult::Kind::Lost;
  return FormatIsoLocal(unixMs, utcOffsetSeconds) + "," + std::to_string(unixMs) + "," + CsvField(target) + "," +
         std::to_string(r.round + 1) + "," + std::to_string(r.hop) + "," + (answered ? r.from.to_string() : "") + "," +
         HopKindName(r.kind) + "," + (answered ? FormatMicrosAsMs((r.rttNs + 500) / 1000) : "") + "\r\n";
}

}  // namespace quorvel::icmp
