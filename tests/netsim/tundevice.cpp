#include "tundevice.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace netsim {

namespace {

// The kernel's in6_ifreq (linux/ipv6.h clashes with netinet/in.h).
struct In6Ifreq {
  in6_addr addr;
  std::uint32_t prefixLength;
  int ifindex;
};

std::string Why(const std::string& what) { return what + ": " + std::strerror(errno); }

class Socket {
 public:
  explicit Socket(int family) : fd_(::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  int fd() const { return fd_; }

 private:
  int fd_;
};

bool WriteSysctl(const std::string& name, const std::string& value, std::string& error) {
  std::ofstream out("/proc/sys/" + name);
  out << value << '\n';
  out.flush();
  if (!out) {
    error = "cannot set " + name + " in the namespace";
    return false;
  }
  return true;
}

bool Up(int fd, const char* name, std::string& error) {
  ifreq request{};
  std::strncpy(request.ifr_name, name, IFNAMSIZ - 1);
  if (::ioctl(fd, SIOCGIFFLAGS, &request) < 0) {
    error = Why(std::string("cannot read the flags of ") + name);
    return false;
  }
  request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP | IFF_RUNNING);
  if (::ioctl(fd, SIOCSIFFLAGS, &request) < 0) {
    error = Why(std::string("cannot bring up ") + name);
    return false;
  }
  return true;
}

sockaddr_in V4(const IpAddress& a) {
  sockaddr_in s{};
  s.sin_family = AF_INET;
  std::memcpy(&s.sin_addr, a.bytes.data(), 4);
  return s;
}

bool AddV4Address(int fd, const IpAddress& a, std::string& error) {
  ifreq request{};
  std::strncpy(request.ifr_name, kTunName, IFNAMSIZ - 1);
  sockaddr_in address = V4(a);
  std::memcpy(&request.ifr_addr, &address, sizeof address);
  if (::ioctl(fd, SIOCSIFADDR, &request) < 0) {
    error = Why("cannot give " + std::string(kTunName) + " the address " + a.ToString());
    return false;
  }
  sockaddr_in mask = V4(*IpAddress::Parse("255.255.255.255"));
  std::memcpy(&request.ifr_netmask, &mask, sizeof mask);
  if (::ioctl(fd, SIOCSIFNETMASK, &request) < 0) {
    error = Why("cannot set the netmask of " + a.ToString());
    return false;
  }
  return true;
}

bool AddV4Route(int fd, const char* prefix, std::string& error) {
  rtentry route{};
  sockaddr_in destination = V4(*IpAddress::Parse(prefix));
  sockaddr_in mask = V4(*IpAddress::Parse("255.255.255.0"));
  std::memcpy(&route.rt_dst, &destination, sizeof destination);
  std::memcpy(&route.rt_genmask, &mask, sizeof mask);
  route.rt_flags = RTF_UP;
  char device[IFNAMSIZ] = {};
  std::strncpy(device, kTunName, IFNAMSIZ - 1);
  route.rt_dev = device;
  if (::ioctl(fd, SIOCADDRT, &route) < 0) {
    error = Why(std::string("cannot route ") + prefix + "/24 into the TUN");
    return false;
  }
  return true;
}

}  // namespace

int MakeSimulatedNetwork(const IpAddress& hostV4, const IpAddress& hostV6, std::string& error) {
  if (::unshare(CLONE_NEWNET) < 0) {
    error = Why("cannot create a network namespace (unshare(CLONE_NEWNET) needs root or CAP_SYS_ADMIN)");
    return -1;
  }
  const int tun = ::open("/dev/net/tun", O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (tun < 0) {
    error = Why("cannot open /dev/net/tun");
    return -1;
  }
  auto fail = [&] {
    ::close(tun);
    return -1;
  };
  ifreq request{};
  std::strncpy(request.ifr_name, kTunName, IFNAMSIZ - 1);
  request.ifr_flags = IFF_TUN | IFF_NO_PI;
  if (::ioctl(tun, TUNSETIFF, &request) < 0) {
    error = Why("cannot create the TUN device (needs CAP_NET_ADMIN)");
    return fail();
  }
  const std::string conf = std::string("net/ipv6/conf/") + kTunName + "/";
  // Usable at once (no duplicate address detection) and quiet: no router
  // solicitations.
  if (!WriteSysctl(conf + "accept_dad", "0", error) || !WriteSysctl(conf + "router_solicitations", "0", error) ||
      !WriteSysctl(conf + "accept_ra", "0", error) ||
      !WriteSysctl("net/ipv4/ping_group_range", "0 2147483647", error)) {
    return fail();
  }
  Socket v4(AF_INET), v6(AF_INET6);
  if (v4.fd() < 0 || v6.fd() < 0) {
    error = Why("cannot open a configuration socket");
    return fail();
  }
  if (!Up(v4.fd(), "lo", error) || !Up(v4.fd(), kTunName, error) || !AddV4Address(v4.fd(), hostV4, error)) {
    return fail();
  }
  for (const char* prefix : {"192.0.2.0", "198.51.100.0", "203.0.113.0"}) {
    if (!AddV4Route(v4.fd(), prefix, error)) return fail();
  }
  const int index = static_cast<int>(::if_nametoindex(kTunName));
  In6Ifreq address{};
  std::memcpy(&address.addr, hostV6.bytes.data(), 16);
  address.prefixLength = 128;
  address.ifindex = index;
  if (::ioctl(v6.fd(), SIOCSIFADDR, &address) < 0) {
    error = Why("cannot give " + std::string(kTunName) + " the address " + hostV6.ToString());
    return fail();
  }
  in6_rtmsg route{};
  std::memcpy(&route.rtmsg_dst, IpAddress::Parse("2001:db8::")->bytes.data(), 16);
  route.rtmsg_dst_len = 32;
  route.rtmsg_ifindex = index;
  route.rtmsg_metric = 1;
  route.rtmsg_flags = RTF_UP;
  if (::ioctl(v6.fd(), SIOCADDRT, &route) < 0) {
    error = Why("cannot route 2001:db8::/32 into the TUN");
    return fail();
  }
  return tun;
}

}  // namespace netsim
