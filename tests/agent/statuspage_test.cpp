#include "agent/statuspage.h"

#include <gtest/gtest.h>

#include <string>

#include "agent/agentweb.h"

namespace quorvel {
namespace {

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Bars right-aligned in a fixed width; a reply's height against the
// longest reply, a lost probe full height; the title sums them up.
TEST(StatusPage, Sparkline) {
  const std::string svg = SparklineSvg({1000, std::nullopt, 4000});
  EXPECT_NE(svg.find("width=\"180\" height=\"24\""), std::string::npos) << svg;
  EXPECT_NE(svg.find("<rect class=\"reply\" x=\"171\" y=\"18\" width=\"2\" height=\"6\"/>"), std::string::npos) << svg;
  EXPECT_NE(svg.find("<rect class=\"lost\" x=\"174\" y=\"0\" width=\"2\" height=\"24\"/>"), std::string::npos) << svg;
  EXPECT_NE(svg.find("<rect class=\"reply\" x=\"177\" y=\"2\" width=\"2\" height=\"22\"/>"), std::string::npos) << svg;
  EXPECT_NE(svg.find("<title>last 3 probes: 1 lost, replies 1.000 to 4.000 ms</title>"), std::string::npos) << svg;
  EXPECT_EQ(Count(SparklineSvg({}), "<rect"), 0u);
}

// The page is served at "/" in place of the plain index when given.
TEST(StatusPage, ServedAtTheRoot) {
  TargetSnapshot t;
  t.target = "<a>&'\"";
  t.alerts = {{"lost>=3", true, 0, "3 lost in a row"}};
  const std::string page = AgentStatusPage({t}, StatusPageContext{});
  EXPECT_NE(page.find("<td class=\"t\">&lt;a&gt;&amp;&#39;&quot;</td>"), std::string::npos) << page;
  EXPECT_NE(page.find("<tr class=\"alerting\">"), std::string::npos);
  const WebReply reply = AgentWebReply({"GET", "/", std::nullopt}, {}, {}, [&] { return page; });
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.contentType, "text/html; charset=utf-8");
  EXPECT_EQ(reply.text, page);
}

}  // namespace
}  // namespace quorvel
