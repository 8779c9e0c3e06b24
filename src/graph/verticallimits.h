#pragma once

#include <string>

#include "graph/axiswindow.h"

namespace quorvel {

inline constexpr const char* kMaxRefusedMessage =
    "The Vertical Axis maximum value must be greater than the minimum value!";
inline constexpr const char* kMinRefusedMessage =
    "The Vertical Axis minumim value must be less than the maximum value!";

enum class LimitBox { Max, Min };

// What leaving a limit box comes to.
struct LimitCheckResult {
  bool accepted = true;
  int restore = 0;      // refused: the value the left box goes back to
  std::string message;  // refused: the message to show
};

// The check of the vertical-axis limits as a limit box is left. A maximum
// below the minimum is refused: the axis keeps its bounds, the box goes back
// to the last bound accepted for it, and the refusal is remembered until the
// next accepted check or until the Setup pages take note of it (so the user
// is brought back to the offending box). Otherwise the axis takes both bounds
// as one range; equal bounds pass.
class VerticalLimits {
 public:
  // The bounds in force, e.g. as loaded at start-up.
  void Remember(int max, int min);
  LimitCheckResult Leave(LimitBox box, int max, int min, AxisRange& axis);

  bool Refused() const { return refused_; }
  void ClearRefused() { refused_ = false; }

 private:
  int max_ = 0;
  int min_ = 0;
  bool refused_ = false;
};

}  // namespace quorvel
