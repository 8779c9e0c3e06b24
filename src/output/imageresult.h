#pragma once

#include <string>
#include <utility>

namespace quorvel {

// The outcome of encoding or writing an image: success, or the text to show
// the user.
class ImageResult {
 public:
  static ImageResult Ok() { return ImageResult(); }
  static ImageResult Failure(std::string message) { return ImageResult(std::move(message)); }

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  // Empty on success.
  const std::string& error() const { return error_; }

 private:
  ImageResult() = default;
  explicit ImageResult(std::string message) : failed_(true), error_(std::move(message)) {}

  bool failed_ = false;
  std::string error_;
};

}  // namespace quorvel
