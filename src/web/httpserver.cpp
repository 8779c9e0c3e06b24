#include "web/httpserver.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <thread>
#include <unordered_map>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/intrusive/list.hpp>

#include "web/requestreader.h"
#include "web/workerpool.h"

namespace quorvel {

namespace asio = boost::asio;
namespace intrusive = boost::intrusive;
using tcp = asio::ip::tcp;
using boost::system::error_code;
using SteadyClock = std::chrono::steady_clock;

namespace {

using Hook = intrusive::list_member_hook<>;

// A client address as a key: IPv4 addresses as IPv4-mapped IPv6.
struct AddressKey {
  std::array<unsigned char, 16> bytes{};
  bool operator==(const AddressKey&) const = default;
};

struct AddressKeyHash {
  std::size_t operator()(const AddressKey& key) const {
    std::uint64_t h = 1469598103934665603ull;
    for (const unsigned char b : key.bytes) h = (h ^ b) * 1099511628211ull;
    return static_cast<std::size_t>(h);
  }
};

AddressKey KeyOf(const sockaddr_storage& address) {
  AddressKey key;
  if (address.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    key.bytes[10] = key.bytes[11] = 0xFF;
    std::memcpy(key.bytes.data() + 12, &v4.sin_addr, 4);
  } else if (address.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    std::memcpy(key.bytes.data(), &v6.sin6_addr, 16);
  }
  return key;
}

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

// One connection. Its state moves Reading -> Busy -> Writing -> Closed (or
// to Closed from any of them). Owned by whatever waits for it: the pending
// wait of its socket, a job on a worker thread, a handler posted back to the
// event loop. The lists of the event loop only point at it; Close unlinks it
// from every one, and only the event-loop thread touches them.
struct Connection : std::enable_shared_from_this<Connection> {
  enum class State { Reading, Busy, Writing, Closed };

  Connection(asio::io_context& io, int descriptor, bool v6, AddressKey key)
      : socket(io), fd(descriptor), ipv6(v6), address(key) {}
  ~Connection() {
    if (!socket.is_open() && fd >= 0) ::close(fd);
  }

  // The descriptor is handed to the event loop's reactor only when the
  // connection first has to wait: most requests arrive whole and are
  // answered before that.
  tcp::socket socket;
  int fd;
  bool ipv6;
  AddressKey address;
  State state = State::Reading;
  SteadyClock::time_point deadline;  // Reading: the whole request; Writing: the next progress

  Hook queueHook;    // in Loop::waiting_ while Reading, in Loop::writing_ while Writing
  Hook addressHook;  // in its address's list while Reading
  Hook openHook;     // in Loop::open_ until Closed

  std::unique_ptr<RequestReader> reader;  // made when the first byte arrives
  bool sendingContinue = false;           // writing "100 Continue" while Reading

  WebReply reply;      // holds the body while it is sent
  std::string head;    // the reply's status line and headers
  std::string_view body;
  std::size_t sent = 0;  // of head + body, or of the interim reply
};

using QueueList = intrusive::list<
    Connection, intrusive::member_hook<Connection, Hook, &Connection::queueHook>,
    intrusive::constant_time_size<true>>;
using AddressList = intrusive::list<
    Connection, intrusive::member_hook<Connection, Hook, &Connection::addressHook>,
    intrusive::constant_time_size<true>>;
using OpenList = intrusive::list<
    Connection, intrusive::member_hook<Connection, Hook, &Connection::openHook>,
    intrusive::constant_time_size<true>>;

constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";

}  // namespace

// Everything the event loop owns. Apart from Start and Shutdown (UI thread),
// every member function runs on the event-loop thread.
struct HttpServer::Loop {
  Loop(const HttpServerOptions& o, HttpServerHooks h)
      : options(o),
        hooks(std::move(h)),
        handOff(hooks.postToUi, hooks.renderOnUi, hooks.cache),
        workers(o.maxThreads),
        acceptor(io),
        waitingTimer(io),
        writingTimer(io),
        pauseTimer(io) {
    options.maxConnections = std::max<std::size_t>(1, options.maxConnections);
    options.maxWaiting = std::max<std::size_t>(1, options.maxWaiting);
    options.maxWaitingPerAddress = std::max<std::size_t>(1, options.maxWaitingPerAddress);
  }

  // Every path of a connection ends in Close, also when memory runs out, so
  // that no connection is released while the lists still point at it.
  ~Loop() {
    // Nothing may point into the lists once they are gone.
    waiting_.clear();
    writing_.clear();
    open_.clear();
    for (auto& [key, list] : addresses_) list.clear();
  }

  HttpServerOptions options;
  HttpServerHooks hooks;
  RenderHandOff handOff;
  WorkerPool workers;
  asio::io_context io;
  // Keeps io.run() going until Shutdown stops it, whatever is pending.
  asio::executor_work_guard<asio::io_context::executor_type> busy{io.get_executor()};
  tcp::acceptor acceptor;
  std::thread thread;

  void Run();
  void Shutdown();

 private:
  using Pointer = std::shared_ptr<Connection>;

  void WaitForAccept();
  void AcceptSome();
  void Admit(int fd, const sockaddr_storage& peer);
  bool CloseOldestWaiting();

  bool Register(Connection& c);
  void Read(const Pointer& c);
  void OnRead(const Pointer& c, RequestReader::Status status);
  void SendContinue(const Pointer& c);
  void Serve(const Pointer& c);
  void Answer(const Pointer& c, WebReply reply);
  void Write(const Pointer& c);
  void AwaitWritable(const Pointer& c);
  void Close(Connection& c);

  void ArmWaitingTimer();
  void ArmWritingTimer();
  void Expire(QueueList& list, SteadyClock::time_point now);

  QueueList waiting_;  // Reading, oldest first: deadlines in order
  QueueList writing_;  // Writing, least recent progress first: deadlines in order
  OpenList open_;      // every connection not Closed
  std::unordered_map<AddressKey, AddressList, AddressKeyHash> addresses_;  // Reading, per address
  asio::steady_timer waitingTimer;
  asio::steady_timer writingTimer;
  asio::steady_timer pauseTimer;
  bool waitingTimerArmed_ = false;
  bool writingTimerArmed_ = false;
  bool stopping_ = false;
};

void HttpServer::Loop::Run() {
  WaitForAccept();
  for (;;) {
    try {
      io.run();
      return;
    } catch (const std::exception&) {
      // A handler failed (out of memory): the loop goes on with the others.
    }
  }
}

// On the UI thread. The order lets Stop return promptly: requests waiting for
// the UI thread are released first, then the event loop closes every socket
// and ends, then the workers (now without anything to wait for) are joined.
void HttpServer::Loop::Shutdown() {
  handOff.Cancel();
  workers.Close();
  asio::post(io, [this] {
    stopping_ = true;
    error_code ignored;
    acceptor.close(ignored);
    while (!open_.empty()) Close(open_.front());
    io.stop();
  });
  if (thread.joinable()) thread.join();
  workers.Stop();
}

void HttpServer::Loop::WaitForAccept() {
  acceptor.async_wait(tcp::acceptor::wait_read, [this](const error_code& ec) {
    if (stopping_) return;
    if (!ec) return AcceptSome();
    pauseTimer.expires_after(std::chrono::milliseconds(100));
    pauseTimer.async_wait([this](const error_code& failed) {
      if (!failed && !stopping_) WaitForAccept();
    });
  });
}

// A burst of connections is taken a few at a time, so that the requests of
// those already accepted are not kept waiting behind it. They are all taken
// before any is read: by then most of their requests have arrived.
void HttpServer::Loop::AcceptSome() {
  struct Accepted {
    int fd;
    sockaddr_storage peer;
  };
  std::array<Accepted, 32> accepted;
  std::size_t count = 0;
  bool more = true;
  while (count < accepted.size()) {
    Accepted& next = accepted[count];
    socklen_t size = sizeof next.peer;
    next.fd = ::accept4(acceptor.native_handle(), reinterpret_cast<sockaddr*>(&next.peer), &size,
                        SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (next.fd >= 0) {
      ++count;
      continue;
    }
    const int error = errno;
    if (error == EINTR || error == ECONNABORTED || error == EPROTO) continue;
    if (WouldBlock(error)) {
      more = false;
      WaitForAccept();
      break;
    }
    // Out of descriptors or memory: a waiting client gives up its place
    // (those just accepted are counted first); with none to close, the
    // pending connection stays queued and accepting pauses instead of
    // spinning.
    if (error == EMFILE || error == ENFILE) {
      if (count > 0) break;
      if (CloseOldestWaiting()) continue;
    }
    more = false;
    pauseTimer.expires_after(std::chrono::milliseconds(100));
    pauseTimer.async_wait([this](const error_code& ec) {
      if (!ec && !stopping_) AcceptSome();
    });
    break;
  }
  for (std::size_t i = 0; i < count; ++i) Admit(accepted[i].fd, accepted[i].peer);
  if (more) {
    asio::post(io, [this] {
      if (!stopping_) AcceptSome();
    });
  }
}

bool HttpServer::Loop::CloseOldestWaiting() {
  if (waiting_.empty()) return false;
  Close(waiting_.front());
  return true;
}

void HttpServer::Loop::Admit(int fd, const sockaddr_storage& peer) {
  if (open_.size() >= options.maxConnections) {
    ::close(fd);
    return;
  }
  const AddressKey key = KeyOf(peer);
  auto found = addresses_.find(key);
  if (found != addresses_.end() && found->second.size() >= options.maxWaitingPerAddress) {
    Close(found->second.front());
  }
  if (waiting_.size() >= options.maxWaiting) Close(waiting_.front());

  Pointer c;
  try {
    c = std::make_shared<Connection>(io, fd, peer.ss_family == AF_INET6, key);
  } catch (const std::bad_alloc&) {
    ::close(fd);
    return;
  }
  AddressList* own = nullptr;
  try {
    own = &addresses_[key];
  } catch (const std::bad_alloc&) {
    return;  // c closes its descriptor
  }
  c->deadline = SteadyClock::now() + options.requestTimeout;
  open_.push_back(*c);
  waiting_.push_back(*c);
  own->push_back(*c);
  ArmWaitingTimer();
  Read(c);
}

bool HttpServer::Loop::Register(Connection& c) {
  if (c.socket.is_open()) return true;
  error_code ec;
  c.socket.assign(c.ipv6 ? tcp::v6() : tcp::v4(), c.fd, ec);
  if (!ec) return true;
  Close(c);
  return false;
}

// Reads what has arrived; the parse decides what follows. With nothing more
// to read it waits for the socket, which holds no thread and no buffer.
void HttpServer::Loop::Read(const Pointer& c) {
  static thread_local char buffer[16384];
  for (;;) {
    const std::size_t room =
        c->reader ? c->reader->Room() : RequestReader::MaxUnparsed(options.headerLimit);
    const ssize_t n = ::recv(c->fd, buffer, std::min(room, sizeof buffer), 0);
    if (n > 0) {
      if (!c->reader) {
        try {
          c->reader = std::make_unique<RequestReader>(options.headerLimit, options.bodyLimit);
        } catch (const std::bad_alloc&) {
          return Close(*c);
        }
      }
      const RequestReader::Status status =
          c->reader->Feed(std::string_view(buffer, static_cast<std::size_t>(n)));
      if (status != RequestReader::Status::NeedMore) return OnRead(c, status);
      continue;
    }
    if (n == 0) return OnRead(c, RequestReader::Status::Failed);
    const int error = errno;
    if (error == EINTR) continue;
    if (!WouldBlock(error)) return Close(*c);
    if (!Register(*c)) return;
    c->socket.async_wait(tcp::socket::wait_read, [this, c](const error_code& ec) {
      if (!ec && c->state == Connection::State::Reading) Read(c);
    });
    return;
  }
}

void HttpServer::Loop::OnRead(const Pointer& c, RequestReader::Status status) {
  switch (status) {
    case RequestReader::Status::NeedMore: return Read(c);
    case RequestReader::Status::Continue: return SendContinue(c);
    case RequestReader::Status::Done: return Serve(c);
    case RequestReader::Status::Failed: return Close(*c);
  }
}

// The interim reply belongs to reading the request: the request's deadline
// covers it, and the connection stays among the waiting ones.
void HttpServer::Loop::SendContinue(const Pointer& c) {
  if (!c->sendingContinue) {
    c->sendingContinue = true;
    c->sent = 0;
  }
  while (c->sent < kContinue.size()) {
    const ssize_t n = ::send(c->fd, kContinue.data() + c->sent,
                             kContinue.size() - c->sent, MSG_NOSIGNAL);
    if (n > 0) {
      c->sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && WouldBlock(errno)) {
      if (!Register(*c)) return;
      c->socket.async_wait(tcp::socket::wait_write, [this, c](const error_code& ec) {
        if (!ec && c->state == Connection::State::Reading) SendContinue(c);
      });
      return;
    }
    return Close(*c);
  }
  c->sendingContinue = false;
  OnRead(c, c->reader->Feed({}));
}

// A complete request: answered here when that needs neither a render nor a
// hook, otherwise on a worker thread.
void HttpServer::Loop::Serve(const Pointer& c) {
  waiting_.erase(waiting_.iterator_to(*c));
  auto found = addresses_.find(c->address);
  found->second.erase(found->second.iterator_to(*c));
  if (found->second.empty()) addresses_.erase(found);
  c->state = Connection::State::Busy;

  std::optional<WebRequest> request;
  std::optional<WebContext> context;
  try {
    request = c->reader->Take();
    c->reader.reset();
    if (!hooks.handle) {
      context = hooks.readContext ? hooks.readContext() : WebContext{};
      // Tried with what the event loop may do; a document, or an image that
      // is not in the cache, sends the request on to a worker.
      bool needsWorker = false;
      const DocumentCallback documents = [&](const std::string&, const WebContext&) {
        needsWorker = true;
        return std::optional<WebDocument>();
      };
      WebReply reply = HandleRequest(
          *request, *context,
          [&] {
            if (!needsWorker && hooks.cache) {
              if (ImageBytes image = hooks.cache->Find(hooks.cache->Generation())) {
                return RenderOutcome::Ok(std::move(image));
              }
            }
            needsWorker = true;
            return RenderOutcome::Stopped();
          },
          hooks.documents ? documents : DocumentCallback());
      if (!needsWorker) return Answer(c, std::move(reply));
    }
  } catch (const std::exception&) {
    return Close(*c);  // a failing hook: closed without a reply
  }

  auto job = [this, c = Pointer(c), request = std::move(*request),
              context = std::move(context)]() mutable {
    WebReply reply;
    try {
      if (hooks.handle) {
        reply = hooks.handle(request);
      } else {
        reply = HandleRequest(request, *context, [this] { return handOff.Obtain(); },
                              hooks.documents);
      }
    } catch (...) {
      reply = WebReply();
      reply.closeWithoutReply = true;
    }
    // The connection goes with the reply, so that it ends on the event
    // loop's thread, which owns its lists.
    asio::post(io, [this, c = std::move(c), reply = std::move(reply)]() mutable {
      if (c->state == Connection::State::Busy) Answer(c, std::move(reply));
    });
  };
  bool posted = false;
  try {
    posted = workers.Post(std::move(job));
  } catch (const std::bad_alloc&) {
  }
  if (!posted) Close(*c);
}

void HttpServer::Loop::Answer(const Pointer& c, WebReply reply) {
  if (reply.closeWithoutReply) return Close(*c);
  try {
    c->head = FormatReplyHead(reply);
  } catch (const std::bad_alloc&) {
    return Close(*c);
  }
  c->reply = std::move(reply);
  c->body = c->reply.headOnly ? std::string_view() : c->reply.Body();
  c->sent = 0;
  c->state = Connection::State::Writing;
  Write(c);
}

void HttpServer::Loop::Write(const Pointer& c) {
  const std::size_t total = c->head.size() + c->body.size();
  while (c->sent < total) {
    std::array<iovec, 2> parts{};
    std::size_t count = 0;
    if (c->sent < c->head.size()) {
      parts[count++] = {c->head.data() + c->sent, c->head.size() - c->sent};
      if (!c->body.empty()) parts[count++] = {const_cast<char*>(c->body.data()), c->body.size()};
    } else {
      const std::size_t offset = c->sent - c->head.size();
      parts[count++] = {const_cast<char*>(c->body.data()) + offset, c->body.size() - offset};
    }
    msghdr message{};
    message.msg_iov = parts.data();
    message.msg_iovlen = count;
    const ssize_t n = ::sendmsg(c->fd, &message, MSG_NOSIGNAL);
    if (n > 0) {
      c->sent += static_cast<std::size_t>(n);
      if (c->queueHook.is_linked()) {
        // Progress: its deadline moves to the end of the line.
        writing_.erase(writing_.iterator_to(*c));
        c->deadline = SteadyClock::now() + options.writeTimeout;
        writing_.push_back(*c);
      }
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && WouldBlock(errno)) return AwaitWritable(c);
    return Close(*c);  // the client went away: not an error here
  }
  ::shutdown(c->fd, SHUT_WR);
  Close(*c);
}

void HttpServer::Loop::AwaitWritable(const Pointer& c) {
  if (!Register(*c)) return;
  if (!c->queueHook.is_linked()) {
    c->deadline = SteadyClock::now() + options.writeTimeout;
    writing_.push_back(*c);
    ArmWritingTimer();
  }
  c->socket.async_wait(tcp::socket::wait_write, [this, c](const error_code& ec) {
    if (!ec && c->state == Connection::State::Writing) Write(c);
  });
}

void HttpServer::Loop::Close(Connection& c) {
  if (c.state == Connection::State::Closed) return;
  if (c.queueHook.is_linked()) {
    QueueList& list = c.state == Connection::State::Reading ? waiting_ : writing_;
    list.erase(list.iterator_to(c));
  }
  if (c.addressHook.is_linked()) {
    auto found = addresses_.find(c.address);
    found->second.erase(found->second.iterator_to(c));
    if (found->second.empty()) addresses_.erase(found);
  }
  if (c.openHook.is_linked()) open_.erase(open_.iterator_to(c));
  c.state = Connection::State::Closed;
  if (c.socket.is_open()) {
    error_code ignored;
    c.socket.close(ignored);  // a pending wait ends with operation_aborted
  } else {
    ::close(c.fd);
  }
  c.fd = -1;
  c.reader.reset();
  c.reply = WebReply();
  c.body = {};
}

// One timer for all waiting connections: they all have the same time
// allowance, so the oldest has the next deadline. It fires at most once per
// allowance when nothing expires.
void HttpServer::Loop::ArmWaitingTimer() {
  if (waitingTimerArmed_ || waiting_.empty()) return;
  waitingTimerArmed_ = true;
  waitingTimer.expires_at(waiting_.front().deadline);
  waitingTimer.async_wait([this](const error_code& ec) {
    waitingTimerArmed_ = false;
    if (ec || stopping_) return;
    Expire(waiting_, SteadyClock::now());
    ArmWaitingTimer();
  });
}

// Likewise for writes: progress moves a connection to the end of the line.
void HttpServer::Loop::ArmWritingTimer() {
  if (writingTimerArmed_ || writing_.empty()) return;
  writingTimerArmed_ = true;
  writingTimer.expires_at(writing_.front().deadline);
  writingTimer.async_wait([this](const error_code& ec) {
    writingTimerArmed_ = false;
    if (ec || stopping_) return;
    Expire(writing_, SteadyClock::now());
    ArmWritingTimer();
  });
}

void HttpServer::Loop::Expire(QueueList& list, SteadyClock::time_point now) {
  while (!list.empty() && list.front().deadline <= now) Close(list.front());
}

HttpServer::HttpServer(HttpServerOptions options) : options_(std::move(options)) {}

HttpServer::~HttpServer() { Stop(); }

HttpServerStart HttpServer::Start(int port, HttpServerHooks hooks) {
  if (running_) return {true, {}, {}};
  if (port < 1 || port > 65535) {
    return {false, "Invalid port " + std::to_string(port) + ": the port must be from 1 to 65535",
            {}};
  }

  error_code ec;
  const auto address = asio::ip::make_address(options_.bindAddress, ec);
  if (ec) return {false, options_.bindAddress + ": " + ec.message(), {}};

  auto loop = std::make_unique<Loop>(options_, std::move(hooks));
  tcp::acceptor& acceptor = loop->acceptor;
  const tcp::endpoint endpoint(address, static_cast<unsigned short>(port));
  if (acceptor.open(endpoint.protocol(), ec) ||
      acceptor.set_option(tcp::acceptor::reuse_address(true), ec) ||
      // An IPv6 address means that address alone, not the IPv4 ones too.
      (address.is_v6() && acceptor.set_option(asio::ip::v6_only(true), ec)) ||
      acceptor.bind(endpoint, ec) || acceptor.listen(asio::socket_base::max_listen_connections, ec) ||
      acceptor.non_blocking(true, ec)) {
    return {false, ec.message(), std::error_code(ec.value(), std::system_category())};
  }
  // A child process (the ping) must not keep the port open. Accepted
  // connections take TCP_NODELAY over from the listening socket.
  ::fcntl(acceptor.native_handle(), F_SETFD, FD_CLOEXEC);
  const int one = 1;
  ::setsockopt(acceptor.native_handle(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

  try {
    loop->thread = std::thread([raw = loop.get()] { raw->Run(); });
  } catch (const std::system_error& e) {
    return {false, e.what(), e.code()};
  }
  loop_ = std::move(loop);
  port_ = port;
  running_ = true;
  return {true, {}, {}};
}

void HttpServer::Stop() {
  if (!running_) return;
  loop_->Shutdown();
  loop_.reset();
  running_ = false;
  port_ = 0;
}

}  // namespace quorvel
