#include "app/windowweb.h"

#include <QMetaObject>
#include <QObject>

#include <optional>
#include <utility>
#include <vector>

#include "app/webstartfailure.h"
#include "run/livepage.h"
#include "stats/prometheus.h"
#include "system/processfigures.h"
#include "web/servercounters.h"
#include "web/hostaddress.h"
#include "web/imagehandler.h"
#include "web/webnames.h"

namespace quorvel {

WindowWebServer::WindowWebServer(QObject* uiThread, SaveTemp saveTemp, Figures figures,
                                 const LocalClock& clock)
    : m_uiThread(uiThread), m_saveTemp(std::move(saveTemp)), m_figures(std::move(figures)),
      m_clock(clock) {}

WindowWebServer::~WindowWebServer() { Stop(); }

Status WindowWebServer::Start(int port) {
  if (Listening()) return Status::Ok();
  // The port and the shown address are taken now; later changes apply at
  // the next start.
  m_server = std::make_unique<HttpServer>(m_options);
  const HttpServerStart started =
      m_server->Start(port, std::make_shared<ImageRequestHandler>(HTTPServerCommandGet()));
  if (!started.ok) {
    Stop();
    return Status::Error(WebServerStartFailure(port, started.error, started.code));
  }
  m_address = ShownServerAddress();
  m_port = port;
  return Status::Ok();
}

void WindowWebServer::Stop() {
  if (m_server) m_server->Stop();
}

bool WindowWebServer::Listening() const { return m_server && m_server->IsListening(); }

void WindowWebServer::Publish(const WebAccessSettings& access, const std::string& imageName,
                              const WindowDocuments& documents) {
  std::lock_guard lock(m_contextMutex);
  m_context.access = access;
  m_context.imageName = imageName;
  m_documents = documents;
}

void WindowWebServer::ImageChanged() { m_images->Bump(); }

ImageServing WindowWebServer::HTTPServerCommandGet() {
  ImageServing hooks;
  hooks.readContext = [this] {
    std::lock_guard lock(m_contextMutex);
    return m_context;
  };
  hooks.postToUi = [this](std::function<void()> job) {
    QMetaObject::invokeMethod(m_uiThread, std::move(job), Qt::QueuedConnection);
  };
  hooks.renderOnUi = m_saveTemp;
  hooks.cache = m_images;
  // The documents beside the image: "/" + the image name with ".json" for
  // its extension, the figures; "/metrics", the Prometheus metrics, and
  // "/" + the image name with ".html", the live page, where switched on.
  // Run on request threads.
  hooks.documents = [this](const std::string& path,
                           const WebContext& context) -> std::optional<WebDocument> {
    if (path == "/" + ReplaceExtension(context.imageName, ".json")) {
      return WebDocument{"application/json", m_figures().json};
    }
    WindowDocuments documents;
    {
      std::lock_guard lock(m_contextMutex);
      documents = m_documents;
    }
    if (documents.livePage && path == "/" + ReplaceExtension(context.imageName, ".html")) {
      const PlotSession::PublishedFigures figures = m_figures();
      const LocalTime now = m_clock.Now();
      LivePage page;
      page.imageName = context.imageName;
      page.refreshSeconds = documents.refreshSeconds;
      page.nowUnixMs = now.unixMs;
      page.utcOffsetSeconds = now.utcOffsetSeconds;
      page.address = figures.address;
      page.summary = figures.summary;
      page.alertsOn = figures.alertsOn;
      page.alerts = figures.alerts;
      return WebDocument{"text/html; charset=utf-8", LivePageHtml(page)};
    }
    if (path == "/metrics" && documents.metrics) {
      // The address's figures (its probe errors and spoilt replies too),
      // then the server's own and the process's.
      std::string body = PlotSession::MetricsText(m_figures());
      // This runs on a worker of m_server, which is only replaced while no
      // server runs.
      body += FormatServerMetrics(m_server->Counters());
      body += FormatProcessMetrics(ReadProcessFigures());
      return WebDocument{std::string(kMetricsContentType), std::move(body)};
    }
    return std::nullopt;
  };
  return hooks;
}

}  // namespace quorvel
