#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <system_error>

#include "web/imagecache.h"
#include "web/renderhandoff.h"
#include "web/requesthandler.h"
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
  // hook; further such requests queue for them.
  std::size_t maxThreads = 16;
  std::chrono::milliseconds requestTimeout{5000};  // the whole request must arrive within
  std::chrono::milliseconds writeTimeout{5000};    // each write must make progress within
  std::size_t headerLimit = 8 * 1024;
  std::size_t bodyLimit = 1024 * 1024;          // a POST body is read and dropped
};

// What the window supplies for serving.
struct HttpServerHooks {
  // Copies the access settings and the web image name, taken under the
  // window's own mutex. Called once per complete request, on the server's
  // event-loop thread, so it must not touch widgets and must return quickly:
  // the window keeps the copy up to date on the UI thread (dialog closed,
  // edTemp changed) under the same mutex, held only for the copy.
  std::function<WebContext()> readContext;
  PostToUiThread postToUi;      // see renderhandoff.h; called on worker threads
  RenderOnUiThread renderOnUi;  // see renderhandoff.h
  std::shared_ptr<ImageCache> cache;  // optional; shared with the window, which bumps it
  // Optional documents beside the image (see DocumentCallback); called on
  // worker threads, so it must not touch widgets.
  DocumentCallback documents;
  // Optional: answers every request itself, in place of the image handler
  // (HandleRequest with the render hand-off and `documents`). For programs
  // that serve no image; readContext, postToUi and renderOnUi are then
  // unused. Called on worker threads.
  std::function<WebReply(const WebRequest&)> handle;
};

struct HttpServerStart {
  bool ok = false;
  std::string error;     // the network layer's text, e.g. "Address already in use"
  std::error_code code;  // the system's code behind `error`, where there is one
};

// The web server: one request per connection (every reply says Connection:
// close), parsed by Boost.Beast (RequestReader) and answered by
// HandleRequest.
//
// One event loop on a thread of its own accepts the connections, reads and
// parses their requests and writes the replies, all without blocking: a
// connection whose request is not complete yet costs its socket and the few
// bytes received so far, no thread. Each request must arrive whole within
// requestTimeout and each write of the reply must make progress within
// writeTimeout; otherwise the connection is closed without a reply. When the
// waiting connections (request not yet complete) reach maxWaiting, or those
// of one client address reach maxWaitingPerAddress, the oldest of them is
// closed to make room for the new one; so clients that open connections and
// send nothing delay nobody else. The same happens when the process runs
// out of descriptors.
//
// A complete request for the web image is answered on the event loop itself
// when the image cache holds the current image. Every other complete request
// (the image has to be drawn, a document of `documents`, the `handle` hook)
// goes to a worker thread (at most maxThreads, started when needed); one
// that waits for a render waits there through RenderHandOff, while the event
// loop goes on. The reply then goes back to the event loop to be sent.
//
// Thread: Start, Stop and the destructor on one thread (the UI thread), never
// from the hooks other than renderOnUi, and not while holding the mutex that
// readContext takes (the event loop may be waiting for it). Stop may run
// inside renderOnUi, as when a close event is handled while the render lets
// pending events run. Stop joins every thread the server started; jobs it
// left queued on the UI thread do nothing when they run later, so the server
// may be destroyed before they run. The cache is shared, so the window may
// keep it across restarts.
class HttpServer {
 public:
  explicit HttpServer(HttpServerOptions options = {});
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Listens on options.bindAddress:port. A port outside 1..65535 fails with
  // a message saying so; a network failure gives its own text. Starting a
  // server that already listens changes nothing and succeeds.
  HttpServerStart Start(int port, HttpServerHooks hooks);

  // Stops listening, releases requests waiting for a render (they get no
  // reply), closes every connection and joins all threads. Returns promptly,
  // whatever the clients or the UI thread are doing. No effect when stopped.
  void Stop();

  bool IsListening() const { return running_; }
  int Port() const { return port_; }

 private:
  struct Loop;

  HttpServerOptions options_;
  std::unique_ptr<Loop> loop_;
  bool running_ = false;
  int port_ = 0;
};

}  // namespace quorvel
