#include "icmp/kernelsocket.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>

#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <linux/net_tstamp.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quorvel::icmp {
namespace {

constexpr std::size_t kBatch = 32;       // items per recvmmsg
constexpr std::size_t kSendBatch = 64;   // messages per sendmmsg
constexpr std::size_t kMessageBytes = 2048;
constexpr std::size_t kControlBytes = 256;

std::string SystemText(int error) { return std::strerror(error); }

Address FromSockaddr(const sockaddr_storage& s) {
  if (s.ss_family == AF_INET) {
    const auto& a = reinterpret_cast<const sockaddr_in&>(s);
    boost::asio::ip::address_v4::bytes_type b;
    std::memcpy(b.data(), &a.sin_addr, 4);
    return boost::asio::ip::address_v4(b);
  }
  if (s.ss_family == AF_INET6) {
    const auto& a = reinterpret_cast<const sockaddr_in6&>(s);
    boost::asio::ip::address_v6::bytes_type b;
    std::memcpy(b.data(), &a.sin6_addr, 16);
    return boost::asio::ip::address_v6(b, a.sin6_scope_id);
  }
  return {};
}

socklen_t ToSockaddr(const Address& address, sockaddr_storage& s) {
  std::memset(&s, 0, sizeof s);
  if (address.is_v4()) {
    auto& a = reinterpret_cast<sockaddr_in&>(s);
    a.sin_family = AF_INET;
    const auto b = address.to_v4().to_bytes();
    std::memcpy(&a.sin_addr, b.data(), 4);
    return sizeof a;
  }
  auto& a = reinterpret_cast<sockaddr_in6&>(s);
  a.sin6_family = AF_INET6;
  const auto v6 = address.to_v6();
  const auto b = v6.to_bytes();
  std::memcpy(&a.sin6_addr, b.data(), 16);
  a.sin6_scope_id = static_cast<std::uint32_t>(v6.scope_id());
  return sizeof a;
}

// The errors an earlier ICMP error leaves pending on the socket (sk_err):
// the next send fails with it once, although nothing is wrong with this send.
bool MayBePendingError(int error) {
  return error == EHOSTUNREACH || error == ENETUNREACH || error == EHOSTDOWN || error == ENETDOWN ||
         error == ECONNREFUSED || error == EPROTO || error == EMSGSIZE;
}

class KernelSocket final : public IcmpSocket {
 public:
  KernelSocket(int fd, SocketInfo info) : fd_(fd), info_(info) {
    for (std::size_t i = 0; i < kBatch; ++i) {
      iov_[i] = {buffers_[i].data(), kMessageBytes};
    }
  }
  ~KernelSocket() override { ::close(fd_); }

  SocketInfo Info() const override { return info_; }
  int Handle() const override { return fd_; }
  std::uint64_t Overruns() const override { return overruns_; }

  int Send(const Address& to, std::span<const std::uint8_t> message, int ttl) override {
    Outgoing one{&to, message, ttl, 0};
    SendBatch(std::span(&one, 1));
    return one.error;
  }

  void SendBatch(std::span<Outgoing> batch) override {
    for (std::size_t chunk = 0; chunk < batch.size(); chunk += kSendBatch) {
      const std::size_t count = std::min(kSendBatch, batch.size() - chunk);
      for (std::size_t i = 0; i < count; ++i) PrepareSend(i, batch[chunk + i]);
      // sendmmsg stops at the first message the kernel refuses and keeps
      // its errno for the next call (EAGAIN aside), which then fails with
      // it at once: that message is tried again as Send would try it.
      std::size_t at = 0;
      int attempt = 0;
      while (at < count) {
        const int sent = ::sendmmsg(fd_, &sendHeaders_[at], static_cast<unsigned>(count - at), MSG_DONTWAIT);
        if (sent > 0) {
          for (int i = 0; i < sent; ++i) batch[chunk + at + static_cast<std::size_t>(i)].error = 0;
          at += static_cast<std::size_t>(sent);
          attempt = 0;
          continue;
        }
        const int error = errno;
        if (attempt < 2 && (error == EINTR || (attempt == 0 && MayBePendingError(error)))) {
          ++attempt;
          continue;
        }
        batch[chunk + at++].error = error;
        attempt = 0;
      }
    }
  }

  bool Receive(ReceiveBatch& batch, std::size_t limit) override {
    std::size_t taken = 0;
    // Timestamps first: a reply read before the stamp of its own request
    // would have to fall back to the clock.
    for (const bool errorQueue : {true, false}) {
      for (int errorsLeft = 4; taken < limit;) {
        const std::size_t want = std::min(kBatch, limit - taken);
        Prepare(want);
        const int n = ::recvmmsg(fd_, headers_.data(), static_cast<unsigned>(want),
                                 MSG_DONTWAIT | (errorQueue ? MSG_ERRQUEUE : 0), nullptr);
        if (n < 0) {
          // Another error than "nothing waiting" is one left pending by an
          // ICMP error; reading it cleared it.
          if (errno == EAGAIN || errno == EWOULDBLOCK || --errorsLeft == 0) break;
          continue;
        }
        for (int i = 0; i < n; ++i) Take(batch, static_cast<std::size_t>(i), errorQueue);
        taken += static_cast<std::size_t>(n);
        if (static_cast<std::size_t>(n) < want) break;
      }
    }
    return taken >= limit;
  }

 private:
  void PrepareSend(std::size_t i, const Outgoing& out) {
    msghdr& m = sendHeaders_[i].msg_hdr;
    m = {};
    m.msg_name = &sendNames_[i];
    m.msg_namelen = ToSockaddr(*out.to, sendNames_[i]);
    sendIov_[i] = {const_cast<std::uint8_t*>(out.message.data()), out.message.size()};
    m.msg_iov = &sendIov_[i];
    m.msg_iovlen = 1;
    if (out.ttl > 0) {
      m.msg_control = sendControls_[i].data();
      m.msg_controllen = sendControls_[i].size();
      cmsghdr* c = CMSG_FIRSTHDR(&m);
      c->cmsg_level = info_.family == Family::V4 ? SOL_IP : SOL_IPV6;
      c->cmsg_type = info_.family == Family::V4 ? IP_TTL : IPV6_HOPLIMIT;
      c->cmsg_len = CMSG_LEN(sizeof(int));
      std::memcpy(CMSG_DATA(c), &out.ttl, sizeof out.ttl);
    }
  }

  void Prepare(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      msghdr& m = headers_[i].msg_hdr;
      m = {};
      m.msg_name = &names_[i];
      m.msg_namelen = sizeof names_[i];
      m.msg_iov = &iov_[i];
      m.msg_iovlen = 1;
      m.msg_control = controls_[i].data();
      m.msg_controllen = kControlBytes;
      headers_[i].msg_len = 0;
    }
  }

  void Take(ReceiveBatch& batch, std::size_t i, bool errorQueue) {
    msghdr& m = headers_[i].msg_hdr;
    std::span<const std::uint8_t> bytes(buffers_[i].data(), std::min<std::size_t>(headers_[i].msg_len, kMessageBytes));
    std::int64_t stamp = 0;
    const sock_extended_err* ee = nullptr;
    for (cmsghdr* c = CMSG_FIRSTHDR(&m); c != nullptr; c = CMSG_NXTHDR(&m, c)) {
      if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_TIMESTAMPING) {
        timespec ts[3];
        std::memcpy(ts, CMSG_DATA(c), sizeof ts);
        stamp = ts[0].tv_sec * 1'000'000'000LL + ts[0].tv_nsec;
      } else if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_TIMESTAMPNS) {
        timespec ts;
        std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
        stamp = ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
      } else if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL) {
        std::uint32_t dropped = 0;
        std::memcpy(&dropped, CMSG_DATA(c), sizeof dropped);
        overruns_ = std::max<std::uint64_t>(overruns_, dropped);
      } else if ((c->cmsg_level == SOL_IP && c->cmsg_type == IP_RECVERR) ||
                 (c->cmsg_level == SOL_IPV6 && c->cmsg_type == IPV6_RECVERR)) {
        ee = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
      }
    }
    if (!errorQueue) {
      if (info_.kind == SocketKind::Raw && info_.family == Family::V4) bytes = Ipv4Payload(bytes);
      Received& r = batch.Add(Received::Kind::Message, bytes);
      r.peer = FromSockaddr(names_[i]);
      r.kernelNs = stamp;
      return;
    }
    if (ee == nullptr) return;
    if (ee->ee_origin == SO_EE_ORIGIN_TIMESTAMPING) {
      Received& r = batch.Add(Received::Kind::TxStamp, bytes);
      r.kernelNs = stamp;
      r.key = ee->ee_data;
    } else if (ee->ee_origin == SO_EE_ORIGIN_ICMP || ee->ee_origin == SO_EE_ORIGIN_ICMP6) {
      Received& r = batch.Add(Received::Kind::Error, bytes);
      r.peer = FromSockaddr(names_[i]);
      sockaddr_storage offender{};
      std::memcpy(&offender, SO_EE_OFFENDER(ee),
                  info_.family == Family::V4 ? sizeof(sockaddr_in) : sizeof(sockaddr_in6));
      r.offender = FromSockaddr(offender);
      r.errorType = ee->ee_type;
      r.errorCode = ee->ee_code;
      r.errorNumber = static_cast<int>(ee->ee_errno);
      r.kernelNs = stamp;
    }
    // Local errors (a path MTU below the probe size) name no probe: dropped.
  }

  int fd_;
  SocketInfo info_;
  std::uint64_t overruns_ = 0;
  std::array<mmsghdr, kBatch> headers_{};
  std::array<iovec, kBatch> iov_{};
  std::array<sockaddr_storage, kBatch> names_{};
  std::array<std::array<std::uint8_t, kMessageBytes>, kBatch> buffers_{};
  std::array<std::array<char, kControlBytes>, kBatch> controls_{};
  std::array<mmsghdr, kSendBatch> sendHeaders_{};
  std::array<iovec, kSendBatch> sendIov_{};
  std::array<sockaddr_storage, kSendBatch> sendNames_{};
  struct alignas(cmsghdr) TtlControl : std::array<char, CMSG_SPACE(sizeof(int))> {};
  std::array<TtlControl, kSendBatch> sendControls_{};
};

bool SetInt(int fd, int level, int name, int value) {
  return ::setsockopt(fd, level, name, &value, sizeof value) == 0;
}

// Sets a buffer size beyond net.core.[rw]mem_max where the process may.
int SizeBuffer(int fd, int force, int plain, int bytes) {
  if (!SetInt(fd, SOL_SOCKET, force, bytes)) SetInt(fd, SOL_SOCKET, plain, bytes);
  int granted = 0;
  socklen_t length = sizeof granted;
  ::getsockopt(fd, SOL_SOCKET, plain, &granted, &length);
  return granted / 2;  // the kernel reports twice what it counts as payload
}

StampSource SetUpStamps(int fd) {
  const int flags = SOF_TIMESTAMPING_TX_SOFTWARE | SOF_TIMESTAMPING_RX_SOFTWARE |
                    SOF_TIMESTAMPING_SOFTWARE | SOF_TIMESTAMPING_OPT_ID;
  if (SetInt(fd, SOL_SOCKET, SO_TIMESTAMPING, flags)) return StampSource::Kernel;
  if (SetInt(fd, SOL_SOCKET, SO_TIMESTAMPNS, 1)) return StampSource::KernelReceive;
  return StampSource::User;
}

bool FilterRaw(int fd, Family family) {
  if (family == Family::V4) {
    icmp_filter filter{};
    filter.data = ~(1u << kEchoReplyV4);  // the bits of the types to block
    return ::setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter) == 0;
  }
  icmp6_filter filter;
  ICMP6_FILTER_SETBLOCKALL(&filter);
  ICMP6_FILTER_SETPASS(kEchoReplyV6, &filter);
  return ::setsockopt(fd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter) == 0;
}

std::string ProgramPath() {
  std::array<char, 4096> path{};
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
  return n > 0 ? std::string(path.data(), static_cast<std::size_t>(n)) : std::string("PROGRAM");
}

std::string PingGroupRange() {
  std::ifstream in("/proc/sys/net/ipv4/ping_group_range");
  std::string low, high;
  if (!(in >> low >> high)) return "unreadable";
  return "\"" + low + " " + high + "\"";
}

SocketOpen Failure(SocketOpen::Status status, int error, std::string message) {
  SocketOpen r;
  r.status = status;
  r.error = error;
  r.message = std::move(message);
  return r;
}

const char* FamilyName(Family family) { return family == Family::V4 ? "IPv4" : "IPv6"; }

}  // namespace

const char* StampSourceName(StampSource source) {
  switch (source) {
    case StampSource::Kernel: return "kernel";
    case StampSource::KernelReceive: return "kernel-receive";
    case StampSource::User: return "user";
  }
  return "user";
}

void ReceiveBatch::Clear() {
  items.clear();
  bytes_.clear();
}

Received& ReceiveBatch::Add(Received::Kind kind, std::span<const std::uint8_t> bytes) {
  Received& r = items.emplace_back();
  r.kind = kind;
  r.offset = static_cast<std::uint32_t>(bytes_.size());
  r.length = static_cast<std::uint32_t>(bytes.size());
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return r;
}

std::span<const std::uint8_t> ReceiveBatch::Bytes(const Received& item) const {
  return std::span<const std::uint8_t>(bytes_).subspan(item.offset, item.length);
}

std::string NoPermissionMessage(Family family) {
  return std::string("cannot open an ICMP socket for ") + FamilyName(family) +
         ": this group may not open datagram ICMP sockets (net.ipv4.ping_group_range is " +
         PingGroupRange() + ") and raw sockets need CAP_NET_RAW. Allow the group with "
         "`sysctl -w net.ipv4.ping_group_range=\"0 2147483647\"`, or give the program the "
         "capability with `setcap cap_net_raw+ep " + ProgramPath() + "`";
}

SocketOpen OpenKernelSocket(Family family, SocketPreference preference, SocketSizing sizing) {
  const int domain = family == Family::V4 ? AF_INET : AF_INET6;
  const int protocol = family == Family::V4 ? static_cast<int>(IPPROTO_ICMP) : static_cast<int>(IPPROTO_ICMPV6);
  int fd = -1;
  SocketKind kind = SocketKind::Datagram;
  int datagramError = 0;
  if (preference != SocketPreference::Raw) {
    fd = ::socket(domain, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    if (fd < 0) datagramError = errno;
  }
  if (fd < 0 && preference != SocketPreference::Datagram) {
    fd = ::socket(domain, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    kind = SocketKind::Raw;
    if (fd < 0 && errno != EPERM && errno != EACCES) {
      return Failure(errno == EAFNOSUPPORT ? SocketOpen::Status::Unavailable : SocketOpen::Status::Failed,
                     errno, std::string("cannot open a raw ICMP socket for ") + FamilyName(family) + ": " +
                                SystemText(errno));
    }
  }
  if (fd < 0) {
    if (datagramError == EAFNOSUPPORT || datagramError == EPROTONOSUPPORT) {
      return Failure(SocketOpen::Status::Unavailable, datagramError,
                     std::string("cannot open an ICMP socket for ") + FamilyName(family) + ": " +
                         SystemText(datagramError));
    }
    return Failure(SocketOpen::Status::NoPermission, datagramError ? datagramError : EPERM,
                   NoPermissionMessage(family));
  }

  SocketInfo info;
  info.family = family;
  info.kind = kind;
  const auto fail = [&](const char* what) {
    const int error = errno;
    ::close(fd);
    return Failure(SocketOpen::Status::Failed, error, std::string("cannot set up the ICMP socket (") + what +
                                                          "): " + SystemText(error));
  };
  if (kind == SocketKind::Datagram) {
    // Bound to port 0, the kernel picks the identifier now, so that it is
    // known before the first reply.
    sockaddr_storage any{};
    any.ss_family = static_cast<sa_family_t>(domain);
    const socklen_t length = family == Family::V4 ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&any), length) != 0) return fail("bind");
    socklen_t got = sizeof any;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&any), &got) != 0) return fail("getsockname");
    info.identifier = ntohs(family == Family::V4 ? reinterpret_cast<sockaddr_in&>(any).sin_port
                                                : reinterpret_cast<sockaddr_in6&>(any).sin6_port);
  } else {
    info.identifier = static_cast<std::uint16_t>(std::random_device{}());
    if (!FilterRaw(fd, family)) return fail("ICMP filter");
  }
  if (!SetInt(fd, family == Family::V4 ? SOL_IP : SOL_IPV6, family == Family::V4 ? IP_RECVERR : IPV6_RECVERR, 1)) {
    return fail("error queue");
  }
  info.stamps = SetUpStamps(fd);
  SetInt(fd, SOL_SOCKET, SO_RXQ_OVFL, 1);
  info.receiveBufferBytes = SizeBuffer(fd, SO_RCVBUFFORCE, SO_RCVBUF, sizing.receiveBufferBytes);
  SizeBuffer(fd, SO_SNDBUFFORCE, SO_SNDBUF, sizing.sendBufferBytes);

  SocketOpen r;
  r.status = SocketOpen::Status::Ok;
  r.socket = std::make_unique<KernelSocket>(fd, info);
  return r;
}

}  // namespace quorvel::icmp
