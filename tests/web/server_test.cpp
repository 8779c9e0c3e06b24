#include <arpa/inet.h>
#include <dirent.h>
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

// The descriptors this process has open now.
int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (const dirent* entry = ::readdir(dir)) count += entry->d_name[0] != '.';
    ::closedir(dir);
  }
  return count - 1;  // the directory's own
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

TEST_F(ServerTest, OutOfDescriptorsTheOldestWaitingConnectionIsClosed) {
  HttpServerOptions options = LoopbackOptions();
  options.requestTimeout = std::chrono::seconds(60);
  StartServer(options);

  // The client sockets exist before descriptors run short; connecting them
  // takes none, so only the server runs out.
  std::vector<int> sockets;
  for (int i = 0; i < 40; ++i) sockets.push_back(::socket(AF_INET, SOCK_STREAM, 0));
  const int highest = *std::max_element(sockets.begin(), sockets.end());
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit lowered = saved;
  lowered.rlim_cur = static_cast<rlim_t>(highest + 1 + 3);
  const int spare = static_cast<int>(lowered.rlim_cur) - OpenDescriptors();
  ASSERT_GT(spare, 0);
  ASSERT_LT(spare + 4, static_cast<int>(sockets.size())) << "too many free descriptors below";
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);

  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(static_cast<std::uint16_t>(port_));
  server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const timeval limit{20, 0};
  for (const int fd : sockets) {
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof server), 0);
  }
  const auto readAll = [](int fd) {
    std::string bytes;
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
      bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return std::make_pair(n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK), bytes);
  };
  // The first gave up its place; the last one is served.
  const auto [closed, bytes] = readAll(sockets.front());
  EXPECT_TRUE(closed);
  EXPECT_EQ(bytes, "");
  const std::string request = Get("/quorvel.jpg");
  ::send(sockets.back(), request.data(), request.size(), MSG_NOSIGNAL);
  EXPECT_EQ(readAll(sockets.back()).second, ImageReply(kImage));

  ::setrlimit(RLIMIT_NOFILE, &saved);
  for (const int fd : sockets) ::close(fd);
}

TEST_F(ServerTest, AReaderThatStallsIsDroppedOneThatKeepsReadingIsServed) {
  HttpServerOptions options = LoopbackOptions();
  options.writeTimeout = std::chrono::milliseconds(300);
  server_ = std::make_unique<HttpServer>(options);
  const std::string big(16 << 20, 'z');  // more than the socket buffers hold
  HttpServerHooks hooks;
  hooks.handle = [&](const WebRequest&) {
    WebReply reply;
    reply.status = 200;
    reply.reason = "OK";
    reply.contentType = "text/plain";
    reply.text = big;
    return reply;
  };
  port_ = FreeLoopbackPort();
  ASSERT_TRUE(server_->Start(port_, hooks).ok);
  const std::string head =
      "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/plain\r\n"
      "Content-Length: 16777216\r\n\r\n";
  const std::size_t whole = head.size() + big.size();

  // Reads a bit every 40 ms: the reply takes longer than the allowance in
  // all, but every write makes progress within it.
  LoopbackClient steady(port_);
  steady.Send(Get("/big"));
  std::size_t received = 0;
  char buffer[1 << 16];
  for (;;) {
    std::size_t now = 0;
    ssize_t n = 0;
    while (now < (1u << 20) && (n = ::recv(steady.fd(), buffer, sizeof buffer, 0)) > 0) {
      now += static_cast<std::size_t>(n);
    }
    received += now;
    if (n <= 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
  }
  EXPECT_EQ(received, whole);

  // Reads nothing for twice the allowance: the server gives up on it.
  LoopbackClient stalled(port_);
  stalled.Send(Get("/big"));
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  const LoopbackClient::Received dropped = stalled.ReadAll();
  EXPECT_TRUE(dropped.closed);
  EXPECT_LT(dropped.bytes.size(), whole);
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
  HttpServerHooks hooks;
  hooks.handle = [&](const WebRequest&) {
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
  };
  port_ = FreeLoopbackPort();
  ASSERT_TRUE(server_->Start(port_, hooks).ok);

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
