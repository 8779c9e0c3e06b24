#include <string>

#include <gtest/gtest.h>

#include "web/hostaddress.h"
#include "web/webnames.h"

namespace quorvel {
namespace {

// The edTempExit rule: the name takes the chosen type's extension.
TEST(WebNames, NameFollowsTheImageType) {
  const struct {
    const char* name;
    const char* extension;
    const char* result;
  } cases[] = {
      {"graph", ".jpg", "graph.jpg"},
      {"my.graph.gif", ".jpg", "my.graph.jpg"},
      {"", ".jpg", ".jpg"},
      {"quorvel.jpg", ".gif", "quorvel.gif"},
      {"quorvel.", ".jpg", "quorvel.jpg"},
      {"a.b\\graph", ".jpg", "a.b\\graph.jpg"},  // a "." before the last "\" is no extension
      {"a.b:graph", ".jpg", "a.b:graph.jpg"},
  };
  for (const auto& c : cases) EXPECT_EQ(ReplaceExtension(c.name, c.extension), c.result) << c.name;
}

TEST(WebNames, StatusTextTakesTheExtensionOfTheNewName) {
  const std::string running = "SERVER RUNNING - http://192.168.1.20:80/quorvel.jpg";
  EXPECT_EQ(ServerRunningText("192.168.1.20", 80, "quorvel.jpg"), running);
  const struct {
    std::string status;
    const char* newName;
    const char* result;
  } cases[] = {
      {running, "quorvel.gif", "SERVER RUNNING - http://192.168.1.20:80/quorvel.gif"},
      {running, "other.png", "SERVER RUNNING - http://192.168.1.20:80/quorvel.png"},
      {running, "noext", "SERVER RUNNING - http://192.168.1.20:80/quorvel"},
      {"SERVER RUNNING - http://192.168.1.20:80/quorvel", "q.bmp",
       "SERVER RUNNING - http://192.168.1.20:80/quorvel.bmp"},
      {"", "quorvel.jpg", ".jpg"},  // stopped server: the bare extension
      {".jpg", "quorvel.gif", ".gif"},
  };
  for (const auto& c : cases) EXPECT_EQ(StatusTextForName(c.status, c.newName), c.result) << c.status;
}

TEST(HostAddress, ChoiceOfTheShownAddress) {
  const Ipv4 lan = 0xC0A80114;       // 192.168.1.20
  const Ipv4 other = 0x0A000005;     // 10.0.0.5
  const Ipv4 loopback = 0x7F000101;  // 127.0.1.1
  EXPECT_EQ(ChooseShownAddress({lan, other}, {other}), "192.168.1.20");
  EXPECT_EQ(ChooseShownAddress({loopback, lan}, {0x7F000001, 0, other, lan}), "10.0.0.5");
  EXPECT_EQ(ChooseShownAddress({}, {0x7F000001, lan}), "192.168.1.20");
  EXPECT_EQ(ChooseShownAddress({loopback}, {0x7F000001}), "127.0.0.1");
  EXPECT_EQ(ChooseShownAddress({}, {}), "127.0.0.1");
  EXPECT_FALSE(ShownServerAddress().empty());
}

}  // namespace
}  // namespace quorvel
