#include "truthlog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace netsim {

namespace {

void Field(std::string& line, const char* name, std::int64_t value) {
  line += ",\"";
  line += name;
  line += "\":";
  line += std::to_string(value);
}

// Only our own names and addresses get here: nothing needs escaping.
void Field(std::string& line, const char* name, const std::string& value) {
  line += ",\"";
  line += name;
  line += "\":\"";
  line += value;
  line += '"';
}

const char* TypeName(const Packet& p) {
  switch (p.kind) {
    case IcmpKind::EchoRequest: return "echo-request";
    case IcmpKind::EchoReply: return "echo-reply";
    case IcmpKind::TimeExceeded: return "time-exceeded";
    case IcmpKind::Unreachable: return "unreachable";
    case IcmpKind::Other: return p.icmpType >= 0 ? "icmp-other" : "other";
  }
  return "other";
}

}  // namespace

bool TruthLog::Open(const std::string& path, std::string& error) {
  if (path.empty()) return true;
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    error = "cannot write the truth file " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

TruthLog::~TruthLog() {
  Flush();
  if (fd_ >= 0) ::close(fd_);
}

void TruthLog::Received(const Packet& packet, const Decision& d, std::int64_t nowNs) {
  if (fd_ < 0) return;
  std::string& line = pending_;
  line += "{\"dir\":\"in\"";
  Field(line, "n", static_cast<std::int64_t>(d.number));
  Field(line, "ns", nowNs);
  Field(line, "src", packet.source.ToString());
  Field(line, "dst", packet.destination.ToString());
  Field(line, "proto", packet.protocol);
  Field(line, "type", TypeName(packet));
  if (packet.icmpType >= 0) {
    Field(line, "icmp_type", packet.icmpType);
    Field(line, "id", packet.identifier);
    Field(line, "seq", packet.sequence);
  }
  Field(line, "ttl", packet.ttl);
  Field(line, "size", static_cast<std::int64_t>(packet.raw.size()));
  Field(line, "fate", FateName(d.fate));
  if (!d.reason.empty()) Field(line, "reason", d.reason);
  if (d.router) Field(line, "router", d.router->ToString());
  if (d.delayNs >= 0) Field(line, "delay_ns", d.delayNs);
  if (!d.corruption.empty()) Field(line, "corruption", d.corruption);
  line += "}\n";
}

void TruthLog::Sent(const Emission& e, std::int64_t nowNs) {
  if (fd_ < 0) return;
  std::string& line = pending_;
  line += "{\"dir\":\"out\"";
  Field(line, "request", static_cast<std::int64_t>(e.request));
  Field(line, "ns", nowNs);
  Field(line, "src", e.source.ToString());
  Field(line, "dst", e.destination.ToString());
  Field(line, "type", e.type);
  Field(line, "id", e.identifier);
  Field(line, "seq", e.sequence);
  Field(line, "ttl", e.ttl);
  Field(line, "fate", FateName(e.fate));
  Field(line, "in_ns", e.requestNs);
  Field(line, "rtt_ns", nowNs - e.requestNs);
  Field(line, "due_ns", e.dueNs);
  Field(line, "copy", e.copy);
  if (!e.corruption.empty()) Field(line, "corruption", e.corruption);
  line += "}\n";
}

bool TruthLog::Flush() {
  if (fd_ < 0 || pending_.empty()) return true;
  std::size_t done = 0;
  while (done < pending_.size()) {
    const ssize_t n = ::write(fd_, pending_.data() + done, pending_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  pending_.clear();
  return true;
}

}  // namespace netsim
