#include "icmp/engine.h"

#include <algorithm>
#include <random>

#include "icmp/probeloop.h"

namespace quorvel::icmp {
namespace {

const char* KindName(SocketKind kind) { return kind == SocketKind::Raw ? "raw" : "datagram"; }

EngineStatus::Code CodeOf(SocketOpen::Status status) {
  switch (status) {
    case SocketOpen::Status::Ok: return EngineStatus::Code::Ok;
    case SocketOpen::Status::NoPermission: return EngineStatus::Code::NoPermission;
    case SocketOpen::Status::Unavailable: return EngineStatus::Code::Unavailable;
    case SocketOpen::Status::Failed: return EngineStatus::Code::Failed;
  }
  return EngineStatus::Code::Failed;
}

}  // namespace

std::uint64_t RandomToken() {
  std::random_device device;
  std::uint64_t token = 0;
  while (token == 0) token = (static_cast<std::uint64_t>(device()) << 32) | device();
  return token;
}

std::string CheckEchoOptions(const EchoOptions& o, std::size_t targets) {
  if (targets == 0) return "no target";
  if (o.interval < kMinEchoInterval) return "the interval is shorter than 10 ms";
  if (o.timeout <= std::chrono::nanoseconds(0)) return "the timeout is not positive";
  if (o.timeout > std::chrono::minutes(10)) return "the timeout is longer than 10 minutes";
  if (o.payloadBytes < kMinPayloadBytes || o.payloadBytes > kMaxPayloadBytes) {
    return "the payload is not between " + std::to_string(kMinPayloadBytes) + " and " +
           std::to_string(kMaxPayloadBytes) + " bytes";
  }
  if (o.ttl < 0 || o.ttl > 255) return "the TTL is not between 1 and 255";
  if (o.pacing <= std::chrono::nanoseconds(0) || o.lateWindow < std::chrono::nanoseconds(0)) {
    return "the pacing or the late window is negative";
  }
  return {};
}

std::string DescribeEngine(const EngineInfo& info) {
  std::string text;
  for (const auto* s : {&info.v4, &info.v6}) {
    if (!*s) continue;
    if (!text.empty()) text += ", ";
    text += std::string((*s)->family == Family::V4 ? "IPv4 " : "IPv6 ") + KindName((*s)->kind) + " socket";
  }
  return text + "; " + StampSourceName(EngineStamps(info)) + " timestamps";
}

StampSource EngineStamps(const EngineInfo& info) {
  StampSource worst = StampSource::Kernel;
  for (const auto* s : {&info.v4, &info.v6}) {
    if (*s) worst = std::max(worst, (*s)->stamps);
  }
  return worst;
}

SocketSizing SizingFor(double probesPerSecond) {
  constexpr double kBytesPerItem = 1024;  // what the kernel charges for a small packet
  const auto clamp = [](double bytes, double low, double high) {
    return static_cast<int>(std::clamp(bytes, low, high));
  };
  SocketSizing s;
  s.receiveBufferBytes = clamp(probesPerSecond * 2 * kBytesPerItem * 0.5, 256.0 * 1024, 64.0 * 1024 * 1024);
  s.sendBufferBytes = clamp(probesPerSecond * kBytesPerItem * 0.05, 256.0 * 1024, 16.0 * 1024 * 1024);
  return s;
}

std::vector<Address> Normalised(std::vector<Address> targets) {
  for (Address& a : targets) {
    if (a.is_v6() && a.to_v6().is_v4_mapped()) {
      a = boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, a.to_v6());
    }
  }
  return targets;
}

EngineInfo EngineSockets::Info() const {
  EngineInfo info;
  if (v4) info.v4 = v4->Info();
  if (v6) info.v6 = v6->Info();
  return info;
}

std::vector<int> EngineSockets::Handles() const {
  std::vector<int> handles;
  for (const auto* s : {&v4, &v6}) {
    if (*s) handles.push_back((*s)->Handle());
  }
  return handles;
}

EngineStatus OpenEngineSockets(const std::vector<Address>& targets, double perTargetPerSecond,
                               SocketPreference preference, const EngineDependencies& dependencies,
                               EngineSockets& sockets) {
  double perSecond[2] = {0, 0};
  for (const Address& a : targets) perSecond[a.is_v4() ? 0 : 1] += perTargetPerSecond;
  for (const Family family : {Family::V4, Family::V6}) {
    const double rate = perSecond[family == Family::V4 ? 0 : 1];
    if (rate == 0) continue;
    SocketOpen open = dependencies.openSocket(family, preference, SizingFor(rate));
    if (open.status != SocketOpen::Status::Ok) {
      sockets.v4.reset();
      sockets.v6.reset();
      return {CodeOf(open.status), open.message};
    }
    (family == Family::V4 ? sockets.v4 : sockets.v6) = std::move(open.socket);
  }
  return {};
}

EchoEngine::EchoEngine(EchoOptions options, std::vector<Address> targets, ResultSink sink,
                       EngineDependencies dependencies)
    : options_(options), targets_(Normalised(std::move(targets))), sink_(std::move(sink)),
      dependencies_(std::move(dependencies)) {}

EchoEngine::~EchoEngine() {
  Stop();
  Wait();
}

EngineStatus EchoEngine::Start() {
  if (std::string error = CheckEchoOptions(options_, targets_.size()); !error.empty()) {
    return {EngineStatus::Code::BadOptions, error};
  }
  const double perTarget = 1 / std::chrono::duration<double>(options_.interval).count();
  if (EngineStatus opened = OpenEngineSockets(targets_, perTarget, options_.socket, dependencies_, sockets_);
      !opened.Ok()) {
    return opened;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    info_ = sockets_.Info();
  }

  EchoSettings settings;
  settings.intervalNs = options_.interval.count();
  settings.timeoutNs = options_.timeout.count();
  settings.lateWindowNs = options_.lateWindow.count();
  settings.pacingNs = options_.pacing.count();
  settings.count = options_.count;
  settings.payloadBytes = options_.payloadBytes;
  settings.ttl = options_.ttl;
  const std::uint64_t token = dependencies_.token != 0 ? dependencies_.token : RandomToken();
  prober_ = std::make_unique<EchoProber>(settings, targets_, sockets_.v4.get(), sockets_.v6.get(),
                                        *dependencies_.clock, sink_, token);
  prober_->Begin(dependencies_.clock->Now().monoNs);

  ProbeLoop::Callbacks callbacks;
  callbacks.step = [this] { return prober_->Step(); };
  callbacks.drain = [this] { return prober_->Drain(); };
  callbacks.nextWake = [this] { return prober_->NextWake(); };
  callbacks.repliesCanWait = [this] { return prober_->RepliesCarryStamps(); };
  callbacks.published = [this] {
    std::lock_guard<std::mutex> lock(mutex_);
    published_ = prober_->Counters();
  };
  loop_ = std::make_unique<ProbeLoop>(sockets_.Handles(), settings.pacingNs, std::move(callbacks));
  std::string error;
  if (!loop_->Start(error)) {
    loop_.reset();
    return {EngineStatus::Code::Failed, error};
  }
  return {};
}

void EchoEngine::Stop() {
  if (loop_) loop_->Stop();
}

void EchoEngine::Wait() {
  if (loop_) loop_->Wait();
}

bool EchoEngine::Finished() const { return loop_ && loop_->Finished(); }

EngineInfo EchoEngine::Info() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return info_;
}

EchoCounters EchoEngine::Counters() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return published_;
}

}  // namespace quorvel::icmp
