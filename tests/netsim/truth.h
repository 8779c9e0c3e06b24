#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// The simulator's ground truth as tests read it (README.md lists the fields).
namespace netsim {

struct TruthLine {
  bool in = false;          // read from the TUN (else written into it)
  std::uint64_t n = 0;      // in: the packet's number; out: that of the request it answers
  std::int64_t ns = 0;      // arrival or write, since the simulator started
  std::string src, dst, type, fate, reason, corruption, router;
  int id = 0, seq = 0, ttl = 0, copy = 1;
  std::int64_t rttNs = 0;   // out: its write less the request's arrival
  std::int64_t dueNs = 0;   // out: when it was scheduled
  std::int64_t delayNs = -1;
};

// Every line of the truth file; a line that cannot be read fails the test
// that asked (through the returned error text).
std::vector<TruthLine> ReadTruth(const std::string& path, std::string& error);

// One echo request and the packets written in answer to it.
struct TruthProbe {
  TruthLine request;
  std::vector<TruthLine> answers;  // in the order written

  // The round trip a correct prober measures: that of the first echo reply
  // that is not spoilt, if it was written within `timeoutNs`.
  std::optional<std::int64_t> RttWithin(std::int64_t timeoutNs) const;
};

// The echo requests to each destination, in arrival order, with their
// answers.
std::map<std::string, std::vector<TruthProbe>> ProbesByTarget(const std::vector<TruthLine>& lines);

// Where the simulator cannot make its network here: its message; empty when
// it can. `netsim` is the path of quorvel-netsim.
std::string NetsimUnavailable(const std::string& netsim);
// Whether a test that cannot have its network must fail instead of skipping
// (QUORVEL_REQUIRE_NETSIM=1, as CI sets it).
bool NetsimRequired();

// The addresses of the targets of the scenario file at `path`, each block
// of "count" targets expanded to its consecutive addresses as the
// simulator counts them, but those in `except`. A scenario it cannot read
// fails the test that asked and gives no addresses.
std::vector<std::string> ScenarioAddresses(const std::string& path, const std::vector<std::string>& except = {});

// Per-sample errors of a prober, measured less truth, in ms.
struct SampleErrors {
  std::vector<double> ms;
  // "median +0.023 ms, p99 +0.085 ms, max |e| 0.398 ms over 8758 samples"
  std::string Describe() const;
};

// iputils ping's errors against `truth` (the probes of the one target it
// pinged), from the times it printed, by sequence number; duplicates and
// replies later than 1 s are not compared.
SampleErrors PingErrors(const std::string& output, const std::vector<TruthProbe>& truth);

// The nearest-rank quantile q of `values` (sorted here); 0 when empty.
double Quantile(std::vector<double> values, double q);
// RFC 3550 interarrival jitter of `values` in their order.
double Rfc3550Jitter(const std::vector<double>& values);

}  // namespace netsim
