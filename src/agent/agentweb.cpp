#include "agent/agentweb.h"

#include "web/httpdecode.h"

namespace quorvel {

namespace {

constexpr const char* kIndexPage =
    "<html><head><title>Quorvel agent</title></head><body><h1>Quorvel agent</h1>"
    "<p><a href=\"/metrics\">Metrics</a></p></body></html>";
constexpr const char* kNotFoundPage =
    "<html><head><title>Error</title></head><body><h1>404 - Not Found</h1></body></html>";
constexpr const char* kNotAllowedPage =
    "<html><head><title>Error</title></head><body><h1>405 - Method Not Allowed</h1></body></html>";

WebReply Reply(int status, const char* reason, std::string contentType, std::string body, bool head) {
  WebReply reply;
  reply.status = status;
  reply.reason = reason;
  reply.contentType = std::move(contentType);
  reply.text = std::move(body);
  reply.headOnly = head;
  return reply;
}

}  // namespace

WebReply AgentWebReply(const WebRequest& request,
                       const std::function<std::vector<TargetMetrics>()>& metrics,
                       const std::function<std::string()>& more,
                       const std::function<std::string()>& statusPage) {
  const bool head = request.method == "HEAD";
  if (!head && request.method != "GET") {
    WebReply reply = Reply(405, "Method Not Allowed", "text/html", kNotAllowedPage, false);
    reply.allow = "GET, HEAD";
    return reply;
  }
  const std::string path = DecodeDocumentPath(request.target);
  if (path == "/metrics") {
    const std::vector<TargetMetrics> targets = metrics();
    std::string text = FormatMetrics(targets) + FormatProbeAccountingMetrics(targets);
    if (more) text += more();
    return Reply(200, "OK", std::string(kMetricsContentType), std::move(text), head);
  }
  if (path == "/") {
    if (statusPage) return Reply(200, "OK", "text/html; charset=utf-8", statusPage(), head);
    return Reply(200, "OK", "text/html", kIndexPage, head);
  }
  return Reply(404, "Not Found", "text/html", kNotFoundPage, head);
}

}  // namespace quorvel
