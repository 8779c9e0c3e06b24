#pragma once

#include <optional>
#include <string>
#include <utility>

namespace quorvel {

// The outcome of an operation that can fail in an expected way: ok, or the
// message to show (to the user, on standard error, in a reply). New and
// touched code returns this (or Result<T>) instead of throwing across rooms.
class [[nodiscard]] Status {
 public:
  static Status Ok() { return Status(); }
  static Status Error(std::string message) { return Status(std::move(message)); }

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  // Empty when ok.
  const std::string& message() const { return message_; }

 private:
  Status() = default;
  explicit Status(std::string message) : failed_(true), message_(std::move(message)) {}

  bool failed_ = false;
  std::string message_;
};

// A value, or the Status that says why there is none.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}        // NOLINT: implicit, like the value itself
  Result(Status error) : status_(std::move(error)) {}  // NOLINT: must not be ok

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  const Status& status() const { return status_; }
  const T& value() const& { return *value_; }
  T& value() & { return *value_; }
  T&& value() && { return std::move(*value_); }

 private:
  Status status_ = Status::Ok();
  std::optional<T> value_;
};

}  // namespace quorvel
