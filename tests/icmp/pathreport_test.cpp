#include "icmp/pathreport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace quorvel::icmp {
namespace {

const Address kR1 = boost::asio::ip::make_address("192.0.2.1");
const Address kR2 = boost::asio::ip::make_address("192.0.2.2");
const Address kR2b = boost::asio::ip::make_address("192.0.2.22");
const Address kTarget = boost::asio::ip::make_address("203.0.113.9");

HopFigures Hop(int hop, std::vector<Address> seen, std::uint64_t sent, std::uint64_t received) {
  HopFigures h;
  h.hop = hop;
  h.seen = seen;
  if (!seen.empty()) h.address = seen.back();
  h.figures.sent = sent;
  h.figures.received = received;
  h.figures.lost = sent - received;
  h.figures.lossPercent = 100.0 * static_cast<double>(sent - received) / static_cast<double>(sent);
  if (received > 0) {
    h.lastNs = 1'250'000;
    h.figures.minMs = 1;
    h.figures.meanMs = 1.5;
    h.figures.maxMs = 2.25;
    h.figures.stdDevMs = 0.5;
    h.figures.p50Ms = 1.5;
    h.figures.p95Ms = 2.25;
  }
  return h;
}

// R1, a rate-limiting hop answering from two routers, a silent hop, the target.
PathSnapshot Sample() {
  PathSnapshot p;
  p.target = kTarget;
  p.rounds = 4;
  p.pathChanges = 1;
  p.reached = true;
  p.hops = {Hop(1, {kR1}, 4, 4), Hop(2, {kR2, kR2b}, 4, 2), Hop(3, {}, 4, 0), Hop(4, {kTarget}, 4, 4)};
  p.hops[1].rateLimited = true;
  p.hops[1].changes = 1;
  p.hops[2].rateLimited = true;
  p.hops[3].target = true;
  return p;
}

TEST(PathReport, ReadsLikeMtrWithTheLimitedHopsMarked) {
  const std::string report = PathReport(Sample(), "here", false);
  EXPECT_EQ(report.rfind("HOST: here", 0), 0u) << report;
  EXPECT_NE(report.find("  1.|-- 192.0.2.1 "), std::string::npos) << report;
  EXPECT_NE(report.find("  2.|-- 192.0.2.22 "), std::string::npos) << report;
  EXPECT_NE(report.find("\n       192.0.2.2\n"), std::string::npos) << report;  // the hop's other router
  EXPECT_NE(report.find("  3.|-- ???"), std::string::npos) << report;
  EXPECT_NE(report.find("50.0%*"), std::string::npos) << report;
  EXPECT_NE(report.find("100.0%*"), std::string::npos) << report;
  EXPECT_NE(report.find("* loss not carried on"), std::string::npos) << report;
  EXPECT_NE(report.find("1 path change\n"), std::string::npos) << report;
}

TEST(PathReport, JsonCarriesMtrFieldsAndOurs) {
  const auto json = nlohmann::json::parse(PathJson(Sample(), "here", 84));
  const auto& report = json.at("report");
  EXPECT_EQ(report.at("mtr").at("dst"), "203.0.113.9");
  EXPECT_EQ(report.at("mtr").at("tests"), 4);
  EXPECT_EQ(report.at("mtr").at("psize"), "84");
  const auto& hubs = report.at("hubs");
  ASSERT_EQ(hubs.size(), 4u);
  for (const char* key : {"Loss%", "Snt", "Last", "Avg", "Best", "Wrst", "StDev"}) {
    EXPECT_TRUE(hubs[0].at(key).is_number()) << key;
    EXPECT_TRUE(hubs[2].at(key).is_number() || hubs[2].at(key).is_null()) << key;
  }
  EXPECT_EQ(hubs[0].at("count"), 1);
  EXPECT_EQ(hubs[1].at("host"), "192.0.2.22");
  EXPECT_EQ(hubs[1].at("Loss%"), 50.0);
  EXPECT_EQ(hubs[1].at("Avg"), 1.5);
  EXPECT_EQ(hubs[1].at("addresses"), nlohmann::json({"192.0.2.2", "192.0.2.22"}));
  EXPECT_EQ(hubs[1].at("rate_limited"), true);
  EXPECT_EQ(hubs[2].at("host"), "???");
  EXPECT_TRUE(hubs[2].at("Avg").is_null());
  EXPECT_EQ(hubs[3].at("target"), true);
  EXPECT_EQ(report.at("path").at("changes"), 1);
}

TEST(PathReport, CsvHasOneRowPerHopPerRound) {
  HopResult answered;
  answered.round = 0;
  answered.hop = 2;
  answered.kind = HopResult::Kind::TimeExceeded;
  answered.from = kR2;
  answered.rttNs = 1'234'567;
  answered.sentUnixNs = 1'733'666'709'123'456'789;
  HopResult lost = answered;
  lost.round = 4;
  lost.kind = HopResult::Kind::Lost;
  EXPECT_EQ(PathCsvHeader(), "time,unix_ms,target,round,hop,address,status,rtt_ms\r\n");
  EXPECT_EQ(PathCsvLine(answered, "host,a", 3600),
            "2024-12-08T15:05:09.123+01:00,1733666709123,\"host,a\",1,2,192.0.2.2,time-exceeded,1.235\r\n");
  EXPECT_EQ(PathCsvLine(lost, "h", 0), "2024-12-08T14:05:09.123+00:00,1733666709123,h,5,2,,lost,\r\n");
}

}  // namespace
}  // namespace quorvel::icmp
