#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/loopback.h"
#include "fakeuithread.h"
#include "web/httpserver.h"

namespace quorvel {
namespace {

const std::string kImage("\xFF\xD8\xFF\xE0\0\x10JFIF\0 graph \r\n\r\n\xFF\xD9", 24);

std::string Get(const std::string& target, const std::string& extra = "") {
  return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
}

std::string ImageReply(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: image/jpeg\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

class ServerTest : public ::testing::Test {
 protected:
  static HttpServerOptions LoopbackOptions() {
    HttpServerOptions options;
    options.bindAddress = "127.0.0.1";
    return options;
  }

  HttpServerHooks Hooks() {
    HttpServerHooks hooks;
    hooks.readContext = [this] {
      std::lock_guard lock(contextMutex_);
      return context_;
    };
    hooks.postToUi = [this](std::function<void()> job) { ui_.Post(std::move(job)); };
    hooks.renderOnUi = [this] {
      ++renders_;
      return RenderOutcome::Ok(std::make_shared<const std::string>(kImage));
    };
    hooks.cache = cache_;
    return hooks;
  }

  void StartServer(HttpServerOptions options = LoopbackOptions()) {
    server_ = std::make_unique<HttpServer>(options);
    for (int attempt = 0; attempt < 10; ++attempt) {
      port_ = FreeLoopbackPort();
      const HttpServerStart start = server_->Start(port_, Hooks());
      if (start.ok) return;
    }
    FAIL() << "no free port on 127.0.0.1";
  }

  LoopbackClient::Received Exchange(const std::string& request) {
    LoopbackClient client(port_);
    EXPECT_TRUE(client.connected());
    client.Send(request);
    return client.ReadAll();
  }

  FakeUiThread ui_;  // declared before the server, so it outlives it
  std::mutex contextMutex_;
  WebContext context_{{false, "", "", 80}, "quorvel.jpg"};
  std::shared_ptr<ImageCache> cache_ = std::make_shared<ImageCache>();
  std::atomic<int> renders_{0};
  std::unique_ptr<HttpServer> server_;
  int port_ = 0;
};

TEST_F(ServerTest, RepliesAsReceivedByTheClient) {
  StartServer();
  const LoopbackClient::Received image = Exchange(Get("/quorvel.jpg?refresh=1"));
  EXPECT_TRUE(image.closed);
  EXPECT_EQ(image.bytes, ImageReply(kImage));

  const std::string page =
      "<html><head><title>Error</title></head><body><h1>404 - Not Found</h1><p><b>Quorvel</b> "
      "is unable to locate \"/QUORVEL.JPG\"</body></html>";
  EXPECT_EQ(Exchange(Get("/QUORVEL.JPG")).bytes,
            "HTTP/1.1 404 Not Found\r\nConnection: close\r\nContent-Type: text/html\r\n"
            "Content-Length: " + std::to_string(page.size()) + "\r\n\r\n" + page);

  // HEAD: the GET headers, no body.
  EXPECT_EQ(Exchange("HEAD /quorvel.jpg HTTP/1.1\r\nHost: x\r\n\r\n").bytes,
            ImageReply(kImage).substr(0, ImageReply(kImage).size() - kImage.size()));

  // POST: the body is read and ignored, also when it comes in chunks.
  EXPECT_EQ(Exchange("POST /quorvel.jpg HTTP/1.1\r\nContent-Length: 70000\r\n\r\n" +
                     std::string(70000, 'p')).bytes,
            ImageReply(kImage));
  EXPECT_EQ(Exchange("POST /quorvel.jpg HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"
                     "5\r\nhello\r\n0\r\n\r\n").bytes,
            ImageReply(kImage));

  // A client that asks before sending its body is told to go on.
  {
    LoopbackClient client(port_);
    client.Send("POST /quorvel.jpg HTTP/1.1\r\nContent-Length: 4\r\nExpect: 100-continue\r\n\r\n");
    char interim[25] = {};
    ASSERT_EQ(::recv(client.fd(), interim, sizeof interim, MSG_WAITALL), 25);
    EXPECT_EQ(std::string(interim, 25), "HTTP/1.1 100 Continue\r\n\r\n");
    client.Send("body");
    EXPECT_EQ(client.ReadAll().bytes, ImageReply(kImage));
  }

  // HTTP/1.0 clients are served alike.
  EXPECT_EQ(Exchange("GET /quorvel.jpg HTTP/1.0\r\n\r\n").bytes, ImageReply(kImage));
}

TEST_F(ServerTest, ClosesWithoutReply) {
  StartServer();
  const std::string cases[] = {
      "PUT /quorvel.jpg HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc",
      Get("/quorvel.jpg", "Authorization: Digest username=\"user\"\r\n"),
      "NONSENSE\r\n\r\n",
      Get("/quorvel.jpg", "X-Fill: " + std::string(16 * 1024, 'a') + "\r\n"),   // header too large
      "POST /quorvel.jpg HTTP/1.1\r\nContent-Length: 2000000\r\n\r\n",          // body too large
  };
  for (const std::string& request : cases) {
    const LoopbackClient::Received received = Exchange(request);
    EXPECT_TRUE(received.closed) << request.substr(0, 40);
    EXPECT_EQ(received.bytes, "") << request.substr(0, 40);
  }
  EXPECT_EQ(renders_, 0);
}

TEST_F(ServerTest, BasicAuthenticationOverTheWire) {
  {
    std::lock_guard lock(contextMutex_);
    context_.access = {true, "user", "pa:ss", 80};
  }
  StartServer();
  const std::string refused = Exchange(Get("/quorvel.jpg")).bytes;
  EXPECT_EQ(refused.rfind("HTTP/1.1 401 Unauthorized\r\n", 0), 0u);
  EXPECT_NE(refused.find("\r\nWWW-Authenticate: Basic realm=\"Quorvel Web Service\"\r\n"),
            std::string::npos);
  EXPECT_EQ(renders_, 0);
  // "user:pa:ss"
  EXPECT_EQ(Exchange(Get("/quorvel.jpg", "Authorization: Basic dXNlcjpwYTpzcw==\r\n")).bytes,
            ImageReply(kImage));

  // The settings are read afresh for every request.
  {
    std::lock_guard lock(contextMutex_);
    context_.access.AuthRequired = false;
    context_.imageName = "other.gif";
  }
  EXPECT_EQ(Exchange(Get("/other.gif")).bytes.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
}

TEST_F(ServerTest, ConcurrentRequestsShareOneRender) {
  StartServer();
  std::vector<std::future<LoopbackClient::Received>> clients;
  for (int i = 0; i < 12; ++i) {
    clients.push_back(std::async(std::launch::async, [&] { return Exchange(Get("/quorvel.jpg")); }));
  }
  for (auto& client : clients) EXPECT_EQ(client.get().bytes, ImageReply(kImage));
  EXPECT_EQ(renders_, 1);

  cache_->Bump();
  EXPECT_EQ(Exchange(Get("/quorvel.jpg")).bytes, ImageReply(kImage));
  EXPECT_EQ(renders_, 2);
}

TEST_F(ServerTest, StalledClientIsDroppedWithoutBlockingOthers) {
  HttpServerOptions options = LoopbackOptions();
  options.requestTimeout = std::chrono::milliseconds(300);
  StartServer(options);

  LoopbackClient stalled(port_);
  ASSERT_TRUE(stalled.connected());
  stalled.Send("GET /quorvel.jpg HTTP/1.1\r\nHost: 127.0");
  LoopbackClient silent(port_);
  ASSERT_TRUE(silent.connected());

  EXPECT_EQ(Exchange(Get("/quorvel.jpg")).bytes, ImageReply(kImage));

  const LoopbackClient::Received dropped = stalled.ReadAll();
  EXPECT_TRUE(dropped.closed);
  EXPECT_EQ(dropped.bytes, "");
  EXPECT_TRUE(silent.ReadAll().closed);
}

TEST_F(ServerTest, ConnectionsOverTheCapAreClosedAtOnce) {
  HttpServerOptions options = LoopbackOptions();
  options.maxConnections = 2;
  options.requestTimeout = std::chrono::seconds(60);
  StartServer(options);

  auto first = std::make_unique<LoopbackClient>(port_);
  auto second = std::make_unique<LoopbackClient>(port_);
  LoopbackClient extra(port_);
  ASSERT_TRUE(extra.connected());
  const LoopbackClient::Received refused = extra.ReadAll();
  EXPECT_TRUE(refused.closed);
  EXPECT_EQ(refused.bytes, "");

  // Once the two are gone, the server serves again.
  first.reset();
  second.reset();
  std::string reply;
  for (int attempt = 0; attempt < 200 && reply.empty(); ++attempt) {
    reply = Exchange(Get("/quorvel.jpg")).bytes;
    if (reply.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(reply, ImageReply(kImage));
}

TEST_F(ServerTest, StopReleasesRequestsWaitingForTheUiThread) {
  HttpServerOptions options = LoopbackOptions();
  options.requestTimeout = std::chrono::seconds(60);
  StartServer(options);
  ui_.Hold();  // the UI thread is busy: here, with stopping the server

  std::vector<std::unique_ptr<LoopbackClient>> waiting;
  for (int i = 0; i < 3; ++i) {
    waiting.push_back(std::make_unique<LoopbackClient>(port_));
    waiting.back()->Send(Get("/quorvel.jpg"));
  }
  LoopbackClient stalled(port_);
  stalled.Send("GET /quor");
  ASSERT_TRUE(ui_.WaitPosted(3));

  server_->Stop();
  EXPECT_FALSE(server_->IsListening());
  for (auto& client : waiting) {
    const LoopbackClient::Received received = client->ReadAll();
    EXPECT_TRUE(received.closed);
    EXPECT_EQ(received.bytes, "");
  }
  EXPECT_TRUE(stalled.ReadAll().closed);
  EXPECT_FALSE(LoopbackClient(port_).connected());

  ui_.RunHeld();  // the jobs left behind do nothing
  EXPECT_EQ(renders_, 0);
}

TEST_F(ServerTest, StopFromInsideTheRender) {
  // A close event handled while the render lets pending events run.
  StartServer();
  std::promise<void> stopped;
  HttpServerHooks hooks = Hooks();
  server_->Stop();
  hooks.renderOnUi = [&] {
    server_->Stop();
    stopped.set_value();
    return RenderOutcome::Ok(std::make_shared<const std::string>(kImage));
  };
  ASSERT_TRUE(server_->Start(port_, hooks).ok);
  const LoopbackClient::Received received = Exchange(Get("/quorvel.jpg"));
  stopped.get_future().wait();
  EXPECT_TRUE(received.closed);
  EXPECT_EQ(received.bytes, "");
  EXPECT_FALSE(server_->IsListening());
}

TEST_F(ServerTest, StartFailures) {
  const int busy = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(::bind(busy, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(busy, 1), 0);
  ::getsockname(busy, reinterpret_cast<sockaddr*>(&address), &size);

  HttpServer server(LoopbackOptions());
  HttpServerStart start = server.Start(ntohs(address.sin_port), Hooks());
  EXPECT_FALSE(start.ok);
  EXPECT_EQ(start.error, "Address already in use");
  EXPECT_EQ(start.code, std::errc::address_in_use);
  EXPECT_FALSE(server.IsListening());
  ::close(busy);

  for (const int port : {0, 70000, -1, 65536}) {
    start = server.Start(port, Hooks());
    EXPECT_FALSE(start.ok) << port;
    EXPECT_EQ(start.error,
              "Invalid port " + std::to_string(port) + ": the port must be from 1 to 65535");
    EXPECT_FALSE(server.IsListening());
  }
}

TEST_F(ServerTest, AHandleHookAnswersInPlaceOfTheImage) {
  server_ = std::make_unique<HttpServer>(LoopbackOptions());
  HttpServerHooks hooks;
  hooks.handle = [](const WebRequest& request) {
    WebReply reply;
    reply.status = 200;
    reply.reason = "OK";
    reply.contentType = "text/plain";
    reply.text = request.method + " " + request.target;
    return reply;
  };
  port_ = FreeLoopbackPort();
  ASSERT_TRUE(server_->Start(port_, hooks).ok);
  EXPECT_EQ(Exchange(Get("/metrics?a=1")).bytes,
            "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/plain\r\n"
            "Content-Length: 16\r\n\r\nGET /metrics?a=1");
  EXPECT_EQ(renders_, 0);
}

TEST_F(ServerTest, RestartsOnTheSamePort) {
  StartServer();
  EXPECT_EQ(Exchange(Get("/quorvel.jpg")).bytes, ImageReply(kImage));
  EXPECT_TRUE(server_->Start(port_, Hooks()).ok);  // already listening: nothing changes
  server_->Stop();
  server_->Stop();
  const HttpServerStart again = server_->Start(port_, Hooks());
  ASSERT_TRUE(again.ok) << again.error;
  EXPECT_EQ(server_->Port(), port_);
  EXPECT_EQ(Exchange(Get("/quorvel.jpg")).bytes, ImageReply(kImage));
}

}  // namespace
}  // namespace quorvel
