#include "web/imagehandler.h"

#include <optional>
#include <string>
#include <utility>

namespace quorvel {

ImageRequestHandler::ImageRequestHandler(ImageServing serving)
    : serving_(std::move(serving)),
      handOff_(serving_.postToUi, serving_.renderOnUi, serving_.cache) {}

RequestHandler::Answer ImageRequestHandler::Handle(const WebRequest& request) {
  WebContext context = serving_.readContext ? serving_.readContext() : WebContext{};
  // Tried with what the event loop may do; a document, or an image that is
  // not in the cache, sends the request on to a worker.
  bool needsWorker = false;
  const DocumentCallback documents = [&](const std::string&, const WebContext&) {
    needsWorker = true;
    return std::optional<WebDocument>();
  };
  WebReply reply = HandleRequest(
      request, context,
      [&] {
        if (!needsWorker && serving_.cache) {
          if (ImageBytes image = serving_.cache->Find(serving_.cache->Generation())) {
            return RenderOutcome::Ok(std::move(image));
          }
        }
        needsWorker = true;
        return RenderOutcome::Stopped();
      },
      serving_.documents ? documents : DocumentCallback());
  if (!needsWorker) return {std::move(reply), nullptr};
  // The context stays the one read now: each request is checked once.
  return {std::nullopt, [this, request, context = std::move(context)] {
            return HandleRequest(
                request, context, [this] { return handOff_.Obtain(); }, serving_.documents);
          }};
}

// The method and the authorization scheme are looked at before anything
// else: tried with stand-ins that only note that they were reached.
bool ImageRequestHandler::ClosesUnanswered(const WebRequest& request) const {
  bool reached = false;
  const WebReply reply = HandleRequest(
      request, WebContext{},
      [&] {
        reached = true;
        return RenderOutcome::Stopped();
      },
      [&](const std::string&, const WebContext&) {
        reached = true;
        return std::optional<WebDocument>();
      });
  return reply.closeWithoutReply && !reached;
}

}  // namespace quorvel
