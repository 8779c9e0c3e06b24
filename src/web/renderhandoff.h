#pragma once

#include <functional>
#include <memory>

#include "web/imagecache.h"
#include "web/requesthandler.h"

namespace quorvel {

// Runs `job` later on the UI thread (the window passes a queued
// QMetaObject::invokeMethod). Called on request threads; must return without
// waiting for the job. It may run the job at once only when the calling
// thread may render.
using PostToUiThread = std::function<void(std::function<void()> job)>;

// Draws and encodes the web image. Runs on the UI thread only, inside a job
// given to PostToUiThread. May throw; the message becomes a 500 reply.
using RenderOnUiThread = std::function<RenderOutcome()>;

// Gets the web image for request threads: from the cache when it holds the
// current generation, otherwise by a job on the UI thread, waited for.
//
// Cancel() releases every request waiting now and every later Obtain() with
// RenderOutcome::Stopped(); jobs still queued on the UI thread then do
// nothing when they run, even after this object is gone (they hold only
// shared state). That is what lets the UI thread stop the server while
// request threads wait for it.
//
// A render may let pending UI events run; a job that runs inside another
// job's render is served too (it renders on its own or finds the cache).
//
// Thread: Obtain on request threads (never on the UI thread, or it waits for
// itself); Cancel on any thread.
class RenderHandOff {
 public:
  RenderHandOff(PostToUiThread post, RenderOnUiThread render, std::shared_ptr<ImageCache> cache);
  ~RenderHandOff();
  RenderHandOff(const RenderHandOff&) = delete;
  RenderHandOff& operator=(const RenderHandOff&) = delete;

  RenderOutcome Obtain();
  void Cancel();

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace quorvel
