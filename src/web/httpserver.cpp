#include "web/httpserver.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>

#include <boost/asio/buffer.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>

namespace quorvel {

namespace asio = boost::asio;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;
using boost::system::error_code;
using SteadyClock = std::chrono::steady_clock;

namespace {

enum class Wait { Ready, TimedOut, Stopped };

// Waits until `fd` is ready for `events`, the deadline has passed or the stop
// descriptor has been signalled. Signalled stop wins over readiness.
Wait WaitFor(int fd, short events, int stopFd, SteadyClock::time_point deadline) {
  for (;;) {
    int timeout = -1;
    if (deadline != SteadyClock::time_point::max()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
      if (left.count() <= 0) return Wait::TimedOut;
      timeout = static_cast<int>(std::min<std::chrono::milliseconds::rep>(left.count(), 60'000));
    }
    std::array<pollfd, 2> fds{{{fd, events, 0}, {stopFd, POLLIN, 0}}};
    const int n = ::poll(fds.data(), fds.size(), timeout);
    if (n < 0 && errno != EINTR) return Wait::Stopped;
    if (fds[1].revents != 0) return Wait::Stopped;
    if (n > 0 && fds[0].revents != 0) return Wait::Ready;
  }
}

// A socket as a synchronous Beast stream whose reads end at a fixed deadline
// and whose writes end when one of them makes no progress for `writeIdle`;
// both end at once when the server stops. Beast's own synchronous operations
// have no time limit, and SO_RCVTIMEO does not help under Asio, which polls
// again without a limit after the socket reports EAGAIN.
class DeadlineStream {
 public:
  DeadlineStream(tcp::socket& socket, int stopFd, SteadyClock::time_point readDeadline,
                 std::chrono::milliseconds writeIdle)
      : socket_(socket), stopFd_(stopFd), readDeadline_(readDeadline), writeIdle_(writeIdle) {}

  template <class Buffers>
  std::size_t read_some(const Buffers& buffers, error_code& ec) {
    for (;;) {
      const std::size_t n = socket_.read_some(buffers, ec);
      if (ec != asio::error::would_block && ec != asio::error::try_again) return n;
      if (!Await(POLLIN, readDeadline_, ec)) return 0;
    }
  }

  template <class Buffers>
  std::size_t write_some(const Buffers& buffers, error_code& ec) {
    const auto deadline = SteadyClock::now() + writeIdle_;
    for (;;) {
      const std::size_t n = socket_.write_some(buffers, ec);
      if (ec != asio::error::would_block && ec != asio::error::try_again) return n;
      if (!Await(POLLOUT, deadline, ec)) return 0;
    }
  }

  template <class Buffers>
  std::size_t read_some(const Buffers& buffers) {
    error_code ec;
    const std::size_t n = read_some(buffers, ec);
    if (ec) throw boost::system::system_error(ec);
    return n;
  }

  template <class Buffers>
  std::size_t write_some(const Buffers& buffers) {
    error_code ec;
    const std::size_t n = write_some(buffers, ec);
    if (ec) throw boost::system::system_error(ec);
    return n;
  }

 private:
  bool Await(short events, SteadyClock::time_point deadline, error_code& ec) {
    switch (WaitFor(socket_.native_handle(), events, stopFd_, deadline)) {
      case Wait::Ready: ec = {}; return true;
      case Wait::TimedOut: ec = asio::error::timed_out; return false;
      case Wait::Stopped: ec = asio::error::operation_aborted; return false;
    }
    return false;
  }

  tcp::socket& socket_;
  int stopFd_;
  SteadyClock::time_point readDeadline_;
  std::chrono::milliseconds writeIdle_;
};

bool ReadRequest(DeadlineStream& stream, const HttpServerOptions& options, WebRequest& request) {
  boost::beast::flat_buffer buffer(options.headerLimit + 4096);
  http::request_parser<http::buffer_body> parser;
  parser.header_limit(static_cast<std::uint32_t>(options.headerLimit));
  parser.body_limit(options.bodyLimit);
  error_code ec;
  http::read_header(stream, buffer, parser, ec);
  if (ec) return false;

  // A client that waits for leave to send its body gets it at once rather
  // than after its own time-out.
  const auto expect = parser.get().find(http::field::expect);
  if (!parser.is_done() && expect != parser.get().end() &&
      boost::beast::iequals(expect->value(), "100-continue")) {
    static constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
    asio::write(stream, asio::buffer(kContinue.data(), kContinue.size()), ec);
    if (ec) return false;
  }

  // The body is read into a scratch buffer and dropped, so that the reply is
  // not sent before the client has finished sending.
  char scratch[8192];
  while (!parser.is_done()) {
    parser.get().body().data = scratch;
    parser.get().body().size = sizeof scratch;
    http::read(stream, buffer, parser, ec);
    if (ec == http::error::need_buffer) ec = {};
    if (ec) return false;
  }

  const auto& message = parser.get();
  request.method = std::string(message.method_string());
  request.target = std::string(message.target());
  const auto authorization = message.find(http::field::authorization);
  if (authorization != message.end()) request.authorization = std::string(authorization->value());
  return true;
}

}  // namespace

struct HttpServer::Listener {
  asio::io_context io;
  tcp::acceptor acceptor{io};
  int stopFd = -1;

  ~Listener() {
    if (stopFd >= 0) ::close(stopFd);
  }
};

struct HttpServer::Connection {
  explicit Connection(tcp::socket s) : socket(std::move(s)) {}
  tcp::socket socket;
  std::thread thread;
  std::atomic<bool> finished{false};
};

HttpServer::HttpServer(HttpServerOptions options) : options_(std::move(options)) {}

HttpServer::~HttpServer() { Stop(); }

HttpServerStart HttpServer::Start(int port, HttpServerHooks hooks) {
  if (running_) return {true, {}};
  if (port < 1 || port > 65535) {
    return {false, "Invalid port " + std::to_string(port) + ": the port must be from 1 to 65535"};
  }

  auto listener = std::make_unique<Listener>();
  listener->stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (listener->stopFd < 0) {
    const std::error_code code(errno, std::system_category());
    return {false, code.message(), code};
  }

  error_code ec;
  const auto address = asio::ip::make_address_v4(options_.bindAddress, ec);
  if (ec) return {false, options_.bindAddress + ": " + ec.message()};
  tcp::acceptor& acceptor = listener->acceptor;
  const tcp::endpoint endpoint(address, static_cast<unsigned short>(port));
  if (acceptor.open(endpoint.protocol(), ec) ||
      acceptor.set_option(tcp::acceptor::reuse_address(true), ec) ||
      acceptor.bind(endpoint, ec) || acceptor.listen(asio::socket_base::max_listen_connections, ec) ||
      acceptor.non_blocking(true, ec)) {
    return {false, ec.message(), std::error_code(ec.value(), std::system_category())};
  }

  hooks_ = std::move(hooks);
  handOff_ = std::make_unique<RenderHandOff>(hooks_.postToUi, hooks_.renderOnUi, hooks_.cache);
  listener_ = std::move(listener);
  port_ = port;
  running_ = true;
  try {
    acceptThread_ = std::thread([this] { AcceptLoop(); });
  } catch (const std::system_error& e) {
    Stop();
    return {false, e.what(), e.code()};
  }
  return {true, {}};
}

void HttpServer::Stop() {
  if (!running_) return;
  const std::uint64_t one = 1;
  // An eventfd stays readable once written, so every present and future poll
  // on it returns at once.
  [[maybe_unused]] const ssize_t written = ::write(listener_->stopFd, &one, sizeof one);
  handOff_->Cancel();
  if (acceptThread_.joinable()) acceptThread_.join();
  for (Connection& connection : connections_) {
    if (connection.thread.joinable()) connection.thread.join();
  }
  connections_.clear();
  error_code ignored;
  listener_->acceptor.close(ignored);
  listener_.reset();
  handOff_.reset();
  hooks_ = {};
  running_ = false;
  port_ = 0;
}

void HttpServer::ReapFinished() {
  for (auto it = connections_.begin(); it != connections_.end();) {
    if (it->finished.load(std::memory_order_acquire)) {
      it->thread.join();
      it = connections_.erase(it);
    } else {
      ++it;
    }
  }
}

void HttpServer::AcceptLoop() {
  tcp::acceptor& acceptor = listener_->acceptor;
  const int stopFd = listener_->stopFd;
  for (;;) {
    if (WaitFor(acceptor.native_handle(), POLLIN, stopFd, SteadyClock::time_point::max()) !=
        Wait::Ready) {
      return;
    }
    error_code ec;
    tcp::socket socket(listener_->io);
    acceptor.accept(socket, ec);
    if (ec == asio::error::would_block || ec == asio::error::try_again ||
        ec == asio::error::connection_aborted) {
      continue;
    }
    if (ec) {
      // Out of descriptors or memory: the pending connection stays queued and
      // the listen socket stays readable, so pause instead of spinning.
      if (WaitFor(-1, 0, stopFd, SteadyClock::now() + std::chrono::milliseconds(100)) ==
          Wait::Stopped) {
        return;
      }
      continue;
    }
    ReapFinished();
    if (active_.load(std::memory_order_acquire) >= options_.maxConnections) {
      socket.close(ec);
      continue;
    }
    Connection& connection = connections_.emplace_back(std::move(socket));
    active_.fetch_add(1, std::memory_order_acq_rel);
    try {
      connection.thread = std::thread([this, &connection] {
        Serve(connection);
        error_code ignored;
        connection.socket.close(ignored);
        active_.fetch_sub(1, std::memory_order_acq_rel);
        connection.finished.store(true, std::memory_order_release);
      });
    } catch (const std::system_error&) {
      active_.fetch_sub(1, std::memory_order_acq_rel);
      connections_.pop_back();
    }
  }
}

// Ends with the connection still open; the caller closes it on every path.
void HttpServer::Serve(Connection& connection) {
  tcp::socket& socket = connection.socket;
  error_code ec;
  socket.non_blocking(true, ec);
  if (ec) return;
  socket.set_option(tcp::no_delay(true), ec);

  DeadlineStream stream(socket, listener_->stopFd,
                        SteadyClock::now() + options_.requestTimeout, options_.writeTimeout);
  try {
    WebRequest request;
    if (!ReadRequest(stream, options_, request)) return;
    WebReply reply;
    if (hooks_.handle) {
      reply = hooks_.handle(request);
    } else {
      const WebContext context = hooks_.readContext ? hooks_.readContext() : WebContext{};
      reply = HandleRequest(request, context, [this] { return handOff_->Obtain(); },
                            hooks_.documents);
    }
    if (reply.closeWithoutReply) return;

    const std::string head = FormatReplyHead(reply);
    const std::string_view body = reply.headOnly ? std::string_view() : reply.Body();
    const std::array<asio::const_buffer, 2> buffers{asio::buffer(head.data(), head.size()),
                                                    asio::buffer(body.data(), body.size())};
    asio::write(stream, buffers, ec);
    // A client that went away while the reply was sent is not an error here.
    if (!ec) socket.shutdown(tcp::socket::shutdown_send, ec);
  } catch (const std::exception&) {
    // A failing hook or a parse error: the connection is closed without a reply.
  }
}

}  // namespace quorvel
