#include "web/hostaddress.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <climits>

namespace quorvel {

namespace {

std::vector<Ipv4> HostNameAddresses() {
  std::vector<Ipv4> addresses;
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return addresses;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(name, nullptr, &hints, &found) != 0) return addresses;
  for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
    if (a->ai_family != AF_INET || a->ai_addr == nullptr) continue;
    const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
    addresses.push_back(ntohl(in->sin_addr.s_addr));
  }
  ::freeaddrinfo(found);
  return addresses;
}

std::vector<Ipv4> InterfaceAddresses() {
  std::vector<Ipv4> addresses;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return addresses;
  for (const ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
    if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
    if ((i->ifa_flags & IFF_UP) == 0) continue;
    const auto* in = reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
    addresses.push_back(ntohl(in->sin_addr.s_addr));
  }
  ::freeifaddrs(list);
  return addresses;
}

}  // namespace

std::string FormatIpv4(Ipv4 address) {
  return std::to_string(address >> 24) + '.' + std::to_string((address >> 16) & 0xFFu) + '.' +
         std::to_string((address >> 8) & 0xFFu) + '.' + std::to_string(address & 0xFFu);
}

bool IsLoopback(Ipv4 address) { return (address >> 24) == 127; }

std::string ChooseShownAddress(const std::vector<Ipv4>& hostNameAddresses,
                               const std::vector<Ipv4>& interfaceAddresses) {
  if (!hostNameAddresses.empty() && !IsLoopback(hostNameAddresses.front())) {
    return FormatIpv4(hostNameAddresses.front());
  }
  for (const Ipv4 address : interfaceAddresses) {
    if (address != 0 && !IsLoopback(address)) return FormatIpv4(address);
  }
  return "127.0.0.1";
}

std::string ShownServerAddress() {
  return ChooseShownAddress(HostNameAddresses(), InterfaceAddresses());
}

}  // namespace quorvel
