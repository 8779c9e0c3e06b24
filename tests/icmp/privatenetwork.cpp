#include "icmp/privatenetwork.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include <grp.h>
#include <net/if.h>
#include <sched.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quorvel::icmp::testing {
namespace {

std::string Enter() {
  if (::unshare(CLONE_NEWNET) != 0) {
    return std::string("cannot enter a network namespace of its own: ") + std::strerror(errno);
  }
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ifreq request{};
  std::strcpy(request.ifr_name, "lo");
  const bool up = fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &request) == 0 &&
                  (request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP),
                   ::ioctl(fd, SIOCSIFFLAGS, &request) == 0);
  if (fd >= 0) ::close(fd);
  return up ? std::string() : std::string("cannot bring loopback up: ") + std::strerror(errno);
}

bool WriteSetting(const std::string& path, const std::string& value) {
  std::ofstream out("/proc/sys/net/" + path);
  out << value << '\n';
  out.close();
  return static_cast<bool>(out);
}

}  // namespace

const std::string& EnterPrivateNetwork() {
  static const std::string result = Enter();
  return result;
}

bool SetPingGroupRange(const std::string& range) { return WriteSetting("ipv4/ping_group_range", range); }

int RunProgram(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {
std::string AddLoopingRouteOnce() {
  const std::vector<std::vector<std::string>> commands = {
      {"ip", "link", "add", "qva", "type", "veth", "peer", "name", "qvb"},
      {"ip", "link", "set", "qvb", "address", "02:00:00:00:00:02"},
      {"ip", "addr", "add", "192.0.2.1/30", "dev", "qva"},
      {"ip", "addr", "add", "192.0.2.2/30", "dev", "qvb"},
      {"ip", "addr", "add", "2001:db8::1/64", "dev", "qva", "nodad"},
      {"ip", "addr", "add", "2001:db8::2/64", "dev", "qvb", "nodad"},
      {"ip", "link", "set", "qva", "up"},
      {"ip", "link", "set", "qvb", "up"},
      {"ip", "route", "add", "198.51.100.0/24", "via", "192.0.2.2", "dev", "qva"},
      {"ip", "-6", "route", "add", "2001:db8:1::/48", "dev", "qva"},
      {"ip", "-6", "neigh", "add", "2001:db8:1::1", "lladdr", "02:00:00:00:00:02", "dev", "qva"},
  };
  for (const auto& c : commands) {
    if (RunProgram(c) != 0) return "failed: " + c[0] + " " + c[1] + " " + c[2] + " " + c[3];
  }
  // The packets come back in with a local source address: accepted.
  bool ok = WriteSetting("ipv4/ip_forward", "1") && WriteSetting("ipv6/conf/all/forwarding", "1");
  for (const char* device : {"all", "default", "qva", "qvb"}) {
    ok = ok && WriteSetting(std::string("ipv4/conf/") + device + "/accept_local", "1") &&
         WriteSetting(std::string("ipv4/conf/") + device + "/rp_filter", "0");
  }
  return ok ? std::string() : std::string("cannot set the forwarding sysctls");
}
}  // namespace

const std::string& AddLoopingRoute() {
  static const std::string result = AddLoopingRouteOnce();
  return result;
}

int RunAsNobody(int (*body)()) {
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    constexpr uid_t kNobody = 65534;
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(100);
    ::_exit(body());
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace quorvel::icmp::testing
