#pragma once

#include <functional>
#include <utility>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "web/webaccess.h"

namespace quorvel {

// An encoded web image. Shared and immutable, so that a cached image can be
// the body of many replies at once without copies; it is released when the
// last reply holding it has been sent or abandoned.
using ImageBytes = std::shared_ptr<const std::string>;

// What the render step gave for one request.
struct RenderOutcome {
  enum class Status {
    Image,      // `image` holds the encoded web image
    Error,      // render or encode failed; `error` is its message text
    Cancelled,  // the server is stopping: the request gets no reply
  };
  Status status = Status::Cancelled;
  ImageBytes image;
  std::string error;

  static RenderOutcome Ok(ImageBytes bytes) { return {Status::Image, std::move(bytes), {}}; }
  static RenderOutcome Failed(std::string message) { return {Status::Error, {}, std::move(message)}; }
  static RenderOutcome Stopped() { return {}; }
};

// Called by the handler at most once, after the access check and before the
// path comparison, on the request's own thread.
using RenderCallback = std::function<RenderOutcome()>;

// A request as read from the connection.
struct WebRequest {
  std::string method;                        // as received, e.g. "GET"
  std::string target;                        // the request target, query included
  std::optional<std::string> authorization;  // the Authorization header, when present
};

// The reply to send: either nothing (close the connection) or one HTTP reply.
struct WebReply {
  bool closeWithoutReply = false;
  int status = 0;               // 200, 401, 404 or 500
  std::string reason;           // "OK", "Unauthorized", "Not Found", "Internal Server Error"
  std::string contentType;
  std::string wwwAuthenticate;  // set for 401 only
  std::string allow;            // the methods served, for a 405 reply ("GET, HEAD")
  std::string text;             // the body of a 401, 404 or 500 reply
  ImageBytes image;             // the body of a 200 reply
  bool headOnly = false;        // HEAD: the headers of the GET reply, no body sent

  // The body a GET would carry; its size is the Content-Length also for HEAD.
  std::string_view Body() const { return image ? std::string_view(*image) : std::string_view(text); }
};

// A document served beside the image (statistics, metrics): its type and text.
struct WebDocument {
  std::string contentType;
  std::string body;
};

// Looks up a document by its decoded path for a request that passed the
// access check; nothing for a path it does not serve. Called on the request's
// own thread, at most once per request, never for the image's own path.
using DocumentCallback =
    std::function<std::optional<WebDocument>(const std::string& path, const WebContext& context)>;

// Serves one request: method, then authorization scheme, then the access
// check against `context.access`, then the render, then the comparison of the
// decoded document path with "/" + `context.imageName` (exact, case
// sensitive). A path other than the image's that `documents` serves is
// answered with that document instead, without a render. Pure apart from
// `render` and `documents`; any thread.
WebReply HandleRequest(const WebRequest& request, const WebContext& context,
                       const RenderCallback& render, const DocumentCallback& documents = {});

// What the server asks of whoever answers its requests: the window's image
// server (ImageRequestHandler) and the agent's metrics server each implement
// it. The server reads, parses and writes; the handler decides.
class RequestHandler {
 public:
  virtual ~RequestHandler() = default;

  // The reply to a complete request, made now, or the work that makes it on
  // a worker thread, where it may wait (for a render on the UI thread, for
  // figures under a lock). Called on the server's event-loop thread, once
  // per request: it must return quickly and not block.
  struct Answer {
    std::optional<WebReply> now;
    std::function<WebReply()> later;  // used when `now` is empty
  };
  virtual Answer Handle(const WebRequest& request) = 0;

  // Whether the handler's own rules close `request` without any reply before
  // anything else is looked at. A request the server refuses as malformed or
  // oversize is answered with its status unless this says yes.
  virtual bool ClosesUnanswered(const WebRequest& request) const;

  // The server is stopping: work waiting on the UI thread is released (its
  // request gets no reply). Any thread.
  virtual void Cancel() {}
};

// A handler that answers every request by one function, on a worker thread
// (the agent, tests).
class CallbackHandler final : public RequestHandler {
 public:
  explicit CallbackHandler(std::function<WebReply(const WebRequest&)> answer)
      : answer_(std::move(answer)) {}
  Answer Handle(const WebRequest& request) override;

 private:
  std::function<WebReply(const WebRequest&)> answer_;
};

// The status line and headers of `reply`, ending with the blank line:
// "HTTP/1.1 <code> <reason>", Connection: close, Content-Type, Content-Length
// (the size of Body(), also for HEAD), WWW-Authenticate and Allow when set.
std::string FormatReplyHead(const WebReply& reply);

}  // namespace quorvel
