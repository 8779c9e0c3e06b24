#include "truth.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "scenario.h"

extern char** environ;

namespace netsim {

std::vector<TruthLine> ReadTruth(const std::string& path, std::string& error) {
  std::vector<TruthLine> lines;
  std::ifstream in(path);
  if (!in) {
    error = "cannot read " + path;
    return lines;
  }
  std::string text;
  while (std::getline(in, text)) {
    const auto j = nlohmann::json::parse(text, nullptr, false);
    if (j.is_discarded() || !j.is_object()) {
      error = "not a truth line: " + text;
      return lines;
    }
    TruthLine t;
    t.in = j.value("dir", "") == "in";
    t.n = j.value(t.in ? "n" : "request", std::uint64_t{0});
    t.ns = j.value("ns", std::int64_t{0});
    t.src = j.value("src", "");
    t.dst = j.value("dst", "");
    t.type = j.value("type", "");
    t.fate = j.value("fate", "");
    t.reason = j.value("reason", "");
    t.corruption = j.value("corruption", "");
    t.router = j.value("router", "");
    t.id = j.value("id", 0);
    t.seq = j.value("seq", 0);
    t.ttl = j.value("ttl", 0);
    t.copy = j.value("copy", 1);
    t.rttNs = j.value("rtt_ns", std::int64_t{0});
    t.dueNs = j.value("due_ns", std::int64_t{0});
    t.delayNs = j.value("delay_ns", std::int64_t{-1});
    lines.push_back(std::move(t));
  }
  return lines;
}

std::optional<std::int64_t> TruthProbe::RttWithin(std::int64_t timeoutNs) const {
  for (const TruthLine& a : answers) {
    if (a.type == "echo-reply" && a.corruption.empty()) {
      if (a.rttNs <= timeoutNs) return a.rttNs;
      return std::nullopt;
    }
  }
  return std::nullopt;
}

std::map<std::string, std::vector<TruthProbe>> ProbesByTarget(const std::vector<TruthLine>& lines) {
  std::map<std::string, std::vector<TruthProbe>> probes;
  // Addresses of vectors move as they grow: index by position instead.
  std::map<std::uint64_t, std::pair<std::string, std::size_t>> where;
  for (const TruthLine& t : lines) {
    if (t.in && t.type == "echo-request") {
      auto& list = probes[t.dst];
      where[t.n] = {t.dst, list.size()};
      list.push_back(TruthProbe{t, {}});
    } else if (!t.in) {
      const auto found = where.find(t.n);
      if (found != where.end()) probes[found->second.first][found->second.second].answers.push_back(t);
    }
  }
  return probes;
}

std::string NetsimUnavailable(const std::string& netsim) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) < 0) return "pipe: cannot check the simulator";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, out[1], 2);
  std::string path = netsim;
  std::string check = "--check";
  char* argv[] = {path.data(), check.data(), nullptr};
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  std::string output;
  std::array<char, 512> buffer{};
  for (ssize_t n; spawned == 0 && (n = ::read(out[0], buffer.data(), buffer.size())) > 0;) {
    output.append(buffer.data(), static_cast<std::size_t>(n));
  }
  ::close(out[0]);
  if (spawned != 0) return "cannot run " + netsim;
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  return output.empty() ? netsim + " --check failed" : output;
}

bool NetsimRequired() {
  const char* v = std::getenv("QUORVEL_REQUIRE_NETSIM");
  return v != nullptr && std::string(v) == "1";
}

double Quantile(std::vector<double> values, double q) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto rank = static_cast<std::size_t>(std::max(1.0, std::ceil(q * static_cast<double>(values.size()))));
  return values[std::min(rank, values.size()) - 1];
}

double Rfc3550Jitter(const std::vector<double>& values) {
  double jitter = 0;
  for (std::size_t i = 1; i < values.size(); ++i) jitter += (std::abs(values[i] - values[i - 1]) - jitter) / 16;
  return jitter;
}

std::vector<std::string> ScenarioAddresses(const std::string& path, const std::vector<std::string>& except) {
  const ScenarioResult parsed = ReadScenario(path);
  if (!parsed.scenario) ADD_FAILURE() << parsed.error;
  std::vector<std::string> addresses;
  for (const Target& t : parsed.scenario ? parsed.scenario->targets : std::vector<Target>{}) {
    std::string a = t.address.ToString();
    if (std::find(except.begin(), except.end(), a) == except.end()) addresses.push_back(std::move(a));
  }
  return addresses;
}

std::string SampleErrors::Describe() const {
  double worst = 0;
  for (double e : ms) worst = std::max(worst, std::abs(e));
  char text[128];
  std::snprintf(text, sizeof text, "median %+.3f ms, p99 %+.3f ms, max |e| %.3f ms over %zu samples",
                Quantile(ms, 0.5), Quantile(ms, 0.99), worst, ms.size());
  return text;
}

SampleErrors PingErrors(const std::string& output, const std::vector<TruthProbe>& truth) {
  std::map<int, std::int64_t> truthBySeq;
  for (const TruthProbe& p : truth) {
    if (const auto rtt = p.RttWithin(1'000'000'000)) truthBySeq[p.request.seq] = *rtt;
  }
  SampleErrors errors;
  static const std::regex reply(R"(bytes from \S+: icmp_seq=(\d+) ttl=\d+ time=([\d.]+) ms$)");
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (!std::regex_search(line, m, reply)) continue;
    const auto t = truthBySeq.find(std::stoi(m[1]));
    if (t != truthBySeq.end()) errors.ms.push_back(std::stod(m[2]) - static_cast<double>(t->second) / 1e6);
  }
  return errors;
}

}  // namespace netsim
