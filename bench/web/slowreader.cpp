// One client that reads a reply slowly but steadily, for measuring whether a
// web server on 127.0.0.1 serves such a reader the whole reply: it sends one
// GET, then takes at most RATE bytes a second (in small reads every 50 ms),
// and prints the Content-Length promised, the bytes received, the time taken
// and how the connection ended.
//
//   web_slow_reader --port N [--target /quorvel.jpg] [--rate 131072]
//                   [--seconds 180] [--rcvbuf BYTES]
//
// --rcvbuf sets the client's receive buffer (default: the kernel's own,
// auto-tuned). Bounded: it gives up after --seconds whatever happens.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>

namespace {

using LocalClock = std::chrono::steady_clock;

}  // namespace

int main(int argc, char** argv) {
  int port = 0;
  std::string target = "/quorvel.jpg";
  double rate = 131072;
  double seconds = 180;
  int rcvbuf = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const char* value = argv[i + 1];
    if (option == "--port") port = std::atoi(value);
    else if (option == "--target") target = value;
    else if (option == "--rate") rate = std::atof(value);
    else if (option == "--seconds") seconds = std::atof(value);
    else if (option == "--rcvbuf") rcvbuf = std::atoi(value);
    else {
      std::cerr << "unknown option " << option << '\n';
      return 2;
    }
  }
  if (port < 1 || port > 65535 || rate <= 0 || seconds <= 0 || seconds > 3600) {
    std::cerr << "usage: web_slow_reader --port N [--target PATH] [--rate BYTES_PER_S] "
                 "[--seconds S] [--rcvbuf BYTES]\n";
    return 2;
  }

  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (rcvbuf > 0) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(static_cast<std::uint16_t>(port));
  server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
    std::perror("connect");
    return 1;
  }
  const std::string request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
    std::perror("send");
    return 1;
  }

  const auto begin = LocalClock::now();
  const auto end = begin + std::chrono::duration_cast<LocalClock::duration>(std::chrono::duration<double>(seconds));
  std::string head;
  std::size_t received = 0;
  long long promised = -1;
  const char* ending = "gave up at the time bound";
  static char buffer[1 << 16];
  for (bool open = true; open && LocalClock::now() < end;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const double elapsed = std::chrono::duration<double>(LocalClock::now() - begin).count();
    const auto allowed = static_cast<std::size_t>(rate * elapsed);
    while (open && received < allowed) {
      const std::size_t want = std::min(sizeof buffer, allowed - received);
      const ssize_t n = ::recv(fd, buffer, want, MSG_DONTWAIT);
      if (n > 0) {
        if (promised < 0) {
          head.append(buffer, std::min<std::size_t>(static_cast<std::size_t>(n), 4096));
          const std::size_t at = head.find("\r\nContent-Length: ");
          const std::size_t blank = head.find("\r\n\r\n");
          if (at != std::string::npos && blank != std::string::npos) {
            promised = std::atoll(head.c_str() + at + 18) + static_cast<long long>(blank + 4);
          }
        }
        received += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      if (n < 0 && errno == EINTR) continue;
      ending = n == 0 ? "closed by the server" : std::strerror(errno);
      open = false;
    }
  }
  ::close(fd);
  const double took = std::chrono::duration<double>(LocalClock::now() - begin).count();
  std::printf("reply of %lld bytes (head included): received %zu bytes (%s) in %.1f s at %.0f B/s "
              "allowed; %s\n",
              promised, received,
              promised >= 0 && static_cast<long long>(received) == promised ? "whole" : "cut short",
              took, rate, ending);
  return promised >= 0 && static_cast<long long>(received) == promised ? 0 : 1;
}
