#include "run/addresshistory.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace quorvel {
namespace {

using Entries = std::vector<std::string>;

TEST(AddressHistoryTest, AddOnStartKeepsExactDuplicatesOut) {
  AddressHistory h;
  EXPECT_EQ(h.AddOnStart("Router"), 0u);
  EXPECT_EQ(h.AddOnStart("Router"), std::nullopt);
  EXPECT_EQ(h.Entries(), Entries{"Router"});
  // Differs only in case: a second entry, after the first.
  EXPECT_EQ(h.AddOnStart("router"), 1u);
  EXPECT_EQ(h.Entries(), (Entries{"Router", "router"}));
  EXPECT_EQ(h.AddOnStart(""), std::nullopt);
  EXPECT_EQ(h.Size(), 2u);
}

TEST(AddressHistoryTest, SortsIgnoringCaseAndKeepsArrivalOrderOfTies) {
  AddressHistory h;
  for (const char* a : {"gamma", "Beta", "alpha", "beta", "ALPHA", "10.0.0.1", "Alphabet", "b"}) {
    h.AddOnStart(a);
  }
  EXPECT_EQ(h.Entries(),
            (Entries{"10.0.0.1", "alpha", "ALPHA", "Alphabet", "b", "Beta", "beta", "gamma"}));
  EXPECT_EQ(h.Insert("BETA"), 7u);  // after the other two betas
  EXPECT_TRUE(h.Contains("BETA"));
  EXPECT_FALSE(h.Contains("bEta"));
}

TEST(AddressHistoryTest, LoadAddsInIndexOrderAndKeepsSort) {
  AddressHistory h;
  h.Load({"zeta", "", "Alpha", "alpha", "zeta"});
  EXPECT_EQ(h.Entries(), (Entries{"", "Alpha", "alpha", "zeta", "zeta"}));
}

TEST(AddressHistoryTest, DeleteAtSelectedPositionOnly) {
  AddressHistory h;
  h.Load({"a", "b", "c"});
  EXPECT_FALSE(h.DeleteAt(-1));
  EXPECT_FALSE(h.DeleteAt(3));
  EXPECT_EQ(h.Size(), 3u);
  EXPECT_TRUE(h.DeleteAt(1));
  EXPECT_EQ(h.Entries(), (Entries{"a", "c"}));
  h.Clear();
  EXPECT_TRUE(h.Entries().empty());
}

TEST(AddressHistoryTest, CompletesWithTheFirstMatchingEntry) {
  AddressHistory h;
  h.Load({"router.lan", "Router", "192.0.2.1", "www.alpha.example", "r\xC3\xA9seau.lan"});
  // List: 192.0.2.1, Router, router.lan, réseau.lan, www.alpha.example
  const struct {
    const char* typed;
    const char* text;  // nullptr: no completion
    std::size_t entry;
    int start;
    int length;
  } cases[] = {
      {"ro", "router", 1, 2, 4},           // typed case kept, entry's rest added
      {"Router.", "Router.lan", 2, 7, 3},  // the first entry that still matches
      {"ROUTER", "ROUTER", 1, 6, 0},       // whole entry typed: nothing added
      {"r\xC3\xA9", "r\xC3\xA9seau.lan", 3, 2, 8},  // selection counts characters
      {"192", "192.0.2.1", 0, 3, 6},
      {"x", nullptr, 0, 0, 0},
      {"", nullptr, 0, 0, 0},
      {"routers", nullptr, 0, 0, 0},
  };
  for (const auto& c : cases) {
    const auto done = h.Complete(c.typed);
    if (c.text == nullptr) {
      EXPECT_EQ(done, std::nullopt) << c.typed;
      continue;
    }
    ASSERT_TRUE(done.has_value()) << c.typed;
    EXPECT_EQ(done->text, c.text) << c.typed;
    EXPECT_EQ(done->entryPosition, c.entry) << c.typed;
    EXPECT_EQ(done->selectionStart, c.start) << c.typed;
    EXPECT_EQ(done->selectionLength, c.length) << c.typed;
  }
}

TEST(DecidePickTest, AsksOnlyForANewUsableNameWhileLogging) {
  const struct {
    const char* what;
    const char* picked;
    const char* logFile;
    bool logging;
    bool ask;
    const char* proposed;
  } cases[] = {
      {"other name", "www.alpha.example", "/logs/other.txt", true, true, "alpha.txt"},
      {"same name", "www.alpha.example", "/logs/alpha.txt", true, false, "alpha.txt"},
      {"case differs", "www.alpha.example", "/logs/ALPHA.txt", true, true, "alpha.txt"},
      {"not logging", "www.alpha.example", "/logs/other.txt", false, false, "alpha.txt"},
      {"no dot", "localhost", "/logs/other.txt", true, false, ".txt"},
      {"nothing picked", "", "/logs/other.txt", true, false, ".txt"},
      {"address", "10.0.0.1", "", true, true, "10.txt"},
  };
  for (const auto& c : cases) {
    const PickDecision d = DecidePick(c.picked, c.logFile, c.logging);
    EXPECT_EQ(d.askChangeLogName, c.ask) << c.what;
    EXPECT_EQ(d.proposedName, c.proposed) << c.what;
  }
}

}  // namespace
}  // namespace quorvel
