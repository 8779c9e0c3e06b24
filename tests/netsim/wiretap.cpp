#include "wiretap.h"

#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace netsim {

namespace {

constexpr std::size_t kHead = StampQueue::kHead;
// Packets the tap saw and the TUN never delivered (its queue was full) are
// dropped as later ones match; this bounds what a flood leaves behind.
constexpr std::size_t kMostKept = 4096;

std::int64_t ClockNs(clockid_t clock) {
  timespec t{};
  ::clock_gettime(clock, &t);
  return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

}  // namespace

bool WireTap::Open(const std::string& name, std::string& error) {
  const unsigned index = ::if_nametoindex(name.c_str());
  if (index == 0) {
    error = name + ": " + std::strerror(errno);
    return false;
  }
  // Protocol 0 until bound: nothing from another device is queued meanwhile.
  fd_ = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd_ < 0) {
    error = std::string("packet socket: ") + std::strerror(errno);
    return false;
  }
  const int on = 1, buffer = 4 << 20;
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof buffer);
  sockaddr_ll address{};
  address.sll_family = AF_PACKET;
  address.sll_protocol = htons(ETH_P_ALL);
  address.sll_ifindex = static_cast<int>(index);
  if (::setsockopt(fd_, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) != 0 ||
      ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    error = std::string("packet socket on ") + name + ": " + std::strerror(errno);
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  return true;
}

WireTap::~WireTap() {
  if (fd_ >= 0) ::close(fd_);
}

// The tap's copy of a packet is queued before the TUN's (outgoing) or
// within the write (incoming), so a packet not yet taken from the socket
// is there by now: the socket is read only when the queue has no match.
std::optional<std::int64_t> WireTap::Outgoing(std::span<const std::uint8_t> bytes) {
  if (const auto ns = outgoing_.Take(bytes)) return ns;
  Drain();
  return outgoing_.Take(bytes);
}

std::optional<std::int64_t> WireTap::Incoming(std::span<const std::uint8_t> bytes) {
  if (const auto ns = incoming_.Take(bytes)) return ns;
  Drain();
  return incoming_.Take(bytes);
}

void WireTap::Drain() {
  if (fd_ < 0) return;
  // The kernel stamps on CLOCK_REALTIME; the simulator counts on
  // CLOCK_MONOTONIC. Both run at the same rate, so one offset per drain.
  const std::int64_t offset = ClockNs(CLOCK_REALTIME) - ClockNs(CLOCK_MONOTONIC);
  // In batches: under a flood one call takes what many packets left.
  constexpr unsigned kBatch = 32;
  std::uint8_t heads[kBatch][kHead];
  iovec iov[kBatch];
  sockaddr_ll from[kBatch];
  struct alignas(cmsghdr) Control {
    char bytes[CMSG_SPACE(sizeof(timespec))];
  } controls[kBatch];
  mmsghdr messages[kBatch];
  for (;;) {
    for (unsigned i = 0; i < kBatch; ++i) {
      iov[i] = {heads[i], kHead};
      messages[i] = {};
      messages[i].msg_hdr.msg_name = &from[i];
      messages[i].msg_hdr.msg_namelen = sizeof from[i];
      messages[i].msg_hdr.msg_iov = &iov[i];
      messages[i].msg_hdr.msg_iovlen = 1;
      messages[i].msg_hdr.msg_control = controls[i].bytes;
      messages[i].msg_hdr.msg_controllen = sizeof controls[i].bytes;
      // The packet's whole size comes back, not only what fit (MSG_TRUNC).
      messages[i].msg_hdr.msg_flags = 0;
    }
    const int got = ::recvmmsg(fd_, messages, kBatch, MSG_DONTWAIT | MSG_TRUNC, nullptr);
    if (got <= 0) return;
    for (int i = 0; i < got; ++i) {
      msghdr& m = messages[i].msg_hdr;
      std::int64_t stamp = -1;
      for (cmsghdr* c = CMSG_FIRSTHDR(&m); c != nullptr; c = CMSG_NXTHDR(&m, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_TIMESTAMPNS) {
          timespec t{};
          std::memcpy(&t, CMSG_DATA(c), sizeof t);
          stamp = static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec - offset;
        }
      }
      if (stamp < 0) continue;
      const std::size_t size = messages[i].msg_len;
      (from[i].sll_pkttype == PACKET_OUTGOING ? outgoing_ : incoming_)
          .Add(std::span<const std::uint8_t>(heads[i], std::min(size, kHead)), size, stamp);
    }
    if (static_cast<unsigned>(got) < kBatch) return;
  }
}

void StampQueue::Add(std::span<const std::uint8_t> head, std::size_t size, std::int64_t ns) {
  Seen& seen = seen_.emplace_back();
  seen.size = size;
  seen.ns = ns;
  std::copy_n(head.begin(), std::min({head.size(), size, kHead}), seen.head.begin());
  if (seen_.size() > kMostKept) seen_.pop_front();
}

std::optional<std::int64_t> StampQueue::Take(std::span<const std::uint8_t> bytes) {
  const auto head = bytes.first(std::min(bytes.size(), kHead));
  const auto match = std::find_if(seen_.begin(), seen_.end(), [&](const Seen& s) {
    return s.size == bytes.size() && std::equal(head.begin(), head.end(), s.head.begin());
  });
  if (match == seen_.end()) return std::nullopt;
  const std::int64_t ns = match->ns;
  seen_.erase(seen_.begin(), match + 1);
  return ns;
}

}  // namespace netsim
