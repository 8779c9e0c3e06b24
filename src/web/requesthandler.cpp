#include "web/requesthandler.h"

#include "base/text.h"
#include "web/httpdecode.h"
#include "web/mimetypes.h"

namespace quorvel {

namespace {

constexpr std::string_view kNotFoundStart =
    "<html><head><title>Error</title></head><body><h1>404 - Not Found</h1>"
    "<p><b>Quorvel</b> is unable to locate ";
constexpr std::string_view kNotFoundEnd = "</body></html>";
constexpr std::string_view kAuthFailedPage =
    "<html><head><title>Error</title></head><body><h1>Authentication failed</h1></body></html>";
constexpr std::string_view kChallenge = "Basic realm=\"Quorvel Web Service\"";


WebReply TextReply(int status, std::string reason, std::string text) {
  WebReply reply;
  reply.status = status;
  reply.reason = std::move(reason);
  reply.contentType = "text/html";
  reply.text = std::move(text);
  return reply;
}

WebReply CloseWithoutReply() {
  WebReply reply;
  reply.closeWithoutReply = true;
  return reply;
}

}  // namespace

WebReply HandleRequest(const WebRequest& request, const WebContext& context,
                       const RenderCallback& render, const DocumentCallback& documents) {
  const bool head = request.method == "HEAD";
  if (!head && request.method != "GET" && request.method != "POST") return CloseWithoutReply();

  const Authorization authorization = ParseAuthorization(request.authorization);
  if (authorization.scheme == AuthorizationScheme::Other) return CloseWithoutReply();

  WebReply reply;
  if (context.access.AuthRequired) {
    // Both comparisons always run, so the time does not tell which one failed.
    const bool userOk = ConstantTimeEquals(authorization.userName, context.access.UserName);
    const bool passwordOk = ConstantTimeEquals(authorization.password, context.access.Password);
    if (!(authorization.readable & userOk & passwordOk)) {
      reply = TextReply(401, "Unauthorized", std::string(kAuthFailedPage));
      reply.wwwAuthenticate = kChallenge;
      reply.headOnly = head;
      return reply;
    }
  }

  const std::string path = DecodeDocumentPath(request.target);
  const bool imagePath = path == "/" + context.imageName;
  if (!imagePath && documents) {
    if (std::optional<WebDocument> document = documents(path, context)) {
      reply.status = 200;
      reply.reason = "OK";
      reply.contentType = std::move(document->contentType);
      reply.text = std::move(document->body);
      reply.headOnly = head;
      return reply;
    }
  }

  RenderOutcome rendered = render();
  if (rendered.status == RenderOutcome::Status::Cancelled) return CloseWithoutReply();
  if (rendered.status == RenderOutcome::Status::Error || !rendered.image) {
    reply = TextReply(500, "Internal Server Error", std::move(rendered.error));
  } else {
    if (!imagePath) {
      std::string page(kNotFoundStart);
      page += '"';
      page += EscapeHtml(path);  // the client's path: no markup of its own
      page += '"';
      page += kNotFoundEnd;
      reply = TextReply(404, "Not Found", std::move(page));
    } else {
      reply.status = 200;
      reply.reason = "OK";
      reply.contentType = GetMIMEType(path);
      reply.image = std::move(rendered.image);
    }
  }
  reply.headOnly = head;
  return reply;
}

bool RequestHandler::ClosesUnanswered(const WebRequest&) const { return false; }

RequestHandler::Answer CallbackHandler::Handle(const WebRequest& request) {
  return {std::nullopt, [this, request] { return answer_(request); }};
}

std::string FormatReplyHead(const WebReply& reply) {
  std::string head;
  head.reserve(160);
  head += "HTTP/1.1 ";
  head += std::to_string(reply.status);
  head += ' ';
  head += reply.reason;
  head += "\r\nConnection: close\r\nContent-Type: ";
  head += reply.contentType;
  head += "\r\nContent-Length: ";
  head += std::to_string(reply.Body().size());
  head += "\r\n";
  if (!reply.wwwAuthenticate.empty()) {
    head += "WWW-Authenticate: ";
    head += reply.wwwAuthenticate;
    head += "\r\n";
  }
  if (!reply.allow.empty()) {
    head += "Allow: ";
    head += reply.allow;
    head += "\r\n";
  }
  head += "\r\n";
  return head;
}

}  // namespace quorvel
