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

}  // namespace

std::string ExportHeader(ExportFormat format, bool withTarget) {
  if (format == ExportFormat::JsonLines) return {};
  return std::string(withTarget ? "target," : "") + "time,unix_ms,reply_ms,lost,plotted_ms\r\n";
}

std::string ExportLine(ExportFormat format, const ExportRow& row, const std::string* target) {
  const std::string time = FormatIsoLocal(row.unixMs, row.utcOffsetSeconds);
  const std::string unixMs = std::to_string(row.unixMs);
  const std::string plotted = std::to_string(row.plotted);
  std::string line;
  if (format == ExportFormat::Csv) {
    if (target) line += CsvField(*target) + ",";
    line += time + "," + unixMs + "," + (row.micros ? FormatMicrosAsMs(*row.micros) : "") + "," +
            (row.micros ? "0" : "1") + "," + plotted + "\r\n";
  } else {
    line = "{";
    if (target) line += "\"target\":" + JsonString(*target) + ",";
    line += "\"time\":\"" + time + "\",\"unix_ms\":" + unixMs +
            ",\"reply_ms\":" + (row.micros ? FormatMicrosAsMs(*row.micros) : "null") +
            ",\"lost\":" + (row.micros ? "0" : "1") + ",\"plotted_ms\":" + plotted + "}\n";
  }
  return line;
}

std::string ExportPoints(const PlotData& data, ExportFormat format) {
  std::string out = ExportHeader(format, false);
  out.reserve(out.size() + data.PingCount() * 72);
  for (std::size_t i = 0; i < data.PingCount(); ++i) {
    const PingDetail d = data.Detail(i);
    out += ExportLine(format, {d.unixMs, d.utcOffsetSeconds, d.micros, data.Ping(i).value}, nullptr);
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
