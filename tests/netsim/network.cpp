#include "network.h"

#include <algorithm>

namespace netsim {

namespace {

constexpr int kInitialTtl = 64;
// An identifier seen in a request this recently may belong to a socket that
// still waits: a spoilt identifier never takes one of them.
constexpr std::int64_t kIdentifierMemoryNs = 60'000'000'000;

Random Seeded(std::uint64_t seed, std::uint64_t index, std::uint64_t kind) {
  std::seed_seq sequence{static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(seed >> 32),
                         static_cast<std::uint32_t>(index), static_cast<std::uint32_t>(kind)};
  return Random(sequence);
}

const char* CorruptionName(Corruption c) {
  switch (c) {
    case Corruption::Payload: return "payload";
    case Corruption::Identifier: return "identifier";
    case Corruption::Checksum: return "checksum";
  }
  return "";
}

}  // namespace

const char* FateName(Fate fate) {
  switch (fate) {
    case Fate::Replied: return "replied";
    case Fate::Lost: return "lost";
    case Fate::Duplicated: return "duplicated";
    case Fate::Corrupted: return "corrupted";
    case Fate::Late: return "late";
    case Fate::Reordered: return "reordered";
    case Fate::Exceeded: return "exceeded";
    case Fate::Unreachable: return "unreachable";
    case Fate::Ignored: return "ignored";
  }
  return "";
}

struct Network::TargetState {
  const Target* target = nullptr;
  Random random;
  std::optional<std::size_t> changeApplied;  // the change whose profile is in force; none: the first
  DelayState delay, late, duplicateAfter, reorderExtra;
  LossState loss;
  ChanceState unreachable, lateChance, corrupt, duplicate, reorder;
  std::size_t corruptions = 0;

  // The profile and path in force at `nowNs`; a profile entered anew starts
  // its models afresh.
  std::pair<const Profile*, const std::vector<std::size_t>*> InForce(const Scenario& s, std::int64_t nowNs) {
    std::size_t profile = target->profile;
    const std::vector<std::size_t>* path = &target->path;
    std::optional<std::size_t> from;
    for (std::size_t i = 0; i < target->changes.size() && target->changes[i].atNs <= nowNs; ++i) {
      const Change& c = target->changes[i];
      if (c.profile) {
        profile = *c.profile;
        from = i;
      }
      if (c.path) path = &*c.path;
    }
    if (from != changeApplied) {
      changeApplied = from;
      delay = late = duplicateAfter = reorderExtra = DelayState();
      loss = LossState();
      unreachable = lateChance = corrupt = duplicate = reorder = ChanceState();
      corruptions = 0;
    }
    return {&s.profiles[profile], path};
  }
};

struct Network::RouterState {
  const Router* router = nullptr;
  Random random;
  DelayState delay;
  LossState loss;
  double tokens = 0;
  std::int64_t refilledNs = 0;

  // Whether the router may send one more ICMP error now.
  bool TakeToken(std::int64_t nowNs) {
    if (router->icmpPerSecond <= 0) return true;
    tokens = std::min(router->icmpBurst,
                      tokens + static_cast<double>(nowNs - refilledNs) * 1e-9 * router->icmpPerSecond);
    refilledNs = nowNs;
    if (tokens < 1) return false;
    tokens -= 1;
    return true;
  }
};

Network::Network(const Scenario& scenario, std::uint64_t seed) : scenario_(scenario) {
  for (std::size_t i = 0; i < scenario.targets.size(); ++i) {
    auto t = std::make_unique<TargetState>();
    t->target = &scenario.targets[i];
    t->random = Seeded(seed, i, 1);
    byAddress_[t->target->address] = i;
    targets_.push_back(std::move(t));
  }
  for (std::size_t i = 0; i < scenario.routers.size(); ++i) {
    auto r = std::make_unique<RouterState>();
    r->router = &scenario.routers[i];
    r->random = Seeded(seed, i, 2);
    r->tokens = r->router->icmpBurst;
    routers_.push_back(std::move(r));
  }
}

Network::~Network() = default;

std::uint16_t Network::OtherIdentifier(std::uint16_t identifier, std::int64_t nowNs) const {
  auto other = static_cast<std::uint16_t>(identifier ^ 0x8000);
  for (int tries = 0; tries < 65536; ++tries, ++other) {
    const auto seen = identifierSeen_.find(other);
    if (other != identifier && (seen == identifierSeen_.end() || nowNs - seen->second > kIdentifierMemoryNs)) break;
  }
  return other;
}

Decision Network::Receive(const Packet& packet, std::int64_t nowNs) {
  Decision d;
  d.number = ++count_;
  const bool echo = packet.kind == IcmpKind::EchoRequest;
  if (echo) identifierSeen_[packet.identifier] = nowNs;
  const auto found = byAddress_.find(packet.destination);
  if (found == byAddress_.end()) {
    d.fate = echo ? Fate::Lost : Fate::Ignored;
    if (echo) d.reason = "no target";
    return d;
  }
  TargetState& target = *targets_[found->second];
  const auto [profile, path] = target.InForce(scenario_, nowNs);

  // Out through the routers: each may lose the packet, and the one where the
  // TTL runs out answers with time exceeded (within its rate limit).
  std::int64_t pathNs = 0;
  for (std::size_t hop = 0; hop < path->size(); ++hop) {
    RouterState& router = *routers_[(*path)[hop]];
    pathNs += router.delay.Next(router.router->delay, router.random);
    if (router.loss.Lost(router.router->loss, router.random)) {
      d.fate = Fate::Lost;
      d.reason = "router " + router.router->name;
      return d;
    }
    if (packet.ttl - static_cast<int>(hop) <= 1) {
      d.fate = Fate::Exceeded;
      d.router = router.router->address;
      if (!router.TakeToken(nowNs)) {
        d.reason = "rate limit";
        return d;
      }
      d.delayNs = pathNs;
      Emission e;
      e.dueNs = nowNs + pathNs;
      e.packet = TimeExceeded(packet, router.router->address, kInitialTtl - static_cast<int>(hop));
      e.type = "time-exceeded";
      e.source = router.router->address;
      e.ttl = kInitialTtl - static_cast<int>(hop);
      d.emissions.push_back(std::move(e));
      break;
    }
  }
  if (d.fate != Fate::Exceeded) {
    if (!echo) return d;  // Ignored
    d = Echo(target, packet, nowNs, std::move(d));
    if (d.fate == Fate::Unreachable) {
      // From the last router, or the target's own stack where there is none.
      const IpAddress from = path->empty() ? packet.destination : routers_[path->back()]->router->address;
      const int ttl = kInitialTtl - static_cast<int>(path->empty() ? 0 : path->size() - 1);
      Emission e;
      e.dueNs = nowNs + pathNs;
      e.packet = Unreachable(packet, from, ttl);
      e.type = "unreachable";
      e.source = from;
      e.ttl = ttl;
      d.delayNs = pathNs;
      d.emissions.push_back(std::move(e));
    } else {
      for (Emission& e : d.emissions) e.dueNs += pathNs;
      if (d.delayNs >= 0) d.delayNs += pathNs;
    }
  }
  for (Emission& e : d.emissions) {
    e.destination = packet.source;
    if (e.identifier == 0 && e.corruption != "identifier") e.identifier = packet.identifier;
    e.sequence = packet.sequence;
    e.fate = d.fate;
    e.request = d.number;
    e.requestNs = nowNs;
  }
  return d;
}

Decision Network::Echo(TargetState& target, const Packet& packet, std::int64_t nowNs, Decision d) {
  const auto [profile, path] = target.InForce(scenario_, nowNs);
  const Profile& p = *profile;
  Random& random = target.random;
  const int ttl = kInitialTtl - static_cast<int>(path->size());
  auto reply = [&](std::int64_t delayNs, Damage damage = Damage::None, std::uint16_t other = 0) {
    Emission e;
    e.dueNs = nowNs + delayNs;
    e.packet = EchoReply(packet, ttl, damage, other);
    e.type = "echo-reply";
    e.source = packet.destination;
    e.ttl = ttl;
    if (damage == Damage::Identifier) e.identifier = other;
    d.emissions.push_back(std::move(e));
  };

  if (p.silent) {
    d.fate = Fate::Lost;
    d.reason = "silent";
    return d;
  }
  if (target.unreachable.Happens(p.unreachable, random)) {
    d.fate = Fate::Unreachable;
    return d;
  }
  if (target.loss.Lost(p.loss, random)) {
    d.fate = Fate::Lost;
    d.reason = "loss";
    return d;
  }
  if (target.lateChance.Happens(p.late, random)) {
    d.fate = Fate::Late;
    d.delayNs = target.late.Next(p.lateDelay, random);
    reply(d.delayNs);
    return d;
  }
  d.delayNs = target.delay.Next(p.delay, random);
  if (target.corrupt.Happens(p.corrupt, random)) {
    const Corruption kind = p.corruptions[target.corruptions++ % p.corruptions.size()];
    d.fate = Fate::Corrupted;
    d.corruption = CorruptionName(kind);
    const Damage damage = kind == Corruption::Payload ? Damage::Payload
                          : kind == Corruption::Identifier ? Damage::Identifier
                                                           : Damage::Checksum;
    reply(d.delayNs, damage, OtherIdentifier(packet.identifier, nowNs));
    d.emissions.back().corruption = d.corruption;
    return d;
  }
  if (target.duplicate.Happens(p.duplicate, random)) {
    d.fate = Fate::Duplicated;
    reply(d.delayNs);
    reply(d.delayNs + target.duplicateAfter.Next(p.duplicateAfter, random));
    d.emissions.back().copy = 2;
    return d;
  }
  if (target.reorder.Happens(p.reorder, random)) {
    d.fate = Fate::Reordered;
    d.delayNs += target.reorderExtra.Next(p.reorderExtra, random);
    reply(d.delayNs);
    return d;
  }
  d.fate = Fate::Replied;
  reply(d.delayNs);
  return d;
}

}  // namespace netsim
