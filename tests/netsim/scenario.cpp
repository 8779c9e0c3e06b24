#include "scenario.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace netsim {

namespace {

using Json = nlohmann::json;

// A mistake in the scenario, with the place where it was found. It never
// leaves this file: ParseScenario turns it into its error text.
struct Mistake : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw Mistake(where + ": " + what);
}

void OnlyKeys(const Json& object, const std::string& where, std::initializer_list<const char*> keys) {
  if (!object.is_object()) Fail(where, "must be an object");
  for (const auto& [key, value] : object.items()) {
    bool known = false;
    for (const char* k : keys) known = known || key == k;
    if (!known) Fail(where, "unknown key \"" + key + "\"");
  }
}

double Number(const Json& value, const std::string& where, double low, double high) {
  if (!value.is_number()) Fail(where, "must be a number");
  const double v = value.get<double>();
  if (!std::isfinite(v) || v < low || v > high) {
    Fail(where, "must be from " + Json(low).dump() + " to " + Json(high).dump());
  }
  return v;
}

double Probability(const Json& value, const std::string& where) { return Number(value, where, 0, 1); }

constexpr double kMaxMs = 3'600'000;  // an hour

std::string Pattern(const Json& value, const std::string& where) {
  if (!value.is_string() || value.get<std::string>().empty()) Fail(where, "must be a non-empty string");
  const std::string s = value.get<std::string>();
  if (s.find_first_not_of(".x") != std::string::npos) Fail(where, "may hold only '.' and 'x'");
  return s;
}

std::pair<double, double> Pair(const Json& value, const std::string& where) {
  if (!value.is_array() || value.size() != 2) Fail(where, "must be a list of two numbers");
  return {Number(value[0], where + "[0]", 0, kMaxMs), Number(value[1], where + "[1]", 0, kMaxMs)};
}

DelayModel ReadDelay(const Json& value, const std::string& where) {
  DelayModel d;
  if (value.is_number()) {
    d.a = Number(value, where, 0, kMaxMs);
    return d;
  }
  if (!value.is_object() || value.size() != 1) {
    Fail(where, "must be a number or one of {\"fixed\"|\"uniform\"|\"normal\"|\"lognormal\"|\"list\": ...}");
  }
  const std::string kind = value.begin().key();
  const Json& v = value.begin().value();
  const std::string at = where + "." + kind;
  if (kind == "fixed") {
    d.a = Number(v, at, 0, kMaxMs);
  } else if (kind == "uniform") {
    d.kind = DelayModel::Kind::Uniform;
    std::tie(d.a, d.b) = Pair(v, at);
    if (d.b < d.a) Fail(at, "the high end is below the low end");
  } else if (kind == "normal") {
    d.kind = DelayModel::Kind::Normal;
    std::tie(d.a, d.b) = Pair(v, at);
  } else if (kind == "lognormal") {
    d.kind = DelayModel::Kind::LogNormal;
    std::tie(d.a, d.b) = Pair(v, at);
    if (d.a <= 0) Fail(at, "the median must be above 0");
    if (d.b > 5) Fail(at, "sigma must be at most 5");
  } else if (kind == "list") {
    d.kind = DelayModel::Kind::List;
    if (!v.is_array() || v.empty()) Fail(at, "must be a non-empty list of numbers");
    for (std::size_t i = 0; i < v.size(); ++i) d.list.push_back(Number(v[i], at + "[" + std::to_string(i) + "]", 0, kMaxMs));
  } else {
    Fail(where, "unknown delay model \"" + kind + "\"");
  }
  return d;
}

LossModel ReadLoss(const Json& value, const std::string& where) {
  LossModel l;
  if (!value.is_object() || value.size() != 1) {
    Fail(where, "must be one of {\"bernoulli\"|\"gilbert_elliott\"|\"pattern\": ...}");
  }
  const std::string kind = value.begin().key();
  const Json& v = value.begin().value();
  const std::string at = where + "." + kind;
  if (kind == "bernoulli") {
    l.kind = LossModel::Kind::Bernoulli;
    l.p = Probability(v, at);
  } else if (kind == "gilbert_elliott") {
    l.kind = LossModel::Kind::GilbertElliott;
    OnlyKeys(v, at, {"p", "r", "loss_good", "loss_bad"});
    if (!v.contains("p") || !v.contains("r")) Fail(at, "needs \"p\" and \"r\"");
    l.p = Probability(v["p"], at + ".p");
    l.r = Probability(v["r"], at + ".r");
    if (v.contains("loss_good")) l.lossGood = Probability(v["loss_good"], at + ".loss_good");
    if (v.contains("loss_bad")) l.lossBad = Probability(v["loss_bad"], at + ".loss_bad");
  } else if (kind == "pattern") {
    l.kind = LossModel::Kind::Pattern;
    l.pattern = Pattern(v, at);
  } else {
    Fail(where, "unknown loss model \"" + kind + "\"");
  }
  return l;
}

// {"p": ...} or {"pattern": ...}, beside the keys of its fate.
Chance ReadChance(const Json& value, const std::string& where, std::initializer_list<const char*> keys) {
  std::vector<const char*> all{"p", "pattern"};
  all.insert(all.end(), keys.begin(), keys.end());
  if (!value.is_object()) Fail(where, "must be an object");
  for (const auto& [key, v] : value.items()) {
    bool known = false;
    for (const char* k : all) known = known || key == k;
    if (!known) Fail(where, "unknown key \"" + key + "\"");
  }
  if (value.contains("p") == value.contains("pattern")) Fail(where, "needs either \"p\" or \"pattern\"");
  Chance c;
  if (value.contains("p")) c.p = Probability(value["p"], where + ".p");
  else c.pattern = Pattern(value["pattern"], where + ".pattern");
  return c;
}

Profile ReadProfile(const Json& value, const std::string& name, const std::string& where) {
  OnlyKeys(value, where,
           {"delay_ms", "loss", "silent", "unreachable", "late", "corrupt", "duplicate", "reorder"});
  Profile p;
  p.name = name;
  if (value.contains("delay_ms")) p.delay = ReadDelay(value["delay_ms"], where + ".delay_ms");
  if (value.contains("loss")) p.loss = ReadLoss(value["loss"], where + ".loss");
  if (value.contains("silent")) {
    if (!value["silent"].is_boolean()) Fail(where + ".silent", "must be true or false");
    p.silent = value["silent"].get<bool>();
  }
  if (value.contains("unreachable")) p.unreachable = ReadChance(value["unreachable"], where + ".unreachable", {});
  if (value.contains("late")) {
    const Json& v = value["late"];
    p.late = ReadChance(v, where + ".late", {"delay_ms"});
    if (!v.contains("delay_ms")) Fail(where + ".late", "needs \"delay_ms\"");
    p.lateDelay = ReadDelay(v["delay_ms"], where + ".late.delay_ms");
  }
  if (value.contains("corrupt")) {
    const Json& v = value["corrupt"];
    p.corrupt = ReadChance(v, where + ".corrupt", {"kinds"});
    if (v.contains("kinds")) {
      const std::string at = where + ".corrupt.kinds";
      if (!v["kinds"].is_array() || v["kinds"].empty()) Fail(at, "must be a non-empty list");
      p.corruptions.clear();
      for (const Json& k : v["kinds"]) {
        const std::string kind = k.is_string() ? k.get<std::string>() : "";
        if (kind == "payload") p.corruptions.push_back(Corruption::Payload);
        else if (kind == "identifier") p.corruptions.push_back(Corruption::Identifier);
        else if (kind == "checksum") p.corruptions.push_back(Corruption::Checksum);
        else Fail(at, "each must be \"payload\", \"identifier\" or \"checksum\"");
      }
    }
  }
  if (value.contains("duplicate")) {
    const Json& v = value["duplicate"];
    p.duplicate = ReadChance(v, where + ".duplicate", {"after_ms"});
    if (v.contains("after_ms")) p.duplicateAfter = ReadDelay(v["after_ms"], where + ".duplicate.after_ms");
  }
  if (value.contains("reorder")) {
    const Json& v = value["reorder"];
    p.reorder = ReadChance(v, where + ".reorder", {"extra_ms"});
    if (!v.contains("extra_ms")) Fail(where + ".reorder", "needs \"extra_ms\"");
    p.reorderExtra = ReadDelay(v["extra_ms"], where + ".reorder.extra_ms");
  }
  return p;
}

IpAddress ReadAddress(const Json& value, const std::string& where) {
  if (!value.is_string()) Fail(where, "must be an address");
  const std::optional<IpAddress> a = IpAddress::Parse(value.get<std::string>());
  if (!a) Fail(where, "\"" + value.get<std::string>() + "\" is not an IPv4 or IPv6 address");
  if (!a->InSimulatedPrefixes()) {
    Fail(where, a->ToString() +
                    " is outside the simulated prefixes (192.0.2.0/24, 198.51.100.0/24, "
                    "203.0.113.0/24, 2001:db8::/32)");
  }
  return *a;
}

class Reader {
 public:
  Scenario Read(const Json& root) {
    OnlyKeys(root, "scenario", {"host", "profiles", "routers", "targets"});
    s_.hostV4 = *IpAddress::Parse("192.0.2.254");
    s_.hostV6 = *IpAddress::Parse("2001:db8::fffe");
    if (root.contains("host")) {
      const Json& h = root["host"];
      OnlyKeys(h, "host", {"ipv4", "ipv6"});
      if (h.contains("ipv4")) s_.hostV4 = ReadAddress(h["ipv4"], "host.ipv4");
      if (h.contains("ipv6")) s_.hostV6 = ReadAddress(h["ipv6"], "host.ipv6");
      if (s_.hostV4.v6 || !s_.hostV6.v6) Fail("host", "ipv4 and ipv6 must be of their kind");
    }
    taken_ = {s_.hostV4, s_.hostV6};
    if (root.contains("profiles")) {
      if (!root["profiles"].is_object()) Fail("profiles", "must be an object of named profiles");
      for (const auto& [name, value] : root["profiles"].items()) {
        profileIndex_[name] = s_.profiles.size();
        s_.profiles.push_back(ReadProfile(value, name, "profiles." + name));
      }
    }
    if (root.contains("routers")) {
      if (!root["routers"].is_object()) Fail("routers", "must be an object of named routers");
      for (const auto& [name, value] : root["routers"].items()) ReadRouter(name, value);
    }
    if (!root.contains("targets") || !root["targets"].is_array() || root["targets"].empty()) {
      Fail("targets", "must be a non-empty list");
    }
    for (std::size_t i = 0; i < root["targets"].size(); ++i) {
      ReadTarget(root["targets"][i], "targets[" + std::to_string(i) + "]");
    }
    return std::move(s_);
  }

 private:
  void Claim(const IpAddress& a, const std::string& where) {
    if (!taken_.insert(a).second) Fail(where, a.ToString() + " is used twice (or is the host's own)");
  }

  void ReadRouter(const std::string& name, const Json& value) {
    const std::string where = "routers." + name;
    OnlyKeys(value, where, {"address", "delay_ms", "loss", "icmp_per_second", "icmp_burst"});
    Router r;
    r.name = name;
    if (!value.contains("address")) Fail(where, "needs \"address\"");
    r.address = ReadAddress(value["address"], where + ".address");
    Claim(r.address, where + ".address");
    if (value.contains("delay_ms")) r.delay = ReadDelay(value["delay_ms"], where + ".delay_ms");
    if (value.contains("loss")) r.loss = ReadLoss(value["loss"], where + ".loss");
    if (value.contains("icmp_per_second")) r.icmpPerSecond = Number(value["icmp_per_second"], where + ".icmp_per_second", 0, 1e6);
    if (value.contains("icmp_burst")) r.icmpBurst = Number(value["icmp_burst"], where + ".icmp_burst", 1, 1e6);
    routerIndex_[name] = s_.routers.size();
    s_.routers.push_back(std::move(r));
  }

  std::size_t ProfileOf(const Json& value, const std::string& where) {
    if (value.is_string()) {
      const auto found = profileIndex_.find(value.get<std::string>());
      if (found == profileIndex_.end()) Fail(where, "no profile named \"" + value.get<std::string>() + "\"");
      return found->second;
    }
    s_.profiles.push_back(ReadProfile(value, where, where));
    return s_.profiles.size() - 1;
  }

  std::vector<std::size_t> PathOf(const Json& value, const std::string& where) {
    if (!value.is_array()) Fail(where, "must be a list of router names");
    std::vector<std::size_t> path;
    for (const Json& name : value) {
      const auto found = name.is_string() ? routerIndex_.find(name.get<std::string>()) : routerIndex_.end();
      if (found == routerIndex_.end()) Fail(where, "no router named " + name.dump());
      path.push_back(found->second);
    }
    if (path.size() > 60) Fail(where, "at most 60 routers");
    return path;
  }

  void ReadTarget(const Json& value, const std::string& where) {
    OnlyKeys(value, where, {"address", "count", "profile", "path", "changes"});
    if (!value.contains("address")) Fail(where, "needs \"address\"");
    Target t;
    t.address = ReadAddress(value["address"], where + ".address");
    t.profile = value.contains("profile") ? ProfileOf(value["profile"], where + ".profile") : DefaultProfile();
    if (value.contains("path")) t.path = PathOf(value["path"], where + ".path");
    if (value.contains("changes")) {
      const Json& changes = value["changes"];
      if (!changes.is_array()) Fail(where + ".changes", "must be a list");
      std::int64_t previous = -1;
      for (std::size_t i = 0; i < changes.size(); ++i) {
        const std::string at = where + ".changes[" + std::to_string(i) + "]";
        const Json& c = changes[i];
        OnlyKeys(c, at, {"at_ms", "profile", "path"});
        if (!c.contains("at_ms")) Fail(at, "needs \"at_ms\"");
        Change change;
        change.atNs = std::llround(Number(c["at_ms"], at + ".at_ms", 0, 1e9) * 1e6);
        if (change.atNs < previous) Fail(at, "changes must come in time order");
        previous = change.atNs;
        if (c.contains("profile")) change.profile = ProfileOf(c["profile"], at + ".profile");
        if (c.contains("path")) change.path = PathOf(c["path"], at + ".path");
        if (!change.profile && !change.path) Fail(at, "needs \"profile\" or \"path\"");
        t.changes.push_back(std::move(change));
      }
    }
    double count = 1;
    if (value.contains("count")) count = Number(value["count"], where + ".count", 1, 65536);
    for (std::uint32_t n = 0; n < static_cast<std::uint32_t>(count); ++n) {
      Target copy = t;
      copy.address = t.address.Plus(n);
      if (!copy.address.InSimulatedPrefixes() || copy.address.v6 != t.address.v6 ||
          (!copy.address.v6 && copy.address.bytes[2] != t.address.bytes[2])) {
        Fail(where + ".count", "runs out of its prefix");
      }
      Claim(copy.address, where + ".address");
      s_.targets.push_back(std::move(copy));
    }
  }

  // A target without a profile answers at once, always.
  std::size_t DefaultProfile() {
    if (!defaultProfile_) {
      Profile p;
      p.name = "(default)";
      defaultProfile_ = s_.profiles.size();
      s_.profiles.push_back(p);
    }
    return *defaultProfile_;
  }

  Scenario s_;
  std::map<std::string, std::size_t> profileIndex_;
  std::map<std::string, std::size_t> routerIndex_;
  std::set<IpAddress> taken_;
  std::optional<std::size_t> defaultProfile_;
};

}  // namespace

ScenarioResult ParseScenario(const std::string& text) {
  ScenarioResult result;
  Json root;
  try {
    root = Json::parse(text);
  } catch (const Json::parse_error& e) {
    result.error = std::string("not JSON: ") + e.what();
    return result;
  }
  try {
    result.scenario = Reader().Read(root);
  } catch (const Mistake& e) {
    result.error = e.what();
  } catch (const Json::exception& e) {
    result.error = e.what();
  }
  return result;
}

ScenarioResult ReadScenario(const std::string& path) {
  std::ifstream in(path);
  if (!in) return {std::nullopt, "cannot read the scenario " + path + ": " + std::strerror(errno)};
  std::stringstream text;
  text << in.rdbuf();
  ScenarioResult result = ParseScenario(text.str());
  if (!result.scenario) result.error = path + ": " + result.error;
  return result;
}

}  // namespace netsim
