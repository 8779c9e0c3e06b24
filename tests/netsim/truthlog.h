#pragma once

#include <cstdint>
#include <string>

#include "network.h"
#include "packets.h"

namespace netsim {

// The ground truth as JSON Lines: one line per packet read from the TUN and
// one per packet written into it (README.md lists the fields). Lines gather
// in memory and reach the file at each Flush, in one write, so that the
// simulator's loop flushes only once its due packets are out. Owns its
// descriptor; one thread.
class TruthLog {
 public:
  // Creates or truncates `path`; an empty path writes nothing.
  bool Open(const std::string& path, std::string& error);
  ~TruthLog();

  void Received(const Packet& packet, const Decision& decision, std::int64_t nowNs);
  void Sent(const Emission& emission, std::int64_t nowNs);
  // False when the file could not take the lines (the disk is full).
  bool Flush();

 private:
  int fd_ = -1;
  std::string pending_;
};

}  // namespace netsim
