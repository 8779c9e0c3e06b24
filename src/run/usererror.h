#pragma once

#include <stdexcept>
#include <string>

namespace quorvel {

// An error that ends the handler it arises in and reaches the user as a
// message box with exactly this text. The program goes on.
class UserError : public std::runtime_error {
 public:
  explicit UserError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace quorvel
