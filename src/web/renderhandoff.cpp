#include "web/renderhandoff.h"

#include <condition_variable>
#include <exception>
#include <mutex>

namespace quorvel {

namespace {

struct Ticket {
  bool done = false;
  bool abandoned = false;
  RenderOutcome outcome;
};

}  // namespace

struct RenderHandOff::Shared {
  PostToUiThread post;
  RenderOnUiThread render;
  std::shared_ptr<ImageCache> cache;

  std::mutex mutex;
  std::condition_variable changed;
  bool cancelled = false;

  // On the UI thread.
  void RunJob(Ticket& ticket) {
    {
      std::lock_guard lock(mutex);
      if (cancelled || ticket.abandoned) return;
    }
    RenderOutcome outcome = RenderNow();
    std::lock_guard lock(mutex);
    ticket.done = true;
    ticket.outcome = std::move(outcome);
    changed.notify_all();
  }

  RenderOutcome RenderNow() {
    // Read on the UI thread, the generation matches the state the render is
    // about to draw: only this thread changes that state.
    const std::uint64_t generation = cache ? cache->Generation() : 0;
    if (cache) {
      if (ImageBytes image = cache->Find(generation)) return RenderOutcome::Ok(std::move(image));
    }
    RenderOutcome outcome;
    try {
      outcome = render();
    } catch (const std::exception& e) {
      return RenderOutcome::Failed(e.what());
    } catch (...) {
      return RenderOutcome::Failed("Unknown error while rendering the web image");
    }
    if (cache && outcome.status == RenderOutcome::Status::Image && outcome.image) {
      cache->Store(generation, outcome.image);
    }
    return outcome;
  }
};

RenderHandOff::RenderHandOff(PostToUiThread post, RenderOnUiThread render,
                             std::shared_ptr<ImageCache> cache)
    : shared_(std::make_shared<Shared>()) {
  shared_->post = std::move(post);
  shared_->render = std::move(render);
  shared_->cache = std::move(cache);
}

RenderHandOff::~RenderHandOff() { Cancel(); }

RenderOutcome RenderHandOff::Obtain() {
  Shared& shared = *shared_;
  if (shared.cache) {
    if (ImageBytes image = shared.cache->Find(shared.cache->Generation())) {
      return RenderOutcome::Ok(std::move(image));
    }
  }
  {
    std::lock_guard lock(shared.mutex);
    if (shared.cancelled) return RenderOutcome::Stopped();
  }

  auto ticket = std::make_shared<Ticket>();
  try {
    shared.post([keep = shared_, ticket] { keep->RunJob(*ticket); });
  } catch (const std::exception& e) {
    return RenderOutcome::Failed(e.what());
  }

  std::unique_lock lock(shared.mutex);
  shared.changed.wait(lock, [&] { return ticket->done || shared.cancelled; });
  if (ticket->done) return std::move(ticket->outcome);
  ticket->abandoned = true;
  return RenderOutcome::Stopped();
}

void RenderHandOff::Cancel() {
  std::lock_guard lock(shared_->mutex);
  shared_->cancelled = true;
  shared_->changed.notify_all();
}

}  // namespace quorvel
