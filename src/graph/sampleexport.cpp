#include "graph/sampleexport.h"

#include <cctype>
#include <cstdio>

#include "stats/isotime.h"
#include "stats/runstatistics.h"

namespace quorvel {

namespace {

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

// The header and lines of both shapes: the agent's rows, and the window's
// document with the error column at its end.
std::string Header(ExportFormat format, bool withTarget, bool withError) {
  if (format == ExportFormat::JsonLines) return {};
  return std::string(withTarget ? "target," : "") + "time,unix_ms,reply_ms,lost,plotted_ms" +
         (withError ? ",error" : "") + "\r\n";
}

std::string Line(ExportFormat format, const ExportRow& row, const std::string* target,
                 bool withError) {
  const std::string time = FormatIsoLocal(row.unixMs, row.utcOffsetSeconds);
  const std::string unixMs = std::to_string(row.unixMs);
  const std::string plotted = std::to_string(row.plotted);
  const char* lost = row.micros || row.error ? "0" : "1";
  const char* error = row.error ? "1" : "0";
  std::string line;
  if (format == ExportFormat::Csv) {
    if (target) line += CsvField(*target) + ",";
    line += time + "," + unixMs + "," + (row.micros ? FormatMicrosAsMs(*row.micros) : "") + "," +
            lost + "," + plotted + (withError ? std::string(",") + error : "") + "\r\n";
  } else {
    line = "{";
    if (target) line += "\"target\":" + JsonString(*target) + ",";
    line += "\"time\":\"" + time + "\",\"unix_ms\":" + unixMs +
            ",\"reply_ms\":" + (row.micros ? FormatMicrosAsMs(*row.micros) : "null") +
            ",\"lost\":" + lost + ",\"plotted_ms\":" + plotted +
            (withError ? std::string(",\"error\":") + error : "") + "}\n";
  }
  return line;
}

}  // namespace

std::string ExportHeader(ExportFormat format, bool withTarget) {
  return Header(format, withTarget, false);
}

std::string ExportLine(ExportFormat format, const ExportRow& row, const std::string* target) {
  return Line(format, row, target, false);
}

std::string ExportPoints(const PlotData& data, ExportFormat format) {
  std::string out = Header(format, false, true);
  out.reserve(out.size() + data.PingCount() * 80);
  for (std::size_t i = 0; i < data.PingCount(); ++i) {
    const PingDetail d = data.Detail(i);
    out += Line(format, {d.unixMs, d.utcOffsetSeconds, d.micros, data.Ping(i).value, d.failed},
                nullptr, true);
  }
  return out;
}

ExportFormat ExportFormatFor(std::string_view fileName, ExportFormat chosen) {
  const std::size_t slash = fileName.rfind('/');
  const std::size_t dot = fileName.rfind('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return chosen;
  std::string extension(fileName.substr(dot + 1));
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == "csv") return ExportFormat::Csv;
  if (extension == "json" || extension == "jsonl") return ExportFormat::JsonLines;
  return chosen;
}

}  // namespace quorvel
