// The live page's document: text escaped, the image named beside it and
// fetched afresh, the alerts when rules are set.
#include "run/livepage.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(LivePage, EscapesTextAndNamesTheImageBesideIt) {
  LivePage page;
  page.imageName = "my graph.jpg";
  page.refreshSeconds = 0;  // never faster than once a second
  page.nowUnixMs = 1234;
  page.address = "<b>&\"x'";
  const std::string html = LivePageHtml(page);
  EXPECT_NE(html.find("<title>Quorvel - &lt;b&gt;&amp;&quot;x&#39;</title>"), std::string::npos);
  EXPECT_NE(html.find("src=\"my%20graph.jpg?t=1234\""), std::string::npos);
  EXPECT_NE(html.find("content=\"1\""), std::string::npos);
  EXPECT_EQ(html.find("<b>"), std::string::npos);
  EXPECT_EQ(html.find("id=\"alerts\""), std::string::npos);  // no rules, no alert line

  page.alertsOn = true;
  EXPECT_NE(LivePageHtml(page).find("<p id=\"alerts\">No alert is active.</p>"), std::string::npos);
  page.alerts = {{"lost>=3", 0, 0, {"3", "3 lost in a row"}}};
  EXPECT_NE(LivePageHtml(page).find("<li>ALERT lost&gt;=3: 3 lost in a row (since "),
            std::string::npos);
}

}  // namespace
}  // namespace quorvel
