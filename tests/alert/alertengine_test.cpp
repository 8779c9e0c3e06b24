#include "alert/alertengine.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace quorvel {
namespace {

AlertRule Rule(const std::string& text) {
  const ParsedAlertRule parsed = ParseAlertRule(text);
  EXPECT_EQ(parsed.status, ParsedAlertRule::Status::Ok) << text << ": " << parsed.error;
  return parsed.rule;
}

// Probes written as words: "x" lost, a number a reply after that many ms;
// "WORD*N" repeats a word N times.
std::vector<ProbeOutcome> Probes(const std::string& text) {
  std::vector<ProbeOutcome> probes;
  std::istringstream in(text);
  for (std::string word; in >> word;) {
    const std::size_t star = word.find('*');
    const int times = star == std::string::npos ? 1 : std::stoi(word.substr(star + 1));
    const std::string what = word.substr(0, star);
    for (int i = 0; i < times; ++i) {
      ProbeOutcome p;
      p.unixMs = 1000 * static_cast<std::int64_t>(probes.size() + 1);
      if (what != "x") p.rtt = std::chrono::microseconds(std::stoll(what) * 1000);
      probes.push_back(p);
    }
  }
  return probes;
}

// The edges as "R5 C11": raised at the 5th probe, cleared at the 11th.
std::string Edges(AlertEngine& engine, const std::vector<ProbeOutcome>& probes) {
  std::string edges;
  for (std::size_t i = 0; i < probes.size(); ++i) {
    for (const AlertEvent& e : engine.Add(probes[i])) {
      if (!edges.empty()) edges += " ";
      edges += (e.type == AlertEvent::Type::Raised ? "R" : "C") + std::to_string(i + 1);
    }
  }
  return edges;
}

// Hand-worked sequences for every kind of rule and every pattern entry:
// where the alert is raised and cleared, and nowhere else.
TEST(AlertEngine, RaisesAndClearsAtTheHandWorkedProbes) {
  const struct {
    const char* rule;
    const char* probes;
    const char* edges;
  } cases[] = {
      // Three in a row raise; the first reply clears; no repeats between.
      {"lost>=3", "1 x x x x 1 x", "R4 C6"},
      {"lost>=3", "x x 1 x x 1", ""},
      // Hysteresis: four probes without the rule holding; a probe at which
      // it holds again starts the count anew.
      {"lost>=3 clear=4", "x x x 1 x x x 1 1 1 1", "R3 C11"},
      // 3 of 10 is 30 %: equal raises. Probes not made yet count as
      // answered, so the start raises nothing early.
      {"loss>=30%/10", "x 1 x 1 x 1 1 1 1 1 1 1 1 x", "R5 C11"},
      {"loss>=100%/2", "x x 1 x x", "R2 C3 R5"},
      // Latency over the last M replies, only once there are M; a lost
      // probe leaves the window as it is.
      {"avg>=100ms/3", "50 100 150 x 200 10 10", "R3 C7"},
      {"avg>=100ms/3", "500 500 x", ""},
      {"median>=100ms/4", "10 10 100 100 100 x 10 10", "R5 C8"},
      {"p95>=100ms/20", "10*19 200", ""},
      {"p95>=100ms/20", "200 x 10*18 200", "R21"},
      // Patterns end at the newest probe; *X* lets up to X others between.
      {"pattern:>0%,*12*,>0%,*12*,>0%", "x 1*12 x 1*12 x 1", "R27 C28"},
      {"pattern:>0%,*12*,>0%,*12*,>0%", "x 1*13 x 1*12 x", ""},
      {"pattern:>0%,*12*,>0%,*12*,>0%", "x x x x", "R3"},
      {"pattern:>0%,*100*,>0%", "x 1*100 x 1*100 x", "R102 C103 R203"},
      {"pattern:>0%,*100*,>0%", "x 1*101 x", ""},
      {"pattern:==0%,==0%,>0%,>0%", "1 1 x x x 1 1 x x", "R4 C5 R9"},
      {"pattern:>0%,*2*", "x 1 1 1 x", "R1 C4 R5"},
      // Times compare replies only; U is a lost probe, !=U a reply, * any.
      {"pattern:<10,==U,>100", "5 x 150 5 x 50 20 x 150", "R3 C4"},
      {"pattern:<=10", "x 10 x 11", "R2 C3"},
      {"pattern:!=U,!=U", "x 5 5 x", "R3 C4"},
      {"pattern:>0%,==*,>0%", "x 5 x x x", "R3 C4 R5"},
      // ==S: only the probes right after the start.
      {"pattern:==S,>0%,>0%", "x x x x", "R2 C3"},
      {"pattern:==S,>0%,>0%", "1 x x", ""},
      {"pattern:==S,==U,*2*,>=100", "x 1 1 100 100", "R4 C5"},
  };
  for (const auto& c : cases) {
    AlertEngine engine("host", {Rule(c.rule)});
    EXPECT_EQ(Edges(engine, Probes(c.probes)), c.edges) << c.rule << " over " << c.probes;
  }
}

// Events and the active set carry the target, the rule's text, the time of
// the probe and the figures that made it.
TEST(AlertEngine, EventsCarryTheirFigures) {
  AlertEngine engine("192.0.2.1", {Rule("lost>=2"), Rule("loss>=50%/4 clear=2"), Rule("pattern:==S,>0%")});
  std::vector<AlertEvent> events;
  for (const ProbeOutcome& p : Probes("x x 1 1 1 1")) {
    for (AlertEvent& e : engine.Add(p)) events.push_back(e);
    if (p.unixMs == 2000) {
      const std::vector<ActiveAlert> active = engine.Active();
      ASSERT_EQ(active.size(), 2u);
      EXPECT_EQ(active[1].rule, "loss>=50%/4 clear=2");
      EXPECT_EQ(active[1].sinceUnixMs, 2000);
      EXPECT_EQ(active[1].figures.description, "2 of the last 4 probes lost (50.000 %)");
    }
  }
  const struct {
    AlertEvent::Type type;
    std::int64_t unixMs;
    std::size_t ruleIndex;
    const char* value;
    const char* description;
  } expected[] = {
      {AlertEvent::Type::Raised, 1000, 2, "1", "1 of the last 1 probes lost"},
      {AlertEvent::Type::Raised, 2000, 0, "2", "2 lost in a row"},
      {AlertEvent::Type::Raised, 2000, 1, "50.000", "2 of the last 4 probes lost (50.000 %)"},
      {AlertEvent::Type::Cleared, 2000, 2, "1", "1 of the last 1 probes lost"},
      {AlertEvent::Type::Cleared, 3000, 0, "0", "0 lost in a row"},
      {AlertEvent::Type::Cleared, 6000, 1, "0.000", "0 of the last 4 probes lost (0.000 %)"},
  };
  ASSERT_EQ(events.size(), std::size(expected));
  for (std::size_t i = 0; i < events.size(); ++i) {
    EXPECT_EQ(events[i].type, expected[i].type) << i;
    EXPECT_EQ(events[i].unixMs, expected[i].unixMs) << i;
    EXPECT_EQ(events[i].ruleIndex, expected[i].ruleIndex) << i;
    EXPECT_EQ(events[i].target, "192.0.2.1");
    EXPECT_EQ(events[i].rule, engine.RuleText(events[i].ruleIndex));
    EXPECT_EQ(events[i].figures.value, expected[i].value) << i;
    EXPECT_EQ(events[i].figures.description, expected[i].description) << i;
  }
  EXPECT_TRUE(engine.Active().empty());

  // A new run forgets the probes: ==S sees the start again.
  engine.Reset();
  EXPECT_EQ(Edges(engine, Probes("x")), "R1");
}

}  // namespace
}  // namespace quorvel
