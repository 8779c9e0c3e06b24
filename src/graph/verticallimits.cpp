#include "graph/verticallimits.h"

namespace quorvel {

void VerticalLimits::Remember(int max, int min) {
  max_ = max;
  min_ = min;
}

LimitCheckResult VerticalLimits::Leave(LimitBox box, int max, int min, AxisRange& axis) {
  LimitCheckResult r;
  if (max < min) {
    refused_ = true;
    r.accepted = false;
    r.restore = box == LimitBox::Max ? max_ : min_;
    r.message = box == LimitBox::Max ? kMaxRefusedMessage : kMinRefusedMessage;
    return r;
  }
  axis.SetRange(min, max);
  Remember(max, min);
  refused_ = false;
  return r;
}

}  // namespace quorvel
