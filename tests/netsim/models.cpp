#include "models.h"

#include <algorithm>
#include <cmath>

namespace netsim {

namespace {

bool Draw(double p, Random& random) {
  if (p <= 0) return false;
  if (p >= 1) return true;
  return std::uniform_real_distribution<double>(0.0, 1.0)(random) < p;
}

bool PatternAt(const std::string& pattern, std::size_t& index) {
  const bool hit = pattern[index % pattern.size()] == 'x';
  ++index;
  return hit;
}

}  // namespace

std::int64_t DelayState::Next(const DelayModel& model, Random& random) {
  double ms = 0;
  switch (model.kind) {
    case DelayModel::Kind::Fixed: ms = model.a; break;
    case DelayModel::Kind::Uniform: ms = std::uniform_real_distribution<double>(model.a, model.b)(random); break;
    case DelayModel::Kind::Normal: ms = std::normal_distribution<double>(model.a, model.b)(random); break;
    case DelayModel::Kind::LogNormal:
      ms = std::lognormal_distribution<double>(std::log(model.a), model.b)(random);
      break;
    case DelayModel::Kind::List:
      ms = model.list[index_ % model.list.size()];
      ++index_;
      break;
  }
  return std::llround(std::max(ms, 0.0) * 1e6);
}

bool LossState::Lost(const LossModel& model, Random& random) {
  switch (model.kind) {
    case LossModel::Kind::None: return false;
    case LossModel::Kind::Bernoulli: return Draw(model.p, random);
    case LossModel::Kind::Pattern: return PatternAt(model.pattern, index_);
    case LossModel::Kind::GilbertElliott: {
      // The state moves first, then the packet meets the state it is in.
      bad_ = bad_ ? !Draw(model.r, random) : Draw(model.p, random);
      return Draw(bad_ ? model.lossBad : model.lossGood, random);
    }
  }
  return false;
}

bool ChanceState::Happens(const Chance& chance, Random& random) {
  if (!chance.pattern.empty()) return PatternAt(chance.pattern, index_);
  return Draw(chance.p, random);
}

}  // namespace netsim
