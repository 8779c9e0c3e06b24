// Writes the export of a graph of random points in both types, and beside
// them what each row holds, for the spreadsheet-reader test
// (export_roundtrip.py): exporttool <folder>.
#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include "graph/plotdata.h"
#include "graph/sampleexport.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string folder = argv[1];
  quorvel::PlotData data;
  std::ofstream truth(folder + "/truth.tsv");
  std::mt19937_64 random(42);
  std::int64_t now = 1'733'698'700'000;  // late on a day, so rows cross midnight
  const std::int32_t offsets[] = {3600, 3600, 7200, -34200, 0, 20700};
  for (int i = 0; i < 2000; ++i) {
    now += 500 + static_cast<std::int64_t>(random() % 5000);
    const std::int32_t offset = offsets[(i / 400) % 6];
    const bool lost = random() % 9 == 0;
    const std::int64_t micros = static_cast<std::int64_t>(random() % 3'000'000);
    const std::int32_t plotted = lost ? 800 : static_cast<std::int32_t>(micros / 1000);
    const auto seconds = static_cast<std::uint32_t>(((now / 1000 + offset) % 86400 + 86400) % 86400);
    data.AddPing(plotted, lost ? quorvel::kRed : quorvel::kBlue,
                 quorvel::PointStamp{seconds, now, offset},
                 lost ? std::nullopt : std::optional<std::int64_t>(micros));
    truth << now << '\t' << offset << '\t' << (lost ? std::string("-") : std::to_string(micros))
          << '\t' << plotted << '\n';
  }
  std::ofstream(folder + "/export.csv", std::ios::binary)
      << quorvel::ExportPoints(data, quorvel::ExportFormat::Csv);
  std::ofstream(folder + "/export.jsonl", std::ios::binary)
      << quorvel::ExportPoints(data, quorvel::ExportFormat::JsonLines);
  return 0;
}
