#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "graph/plotdata.h"

namespace quorvel {

// One exported sample: when it was taken, its precise reply time (empty:
// lost, or not made) and the whole milliseconds plotted for it; `error`: the
// probe could not be made at all (drawn as lost, but neither sent nor lost).
struct ExportRow {
  std::int64_t unixMs = 0;
  std::int32_t utcOffsetSeconds = 0;
  std::optional<std::int64_t> micros;
  std::int32_t plotted = 0;
  bool error = false;
};

enum class ExportFormat { Csv, JsonLines };

// The format of an export file: its extension decides (".csv" CSV, ".json"
// and ".jsonl" JSON Lines, any letter case); a name with none of these
// takes `chosen`, the file type of the save dialog.
ExportFormat ExportFormatFor(std::string_view fileName, ExportFormat chosen);

// The columns, in order: time (ISO 8601 local time with offset), unix_ms,
// reply_ms (three decimals, empty or null when lost), lost (0 or 1, 0 for a
// probe that could not be made) and plotted_ms; with a target, a first
// column "target" names it. These are the rows of the agent, which writes a
// probe that could not be made as a line of its own, never as a row.
//
// CSV: a header line naming the columns, then one line per row, CR LF
// endings, fields quoted where they hold a comma, quote or line break
// (RFC 4180). JSON Lines: one object per row whose keys are the column
// names, LF endings; each record names its own columns.
std::string ExportHeader(ExportFormat format, bool withTarget);
std::string ExportLine(ExportFormat format, const ExportRow& row, const std::string* target);

// The ping points of the graph, header first: the whole export document of
// the window. Its rows add a last column, error (0 or 1): 1 for a point whose
// probe could not be made (its lost is 0, its reply_ms empty or null), so
// that readers of the columns above keep working.
std::string ExportPoints(const PlotData& data, ExportFormat format);

}  // namespace quorvel
