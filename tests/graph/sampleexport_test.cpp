#include "graph/sampleexport.h"

#include <gtest/gtest.h>

#include <string>

#include "stats/isotime.h"
#include "graph/plotdata.h"
#include "stats/runstatistics.h"

namespace quorvel {
namespace {

TEST(FormatIsoLocal, CalendarAndOffsets) {
  const struct {
    std::int64_t ms;
    std::int32_t offset;
    const char* text;
  } cases[] = {
      {0, 0, "1970-01-01T00:00:00.000+00:00"},
      {1'733'666'709'123, 3600, "2024-12-08T15:05:09.123+01:00"},
      {1'733'666'709'123, -5 * 3600 - 1800, "2024-12-08T08:35:09.123-05:30"},
      {951'782'400'000, 0, "2000-02-29T00:00:00.000+00:00"},   // leap day of a century leap year
      {4'107'542'400'000, 0, "2100-03-01T00:00:00.000+00:00"}, // 2100 is not a leap year
      {-1, 0, "1969-12-31T23:59:59.999+00:00"},
      {1'798'761'599'999, 50400, "2027-01-01T13:59:59.999+14:00"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatIsoLocal(c.ms, c.offset), c.text) << c.ms;
}

TEST(SampleExport, CsvAndJsonLinesRows) {
  const ExportRow reply{1'733'666'709'123, 3600, 47, 0};
  const ExportRow lost{1'733'666'710'123, 3600, std::nullopt, 800};
  const ExportRow slow{1'733'666'711'000, 3600, 315'522, 315};
  EXPECT_EQ(ExportHeader(ExportFormat::Csv, false), "time,unix_ms,reply_ms,lost,plotted_ms\r\n");
  EXPECT_EQ(ExportHeader(ExportFormat::Csv, true),
            "target,time,unix_ms,reply_ms,lost,plotted_ms\r\n");
  EXPECT_EQ(ExportHeader(ExportFormat::JsonLines, true), "");
  EXPECT_EQ(ExportLine(ExportFormat::Csv, reply, nullptr),
            "2024-12-08T15:05:09.123+01:00,1733666709123,0.047,0,0\r\n");
  EXPECT_EQ(ExportLine(ExportFormat::Csv, lost, nullptr),
            "2024-12-08T15:05:10.123+01:00,1733666710123,,1,800\r\n");
  const std::string target = "a,\"b\"";
  EXPECT_EQ(ExportLine(ExportFormat::Csv, slow, &target),
            "\"a,\"\"b\"\"\",2024-12-08T15:05:11.000+01:00,1733666711000,315.522,0,315\r\n");
  EXPECT_EQ(ExportLine(ExportFormat::JsonLines, reply, nullptr),
            "{\"time\":\"2024-12-08T15:05:09.123+01:00\",\"unix_ms\":1733666709123,"
            "\"reply_ms\":0.047,\"lost\":0,\"plotted_ms\":0}\n");
  EXPECT_EQ(ExportLine(ExportFormat::JsonLines, lost, &target),
            "{\"target\":\"a,\\\"b\\\"\",\"time\":\"2024-12-08T15:05:10.123+01:00\","
            "\"unix_ms\":1733666710123,\"reply_ms\":null,\"lost\":1,\"plotted_ms\":800}\n");
  EXPECT_EQ(FormatMicrosAsMs(0), "0.000");
  EXPECT_EQ(FormatMicrosAsMs(1'234'567'890'000), "1234567890.000");
}

TEST(PlotData, KeepsInstantsAndPreciseTimesBesideTheDrawnPoint) {
  PlotData d;
  // 23:59:59.900 local at +01:00, then across midnight, then the clock goes
  // back an hour (a new offset), then a 50-day gap: each label and instant
  // must come back as given.
  const std::int64_t t0 = 1'733'698'799'900;  // 2024-12-08T23:59:59.900+01:00
  const struct {
    std::int64_t ms;
    std::int32_t offset;
    std::optional<std::int64_t> micros;
  } points[] = {
      {t0, 3600, 47},
      {t0 + 200, 3600, std::nullopt},
      {t0 + 1'200, 3600, 4'294'967'294},
      {t0 + 2'200, 0, 5},
      {t0 + 2'200 - 10'000, 0, 6},
      {t0 + 50LL * 86'400'000, 0, 7},
      {t0 + 50LL * 86'400'000 + 1, 0, std::int64_t{1} << 40},  // kept as the largest time
  };
  std::int32_t value = 0;
  for (const auto& p : points) {
    const std::int64_t local = p.ms / 1000 + p.offset;
    const auto seconds = static_cast<std::uint32_t>(local % 86400);
    d.AddPing(value++, kBlue, PointStamp{seconds, p.ms, p.offset}, p.micros);
  }
  ASSERT_EQ(d.PingCount(), std::size(points));
  for (std::size_t i = 0; i < std::size(points); ++i) {
    SCOPED_TRACE(i);
    const PingDetail detail = d.Detail(i);
    EXPECT_EQ(detail.unixMs, points[i].ms);
    EXPECT_EQ(detail.utcOffsetSeconds, points[i].offset);
    if (i == 6) {
      EXPECT_EQ(detail.micros, std::optional<std::int64_t>(4'294'967'294));
    } else {
      EXPECT_EQ(detail.micros, points[i].micros);
    }
    EXPECT_EQ(d.Ping(i).time, (points[i].ms / 1000 + points[i].offset) % 86400);
    EXPECT_EQ(d.Ping(i).value, static_cast<std::int32_t>(i));
  }
  EXPECT_EQ(d.Ping(0).time, 86399u);
  EXPECT_EQ(d.Ping(2).time, 3600u * 0 + 1u);  // 00:00:01 on the next day

  d.Clear();
  EXPECT_EQ(d.PingCount(), 0u);
  d.AddPing(5, kRed, 36000);
  EXPECT_EQ(d.Ping(0).time, 36000u);
  EXPECT_FALSE(d.Detail(0).micros);
}

TEST(PlotData, AveragePointsKeepTheColourTheyWereAddedIn) {
  PlotData d;
  const Colour colours[] = {kFuchsia, kFuchsia, kBlue, kBlue, kFuchsia, kRed};
  for (std::size_t i = 0; i < std::size(colours); ++i) {
    d.AddAverage(0.5 + double(i), colours[i], std::uint32_t(100 + i));
  }
  for (std::size_t i = 0; i < std::size(colours); ++i) {
    EXPECT_EQ(d.Average(i).colour, colours[i]) << i;
    EXPECT_EQ(d.Average(i).value, 0.5 + double(i));
    EXPECT_EQ(d.Average(i).time, 100 + i);
  }
}

TEST(ExportPoints, IsTheHeaderAndOneLinePerPingPoint) {
  PlotData d;
  d.AddPing(0, kBlue, PointStamp{0, 1'000, 0}, 470);
  d.AddPing(800, kRed, PointStamp{1, 2'000, 0}, std::nullopt);
  d.AddFailedPing(800, kRed, PointStamp{2, 3'000, 0});
  d.AddAverage(400, kFuchsia, 1);
  // The window's document adds the last column "error".
  EXPECT_EQ(ExportPoints(d, ExportFormat::Csv),
            "time,unix_ms,reply_ms,lost,plotted_ms,error\r\n"
            "1970-01-01T00:00:01.000+00:00,1000,0.470,0,0,0\r\n"
            "1970-01-01T00:00:02.000+00:00,2000,,1,800,0\r\n"
            "1970-01-01T00:00:03.000+00:00,3000,,0,800,1\r\n");
  EXPECT_EQ(ExportPoints(PlotData{}, ExportFormat::JsonLines), "");
}

TEST(SampleExport, TheTypedExtensionDecidesTheFormat) {
  const struct {
    const char* name;
    ExportFormat chosen, format;
  } cases[] = {
      {"/tmp/export.json", ExportFormat::Csv, ExportFormat::JsonLines},
      {"/tmp/export.JSONL", ExportFormat::Csv, ExportFormat::JsonLines},
      {"/tmp/export.csv", ExportFormat::JsonLines, ExportFormat::Csv},
      {"/tmp/export", ExportFormat::JsonLines, ExportFormat::JsonLines},
      {"/tmp/export.txt", ExportFormat::Csv, ExportFormat::Csv},
      {"/tmp/a.csv/export", ExportFormat::JsonLines, ExportFormat::JsonLines},
  };
  for (const auto& c : cases) EXPECT_EQ(ExportFormatFor(c.name, c.chosen), c.format) << c.name;
}

}  // namespace
}  // namespace quorvel
