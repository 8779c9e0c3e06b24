#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "base/status.h"
#include "run/plotsession.h"
#include "web/httpserver.h"
#include "web/imagecache.h"
#include "web/imagehandler.h"
#include "web/webaccess.h"

class QObject;

namespace quorvel {

// What the window serves beside its image, as switched on.
struct WindowDocuments {
  bool metrics = false;     // the Prometheus metrics at /metrics
  bool livePage = false;    // the live page: "/" + the image name with ".html"
  int refreshSeconds = 10;  // the live page reloads itself at the plot interval
};

// The window's web server: the graph image at "/" + its name, the figures
// as JSON beside it, and, when switched on, the Prometheus metrics of the
// address at /metrics and the live page (run/livepage.h). Request threads read only the context published here
// (under a mutex), the image cache and the published figures; the image
// itself is drawn on the UI thread through `saveTemp`.
//
// `uiThread` (the window) must outlive it. UI thread, but for what request
// threads call through the handler.
class WindowWebServer {
 public:
  using SaveTemp = std::function<RenderOutcome()>;
  using Figures = std::function<PlotSession::PublishedFigures()>;

  // `clock` tells the live page's time; it must outlive the server and be
  // callable from any thread.
  WindowWebServer(QObject* uiThread, SaveTemp saveTemp, Figures figures, const LocalClock& clock);
  ~WindowWebServer();

  // Listens on `port`; the failure's text is the one the user is shown.
  Status Start(int port);
  // Stops listening; requests waiting for a render get no reply. Returns
  // promptly, whatever the clients do.
  void Stop();
  bool Listening() const;
  // The address and port shown since the last start.
  const std::string& ShownAddress() const { return m_address; }
  int ShownPort() const { return m_port; }

  // Where the server listens and its limits; tests bind it to loopback.
  // Takes effect at the next start.
  void SetOptions(const HttpServerOptions& options) { m_options = options; }
  // What the next requests are checked and served against.
  void Publish(const WebAccessSettings& access, const std::string& imageName,
               const WindowDocuments& documents);
  // Something the web image depends on has changed: a cached image is stale.
  void ImageChanged();

 private:
  // The request handler's side of the window: the context each request
  // reads afresh and the render it hands to the UI thread.
  ImageServing HTTPServerCommandGet();

  QObject* m_uiThread;
  SaveTemp m_saveTemp;
  Figures m_figures;
  const LocalClock& m_clock;
  HttpServerOptions m_options;
  mutable std::mutex m_contextMutex;
  WebContext m_context;
  WindowDocuments m_documents;  // guarded by m_contextMutex
  std::shared_ptr<ImageCache> m_images = std::make_shared<ImageCache>();
  std::string m_address;
  int m_port = 0;
  std::unique_ptr<HttpServer> m_server;  // made afresh at every start; declared last
};

}  // namespace quorvel
