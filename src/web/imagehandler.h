#pragma once

#include <functional>
#include <memory>

#include "web/imagecache.h"
#include "web/renderhandoff.h"
#include "web/requesthandler.h"
#include "web/webaccess.h"

namespace quorvel {

// What the window supplies for serving its graph.
struct ImageServing {
  // Copies the access settings and the web image name, taken under the
  // window's own mutex. Called once per complete request, on the server's
  // event-loop thread, so it must not touch widgets and must return quickly:
  // the window keeps the copy up to date on the UI thread (dialog closed,
  // edTemp changed) under the same mutex, held only for the copy.
  std::function<WebContext()> readContext;
  PostToUiThread postToUi;            // see renderhandoff.h; called on worker threads
  RenderOnUiThread renderOnUi;        // see renderhandoff.h
  std::shared_ptr<ImageCache> cache;  // optional; shared with the window, which bumps it
  // Optional documents beside the image (see DocumentCallback); called on
  // worker threads, so it must not touch widgets.
  DocumentCallback documents;
};

// The web image server: HandleRequest against the context of each request.
// A request for the image is answered on the event loop when the cache holds
// the current image; one that needs a render, or a document, goes to a
// worker, which waits for the render through RenderHandOff.
//
// Thread: Handle on the event loop, the work it hands out on workers,
// Cancel on any thread.
class ImageRequestHandler final : public RequestHandler {
 public:
  explicit ImageRequestHandler(ImageServing serving);

  Answer Handle(const WebRequest& request) override;
  bool ClosesUnanswered(const WebRequest& request) const override;
  void Cancel() override { handOff_.Cancel(); }

 private:
  ImageServing serving_;
  RenderHandOff handOff_;
};

}  // namespace quorvel
