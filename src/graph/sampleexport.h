#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "graph/plotdata.h"

namespace quorvel {

// One exported sample: when it was taken, its precise reply time (empty:
// lost) and the whole milliseconds plotted for it.
struct ExportRow {
  std::int64_t unixMs = 0;
  std::int32_t utcOffsetSeconds = 0;
  std::optional<std::int64_t> micros;
  std::int32_t plotted = 0;
};

enum class ExportFormat { Csv, JsonLines };

// The format of an export file: its extension decides (".csv" CSV, ".json"
// and ".jsonl" JSON Lines, any letter case); a name with none of these
// takes `chosen`, the file type of the save dialog.
ExportFormat ExportFormatFor(std::string_view fileName, ExportFormat chosen);

// The columns, in order: time (ISO 8601 local time with offset), unix_ms,
// reply_ms (three decimals, empty or null when lost), lost (0 or 1) and
// plotted_ms; with a target, a first column "target" names it.
//
// CSV: a header line naming the columns, then one line per row, CR LF
// endings, fields quoted where they hold a comma, quote or line break
// (RFC 4180). JSON Lines: one object per row whose keys are the column
// names, LF endings; each record names its own columns.
std::string ExportHeader(ExportFormat format, bool withTarget);
std::string ExportLine(ExportFormat format, const ExportRow& row, const std::string* target);

// The ping points of the graph, header first: the whole export document.
std::string ExportPoints(const PlotData& data, ExportFormat format);

}  // namespace quorvel
