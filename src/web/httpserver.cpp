#include "web/httpserver.h"

#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
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
#include "web/servercounters.h"
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
// to Closed from any of them); after a refusal, Writing -> Draining ->
// Closed. Owned by whatever waits for it: the pending
// wait of its socket, a job on a worker thread, a handler posted back to the
// event loop. The lists of the event loop only point at it; Close unlinks it
// from every one, and only the event-loop thread touches them.
struct Connection : std::enable_shared_from_this<Connection> {
  enum class State { Reading, Busy, Writing, Draining, Closed };

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
  // Reading: the whole request; Writing: the next look at the client's
  // progress; Draining: the end of the drain.
  SteadyClock::time_point deadline;
  SteadyClock::time_point progressed;  // Writing: when the client was last seen taking bytes

  Hook queueHook;    // in Loop::waiting_ while Reading, in Loop::writing_ while Writing or Draining
  Hook addressHook;  // in its address's list while Reading
  Hook openHook;     // in Loop::open_ until Closed

  std::unique_ptr<RequestReader> reader;  // made when the first byte arrives
  bool sendingContinue = false;           // writing "100 Continue" while Reading

  WebReply reply;      // holds the body while it is sent
  std::string head;    // the reply's status line and headers
  std::string_view body;
  std::size_t sent = 0;   // of head + body, or of the interim reply
  std::size_t taken = 0;  // of head + body, acknowledged by the client at the last look
  bool drainAfterReply = false;  // a refusal: the rest of the request may still come
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

// Bytes of a reply the client's side has acknowledged: sent, less those
// still in the socket's send queue.
std::size_t Taken(const Connection& c) {
  int unacknowledged = 0;
  if (::ioctl(c.fd, SIOCOUTQ, &unacknowledged) != 0 || unacknowledged < 0) return c.sent;
  return c.sent - std::min(c.sent, static_cast<std::size_t>(unacknowledged));
}

const char* ReasonOf(int status) {
  switch (status) {
    case 400: return "Bad Request";
    case 413: return "Content Too Large";
    case 414: return "URI Too Long";
    case 431: return "Request Header Fields Too Large";
    default: return "Error";
  }
}

WebReply RefusalReply(int status, bool head) {
  WebReply reply;
  reply.status = status;
  reply.reason = ReasonOf(status);
  reply.contentType = "text/html";
  reply.text = "<html><head><title>Error</title></head><body><h1>" + std::to_string(status) +
               " - " + reply.reason + "</h1></body></html>";
  reply.headOnly = head;
  return reply;
}

std::string IncidentPrefix() { return std::string(program_invocation_short_name) + ": web server: "; }

}  // namespace

// The counters, shared by the server and each of its event loops.
struct HttpServer::Tally {
  std::atomic<std::uint64_t> accepted{0};
  std::atomic<std::uint64_t> refusedAtConnectionCap{0};
  std::atomic<std::uint64_t> refusedAtDescriptorReserve{0};
  std::atomic<std::uint64_t> evicted{0};
  std::atomic<std::uint64_t> requestTimeouts{0};
  std::atomic<std::uint64_t> replyTimeouts{0};
  static constexpr int kFirstStatus = 100;
  std::array<std::atomic<std::uint64_t>, 500> replies{};  // status 100..599

  void CountReply(int status) {
    if (status >= kFirstStatus && status < kFirstStatus + static_cast<int>(replies.size())) {
      replies[static_cast<std::size_t>(status - kFirstStatus)].fetch_add(1, std::memory_order_relaxed);
    }
  }
  static void Add(std::atomic<std::uint64_t>& counter) { counter.fetch_add(1, std::memory_order_relaxed); }
};

// Everything the event loop owns. Apart from Start and Shutdown (UI thread),
// every member function runs on the event-loop thread.
struct HttpServer::Loop {
  Loop(const HttpServerOptions& o, std::shared_ptr<RequestHandler> h, Tally& t)
      : options(o),
        handler(std::move(h)),
        tally(t),
        incidents(IncidentPrefix(), o.incidentLog),
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
  std::shared_ptr<RequestHandler> handler;
  Tally& tally;
  IncidentLog incidents;
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
  int ReserveStart() const;
  bool MoveBelow(int& fd, int reserveStart);
  void PauseAccepting();
  void ResumeAccepting();
  void Admit(int fd, const sockaddr_storage& peer);
  void Evict(Connection& c, const char* why);

  bool Register(Connection& c);
  void Read(const Pointer& c);
  void OnRead(const Pointer& c, RequestReader::Status status);
  void SendContinue(const Pointer& c);
  void StopWaiting(Connection& c);
  void Serve(const Pointer& c);
  void Refuse(const Pointer& c);
  void Answer(const Pointer& c, WebReply reply);
  void Write(const Pointer& c);
  void AwaitWritable(const Pointer& c);
  void Drain(const Pointer& c);
  void Close(Connection& c);

  void ArmWaitingTimer();
  void ArmWritingTimer();
  void ExpireWaiting(SteadyClock::time_point now);
  void ExpireWriting(SteadyClock::time_point now);
  SteadyClock::duration LookInterval() const { return options.writeTimeout / 2; }

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
  std::chrono::milliseconds pause_{0};  // the last pause of accepting; 0 when not short of descriptors
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
  handler->Cancel();
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
    PauseAccepting();
  });
}

// A burst of connections is taken a few at a time, so that the requests of
// those already accepted are not kept waiting behind it. They are all taken
// before any is read: by then most of their requests have arrived. One that
// lands on a reserved descriptor ends the burst, and is let in only after
// the others, so that they too may give way to it.
void HttpServer::Loop::AcceptSome() {
  struct Accepted {
    int fd;
    sockaddr_storage peer;
  };
  enum class Then { More, Wait, Pause };
  std::array<Accepted, 32> accepted;
  std::size_t count = 0;
  Then then = Then::More;
  const int reserveStart = ReserveStart();
  while (count < accepted.size()) {
    Accepted& next = accepted[count];
    socklen_t size = sizeof next.peer;
    next.fd = ::accept4(acceptor.native_handle(), reinterpret_cast<sockaddr*>(&next.peer), &size,
                        SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (next.fd >= 0) {
      Tally::Add(tally.accepted);
      ++count;
      if (next.fd >= reserveStart) break;
      pause_ = std::chrono::milliseconds(0);
      continue;
    }
    const int error = errno;
    if (error == EINTR || error == ECONNABORTED || error == EPROTO) continue;
    if (WouldBlock(error)) {
      then = Then::Wait;
      break;
    }
    // Out of descriptors or memory: those just accepted are served first;
    // then the oldest waiting client gives its descriptor back to the rest
    // of the program, and accepting pauses instead of spinning while the
    // pending connection stays queued.
    if ((error == EMFILE || error == ENFILE) && count > 0) break;
    incidents.Note(IncidentLog::Kind::Descriptors,
                   std::string("accepting failed: ") + std::strerror(error) + "; accepting paused");
    if ((error == EMFILE || error == ENFILE) && !waiting_.empty()) {
      Evict(waiting_.front(), "out of descriptors");
    }
    then = Then::Pause;
    break;
  }
  for (std::size_t i = 0; i < count; ++i) {
    int fd = accepted[i].fd;
    if (fd >= reserveStart && !MoveBelow(fd, reserveStart)) {
      // Counted before the close, so that a client that sees the close sees
      // the count too.
      Tally::Add(tally.refusedAtDescriptorReserve);
      ::close(fd);
      incidents.Note(IncidentLog::Kind::Descriptors,
                     "a connection was refused: only the descriptors kept for the rest of the "
                     "program are left; accepting paused");
      then = Then::Pause;
      continue;
    }
    Admit(fd, accepted[i].peer);
  }
  switch (then) {
    case Then::More:
      asio::post(io, [this] {
        if (!stopping_) AcceptSome();
      });
      break;
    case Then::Wait: WaitForAccept(); break;
    case Then::Pause: PauseAccepting(); break;
  }
}

// The first descriptor number kept for the rest of the program. The kernel
// gives the lowest free number, so a connection at or above it means that
// fewer than the reserve are left; reading the limit each time follows a
// limit raised or lowered while the server runs.
int HttpServer::Loop::ReserveStart() const {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
      limit.rlim_cur > static_cast<rlim_t>(INT_MAX)) {
    return INT_MAX;
  }
  const rlim_t reserve = std::min<rlim_t>(options.descriptorReserve, limit.rlim_cur / 2);
  return static_cast<int>(limit.rlim_cur - reserve);
}

// A new connection on a reserved descriptor takes the place of the oldest
// waiting one: it moves to the descriptor that one frees (or a lower free
// one). False when nobody waits or no lower descriptor came free.
bool HttpServer::Loop::MoveBelow(int& fd, int reserveStart) {
  if (waiting_.empty()) return false;
  Evict(waiting_.front(), "descriptors are short");
  const int low = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (low < 0 || low >= reserveStart) {
    if (low >= 0) ::close(low);
    return false;
  }
  ::close(fd);
  fd = low;
  return true;
}

void HttpServer::Loop::PauseAccepting() {
  using std::chrono::milliseconds;
  pause_ = pause_.count() == 0 ? milliseconds(50) : std::min(pause_ * 2, milliseconds(1000));
  pauseTimer.expires_after(pause_);
  pauseTimer.async_wait([this](const error_code& ec) {
    if (!ec && !stopping_) ResumeAccepting();
  });
}

// Accepting goes on once a connection could be kept: a descriptor below the
// reserve is free, or a waiting connection could give way. Otherwise the
// next client would only be refused, so the pause goes on (and grows).
void HttpServer::Loop::ResumeAccepting() {
  const int probe = ::fcntl(acceptor.native_handle(), F_DUPFD_CLOEXEC, 0);
  const bool room = probe >= 0 && (probe < ReserveStart() || !waiting_.empty());
  if (probe >= 0) ::close(probe);
  if (room) return WaitForAccept();
  PauseAccepting();
}

void HttpServer::Loop::Evict(Connection& c, const char* why) {
  Tally::Add(tally.evicted);
  incidents.Note(IncidentLog::Kind::Eviction,
                 std::string("a waiting connection was closed to make room for a newer one (") + why + ")");
  Close(c);
}

void HttpServer::Loop::Admit(int fd, const sockaddr_storage& peer) {
  if (open_.size() >= options.maxConnections) {
    Tally::Add(tally.refusedAtConnectionCap);  // before the close, as above
    ::close(fd);
    incidents.Note(IncidentLog::Kind::Refusal,
                   "a connection was refused: " + std::to_string(options.maxConnections) +
                       " connections are open, the most allowed");
    return;
  }
  const AddressKey key = KeyOf(peer);
  auto found = addresses_.find(key);
  if (found != addresses_.end() && found->second.size() >= options.maxWaitingPerAddress) {
    Evict(found->second.front(), "the cap of waiting connections of one address");
  }
  if (waiting_.size() >= options.maxWaiting) Evict(waiting_.front(), "the cap of waiting connections");

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
    case RequestReader::Status::Failed: return Refuse(c);
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

void HttpServer::Loop::StopWaiting(Connection& c) {
  waiting_.erase(waiting_.iterator_to(c));
  auto found = addresses_.find(c.address);
  found->second.erase(found->second.iterator_to(c));
  if (found->second.empty()) addresses_.erase(found);
  c.state = Connection::State::Busy;
}

// A complete request: answered here when that needs neither a render nor a
// hook, otherwise on a worker thread.
void HttpServer::Loop::Serve(const Pointer& c) {
  StopWaiting(*c);

  RequestHandler::Answer answer;
  try {
    const WebRequest request = c->reader->Take();
    c->reader.reset();
    answer = handler->Handle(request);
    if (answer.now) return Answer(c, std::move(*answer.now));
  } catch (const std::exception&) {
    return Close(*c);  // a failing handler: closed without a reply
  }

  auto job = [this, c = Pointer(c), later = std::move(answer.later)]() mutable {
    WebReply reply;
    try {
      if (later) reply = later();
      else reply.closeWithoutReply = true;
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

// A request the reader refused: its status, unless there is nothing to
// answer (the client went away) or the window's handler would close it
// anyway.
void HttpServer::Loop::Refuse(const Pointer& c) {
  const int status = c->reader ? c->reader->RefusalStatus() : 0;
  if (status == 0) return Close(*c);
  StopWaiting(*c);
  bool head = false;
  try {
    if (c->reader->HeadComplete()) {
      const WebRequest request = c->reader->Take();
      if (handler->ClosesUnanswered(request)) return Close(*c);
      head = request.method == "HEAD";
    }
    c->reader.reset();
    c->drainAfterReply = true;
    Answer(c, RefusalReply(status, head));
  } catch (const std::exception&) {
    Close(*c);
  }
}

void HttpServer::Loop::Answer(const Pointer& c, WebReply reply) {
  if (reply.closeWithoutReply) return Close(*c);
  try {
    c->head = FormatReplyHead(reply);
  } catch (const std::bad_alloc&) {
    return Close(*c);
  }
  tally.CountReply(reply.status);
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
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && WouldBlock(errno)) return AwaitWritable(c);
    return Close(*c);  // the client went away: not an error here
  }
  ::shutdown(c->fd, SHUT_WR);
  if (c->drainAfterReply) return Drain(c);
  Close(*c);
}

// The deadline is not moved by the writes themselves: the kernel wakes the
// writer only once much of the send buffer has drained, which at a slow
// client's pace can take longer than writeTimeout. The timer looks at what
// the client has acknowledged instead (ExpireWriting).
void HttpServer::Loop::AwaitWritable(const Pointer& c) {
  if (!Register(*c)) return;
  if (!c->queueHook.is_linked()) {
    c->taken = Taken(*c);
    c->progressed = SteadyClock::now();
    c->deadline = c->progressed + LookInterval();
    writing_.push_back(*c);
    ArmWritingTimer();
  }
  c->socket.async_wait(tcp::socket::wait_write, [this, c](const error_code& ec) {
    if (!ec && c->state == Connection::State::Writing) Write(c);
  });
}

// Reads and drops what the client still sends after a refusal, until it
// closes its side or half of writeTimeout has passed, so that closing with its
// bytes unread does not reset the connection before it has read the reply.
// A few reads per wake-up, so that a client that sends without pause takes
// no more than its share of the loop.
void HttpServer::Loop::Drain(const Pointer& c) {
  if (c->state != Connection::State::Draining) {
    if (c->queueHook.is_linked()) writing_.erase(writing_.iterator_to(*c));
    c->state = Connection::State::Draining;
    c->deadline = SteadyClock::now() + LookInterval();
    writing_.push_back(*c);
    ArmWritingTimer();
  }
  static thread_local char buffer[16384];
  for (int reads = 0; reads < 4;) {
    const ssize_t n = ::recv(c->fd, buffer, sizeof buffer, 0);
    if (n > 0) {
      ++reads;
      continue;
    }
    if (n == 0) return Close(*c);
    if (errno == EINTR) continue;
    if (!WouldBlock(errno)) return Close(*c);
    break;
  }
  if (!Register(*c)) return;
  c->socket.async_wait(tcp::socket::wait_read, [this, c](const error_code& ec) {
    if (!ec && c->state == Connection::State::Draining) Drain(c);
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
    ExpireWaiting(SteadyClock::now());
    ArmWaitingTimer();
  });
}

// Likewise for writes and drains: a look that finds progress moves a
// connection to the end of the line with a full allowance.
void HttpServer::Loop::ArmWritingTimer() {
  if (writingTimerArmed_ || writing_.empty()) return;
  writingTimerArmed_ = true;
  writingTimer.expires_at(writing_.front().deadline);
  writingTimer.async_wait([this](const error_code& ec) {
    writingTimerArmed_ = false;
    if (ec || stopping_) return;
    ExpireWriting(SteadyClock::now());
    ArmWritingTimer();
  });
}

void HttpServer::Loop::ExpireWaiting(SteadyClock::time_point now) {
  while (!waiting_.empty() && waiting_.front().deadline <= now) {
    Tally::Add(tally.requestTimeouts);
    Close(waiting_.front());
  }
}

// The client's progress is looked at every half writeTimeout. A reply whose
// client has taken nothing for writeTimeout is reset (linger 0), so that the
// kernel drops what it still holds for that client at once instead of
// trying to deliver it for minutes.
void HttpServer::Loop::ExpireWriting(SteadyClock::time_point now) {
  while (!writing_.empty() && writing_.front().deadline <= now) {
    Connection& c = writing_.front();
    if (c.state == Connection::State::Writing) {
      const std::size_t taken = Taken(c);
      if (taken > c.taken) {
        c.taken = taken;
        c.progressed = now;
      }
      if (now - c.progressed < options.writeTimeout) {
        writing_.pop_front();
        c.deadline = now + LookInterval();
        writing_.push_back(c);
        continue;
      }
      Tally::Add(tally.replyTimeouts);
      const linger reset{1, 0};
      ::setsockopt(c.fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
    Close(c);
  }
}

HttpServer::HttpServer(HttpServerOptions options)
    : options_(std::move(options)), tally_(std::make_shared<Tally>()) {}

HttpServerCounters HttpServer::Counters() const {
  const auto read = [](const std::atomic<std::uint64_t>& counter) {
    return counter.load(std::memory_order_relaxed);
  };
  HttpServerCounters counters;
  counters.accepted = read(tally_->accepted);
  counters.refusedAtConnectionCap = read(tally_->refusedAtConnectionCap);
  counters.refusedAtDescriptorReserve = read(tally_->refusedAtDescriptorReserve);
  counters.evicted = read(tally_->evicted);
  counters.requestTimeouts = read(tally_->requestTimeouts);
  counters.replyTimeouts = read(tally_->replyTimeouts);
  for (std::size_t i = 0; i < tally_->replies.size(); ++i) {
    if (const std::uint64_t count = read(tally_->replies[i])) {
      counters.replies.emplace_back(Tally::kFirstStatus + static_cast<int>(i), count);
    }
  }
  return counters;
}

HttpServer::~HttpServer() { Stop(); }

HttpServerStart HttpServer::Start(int port, std::shared_ptr<RequestHandler> handler) {
  if (running_) return {true, {}, {}};
  if (port < 1 || port > 65535) {
    return {false, "Invalid port " + std::to_string(port) + ": the port must be from 1 to 65535",
            {}};
  }

  error_code ec;
  const auto address = asio::ip::make_address(options_.bindAddress, ec);
  if (ec) return {false, options_.bindAddress + ": " + ec.message(), {}};

  if (!handler) return {false, "no request handler", {}};
  auto loop = std::make_unique<Loop>(options_, std::move(handler), *tally_);
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
  // So do they the bounded send buffer, which keeps what a client that stops
  // reading holds of the kernel's memory small. It has to be there from the
  // first byte: shrunk below what is already queued, the kernel can no longer
  // split its queued segments to fit a small receive window, and the reply
  // stalls.
  if (options_.sendBuffer > 0) {
    const int size = static_cast<int>(std::min<std::size_t>(options_.sendBuffer, INT_MAX / 2));
    ::setsockopt(acceptor.native_handle(), SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
  }

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
