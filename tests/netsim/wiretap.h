#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>

namespace netsim {

// Packets seen on a device with their times, matched to packets by their
// bytes in the order they crossed it: a match drops the packets seen
// before it (the device dropped them); a packet never seen matches
// nothing and drops nothing.
class StampQueue {
 public:
  // How much of a packet is compared: the IP and ICMP headers, the echo
  // identifier and sequence, and the payload's start.
  static constexpr std::size_t kHead = 128;
  // `head`: the first bytes of a packet of `size` bytes, all of it or at
  // least kHead.
  void Add(std::span<const std::uint8_t> head, std::size_t size, std::int64_t ns);
  std::optional<std::int64_t> Take(std::span<const std::uint8_t> bytes);
  std::size_t Size() const { return seen_.size(); }

 private:
  struct Seen {
    std::array<std::uint8_t, kHead> head;  // the first min(size, kHead) bytes
    std::size_t size = 0;
    std::int64_t ns = 0;
  };
  std::deque<Seen> seen_;
};

// When the kernel put each packet on the TUN device: a packet socket bound
// to the device sees every packet that leaves towards the simulator and
// every packet the simulator writes, stamped by the kernel at the moment a
// prober's own kernel stamps it. The simulator takes its truth's times from
// these, so a simulator that reads a probe late, or is held up between its
// clock and its write, does not count its own delay as the network's.
//
// A packet the tap missed gives nothing, and the caller uses its own clock.
// Owns its descriptor; one thread.
class WireTap {
 public:
  // Binds to the device `name`; an empty tap (Open() false) where that
  // cannot be done, with `error` saying why.
  bool Open(const std::string& name, std::string& error);
  ~WireTap();

  // The kernel's time (CLOCK_MONOTONIC ns) of the packet `bytes` that the
  // simulator has just read from the TUN, or of the one it has just written.
  std::optional<std::int64_t> Outgoing(std::span<const std::uint8_t> bytes);
  std::optional<std::int64_t> Incoming(std::span<const std::uint8_t> bytes);

 private:
  void Drain();

  int fd_ = -1;
  StampQueue outgoing_, incoming_;
};

}  // namespace netsim
