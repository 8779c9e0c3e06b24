#include "agent/targetaddress.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

namespace quorvel {

std::optional<icmp::Address> ResolveTarget(const std::string& target, int family) {
  const auto fits = [family](const icmp::Address& a) {
    return family == 0 || (family == 4) == (a.is_v4() || (a.is_v6() && a.to_v6().is_v4_mapped()));
  };
  boost::system::error_code error;
  const icmp::Address literal = boost::asio::ip::make_address(target, error);
  if (!error) return fits(literal) ? std::optional<icmp::Address>(literal) : std::nullopt;

  addrinfo hints{};
  hints.ai_family = family == 4 ? AF_INET : family == 6 ? AF_INET6 : AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;  // one entry per address, not one per socket type
  addrinfo* found = nullptr;
  if (::getaddrinfo(target.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return std::nullopt;
  std::optional<icmp::Address> address;
  for (const addrinfo* a = found; a != nullptr && !address; a = a->ai_next) {
    if (a->ai_family == AF_INET) {
      sockaddr_in in{};
      std::memcpy(&in, a->ai_addr, sizeof in);
      boost::asio::ip::address_v4::bytes_type bytes;
      std::memcpy(bytes.data(), &in.sin_addr, bytes.size());
      address = boost::asio::ip::address_v4(bytes);
    } else if (a->ai_family == AF_INET6) {
      sockaddr_in6 in{};
      std::memcpy(&in, a->ai_addr, sizeof in);
      boost::asio::ip::address_v6::bytes_type bytes;
      std::memcpy(bytes.data(), &in.sin6_addr, bytes.size());
      address = boost::asio::ip::address_v6(bytes, in.sin6_scope_id);
    }
  }
  ::freeaddrinfo(found);
  return address;
}

}  // namespace quorvel
