#pragma once

#include <cstdint>

namespace quorvel {

// The process's limit on open descriptors (RLIMIT_NOFILE).
struct DescriptorLimit {
  std::uint64_t soft = 0;  // the limit in force
  std::uint64_t hard = 0;  // the most the soft limit may be raised to
  int error = 0;           // errno of a failed getrlimit or setrlimit, else 0
};

// Raises the soft limit to the hard one, so that a flood of connections, many
// probes or many open files meet the limit the system allows rather than the
// small default (often 1024). Both programs call it once at start, before
// any thread exists. Nothing in Quorvel uses select(), whose sets cannot
// hold descriptors above 1023. Returns the limits now in force.
DescriptorLimit RaiseDescriptorLimit();

}  // namespace quorvel
