#include "common/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <random>

namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

// A port that binds now, drawn at random below the kernel's range of
// ephemeral ports: a port from that range (what binding port 0 gives) may be
// taken as the source port of another test's connection before the server
// under test binds it.
int FreeLoopbackPort() {
  int low = 32768;
  if (std::FILE* range = std::fopen("/proc/sys/net/ipv4/ip_local_port_range", "r")) {
    if (std::fscanf(range, "%d", &low) != 1) low = 32768;
    std::fclose(range);
  }
  const int first = 10000;
  const int span = low - first > 1000 ? low - first : 1000;
  static std::mt19937 draw(static_cast<unsigned>(::getpid()) * 2654435761u ^
                           static_cast<unsigned>(std::random_device{}()));
  for (int attempt = 0; attempt < 200; ++attempt) {
    const int port = first + static_cast<int>(draw() % static_cast<unsigned>(span));
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = Loopback(port);
    const bool free = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    if (free) return port;
  }
  return 0;
}

LoopbackClient::LoopbackClient(int port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
  timeval limit{20, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  const sockaddr_in address = Loopback(port);
  connected_ = ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

LoopbackClient::~LoopbackClient() { ::close(fd_); }

void LoopbackClient::Send(const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;  // the server may close early; what it sent is checked by the caller
    sent += static_cast<std::size_t>(n);
  }
}

LoopbackClient::Received LoopbackClient::ReadAll() {
  Received received;
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n > 0) {
      received.bytes.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    received.closed = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
    return received;
  }
}

std::string RoundTrip(int port, const std::string& request) {
  LoopbackClient client(port);
  if (!client.connected()) return {};
  client.Send(request);
  return client.ReadAll().bytes;
}
