#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "agent/agentweb.h"
#include "common/loopback.h"
#include "fakeuithread.h"
#include "web/httpserver.h"
#include "web/imagehandler.h"

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

// A blocking client socket on 127.0.0.1 whose source address is `from`
// (another loopback address), with the same 20 s read bound as
// LoopbackClient.
class ClientFrom {
 public:
  ClientFrom(int port, const char* from) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    timeval limit{20, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, from, &local.sin_addr);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(static_cast<std::uint16_t>(port));
    remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
                 ::connect(fd_, reinterpret_cast<sockaddr*>(&remote), sizeof remote) == 0;
  }
  ~ClientFrom() { ::close(fd_); }
  ClientFrom(const ClientFrom&) = delete;
  ClientFrom& operator=(const ClientFrom&) = delete;

  bool connected() const { return connected_; }
  void Send(const std::string& bytes) { ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
  // Everything until the server closes; empty with closed == false when the
  // 20 s bound ran out first.
  LoopbackClient::Received ReadAll() {
    LoopbackClient::Received received;
    char buffer[16384];
    for (;;) {
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n > 0) {
        received.bytes.append(buffer, static_cast<std::size_t>(n));
        continue;
      }
      received.closed = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
      return received;
    }
  }

 private:
  int fd_;
  bool connected_ = false;
};

class ServerTest : public ::testing::Test {
 protected:
  static HttpServerOptions LoopbackOptions() {
    HttpServerOptions options;
    options.bindAddress = "127.0.0.1";
    return options;
  }

  ImageServing Serving() {
    ImageServing hooks;
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
  std::shared_ptr<RequestHandler> Hooks() { return std::make_shared<ImageRequestHandler>(Serving()); }

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
  EXPECT_EQ(Exchange("POST /quorvel.jpg HTTP/1.1\r\nHost: x\r\nContent-Length: 70000\r\n\r\n" +
                     std::string(70000, 'p')).bytes,
            ImageReply(kImage));
  EXPECT_EQ(Exchange("POST /quorvel.jpg HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"
                     "5\r\nhello\r\n0\r\n\r\n").bytes,
            ImageReply(kImage));

  // A client that asks before sending its body is told to go on.
  {
    LoopbackClient client(port_);
    client.Send("POST /quorvel.jpg HTTP/1.1\r\nHost: x\r\nContent-Length: 4\r\nExpect: 100-continue\r\n\r\n");
    char interim[25] = {};
    ASSERT_EQ(::recv(client.fd(), interim, sizeof interim, MSG_WAITALL), 25);
    EXPECT_EQ(std::string(interim, 25), "HTTP/1.1 100 Continue\r\n\r\n");
    client.Send("body");
    EXPECT_EQ(client.ReadAll().bytes, ImageReply(kImage));
  }

  // HTTP/1.0 clients are served alike.
  EXPECT_EQ(Exchange("GET /quorvel.jpg HTTP/1.0\r\n\r\n").bytes, ImageReply(kImage));
}

// Every form of request, against the window's server (the image and its
// handler) and the agent's (its handle hook): the status line of the reply,
// each with Connection: close and a Content-Length that holds, or nothing
// where the connection is closed without a reply.
TEST_F(ServerTest, RequestFormsAsClientsExpect) {
  StartServer();
  const int window = port_;
  HttpServer agentServer(LoopbackOptions());
  auto agentHandler = std::make_shared<CallbackHandler>([](const WebRequest& request) {
    return AgentWebReply(request, [] { return std::vector<TargetMetrics>(); });
  });
  const int agent = FreeLoopbackPort();
  ASSERT_TRUE(agentServer.Start(agent, agentHandler).ok);

  const std::string fill(16 * 1024, 'a');
  const std::string big = "Content-Length: 2000000\r\n";
  struct Case {
    const char* name;
    int port;
    std::string request;
    std::string status;  // empty: closed without a reply
    bool authOn = false;  // the window's access check, with an empty user name and password
  };
  const Case cases[] = {
      {"absolute form", window, "GET http://127.0.0.1:1/quorvel.jpg?r=2 HTTP/1.1\r\nHost: x\r\n\r\n", "200 OK"},
      {"agent: absolute form", agent, "GET http://127.0.0.1/metrics HTTP/1.1\r\nHost: x\r\n\r\n", "200 OK"},
      {"http/1.1 without host", window, "GET /quorvel.jpg HTTP/1.1\r\n\r\n", "400 Bad Request"},
      {"head without host", window, "HEAD /quorvel.jpg HTTP/1.1\r\n\r\n", "400 Bad Request"},
      {"agent: without host", agent, "GET /metrics HTTP/1.1\r\n\r\n", "400 Bad Request"},
      {"http/1.0 without host", window, "GET /quorvel.jpg HTTP/1.0\r\n\r\n", "200 OK"},
      {"two hosts", window, Get("/quorvel.jpg", "Host: b\r\n"), "400 Bad Request"},
      {"target in no form", window, "GET quorvel.jpg HTTP/1.1\r\nHost: x\r\n\r\n", "400 Bad Request"},
      {"malformed", window, "NONSENSE\r\n\r\n", "400 Bad Request"},
      {"malformed field", agent, "GET / HTTP/1.1\r\nHost x\r\n\r\n", "400 Bad Request"},
      {"malformed length", window, Get("/quorvel.jpg", "Content-Length: x\r\n"), "400 Bad Request"},
      {"oversize head", window, Get("/quorvel.jpg", "X-Fill: " + fill + "\r\n"),
       "431 Request Header Fields Too Large"},
      {"agent: oversize head", agent, Get("/metrics", "X-Fill: " + fill + "\r\n"),
       "431 Request Header Fields Too Large"},
      {"oversize request line", window, Get("/" + fill), "414 URI Too Long"},
      {"oversize body", window, "POST /quorvel.jpg HTTP/1.1\r\nHost: x\r\n" + big + "\r\n",
       "413 Content Too Large"},
      {"agent: other method", agent, "PUT /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\nabc",
       "405 Method Not Allowed"},
      {"agent: post", agent, "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n", "405 Method Not Allowed"},
      // The window's own rules come first: other methods and schemes are
      // closed without a reply, also when the request is refused otherwise.
      {"other method", window, "PUT /quorvel.jpg HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\nabc", ""},
      {"other method without host", window, "DELETE /quorvel.jpg HTTP/1.1\r\n\r\n", ""},
      {"other method, body too large", window, "PUT /quorvel.jpg HTTP/1.1\r\nHost: x\r\n" + big + "\r\n", ""},
      {"other scheme", window, Get("/quorvel.jpg", "Authorization: Digest username=\"user\"\r\n"), ""},
      {"other scheme without host", window, "GET /quorvel.jpg HTTP/1.1\r\nAuthorization: Bearer x\r\n\r\n", ""},
      {"empty credentials stored: no header", window, Get("/quorvel.jpg"), "200 OK", true},
      {"empty credentials stored: empty ones sent", window, Get("/quorvel.jpg", "Authorization: Basic Og==\r\n"),
       "200 OK", true},
  };
  for (const Case& c : cases) {
    {
      std::lock_guard lock(contextMutex_);
      context_.access = {c.authOn, "", "", 80};
    }
    LoopbackClient client(c.port);
    client.Send(c.request);
    const LoopbackClient::Received received = client.ReadAll();
    EXPECT_TRUE(received.closed) << c.name;
    const std::string& reply = received.bytes;
    if (c.status.empty()) {
      EXPECT_EQ(reply, "") << c.name;
      continue;
    }
    EXPECT_EQ(reply.rfind("HTTP/1.1 " + c.status + "\r\n", 0), 0u) << c.name << ": " << reply.substr(0, 60);
    const std::size_t end = reply.find("\r\n\r\n");
    const std::size_t length = reply.find("\r\nContent-Length: ");
    ASSERT_NE(end, std::string::npos) << c.name;
    ASSERT_LT(length, end) << c.name;
    EXPECT_LT(reply.find("\r\nConnection: close\r\n"), end) << c.name;
    const std::size_t body = reply.size() - end - 4;
    const bool head = c.request.rfind("HEAD ", 0) == 0;
    EXPECT_EQ(head ? 0u : std::stoul(reply.substr(length + 18)), body) << c.name;
    if (c.status.rfind("405", 0) == 0) {
      EXPECT_LT(reply.find("\r\nAllow: GET, HEAD\r\n"), end) << c.name;
    }
  }
  EXPECT_EQ(renders_, 1);  // the image, once in the cache, serves the rest

  // Every reply begun is counted by its status.
  const std::vector<std::pair<int, std::uint64_t>> windowReplies = {{200, 4}, {400, 6}, {413, 1}, {414, 1},
                                                                    {431, 1}};
  EXPECT_EQ(server_->Counters().replies, windowReplies);
  const std::vector<std::pair<int, std::uint64_t>> agentReplies = {{200, 1}, {400, 2}, {405, 2}, {431, 1}};
  EXPECT_EQ(agentServer.Counters().replies, agentReplies);
}

// After a refusal the server reads on what the client still sends, rather
// than closing on it, which would answer the client's next bytes with a
// reset: a client still sending its request may read the reply.
TEST_F(ServerTest, AfterARefusalTheRestOfTheRequestIsReadNotReset) {
  StartServer();
  LoopbackClient client(port_);
  client.Send(Get("/quorvel.jpg", "X-Fill: " + std::string(16 * 1024, 'a') + "\r\n"));
  const LoopbackClient::Received reply = client.ReadAll();  // the server has shut its side
  EXPECT_EQ(reply.bytes.rfind("HTTP/1.1 431 ", 0), 0u);
  const std::string more(4096, 'b');
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(::send(client.fd(), more.data(), more.size(), MSG_NOSIGNAL), 4096) << i;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
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
  EXPECT_EQ(server_->Counters().requestTimeouts, 2u);
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
  EXPECT_EQ(server_->Counters().refusedAtConnectionCap, 1u);

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
  ImageServing hooks = Serving();
  server_->Stop();
  hooks.renderOnUi = [&] {
    server_->Stop();
    stopped.set_value();
    return RenderOutcome::Ok(std::make_shared<const std::string>(kImage));
  };
  ASSERT_TRUE(server_->Start(port_, std::make_shared<ImageRequestHandler>(hooks)).ok);
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
  auto handler = std::make_shared<CallbackHandler>([](const WebRequest& request) {
    WebReply reply;
    reply.status = 200;
    reply.reason = "OK";
    reply.contentType = "text/plain";
    reply.text = request.method + " " + request.target;
    return reply;
  });
  port_ = FreeLoopbackPort();
  ASSERT_TRUE(server_->Start(port_, handler).ok);
  EXPECT_EQ(Exchange(Get("/metrics?a=1")).bytes,
            "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/plain\r\n"
            "Content-Length: 16\r\n\r\nGET /metrics?a=1");
  EXPECT_EQ(renders_, 0);
}

TEST_F(ServerTest, ListensOnAnIpv6AddressAlone) {
  HttpServerOptions options;
  options.bindAddress = "::1";
  server_ = std::make_unique<HttpServer>(options);
  port_ = FreeLoopbackPort();
  const HttpServerStart start = server_->Start(port_, Hooks());
  if (!start.ok && start.code == std::errc::address_not_available) {
    GTEST_SKIP() << "no ::1 on this machine";
  }
  ASSERT_TRUE(start.ok) << start.error;

  const int fd = ::socket(AF_INET6, SOCK_STREAM, 0);
  sockaddr_in6 address{};
  address.sin6_family = AF_INET6;
  address.sin6_addr = in6addr_loopback;
  address.sin6_port = htons(static_cast<std::uint16_t>(port_));
  timeval timeout{20, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const std::string request = Get("/quorvel.jpg");
  ASSERT_EQ(::write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
  std::string reply;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) reply.append(buffer, std::size_t(n));
  ::close(fd);
  EXPECT_EQ(reply, ImageReply(kImage));
  // The IPv4 side of the same port stays free.
  LoopbackClient v4(port_);
  EXPECT_FALSE(v4.connected());
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

TEST_F(ServerTest, AtTheWaitingCapTheOldestWaitingConnectionIsClosed) {
  HttpServerOptions options = LoopbackOptions();
  options.maxWaiting = 3;
  options.requestTimeout = std::chrono::seconds(60);
  StartServer(options);

  std::vector<std::unique_ptr<LoopbackClient>> clients;
  for (int i = 0; i < 3; ++i) {
    clients.push_back(std::make_unique<LoopbackClient>(port_));
    ASSERT_TRUE(clients.back()->connected());
  }
  clients[1]->Send("GET /quor");  // part of a request is still waiting
  clients.push_back(std::make_unique<LoopbackClient>(port_));  // the fourth

  const LoopbackClient::Received oldest = clients[0]->ReadAll();
  EXPECT_TRUE(oldest.closed);
  EXPECT_EQ(oldest.bytes, "");
  EXPECT_EQ(server_->Counters().evicted, 1u);
  // The newer ones were left open: each is served.
  clients[1]->Send("vel.jpg HTTP/1.1\r\nHost: x\r\n\r\n");
  clients[2]->Send(Get("/quorvel.jpg"));
  clients[3]->Send(Get("/quorvel.jpg"));
  for (int i = 1; i < 4; ++i) EXPECT_EQ(clients[i]->ReadAll().bytes, ImageReply(kImage)) << i;
}

TEST_F(ServerTest, AtTheCapOfAnAddressItsOwnOldestWaitingConnectionIsClosed) {
  HttpServerOptions options = LoopbackOptions();
  options.maxWaitingPerAddress = 2;
  options.requestTimeout = std::chrono::seconds(60);
  StartServer(options);

  ClientFrom x1(port_, "127.0.0.2");
  ClientFrom x2(port_, "127.0.0.2");
  LoopbackClient y1(port_);
  LoopbackClient y2(port_);
  ASSERT_TRUE(x1.connected() && x2.connected() && y1.connected() && y2.connected());

  ClientFrom x3(port_, "127.0.0.2");
  const LoopbackClient::Received first = x1.ReadAll();
  EXPECT_TRUE(first.closed);
  EXPECT_EQ(first.bytes, "");
  // The oldest of all waiting is x2 by now, but y3 makes room among its own.
  LoopbackClient y3(port_);
  const LoopbackClient::Received second = y1.ReadAll();
  EXPECT_TRUE(second.closed);
  EXPECT_EQ(second.bytes, "");

  for (ClientFrom* x : {&x2, &x3}) {
    x->Send(Get("/quorvel.jpg"));
    EXPECT_EQ(x->ReadAll().bytes, ImageReply(kImage));
  }
  for (LoopbackClient* y : {&y2, &y3}) {
    y->Send(Get("/quorvel.jpg"));
    EXPECT_EQ(y->ReadAll().bytes, ImageReply(kImage));
  }
}

TEST_F(ServerTest, IdleAndSlowClientsDoNotKeepCompleteRequestsWaiting) {
  HttpServerOptions options = LoopbackOptions();
  options.maxWaiting = 32;
  options.requestTimeout = std::chrono::seconds(60);  // nobody is dropped for being slow
  StartServer(options);

  std::vector<std::unique_ptr<LoopbackClient>> idle;
  for (int i = 0; i < 100; ++i) idle.push_back(std::make_unique<LoopbackClient>(port_));
  std::vector<std::unique_ptr<ClientFrom>> slow;
  for (int i = 0; i < 40; ++i) {
    slow.push_back(std::make_unique<ClientFrom>(port_, "127.0.0.2"));
    slow.back()->Send("GET /quorvel.jpg HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: a");
  }
  for (auto& client : slow) client->Send("a");

  // Complete requests from other addresses and from the idle clients' own.
  for (const char* from : {"127.0.0.3", "127.0.0.1"}) {
    ClientFrom client(port_, from);
    ASSERT_TRUE(client.connected()) << from;
    client.Send(Get("/quorvel.jpg"));
    EXPECT_EQ(client.ReadAll().bytes, ImageReply(kImage)) << from;
  }
  // One that sends its request a byte at a time is served once it is whole.
  ClientFrom bytewise(port_, "127.0.0.4");
  for (const char c : Get("/quorvel.jpg")) bytewise.Send(std::string(1, c));
  EXPECT_EQ(bytewise.ReadAll().bytes, ImageReply(kImage));
}

TEST_F(ServerTest, StopIsPromptWithManyConnectionsOpen) {
  HttpServerOptions options = LoopbackOptions();
  options.maxWaiting = 1000;
  options.maxWaitingPerAddress = 1000;
  options.requestTimeout = std::chrono::seconds(60);
  StartServer(options);

  std::vector<std::unique_ptr<LoopbackClient>> clients;
  for (int i = 0; i < 300; ++i) clients.push_back(std::make_unique<LoopbackClient>(port_));
  for (int i = 0; i < 20; ++i) {
    clients.push_back(std::make_unique<LoopbackClient>(port_));
    clients.back()->Send("GET /quorvel.jpg HTTP/1.1\r\nHost: 127");
  }
  // Answered after all of them were accepted: they are all held open now.
  EXPECT_EQ(Exchange(Get("/quorvel.jpg")).bytes, ImageReply(kImage));
  ui_.Hold();
  cache_->Bump();
  for (int i = 0; i < 3; ++i) {
    clients.push_back(std::make_unique<LoopbackClient>(port_));
    clients.back()->Send(Get("/quorvel.jpg"));
  }
  ASSERT_TRUE(ui_.WaitPosted(4));

  // Not a speed figure: only that Stop does not wait for the clients, which
  // would hold it for a minute.
  auto stopping = std::async(std::launch::async, [&] { server_->Stop(); });
  const bool prompt = stopping.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  EXPECT_TRUE(prompt);
  if (!prompt) {
    clients.clear();  // lets a Stop that waits for them end
    ui_.RunHeld();
  }
  stopping.get();
  for (auto& client : clients) {
    const LoopbackClient::Received received = client->ReadAll();
    EXPECT_TRUE(received.closed);
    EXPECT_EQ(received.bytes, "");
  }
  ui_.RunHeld();
  EXPECT_EQ(renders_, 1);
}

// Short of descriptors, the last descriptorReserve of them stay free for the
// rest of the program: a new connection that would take one is refused
// while nobody waits, and takes the place of the oldest waiting connection
// otherwise.
TEST_F(ServerTest, ShortOfDescriptorsTheReserveStaysFree) {
  constexpr int kReserve = 8;
  HttpServerOptions options = LoopbackOptions();
  options.requestTimeout = std::chrono::seconds(60);
  options.descriptorReserve = kReserve;
  StartServer(options);

  // The client sockets exist before descriptors run short; connecting them
  // takes none, so only the server runs short.
  std::vector<int> sockets;
  for (int i = 0; i < 41; ++i) sockets.push_back(::socket(AF_INET, SOCK_STREAM, 0));
  const int highest = *std::max_element(sockets.begin(), sockets.end());
  const int next = ::fcntl(0, F_DUPFD_CLOEXEC, 0);
  ::close(next);
  ASSERT_EQ(next, highest + 1) << "the descriptors below are not all in use";
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit lowered = saved;
  lowered.rlim_cur = static_cast<rlim_t>(highest + 1 + kReserve);  // nothing left but the reserve
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);

  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(static_cast<std::uint16_t>(port_));
  server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const timeval limit{20, 0};
  const auto connectAll = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
      ::setsockopt(sockets[i], SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
      EXPECT_EQ(::connect(sockets[i], reinterpret_cast<const sockaddr*>(&server), sizeof server), 0);
    }
  };
  const auto readAll = [](int fd) {
    std::string bytes;
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) bytes.append(buffer, static_cast<std::size_t>(n));
    return std::make_pair(n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK), bytes);
  };

  // Nobody waits to give way: refused.
  connectAll(0, 1);
  EXPECT_EQ(readAll(sockets[0]), std::make_pair(true, std::string()));
  EXPECT_EQ(server_->Counters().refusedAtDescriptorReserve, 1u);

  // Room for three more: of 40 new clients the last three stay, each of the
  // others gave way to a newer one as it came; the newest is served.
  lowered.rlim_cur += 3;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
  connectAll(1, 41);
  EXPECT_EQ(readAll(sockets[1]), std::make_pair(true, std::string()));
  const std::string request = Get("/quorvel.jpg");
  ::send(sockets.back(), request.data(), request.size(), MSG_NOSIGNAL);
  EXPECT_EQ(readAll(sockets.back()).second, ImageReply(kImage));
  // All along, the reserve stayed free for the rest of the program.
  std::vector<int> taken;
  for (int i = 0; i < kReserve; ++i) taken.push_back(::dup(0));
  EXPECT_EQ(std::count(taken.begin(), taken.end(), -1), 0);
  const HttpServerCounters counters = server_->Counters();
  EXPECT_EQ(counters.accepted, 41u);
  EXPECT_EQ(counters.evicted, 37u);

  ::setrlimit(RLIMIT_NOFILE, &saved);
  for (const int fd : taken) ::close(fd);
  for (const int fd : sockets) ::close(fd);
}

// Takes the reply to one GET at `rate` bytes a second, in small reads, until
// the server closes (at most 30 s); returns the bytes received.
std::size_t ReadSteadily(int port, const std::string& target, double rate) {
  LoopbackClient client(port);
  client.Send(Get(target));
  const auto start = std::chrono::steady_clock::now();
  std::size_t received = 0;
  static thread_local char buffer[1 << 16];
  while (std::chrono::steady_clock::now() - start < std::chrono::seconds(30)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    const auto allowed = static_cast<std::size_t>(rate * elapsed.count());
    while (received < allowed) {
      const ssize_t n = ::recv(client.fd(), buffer, std::min(sizeof buffer, allowed - received), MSG_DONTWAIT);
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) return received;
      if (n < 0) break;
      received += static_cast<std::size_t>(n);
    }
  }
  return received;
}

// Whether a client is still taking its reply is judged by what it takes, not
// by how often the kernel lets the server write: that happens only once much
// of the send buffer has drained, far apart for a slow reader. Scaled down
// from the default 10 s: readers at 2 MiB/s and at 512 KiB/s each take their
// reply whole, although both would wait longer than 300 ms between writes;
// one that takes nothing is dropped.
TEST_F(ServerTest, SlowSteadyReadersGetTheWholeReplyAStalledOneIsDropped) {
  HttpServerOptions options = LoopbackOptions();
  options.writeTimeout = std::chrono::milliseconds(300);
  server_ = std::make_unique<HttpServer>(options);
  // More than the kernel's largest send buffer and the client's receive
  // buffer hold together.
  const std::string big(6 << 20, 'z');
  auto handler = std::make_shared<CallbackHandler>([&](const WebRequest& request) {
    WebReply reply;
    reply.status = 200;
    reply.reason = "OK";
    reply.contentType = "text/plain";
    reply.text = big.substr(0, request.target == "/big" ? big.size() : 2 << 20);
    return reply;
  });
  port_ = FreeLoopbackPort();
  ASSERT_TRUE(server_->Start(port_, handler).ok);
  const std::size_t head = std::string("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/plain\r\n"
                                       "Content-Length: 6291456\r\n\r\n").size();

  auto fast = std::async(std::launch::async, [&] { return ReadSteadily(port_, "/big", 2 << 20); });
  auto slow = std::async(std::launch::async, [&] { return ReadSteadily(port_, "/small", 512 << 10); });
  LoopbackClient stalled(port_);
  stalled.Send(Get("/big"));
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  const LoopbackClient::Received dropped = stalled.ReadAll();
  EXPECT_TRUE(dropped.closed);
  EXPECT_LT(dropped.bytes.size(), head + big.size());

  EXPECT_EQ(fast.get(), head + big.size());
  EXPECT_EQ(slow.get(), head + (2u << 20));
  EXPECT_EQ(server_->Counters().replyTimeouts, 1u);
}

TEST_F(ServerTest, HooksRunOnAtMostMaxThreads) {
  HttpServerOptions options = LoopbackOptions();
  options.maxThreads = 2;
  server_ = std::make_unique<HttpServer>(options);
  std::mutex mutex;
  std::condition_variable changed;
  int running = 0;
  int most = 0;
  bool released = false;
  auto handler = std::make_shared<CallbackHandler>([&](const WebRequest&) {
    std::unique_lock lock(mutex);
    most = std::max(most, ++running);
    changed.notify_all();
    changed.wait(lock, [&] { return released; });
    --running;
    WebReply reply;
    reply.status = 200;
    reply.reason = "OK";
    reply.contentType = "text/plain";
    reply.text = "done";
    return reply;
  });
  port_ = FreeLoopbackPort();
  ASSERT_TRUE(server_->Start(port_, handler).ok);

  std::vector<std::future<LoopbackClient::Received>> clients;
  for (int i = 0; i < 4; ++i) {
    clients.push_back(std::async(std::launch::async, [&] { return Exchange(Get("/metrics")); }));
  }
  bool two = false;
  bool more = false;
  {
    std::unique_lock lock(mutex);
    two = changed.wait_for(lock, std::chrono::seconds(20), [&] { return running >= 2; });
    // A third would start at once if it could.
    more = changed.wait_for(lock, std::chrono::milliseconds(200), [&] { return running > 2; });
    released = true;
  }
  changed.notify_all();
  EXPECT_TRUE(two);
  EXPECT_FALSE(more);
  for (auto& client : clients) {
    EXPECT_EQ(client.get().bytes,
              "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/plain\r\n"
              "Content-Length: 4\r\n\r\ndone");
  }
  EXPECT_EQ(most, 2);
}

}  // namespace
}  // namespace quorvel
