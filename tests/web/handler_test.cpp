#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "web/requesthandler.h"

namespace quorvel {
namespace {

const std::string kImage("\xFF\xD8\xFF\xE0 image\0bytes\xFF\xD9", 18);
const std::string kAuthFailed =
    "<html><head><title>Error</title></head><body><h1>Authentication failed</h1></body></html>";

std::string NotFoundPage(const std::string& path) {
  return "<html><head><title>Error</title></head><body><h1>404 - Not Found</h1><p><b>Quorvel</b> "
         "is unable to locate \"" + path + "\"</body></html>";
}

// Serves requests against one context and counts the renders.
class HandlerTest : public ::testing::Test {
 protected:
  WebReply Serve(const std::string& method, const std::string& target,
                 std::optional<std::string> authorization = std::nullopt) {
    return HandleRequest({method, target, std::move(authorization)}, context_, [this] {
      ++renders_;
      return outcome_;
    });
  }

  void ExpectNotFound(const WebReply& reply, const std::string& path) {
    EXPECT_FALSE(reply.closeWithoutReply);
    EXPECT_EQ(reply.status, 404);
    EXPECT_EQ(reply.reason, "Not Found");
    EXPECT_EQ(reply.contentType, "text/html");
    EXPECT_EQ(reply.Body(), NotFoundPage(path));
    EXPECT_FALSE(reply.image);  // the rendered buffer is not kept
  }

  WebContext context_{{false, "", "", 80}, "quorvel.jpg"};
  RenderOutcome outcome_ = RenderOutcome::Ok(std::make_shared<const std::string>(kImage));
  int renders_ = 0;
};

TEST_F(HandlerTest, DefaultNameIsServedAsJpeg) {
  const WebReply reply = Serve("GET", "/quorvel.jpg");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.reason, "OK");
  EXPECT_EQ(reply.contentType, "image/jpeg");
  EXPECT_EQ(reply.Body(), kImage);
  EXPECT_EQ(renders_, 1);
}

TEST_F(HandlerTest, OtherPathsGiveTheNotFoundPageAfterTheRender) {
  for (const char* target : {"/QUORVEL.JPG", "/", "/quorvel.jpeg", "/quorvel.jpg/"}) {
    ExpectNotFound(Serve("GET", target), target);
  }
  ExpectNotFound(Serve("GET", "/my%20file.jpg?x=1"), "/my file.jpg");
  EXPECT_EQ(renders_, 5);  // the render comes before the path comparison
}

TEST_F(HandlerTest, NotFoundPageEscapesMarkupInThePath) {
  ExpectNotFound(Serve("GET", "/%3Cscript%3Ealert('x')%3C/script%3E&%22"),
                 "/&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;&amp;&quot;");
}

TEST_F(HandlerTest, PathIsDecodedBeforeTheComparison) {
  EXPECT_EQ(Serve("GET", "/quorvel.jpg?refresh=1").status, 200);
  EXPECT_EQ(Serve("GET", "/quorvel%2Ejpg").status, 200);
  context_.imageName = "my graph.jpg";
  EXPECT_EQ(Serve("GET", "/my+graph.jpg").status, 200);
  EXPECT_EQ(Serve("GET", "/my%20graph.jpg").status, 200);
}

TEST_F(HandlerTest, ContentTypeFollowsTheName) {
  const struct {
    const char* name;
    const char* type;
  } cases[] = {{"quorvel.gif", "image/gif"}, {"quorvel.png", "image/x-png"},
               {"quorvel.bmp", "image/bmp"}, {"quorvel", "application/octet-stream"}};
  for (const auto& c : cases) {
    context_.imageName = c.name;
    const WebReply reply = Serve("GET", std::string("/") + c.name);
    EXPECT_EQ(reply.status, 200) << c.name;
    EXPECT_EQ(reply.contentType, c.type) << c.name;
  }
}

TEST_F(HandlerTest, AccessCheck) {
  context_.access.AuthRequired = true;
  // Empty user name and password: a request without credentials passes.
  EXPECT_EQ(Serve("GET", "/quorvel.jpg").status, 200);
  EXPECT_EQ(Serve("GET", "/quorvel.jpg", "Basic Og==").status, 200);  // ":"

  context_.access.UserName = "user";
  context_.access.Password = "pa:ss:";
  EXPECT_EQ(Serve("GET", "/quorvel.jpg", "Basic dXNlcjpwYTpzczo=").status, 200);  // user:pa:ss:
  EXPECT_EQ(Serve("GET", "/quorvel.jpg", "basic dXNlcjpwYTpzczo=").status, 200);
  EXPECT_EQ(renders_, 4);

  const struct {
    const char* why;
    std::optional<std::string> header;
  } refused[] = {
      {"no header", std::nullopt},
      {"wrong password user:pa:ss", "Basic dXNlcjpwYTpzcw=="},
      {"user name case USER:pa:ss:", "Basic VVNFUjpwYTpzczo="},
      {"password only", "Basic OnBhOnNzOg=="},
      {"not Base64", "Basic ***"},
  };
  for (const auto& c : refused) {
    const WebReply reply = Serve("GET", "/quorvel.jpg", c.header);
    EXPECT_EQ(reply.status, 401) << c.why;
    EXPECT_EQ(reply.reason, "Unauthorized");
    EXPECT_EQ(reply.wwwAuthenticate, "Basic realm=\"Quorvel Web Service\"");
    EXPECT_EQ(reply.contentType, "text/html");
    EXPECT_EQ(reply.Body(), kAuthFailed);
  }
  EXPECT_EQ(renders_, 4);  // a refused request renders nothing
}

TEST_F(HandlerTest, CredentialsAreIgnoredWhenAuthenticationIsOff) {
  EXPECT_EQ(Serve("GET", "/quorvel.jpg", "Basic dXNlcjp3cm9uZw==").status, 200);
  EXPECT_EQ(Serve("GET", "/quorvel.jpg", "Basic ***").status, 200);
}

TEST_F(HandlerTest, OtherSchemesAndMethodsCloseWithoutReply) {
  EXPECT_TRUE(Serve("GET", "/quorvel.jpg", "Digest username=\"user\"").closeWithoutReply);
  for (const char* method : {"PUT", "DELETE", "OPTIONS", "get", "TRACE"}) {
    EXPECT_TRUE(Serve(method, "/quorvel.jpg").closeWithoutReply) << method;
  }
  EXPECT_EQ(renders_, 0);
  EXPECT_EQ(Serve("POST", "/quorvel.jpg").status, 200);
}

TEST_F(HandlerTest, HeadCarriesTheGetHeadersWithoutBody) {
  const WebReply get = Serve("GET", "/quorvel.jpg");
  const WebReply head = Serve("HEAD", "/quorvel.jpg");
  EXPECT_TRUE(head.headOnly);
  EXPECT_FALSE(get.headOnly);
  EXPECT_EQ(FormatReplyHead(head), FormatReplyHead(get));
  EXPECT_TRUE(Serve("HEAD", "/nothing").headOnly);
}

TEST_F(HandlerTest, RenderFailureGivesServerError) {
  outcome_ = RenderOutcome::Failed("Out of memory while drawing");
  const WebReply reply = Serve("GET", "/quorvel.jpg");
  EXPECT_EQ(reply.status, 500);
  EXPECT_EQ(reply.reason, "Internal Server Error");
  EXPECT_EQ(reply.contentType, "text/html");
  EXPECT_EQ(reply.Body(), "Out of memory while drawing");
  // The render comes first, so a wrong path with a failing render is a 500 too.
  EXPECT_EQ(Serve("GET", "/other").status, 500);

  outcome_ = RenderOutcome::Stopped();
  EXPECT_TRUE(Serve("GET", "/quorvel.jpg").closeWithoutReply);
}

TEST_F(HandlerTest, DocumentsAnswerTheirPathsBehindTheAccessCheckWithoutRender) {
  std::vector<std::string> asked;
  const DocumentCallback documents = [&](const std::string& path, const WebContext&) {
    asked.push_back(path);
    return path == "/stats.json" ? std::optional<WebDocument>({"application/json", "{}"})
                                 : std::nullopt;
  };
  auto serve = [&](const char* method, const char* target, std::optional<std::string> auth = {}) {
    return HandleRequest({method, target, std::move(auth)}, context_, [this] {
      ++renders_;
      return outcome_;
    }, documents);
  };

  const WebReply reply = serve("GET", "/stats%2Ejson?x=1");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.contentType, "application/json");
  EXPECT_EQ(reply.Body(), "{}");
  EXPECT_EQ(renders_, 0);
  EXPECT_TRUE(serve("HEAD", "/stats.json").headOnly);

  // Paths the callback does not serve keep the render-then-404 order; the
  // image's own path never reaches the callback.
  ExpectNotFound(serve("GET", "/other"), "/other");
  EXPECT_EQ(serve("GET", "/quorvel.jpg").Body(), kImage);
  EXPECT_EQ(renders_, 2);
  EXPECT_EQ(asked, (std::vector<std::string>{"/stats.json", "/stats.json", "/other"}));

  context_.access = {true, "u", "p", 80};
  EXPECT_EQ(serve("GET", "/stats.json").status, 401);
  EXPECT_EQ(asked.size(), 3u);
}

}  // namespace
}  // namespace quorvel
