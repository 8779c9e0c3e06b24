#include "stats/prometheus.h"
#include "stats/targetfigures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace quorvel {
namespace {

// A small reader of the text exposition format, strict about what the
// format requires: HELP and TYPE before a family's samples, a family's
// samples together, label values escaped, every line ended by LF.
struct Exposition {
  struct Family {
    std::string help;
    std::string type;
  };
  struct Sample {
    std::string name;
    std::vector<std::pair<std::string, std::string>> labels;
    std::string value;

    std::string Label(const std::string& key) const {
      for (const auto& [k, v] : labels) {
        if (k == key) return v;
      }
      return "<none>";
    }
  };
  std::map<std::string, Family> families;
  std::vector<Sample> samples;
  std::vector<std::string> errors;

  std::vector<Sample> Of(const std::string& name) const {
    std::vector<Sample> out;
    for (const Sample& s : samples) {
      if (s.name == name) out.push_back(s);
    }
    return out;
  }
};

bool IsNameStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':'; }
bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9'); }

std::string FamilyOf(const std::string& sample, const std::map<std::string, Exposition::Family>& families) {
  for (const char* suffix : {"_bucket", "_sum", "_count"}) {
    const std::string s(suffix);
    if (sample.size() > s.size() && sample.compare(sample.size() - s.size(), s.size(), s) == 0) {
      const std::string base = sample.substr(0, sample.size() - s.size());
      const auto f = families.find(base);
      if (f != families.end() && f->second.type == "histogram") return base;
    }
  }
  return sample;
}

Exposition Read(const std::string& text) {
  Exposition e;
  auto fail = [&](const std::string& why, const std::string& line) { e.errors.push_back(why + ": " + line); };
  if (!text.empty() && text.back() != '\n') e.errors.push_back("the text does not end with LF");
  std::set<std::string> finished;  // families whose samples have ended
  std::set<std::string> series;
  std::string current;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line.rfind("# HELP ", 0) == 0 || line.rfind("# TYPE ", 0) == 0) {
      const std::string rest = line.substr(7);
      const std::size_t blank = rest.find(' ');
      if (blank == std::string::npos) { fail("no text after the name", line); continue; }
      const std::string name = rest.substr(0, blank);
      Exposition::Family& f = e.families[name];
      if (line[2] == 'H') {
        if (!f.help.empty()) fail("second HELP", line);
        f.help = rest.substr(blank + 1);
      } else {
        if (!f.type.empty()) fail("second TYPE", line);
        f.type = rest.substr(blank + 1);
        if (f.type != "counter" && f.type != "gauge" && f.type != "histogram") fail("type", line);
      }
      continue;
    }
    if (line.empty() || line[0] == '#') { fail("unexpected line", line); continue; }

    Exposition::Sample s;
    std::size_t i = 0;
    if (!IsNameStart(line[0])) { fail("bad name", line); continue; }
    while (i < line.size() && IsNameChar(line[i])) ++i;
    s.name = line.substr(0, i);
    bool ok = true;
    if (i < line.size() && line[i] == '{') {
      ++i;
      while (ok && i < line.size() && line[i] != '}') {
        const std::size_t keyStart = i;
        while (i < line.size() && IsNameChar(line[i])) ++i;
        const std::string key = line.substr(keyStart, i - keyStart);
        if (key.empty() || i + 1 >= line.size() || line[i] != '=' || line[i + 1] != '"') { ok = false; break; }
        i += 2;
        std::string value;
        while (i < line.size() && line[i] != '"') {
          if (line[i] == '\\') {
            if (i + 1 >= line.size()) { ok = false; break; }
            const char next = line[i + 1];
            if (next == '\\') value += '\\';
            else if (next == '"') value += '"';
            else if (next == 'n') value += '\n';
            else { ok = false; break; }
            i += 2;
          } else {
            value += line[i++];
          }
        }
        if (!ok || i >= line.size()) { ok = false; break; }
        ++i;  // closing quote
        for (const auto& [k, v] : s.labels) {
          if (k == key) ok = false;
        }
        s.labels.emplace_back(key, value);
        if (i < line.size() && line[i] == ',') ++i;
      }
      if (!ok || i >= line.size()) { fail("bad labels", line); continue; }
      ++i;  // '}'
    }
    if (i >= line.size() || line[i] != ' ') { fail("no blank before the value", line); continue; }
    s.value = line.substr(i + 1);
    char* valueEnd = nullptr;
    std::strtod(s.value.c_str(), &valueEnd);
    if (s.value.empty() || *valueEnd != '\0') { fail("bad value", line); continue; }

    const std::string family = FamilyOf(s.name, e.families);
    const auto f = e.families.find(family);
    if (f == e.families.end() || f->second.type.empty() || f->second.help.empty()) fail("no HELP and TYPE before", line);
    if (family != current) {
      if (finished.count(family) != 0) fail("family not together", line);
      if (!current.empty()) finished.insert(current);
      current = family;
    }
    std::string key = s.name;
    for (const auto& [k, v] : s.labels) key += "\x1f" + k + "=" + v;
    if (!series.insert(key).second) fail("the same series twice", line);
    e.samples.push_back(std::move(s));
  }
  return e;
}

TargetMetrics Figures(const std::string& host, const std::vector<std::optional<std::int64_t>>& samples) {
  TargetFigures figures(host);
  for (const auto& s : samples) figures.Add(s, 0, 0);
  return figures.Metrics();
}

TEST(ResponseDurations, BucketsAreExactAtTheirBounds) {
  EXPECT_EQ(ResponseDurations::BoundMicros(0), 50);
  EXPECT_EQ(ResponseDurations::BoundMicros(1), 100);
  EXPECT_EQ(ResponseDurations::BoundMicros(19), 26'214'400);

  // Each reply lands in the first bucket whose bound it does not exceed.
  const struct {
    std::int64_t micros;
    int firstBucket;  // 20: only +Inf
  } cases[] = {{-5, 0}, {0, 0}, {50, 0}, {51, 1}, {100, 1}, {101, 2}, {47, 0},
               {12'345, 8}, {12'800, 8}, {12'801, 9}, {26'214'400, 19}, {26'214'401, 20},
               {std::numeric_limits<std::int64_t>::max() / 2, 20}};
  for (const auto& c : cases) {
    ResponseDurations d;
    d.Add(c.micros);
    for (int k = 0; k < ResponseDurations::kBuckets; ++k) {
      EXPECT_EQ(d.Cumulative(k), k >= c.firstBucket ? 1u : 0u) << c.micros << " bucket " << k;
    }
    EXPECT_EQ(d.Count(), 1u);
    EXPECT_EQ(d.SumMicros(), std::max<std::int64_t>(c.micros, 0));
    EXPECT_EQ(d.LastMicros(), std::max<std::int64_t>(c.micros, 0));
  }
}

TEST(ResponseDurations, CountsAgreeWithBruteForceOverARandomRun) {
  ResponseDurations d;
  std::vector<std::int64_t> all;
  std::uint64_t state = 12345;
  for (int i = 0; i < 5000; ++i) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    // Spread over 10 us .. 40 s on a log scale, plus exact bounds now and then.
    const int shift = static_cast<int>((state >> 33) % 22);
    std::int64_t v = static_cast<std::int64_t>((state >> 40) % 1000) << shift;
    if (i % 97 == 0) v = ResponseDurations::BoundMicros(i % 20);
    d.Add(v);
    all.push_back(v);
  }
  std::int64_t sum = 0;
  for (const std::int64_t v : all) sum += v;
  for (int k = 0; k < ResponseDurations::kBuckets; ++k) {
    std::uint64_t expected = 0;
    for (const std::int64_t v : all) expected += v <= ResponseDurations::BoundMicros(k) ? 1 : 0;
    EXPECT_EQ(d.Cumulative(k), expected) << k;
  }
  EXPECT_EQ(d.Count(), all.size());
  EXPECT_EQ(d.SumMicros(), sum);
  EXPECT_EQ(d.LastMicros(), all.back());
}

TEST(MetricsText, FloatsAsPrometheusWritesThem) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {5e-05, "5e-05"}, {0.0001, "0.0001"}, {0.0512, "0.0512"}, {26.2144, "26.2144"},
      {0, "0"}, {1, "1"}, {0.000047, "4.7e-05"}, {0.012345, "0.012345"}, {123456, "123456"},
      {1234567, "1.234567e+06"}, {1.5e6, "1.5e+06"}, {-0.25, "-0.25"}, {1e-10, "1e-10"},
      {std::numeric_limits<double>::infinity(), "+Inf"},
      {-std::numeric_limits<double>::infinity(), "-Inf"},
      {std::numeric_limits<double>::quiet_NaN(), "NaN"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatSampleValue(c.value), c.text) << c.text;
}

TEST(MetricsText, LabelValuesAreEscaped) {
  EXPECT_EQ(EscapeLabelValue("127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(EscapeLabelValue("a\"b"), "a\\\"b");
  EXPECT_EQ(EscapeLabelValue("a\\b"), "a\\\\b");
  EXPECT_EQ(EscapeLabelValue("a\nb"), "a\\nb");
  EXPECT_EQ(EscapeLabelValue("h\xc3\xa9"), "h\xc3\xa9");
}

TEST(MetricsText, ExactTextOfOneTarget) {
  // Two replies, 47 us and 12.345 ms, and a loss.
  const std::string text = FormatMetrics({Figures("127.0.0.1", {47, std::nullopt, 12'345})});
  std::string buckets;
  const char* bounds[] = {"5e-05", "0.0001", "0.0002", "0.0004", "0.0008", "0.0016", "0.0032",
                          "0.0064", "0.0128", "0.0256", "0.0512", "0.1024", "0.2048", "0.4096",
                          "0.8192", "1.6384", "3.2768", "6.5536", "13.1072", "26.2144"};
  for (int k = 0; k < 20; ++k) {
    buckets += std::string("quorvel_response_duration_seconds_bucket{host=\"127.0.0.1\",le=\"") +
               bounds[k] + "\"} " + (k < 8 ? "1" : "2") + "\n";
  }
  EXPECT_EQ(text,
            "# HELP quorvel_requests_total Ping probes that have ended, answered or not.\n"
            "# TYPE quorvel_requests_total counter\n"
            "quorvel_requests_total{host=\"127.0.0.1\"} 3\n"
            "# HELP quorvel_responses_total Ping probes that were answered.\n"
            "# TYPE quorvel_responses_total counter\n"
            "quorvel_responses_total{host=\"127.0.0.1\"} 2\n"
            "# HELP quorvel_response_duration_seconds Round-trip times of the answered probes, in seconds.\n"
            "# TYPE quorvel_response_duration_seconds histogram\n" +
                buckets +
                "quorvel_response_duration_seconds_bucket{host=\"127.0.0.1\",le=\"+Inf\"} 2\n"
                "quorvel_response_duration_seconds_sum{host=\"127.0.0.1\"} 0.012392\n"
                "quorvel_response_duration_seconds_count{host=\"127.0.0.1\"} 2\n"
                "# HELP quorvel_last_response_seconds Round-trip time of the last answered probe, in seconds.\n"
                "# TYPE quorvel_last_response_seconds gauge\n"
                "quorvel_last_response_seconds{host=\"127.0.0.1\"} 0.012345\n"
                "# HELP quorvel_jitter_seconds Interarrival jitter of the round-trip times (RFC 3550), in seconds.\n"
                "# TYPE quorvel_jitter_seconds gauge\n"
                // |D| = 12298 us, J = 12298 / 16 = 768.625 us.
                "quorvel_jitter_seconds{host=\"127.0.0.1\"} 0.000768625\n");
}

TEST(MetricsText, ReadsBackForSeveralTargets) {
  const std::vector<std::string> hosts = {"127.0.0.1", "::1", "we\"ird\\name", "line\nbreak",
                                          "h\xc3\xa9llo", "silent", "once"};
  std::vector<TargetMetrics> targets;
  std::vector<std::vector<std::optional<std::int64_t>>> runs = {
      {47, 52, 61, 49}, {30, 2'000'000, 30'000'000}, {1000, std::nullopt},
      {50, 100, 26'214'400, 26'214'401}, {12'345, 12'345}, {std::nullopt, std::nullopt}, {800}};
  for (std::size_t i = 0; i < hosts.size(); ++i) targets.push_back(Figures(hosts[i], runs[i]));

  const Exposition e = Read(FormatMetrics(targets));
  for (const std::string& error : e.errors) ADD_FAILURE() << error;
  EXPECT_EQ(e.families.size(), 5u);
  EXPECT_EQ(e.families.at("quorvel_requests_total").type, "counter");
  EXPECT_EQ(e.families.at("quorvel_responses_total").type, "counter");
  EXPECT_EQ(e.families.at("quorvel_response_duration_seconds").type, "histogram");
  EXPECT_EQ(e.families.at("quorvel_last_response_seconds").type, "gauge");
  EXPECT_EQ(e.families.at("quorvel_jitter_seconds").type, "gauge");

  for (std::size_t i = 0; i < hosts.size(); ++i) {
    SCOPED_TRACE(hosts[i]);
    const TargetMetrics& t = targets[i];
    auto only = [&](const std::string& name) {
      std::vector<Exposition::Sample> found;
      for (const auto& s : e.Of(name)) {
        if (s.Label("host") == hosts[i]) found.push_back(s);
      }
      return found;
    };
    ASSERT_EQ(only("quorvel_requests_total").size(), 1u);
    EXPECT_EQ(only("quorvel_requests_total")[0].value, std::to_string(runs[i].size()));
    std::uint64_t replies = 0;
    for (const auto& s : runs[i]) replies += s ? 1 : 0;
    EXPECT_EQ(only("quorvel_responses_total")[0].value, std::to_string(replies));

    // The histogram: 20 bounds rising, then +Inf; counts cumulative and
    // matching a brute-force count; +Inf equal to _count.
    const auto buckets = only("quorvel_response_duration_seconds_bucket");
    ASSERT_EQ(buckets.size(), 21u);
    double previousBound = 0;
    for (int k = 0; k < 20; ++k) {
      const double bound = std::strtod(buckets[k].Label("le").c_str(), nullptr);
      EXPECT_GT(bound, previousBound);
      EXPECT_DOUBLE_EQ(bound, 50e-6 * (1 << k));
      previousBound = bound;
      std::uint64_t expected = 0;
      for (const auto& s : runs[i]) expected += s && *s <= (50LL << k) ? 1 : 0;
      EXPECT_EQ(buckets[k].value, std::to_string(expected)) << "le=" << buckets[k].Label("le");
    }
    EXPECT_EQ(buckets[20].Label("le"), "+Inf");
    EXPECT_EQ(buckets[20].value, std::to_string(replies));
    EXPECT_EQ(only("quorvel_response_duration_seconds_count")[0].value, std::to_string(replies));
    std::int64_t sum = 0;
    for (const auto& s : runs[i]) sum += s.value_or(0);
    EXPECT_DOUBLE_EQ(std::strtod(only("quorvel_response_duration_seconds_sum")[0].value.c_str(), nullptr),
                     static_cast<double>(sum) / 1e6);

    // The gauges: present once they have a value.
    const auto last = only("quorvel_last_response_seconds");
    ASSERT_EQ(last.size(), replies > 0 ? 1u : 0u);
    if (!last.empty()) {
      EXPECT_DOUBLE_EQ(std::strtod(last[0].value.c_str(), nullptr),
                       static_cast<double>(*t.durations.LastMicros()) / 1e6);
    }
    const auto jitter = only("quorvel_jitter_seconds");
    ASSERT_EQ(jitter.size(), replies > 1 ? 1u : 0u);
    if (!jitter.empty()) {
      EXPECT_DOUBLE_EQ(std::strtod(jitter[0].value.c_str(), nullptr), *t.jitterMs / 1000);
    }
  }
}

TEST(MetricsText, NoTargetsStillDeclaresTheFamilies) {
  const Exposition e = Read(FormatMetrics({}));
  EXPECT_TRUE(e.errors.empty());
  EXPECT_EQ(e.families.size(), 5u);
  EXPECT_TRUE(e.samples.empty());
}

// Errors by reason, missed slots where a schedule is kept, spoilt replies,
// and alert states only where some target has a rule; label values escaped.
TEST(MetricsText, ProbeAccounting) {
  TargetMetrics a;
  a.host = "a";
  a.corrupted = 2;
  a.errors = {{"Too many open files", 3}, {"say \"no\"", 1}};
  a.missedSlots = 7;
  a.alerts = {{"lost>=3", true}, {"loss>=5%/100", false}};
  TargetMetrics b;
  b.host = "b";
  const std::string text = FormatProbeAccountingMetrics({a, b});
  const Exposition e = Read(text);
  EXPECT_TRUE(e.errors.empty()) << text;
  for (const char* line : {"quorvel_corrupted_replies_total{host=\"a\"} 2\n",
                           "quorvel_corrupted_replies_total{host=\"b\"} 0\n",
                           "quorvel_probe_errors_total{host=\"a\",reason=\"Too many open files\"} 3\n",
                           "quorvel_probe_errors_total{host=\"a\",reason=\"say \\\"no\\\"\"} 1\n",
                           "quorvel_missed_slots_total{host=\"a\"} 7\n",
                           "quorvel_alert_active{host=\"a\",rule=\"lost>=3\"} 1\n",
                           "quorvel_alert_active{host=\"a\",rule=\"loss>=5%/100\"} 0\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << text;
  }
  EXPECT_EQ(text.find("quorvel_missed_slots_total{host=\"b\"}"), std::string::npos);
  EXPECT_EQ(e.samples.size(), 7u);
  EXPECT_EQ(FormatProbeAccountingMetrics({b}).find("quorvel_alert_active"), std::string::npos);
}

TEST(MetricsText, TheReaderCatchesWhatTheFormatForbids) {
  // The reader is the judge of the tests above, so it must refuse these.
  const char* bad[] = {
      "x 1\n",                                                     // no HELP or TYPE
      "# HELP x h\n# TYPE x gauge\nx{host=\"a\"b\"} 1\n",            // quote not escaped
      "# HELP x h\n# TYPE x gauge\nx{host=\"a\\tb\"} 1\n",           // no such escape
      "# HELP x h\n# TYPE x gauge\nx{host=\"a\"} 1\nx{host=\"a\"} 2\n",  // same series twice
      "# HELP x h\n# TYPE x gauge\n# HELP y h\n# TYPE y gauge\nx 1\ny 1\nx{a=\"b\"} 1\n",  // apart
      "# HELP x h\n# TYPE x gauge\nx 1",                           // no LF at the end
      "# HELP x h\n# TYPE x gauge\nx one\n",                       // not a number
  };
  for (const char* text : bad) EXPECT_FALSE(Read(text).errors.empty()) << text;
}

}  // namespace
}  // namespace quorvel
