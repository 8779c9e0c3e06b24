#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "web/imagecache.h"
#include "web/renderhandoff.h"
#include "web/requesthandler.h"
#include "web/webaccess.h"

namespace quorvel {

// Limits of the server. The defaults are what the program uses; tests shorten
// the times and narrow the cap.
struct HttpServerOptions {
  std::string bindAddress = "0.0.0.0";          // every IPv4 interface
  std::size_t maxConnections = 32;              // more at once are closed at once
  std::chrono::milliseconds requestTimeout{5000};  // the whole request must arrive within
  std::chrono::milliseconds writeTimeout{5000};    // each write must make progress within
  std::size_t headerLimit = 8 * 1024;
  std::size_t bodyLimit = 1024 * 1024;          // a POST body is read and dropped
};

// What the window supplies for serving.
struct HttpServerHooks {
  // Copies the access settings and the web image name, taken under the
  // window's own mutex. Called once per request on its request thread, so it
  // must not touch widgets: the window keeps the copy up to date on the UI
  // thread (dialog closed, edTemp changed) under the same mutex.
  std::function<WebContext()> readContext;
  PostToUiThread postToUi;      // see renderhandoff.h
  RenderOnUiThread renderOnUi;  // see renderhandoff.h
  std::shared_ptr<ImageCache> cache;  // optional; shared with the window, which bumps it
  // Optional documents beside the image (see DocumentCallback); called on
  // request threads, so it must not touch widgets.
  DocumentCallback documents;
  // Optional: answers every request itself, in place of the image handler
  // (HandleRequest with the render hand-off and `documents`). For programs
  // that serve no image; readContext, postToUi and renderOnUi are then
  // unused. Called on request threads.
  std::function<WebReply(const WebRequest&)> handle;
};

struct HttpServerStart {
  bool ok = false;
  std::string error;     // the network layer's text, e.g. "Address already in use"
  std::error_code code;  // the system's code behind `error`, where there is one
};

// The web server: one listening thread, one thread per connection, one
// request per connection (every reply says Connection: close). Requests are
// parsed by Boost.Beast and answered by HandleRequest; sockets are
// non-blocking underneath and every wait is a poll with a deadline, so a
// client that stalls is dropped and Stop never waits for a client.
//
// Thread: Start, Stop and the destructor on one thread (the UI thread), never
// from readContext or postToUi (they run on request threads, which Stop
// joins), and not while holding the mutex that readContext takes (a request
// thread may be waiting for it). Stop may run inside renderOnUi, as when a
// close event is handled while the render lets pending events run. The hooks are called as described
// above. Stop joins every thread the server started; jobs it left queued on
// the UI thread do nothing when they run later, so the server may be
// destroyed before they run. The cache is shared, so the window may keep it
// across restarts.
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
  struct Listener;
  struct Connection;

  void AcceptLoop();
  void Serve(Connection& connection);
  void ReapFinished();

  HttpServerOptions options_;
  HttpServerHooks hooks_;
  std::unique_ptr<Listener> listener_;
  std::unique_ptr<RenderHandOff> handOff_;
  std::thread acceptThread_;
  std::list<Connection> connections_;  // touched by the accept thread only, until Stop has joined it
  std::atomic<std::size_t> active_{0};
  bool running_ = false;
  int port_ = 0;
};

}  // namespace quorvel
