#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <system_error>

#include "web/requesthandler.h"
#include "web/servercounters.h"
#include "web/webaccess.h"

namespace quorvel {

// Limits of the server. The defaults are what the program uses; tests shorten
// the times and narrow the caps.
struct HttpServerOptions {
  std::string bindAddress = "0.0.0.0";          // every IPv4 interface; an IPv6 address also does
  // Connections open at once, whatever they are doing; more are closed at
  // once. Kept above maxWaiting, so that clients that send nothing can never
  // fill it: only complete requests still being answered can.
  std::size_t maxConnections = 1024;
  // Connections whose request is not complete yet. A new connection that
  // would pass either cap closes the oldest such connection (of its own
  // address for the second cap) to make room.
  std::size_t maxWaiting = 512;
  std::size_t maxWaitingPerAddress = 64;
  // Threads for requests that wait for a render on the UI thread or run a
  // handler; further such requests queue for them.
  std::size_t maxThreads = 16;
  std::chrono::milliseconds requestTimeout{5000};  // the whole request must arrive within
  // A client that takes no byte of its reply for this long is dropped (see
  // HttpServer).
  std::chrono::milliseconds writeTimeout{10000};
  std::size_t headerLimit = 8 * 1024;
  std::size_t bodyLimit = 1024 * 1024;          // a POST body is read and dropped
  // Descriptors left to the rest of the program (a probe's pipes, the files
  // it writes): the server never keeps a connection on one of the last
  // `descriptorReserve` descriptors below the limit (RLIMIT_NOFILE, read
  // again at every burst of connections). The reserve is at most half the
  // limit, so that a small limit still leaves the server some room.
  std::size_t descriptorReserve = 64;
  // The send buffer of every connection (SO_SNDBUF; the kernel doubles it):
  // what a client that stops reading holds of the kernel's memory. 0 leaves
  // the kernel's own, which grows up to 4 MiB.
  std::size_t sendBuffer = 256 * 1024;
  // Where the lines about incidents (descriptors short, connections refused
  // or evicted) go; standard error when empty. See IncidentLog.
  IncidentLog::Sink incidentLog;
};

struct HttpServerStart {
  bool ok = false;
  std::string error;     // the network layer's text, e.g. "Address already in use"
  std::error_code code;  // the system's code behind `error`, where there is one
};

// The web server: one request per connection (every reply says Connection:
// close), parsed by Boost.Beast (RequestReader) and answered by one
// RequestHandler.
//
// One event loop on a thread of its own accepts the connections, reads and
// parses their requests and writes the replies, all without blocking: a
// connection whose request is not complete yet costs its socket and the few
// bytes received so far, no thread. Each request must arrive whole within
// requestTimeout, otherwise the connection is closed without a reply. A reply
// goes out through a send buffer of sendBuffer bytes. While one waits for
// the client, the bytes the client's side has acknowledged are looked at
// every half writeTimeout, and once the client has taken none for
// writeTimeout the connection is reset: a client that takes nothing is
// dropped 10 to 15 s after its last byte (the default writeTimeout is 10 s),
// while one that reads slowly but steadily gets the whole reply however long
// it takes. (On loopback the kernel hands a slow reader its bytes in steps
// of up to about 96 KiB, one every 6 s at 16 KiB/s, hence the 10 s; a 12 MB
// reply read at 16 KiB/s arrives whole.) maxConnections bounds how many
// such readers exist. When the
// waiting connections (request not yet complete) reach maxWaiting, or those
// of one client address reach maxWaitingPerAddress, the oldest of them is
// closed to make room for the new one; so clients that open connections and
// send nothing delay nobody else.
//
// Descriptors: a new connection that lands on one of the descriptors kept
// for the rest of the program (descriptorReserve) takes the place of the
// oldest waiting connection instead, or, when none is waiting, is closed at
// once and accepting pauses. When accept itself fails for want of
// descriptors (EMFILE, ENFILE), the oldest waiting connection is closed to
// give its descriptor back and accepting pauses. A pause starts at 50 ms and
// doubles up to 1 s while descriptors stay short; the pending clients wait
// in the listening socket's queue meanwhile. These incidents are counted
// (Counters) and written to standard error through IncidentLog.
//
// The handler answers a complete request on the event loop itself, or hands
// the server the work that makes the reply: that work runs on a worker
// thread (at most maxThreads, started when needed), where it may wait (the
// image handler waits for a render on the UI thread there), while the event
// loop goes on. The reply then goes back to the event loop to be sent.
//
// Thread: Start, Stop and the destructor on one thread (the UI thread), never
// from the handler's work other than a render on the UI thread, and not
// while holding a lock the handler's Handle takes (the event loop may be
// waiting for it). Stop may run inside such a render, as when a close event
// is handled while the render lets pending events run: it cancels the
// handler first, then joins every thread the server started; work the
// handler left queued on the UI thread does nothing when it runs later, so
// the server may be destroyed before it runs.
class HttpServer {
 public:
  explicit HttpServer(HttpServerOptions options = {});
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Listens on options.bindAddress:port. A port outside 1..65535 fails with
  // a message saying so; a network failure gives its own text. Starting a
  // server that already listens changes nothing and succeeds.
  HttpServerStart Start(int port, std::shared_ptr<RequestHandler> handler);

  // Stops listening, releases requests waiting for a render (they get no
  // reply), closes every connection and joins all threads. Returns promptly,
  // whatever the clients or the UI thread are doing. No effect when stopped.
  void Stop();

  bool IsListening() const { return running_; }
  int Port() const { return port_; }

  // What the server has done since it was made, restarts included. Any
  // thread, also while the server runs and from its handler.
  HttpServerCounters Counters() const;

 private:
  struct Loop;
  struct Tally;

  HttpServerOptions options_;
  std::shared_ptr<Tally> tally_;
  std::unique_ptr<Loop> loop_;
  bool running_ = false;
  int port_ = 0;
};

}  // namespace quorvel
