#include "graph/chartmodel.h"

namespace quorvel {

ChartLook ChartModel::DrawnLook() const {
  ChartLook drawn = look;
  if (!palette) return drawn;
  drawn.back = palette->back;
  drawn.border = palette->border;
  drawn.grid = palette->grid;
  drawn.axesText = palette->text;
  drawn.titleFont.colour = palette->text;
  return drawn;
}

}  // namespace quorvel
