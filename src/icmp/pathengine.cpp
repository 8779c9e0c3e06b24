#include "icmp/pathengine.h"

#include "icmp/probeloop.h"

namespace quorvel::icmp {

std::string CheckPathOptions(const PathOptions& o, std::size_t targets) {
  if (targets == 0) return "no target";
  if (o.interval < kMinEchoInterval) return "the interval is shorter than 10 ms";
  if (o.timeout <= std::chrono::nanoseconds(0) || o.timeout > std::chrono::minutes(1)) {
    return "the timeout is not between 0 and 60 s";
  }
  if (o.maxHops < 1 || o.maxHops > 64) return "the hop limit is not between 1 and 64";
  if (o.payloadBytes < kMinPayloadBytes || o.payloadBytes > kMaxPayloadBytes) return "the payload size is out of range";
  if (o.pacing <= std::chrono::nanoseconds(0)) return "the pacing is not positive";
  // The 16-bit sequence names each pending probe.
  const double pending = static_cast<double>(targets) * o.maxHops *
                         (std::chrono::duration<double>(o.timeout) / o.interval + 2);
  if (pending > 65536) return "too many targets for this hop limit, timeout and interval";
  return {};
}

PathEngine::PathEngine(PathOptions options, std::vector<Address> targets, HopSink sink,
                       EngineDependencies dependencies)
    : options_(options), targets_(Normalised(std::move(targets))), sink_(std::move(sink)),
      dependencies_(std::move(dependencies)) {}

PathEngine::~PathEngine() {
  Stop();
  Wait();
}

EngineStatus PathEngine::Start() {
  if (std::string error = CheckPathOptions(options_, targets_.size()); !error.empty()) {
    return {EngineStatus::Code::BadOptions, error};
  }
  const double perTarget = options_.maxHops / std::chrono::duration<double>(options_.interval).count();
  if (EngineStatus opened = OpenEngineSockets(targets_, perTarget, options_.socket, dependencies_, sockets_);
      !opened.Ok()) {
    return opened;
  }
  info_ = sockets_.Info();
  if (options_.names) names_ = std::make_unique<NameResolver>();

  PathSettings settings;
  settings.intervalNs = options_.interval.count();
  settings.timeoutNs = options_.timeout.count();
  settings.maxHops = options_.maxHops;
  settings.rounds = options_.rounds;
  settings.payloadBytes = options_.payloadBytes;
  HopSink sink = [this](const HopResult& r) {
    if (names_ && r.kind != HopResult::Kind::Lost) names_->Request(r.from);
    if (sink_) sink_(r);
  };
  const std::uint64_t token = dependencies_.token != 0 ? dependencies_.token : RandomToken();
  prober_ = std::make_unique<PathProber>(settings, targets_, sockets_.v4.get(), sockets_.v6.get(),
                                         *dependencies_.clock, std::move(sink), token);
  prober_->Begin(dependencies_.clock->Now().monoNs);

  ProbeLoop::Callbacks callbacks;
  callbacks.step = [this] {
    std::lock_guard<std::mutex> lock(mutex_);
    return prober_->Step();
  };
  callbacks.drain = [this] {
    std::lock_guard<std::mutex> lock(mutex_);
    return prober_->Drain();
  };
  callbacks.nextWake = [this] {
    std::lock_guard<std::mutex> lock(mutex_);
    return prober_->NextWake();
  };
  loop_ = std::make_unique<ProbeLoop>(sockets_.Handles(), options_.pacing.count(), std::move(callbacks));
  std::string error;
  if (!loop_->Start(error)) {
    loop_.reset();
    return {EngineStatus::Code::Failed, error};
  }
  return {};
}

void PathEngine::Stop() {
  if (loop_) loop_->Stop();
}

void PathEngine::Wait() {
  if (loop_) loop_->Wait();
}

bool PathEngine::Finished() const { return loop_ && loop_->Finished(); }

EngineInfo PathEngine::Info() const { return info_; }

std::vector<PathSnapshot> PathEngine::Snapshot() const {
  std::vector<PathSnapshot> paths;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!prober_) return {};
    paths = prober_->Snapshot();
  }
  if (names_) {
    for (PathSnapshot& p : paths) {
      for (HopFigures& h : p.hops) {
        if (!h.seen.empty()) h.name = names_->Name(h.address).value_or("");
      }
    }
  }
  return paths;
}

std::size_t PathEngine::PacketBytes(const Address& target) const {
  return (target.is_v4() ? 20 : 40) + kIcmpHeaderBytes + options_.payloadBytes;
}

}  // namespace quorvel::icmp
