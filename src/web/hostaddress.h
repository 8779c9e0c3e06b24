#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel {

// IPv4 addresses in host byte order: 192.168.1.20 is 0xC0A80114.
using Ipv4 = std::uint32_t;

std::string FormatIpv4(Ipv4 address);
bool IsLoopback(Ipv4 address);  // 127.0.0.0/8

// The address shown in the status text: the first address the host's name
// resolves to; where that is a loopback address (or the name resolves to no
// IPv4 address), the first non-loopback address of the host's interfaces;
// else 127.0.0.1.
std::string ChooseShownAddress(const std::vector<Ipv4>& hostNameAddresses,
                               const std::vector<Ipv4>& interfaceAddresses);

// The same, from this machine: the host name resolved by getaddrinfo (which
// may consult the resolver; /etc/hosts answers on an ordinary set-up) and the
// addresses of the interfaces that are up, from getifaddrs. Any thread.
std::string ShownServerAddress();

}  // namespace quorvel
