#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace netsim {

using Random = std::mt19937_64;

// How long something takes, in milliseconds, drawn anew for each packet.
struct DelayModel {
  enum class Kind { Fixed, Uniform, Normal, LogNormal, List };
  Kind kind = Kind::Fixed;
  double a = 0;  // fixed: the time; uniform: low; normal: mean; log-normal: median
  double b = 0;  // uniform: high; normal: standard deviation; log-normal: sigma of ln
  std::vector<double> list;  // replayed in order, from the start again after the last
};

// Whether a packet is lost: never, each with probability p, by the two-state
// Gilbert-Elliott chain, or by an explicit pattern ('x' lost, '.' passes)
// replayed in order.
struct LossModel {
  enum class Kind { None, Bernoulli, GilbertElliott, Pattern };
  Kind kind = Kind::None;
  double p = 0;         // Bernoulli: the loss; Gilbert-Elliott: good -> bad per packet
  double r = 0;         // Gilbert-Elliott: bad -> good per packet
  double lossGood = 0;  // Gilbert-Elliott: loss in each state
  double lossBad = 1;
  std::string pattern;
};

// A yes/no per packet: with probability p, or where an explicit pattern has
// 'x' ('.' no), replayed in order. Never when neither is given.
struct Chance {
  double p = 0;
  std::string pattern;
};

// The state of one model for one target (or router): the position in a list
// or pattern and the Gilbert-Elliott state. Starts afresh when a profile is
// entered.
class DelayState {
 public:
  // The next delay in nanoseconds, never negative.
  std::int64_t Next(const DelayModel& model, Random& random);

 private:
  std::size_t index_ = 0;
};

class LossState {
 public:
  bool Lost(const LossModel& model, Random& random);

 private:
  std::size_t index_ = 0;
  bool bad_ = false;
};

class ChanceState {
 public:
  bool Happens(const Chance& chance, Random& random);

 private:
  std::size_t index_ = 0;
};

}  // namespace netsim
