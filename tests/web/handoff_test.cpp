#include <atomic>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fakeuithread.h"
#include "web/imagecache.h"
#include "web/renderhandoff.h"

namespace quorvel {
namespace {

ImageBytes Bytes(const std::string& text) { return std::make_shared<const std::string>(text); }

TEST(ImageCache, ServesOnlyTheCurrentGeneration) {
  ImageCache cache;
  const std::uint64_t first = cache.Generation();
  EXPECT_EQ(cache.Find(first), nullptr);
  cache.Store(first, Bytes("one"));
  ASSERT_NE(cache.Find(first), nullptr);
  EXPECT_EQ(*cache.Find(first), "one");

  const std::uint64_t second = cache.Bump();
  EXPECT_NE(second, first);
  EXPECT_EQ(cache.Generation(), second);
  EXPECT_EQ(cache.Find(first), nullptr);
  EXPECT_EQ(cache.Find(second), nullptr);

  cache.Store(first, Bytes("stale"));  // rendered before the change: not kept
  EXPECT_EQ(cache.Find(second), nullptr);
  EXPECT_EQ(cache.Find(first), nullptr);
}

// The window's side: a UI thread, a render that draws the "state" it owns,
// and a cache whose generation it bumps when the state changes.
class HandOffTest : public ::testing::Test {
 protected:
  std::unique_ptr<RenderHandOff> MakeHandOff(bool withCache) {
    return std::make_unique<RenderHandOff>([this](std::function<void()> job) { ui_.Post(std::move(job)); },
                         [this] {
                           ++renders_;
                           if (fail_) throw std::runtime_error("Canvas does not allow drawing");
                           return RenderOutcome::Ok(Bytes(state_));
                         },
                         withCache ? cache_ : nullptr);
  }

  std::shared_ptr<ImageCache> cache_ = std::make_shared<ImageCache>();
  std::string state_ = "graph 1";  // touched on the UI thread only once it runs
  std::atomic<int> renders_{0};
  bool fail_ = false;
  FakeUiThread ui_;
};

TEST_F(HandOffTest, RendersOnTheUiThreadOncePerGeneration) {
  auto handOff = MakeHandOff(true);
  ui_.Hold();
  std::vector<std::future<RenderOutcome>> waiting;
  for (int i = 0; i < 6; ++i) waiting.push_back(std::async(std::launch::async, [&] { return handOff->Obtain(); }));
  ASSERT_TRUE(ui_.WaitPosted(6));
  ui_.RunHeld();  // this thread plays the UI thread now
  for (auto& w : waiting) {
    const RenderOutcome outcome = w.get();
    ASSERT_EQ(outcome.status, RenderOutcome::Status::Image);
    EXPECT_EQ(*outcome.image, "graph 1");
  }
  EXPECT_EQ(renders_, 1);  // the other five jobs found the stored image

  // A hit needs no UI thread at all.
  EXPECT_EQ(*handOff->Obtain().image, "graph 1");
  EXPECT_EQ(renders_, 1);

  // A change of state with its bump: the next request renders afresh.
  state_ = "graph 2";
  cache_->Bump();
  auto next = std::async(std::launch::async, [&] { return handOff->Obtain(); });
  ASSERT_TRUE(ui_.WaitPosted(7));
  ui_.RunHeld();
  EXPECT_EQ(*next.get().image, "graph 2");
  EXPECT_EQ(renders_, 2);
}

TEST_F(HandOffTest, WithoutCacheEveryRequestRenders) {
  auto handOff = MakeHandOff(false);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(*handOff->Obtain().image, "graph 1");
  EXPECT_EQ(renders_, 3);
}

TEST_F(HandOffTest, RenderExceptionBecomesErrorAndIsNotCached) {
  auto handOff = MakeHandOff(true);
  fail_ = true;
  const RenderOutcome outcome = handOff->Obtain();
  EXPECT_EQ(outcome.status, RenderOutcome::Status::Error);
  EXPECT_EQ(outcome.error, "Canvas does not allow drawing");
  fail_ = false;
  EXPECT_EQ(handOff->Obtain().status, RenderOutcome::Status::Image);
  EXPECT_EQ(renders_, 2);
}

TEST_F(HandOffTest, CancelReleasesWaitersAndQueuedJobsDoNothing) {
  auto handOff = MakeHandOff(true);
  ui_.Hold();
  auto waiting = std::async(std::launch::async, [&] { return handOff->Obtain(); });
  ASSERT_TRUE(ui_.WaitPosted(1));
  handOff->Cancel();
  EXPECT_EQ(waiting.get().status, RenderOutcome::Status::Cancelled);
  EXPECT_EQ(handOff->Obtain().status, RenderOutcome::Status::Cancelled);
  handOff.reset();
  ui_.RunHeld();  // the queued job outlives the hand-off and must not render
  EXPECT_EQ(renders_, 0);
}

}  // namespace
}  // namespace quorvel
