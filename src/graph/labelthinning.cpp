#include "graph/labelthinning.h"

#include <cstdlib>

namespace quorvel {

bool LabelThinning::Take(int centre, int size) {
  if (!any_) {
    any_ = true;
    lastCentre_ = centre;
    lastHalf_ = size / 2;
    return true;
  }
  // trunc(s x 0.6) in integers: s x 6 / 10 is exact where 0.6 is not.
  const int half = (size + size * 6 / 10) / 2;
  if (std::abs(centre - lastCentre_) < half + lastHalf_) return false;
  lastCentre_ = centre;
  lastHalf_ = half;
  return true;
}

}  // namespace quorvel
