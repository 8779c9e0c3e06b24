// Hostile and normal clients against a web server on 127.0.0.1, for
// scripts/slowclients.sh: holds many idle and many slow ("one byte per
// second") connections open from one source address, meanwhile fetches the
// web image from a second source address, and prints the share of those
// fetches answered, their latency and the server's memory.
//
//   web_slow_clients --port N [--pid PID] [--idle 1000] [--slow 64]
//                    [--gets 300] [--rate 20] [--warmup 3] [--seconds 60]
//                    [--reconnect-ms 1000] [--target /quorvel.jpg]
//                    [--attack-from 127.0.0.1] [--get-from 127.0.0.2]
//
// An attacking connection that the server closes is opened again after
// --reconnect-ms, so the attacker keeps trying to hold all of them. A fetch
// counts as answered when a whole "200 OK" reply (as long as its
// Content-Length says) has arrived and the server has closed; one that takes
// longer than 5 s, or is closed or refused early, does not. Every address is
// on the loopback network; the run ends after --seconds whatever happens.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

using LocalClock = std::chrono::steady_clock;

struct Options {
  int port = 0;
  int pid = 0;
  int idle = 1000;
  int slow = 64;
  int gets = 300;
  double rate = 20;
  double warmup = 3;
  double seconds = 60;
  int reconnectMs = 1000;
  std::string target = "/quorvel.jpg";
  std::string attackFrom = "127.0.0.1";
  std::string getFrom = "127.0.0.2";
};

bool IsLoopback(const std::string& text) {
  in_addr address{};
  return ::inet_pton(AF_INET, text.c_str(), &address) == 1 && (ntohl(address.s_addr) >> 24) == 127;
}

enum class Kind { Idle, Slow, Get };

struct Sock {
  Kind kind;
  int fd = -1;
  bool connected = false;
  LocalClock::time_point start;
  LocalClock::time_point reopenAt;  // for attackers waiting to reconnect
  std::size_t sent = 0;        // slow: bytes of the endless request sent so far
  std::string received;        // get: the reply so far
};

// Reads a number from a /proc/PID/status line such as "VmRSS:   1234 kB".
long ProcStatus(int pid, const char* key) {
  if (pid <= 0) return -1;
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  const std::size_t length = std::strlen(key);
  while (std::getline(in, line)) {
    if (line.compare(0, length, key) == 0 && line.size() > length && line[length] == ':') {
      return std::atol(line.c_str() + length + 1);
    }
  }
  return -1;
}

double Mib(long kib) { return static_cast<double>(kib) / 1024.0; }

class Run {
 public:
  explicit Run(Options options) : o_(std::move(options)), epoll_(::epoll_create1(EPOLL_CLOEXEC)) {
    ::inet_pton(AF_INET, o_.attackFrom.c_str(), &attackFrom_);
    ::inet_pton(AF_INET, o_.getFrom.c_str(), &getFrom_);
    ::inet_pton(AF_INET, "127.0.0.1", &server_);
    request_ = "GET " + o_.target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    // An endless request head: a request line, then header lines that never end.
    slowBytes_ = "GET " + o_.target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  }
  ~Run() { ::close(epoll_); }

  int Main();

 private:
  bool Open(Sock& sock, in_addr from);
  void Close(Sock& sock);
  void OnEvent(Sock& sock, std::uint32_t events);
  void FinishGet(Sock& sock, bool answered);
  void Tick(LocalClock::time_point now);
  void SampleMemory();
  char SlowByte(std::size_t index) const {
    if (index < slowBytes_.size()) return slowBytes_[index];
    static constexpr char kLine[] = "X-Slow: aaaaaaaa\r\n";
    return kLine[(index - slowBytes_.size()) % (sizeof kLine - 1)];
  }

  Options o_;
  int epoll_;
  in_addr attackFrom_{}, getFrom_{}, server_{};
  std::string request_;
  std::string slowBytes_;
  std::vector<std::unique_ptr<Sock>> attackers_;
  std::deque<std::unique_ptr<Sock>> gets_;  // in flight
  std::vector<double> latencies_;           // ms, answered fetches
  int getsStarted_ = 0;
  int answered_ = 0;
  int failedEarly_ = 0;
  int timedOut_ = 0;
  long reconnects_ = 0;
  long connectErrors_ = 0;
  long rssBefore_ = -1;
  long rssPeak_ = -1;
  LocalClock::time_point nextSample_;
  LocalClock::time_point lastSlowSend_;
};

bool Run::Open(Sock& sock, in_addr from) {
  sock.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (sock.fd < 0) {
    ++connectErrors_;
    return false;
  }
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr = from;
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_port = htons(static_cast<std::uint16_t>(o_.port));
  remote.sin_addr = server_;
  const int one = 1;
  ::setsockopt(sock.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (::bind(sock.fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      (::connect(sock.fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0 &&
       errno != EINPROGRESS)) {
    ::close(sock.fd);
    sock.fd = -1;
    ++connectErrors_;
    return false;
  }
  sock.connected = false;
  sock.sent = 0;
  sock.received.clear();
  sock.start = LocalClock::now();
  epoll_event event{};
  event.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP;
  event.data.ptr = &sock;
  ::epoll_ctl(epoll_, EPOLL_CTL_ADD, sock.fd, &event);
  return true;
}

void Run::Close(Sock& sock) {
  if (sock.fd < 0) return;
  // Reset rather than linger, so that the client leaves nothing behind.
  const linger abort{1, 0};
  ::setsockopt(sock.fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  ::close(sock.fd);
  sock.fd = -1;
  sock.connected = false;
}

void Run::FinishGet(Sock& sock, bool answered) {
  if (answered) {
    ++answered_;
    latencies_.push_back(
        std::chrono::duration<double, std::milli>(LocalClock::now() - sock.start).count());
  } else {
    ++failedEarly_;
  }
  Close(sock);
}

void Run::OnEvent(Sock& sock, std::uint32_t events) {
  if (sock.fd < 0) return;
  if (!sock.connected && (events & EPOLLOUT) && !(events & (EPOLLERR | EPOLLHUP))) {
    sock.connected = true;
    // Only writable-ness while connecting is of interest.
    epoll_event event{};
    event.events = EPOLLIN | EPOLLRDHUP;
    event.data.ptr = &sock;
    ::epoll_ctl(epoll_, EPOLL_CTL_MOD, sock.fd, &event);
    if (sock.kind == Kind::Get) {
      if (::send(sock.fd, request_.data(), request_.size(), MSG_NOSIGNAL) !=
          static_cast<ssize_t>(request_.size())) {
        FinishGet(sock, false);
        return;
      }
    }
  }
  if (sock.kind == Kind::Get) {
    char buffer[65536];
    for (;;) {
      const ssize_t n = ::recv(sock.fd, buffer, sizeof buffer, 0);
      if (n > 0) {
        sock.received.append(buffer, static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        if (events & (EPOLLERR | EPOLLHUP)) FinishGet(sock, false);
        return;
      }
      if (n < 0 && errno == EINTR) continue;
      // Closed (or reset): answered if the whole 200 reply is here.
      const std::string& r = sock.received;
      const std::size_t end = r.find("\r\n\r\n");
      bool whole = false;
      if (r.rfind("HTTP/1.1 200 OK\r\n", 0) == 0 && end != std::string::npos) {
        const std::size_t length = r.find("\r\nContent-Length: ");
        if (length != std::string::npos && length < end) {
          const std::size_t size = std::strtoul(r.c_str() + length + 18, nullptr, 10);
          whole = r.size() == end + 4 + size;
        }
      }
      FinishGet(sock, n == 0 && whole);
      return;
    }
  }
  // An attacker: anything but quiet means the server closed it (or refused).
  if (events & (EPOLLIN | EPOLLRDHUP | EPOLLERR | EPOLLHUP)) {
    char buffer[4096];
    const ssize_t n = ::recv(sock.fd, buffer, sizeof buffer, 0);
    if (n > 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))) return;
    Close(sock);
    sock.reopenAt = LocalClock::now() + std::chrono::milliseconds(o_.reconnectMs);
  }
}

void Run::SampleMemory() {
  const long rss = ProcStatus(o_.pid, "VmRSS");
  rssPeak_ = std::max(rssPeak_, rss);
}

void Run::Tick(LocalClock::time_point now) {
  for (auto& sock : attackers_) {
    if (sock->fd < 0 && now >= sock->reopenAt) {
      if (Open(*sock, attackFrom_)) ++reconnects_;
      else sock->reopenAt = now + std::chrono::milliseconds(o_.reconnectMs);
    }
  }
  if (now - lastSlowSend_ >= std::chrono::seconds(1)) {
    lastSlowSend_ = now;
    for (auto& sock : attackers_) {
      if (sock->kind != Kind::Slow || sock->fd < 0 || !sock->connected) continue;
      const char byte = SlowByte(sock->sent);
      if (::send(sock->fd, &byte, 1, MSG_NOSIGNAL) == 1) ++sock->sent;
    }
  }
  // Fetches in flight for more than 5 s have failed.
  while (!gets_.empty() &&
         (gets_.front()->fd < 0 || now - gets_.front()->start > std::chrono::seconds(5))) {
    if (gets_.front()->fd >= 0) {
      ++timedOut_;
      Close(*gets_.front());
    }
    gets_.pop_front();
  }
  if (now >= nextSample_) {
    SampleMemory();
    nextSample_ = now + std::chrono::milliseconds(250);
  }
}

int Run::Main() {
  if (epoll_ < 0) return 1;
  const LocalClock::time_point begin = LocalClock::now();
  const LocalClock::time_point end = begin + std::chrono::duration_cast<LocalClock::duration>(
                                            std::chrono::duration<double>(o_.seconds));
  rssBefore_ = ProcStatus(o_.pid, "VmRSS");
  const long threadsBefore = ProcStatus(o_.pid, "Threads");

  for (int i = 0; i < o_.idle + o_.slow; ++i) {
    auto sock = std::make_unique<Sock>();
    sock->kind = i < o_.idle ? Kind::Idle : Kind::Slow;
    if (!Open(*sock, attackFrom_)) {
      sock->reopenAt = begin + std::chrono::milliseconds(o_.reconnectMs);
    }
    attackers_.push_back(std::move(sock));
  }
  lastSlowSend_ = begin - std::chrono::seconds(1);

  const auto getsBegin = begin + std::chrono::duration_cast<LocalClock::duration>(
                                     std::chrono::duration<double>(o_.warmup));
  const auto interval = std::chrono::duration_cast<LocalClock::duration>(
      std::chrono::duration<double>(1.0 / o_.rate));
  LocalClock::time_point nextGet = getsBegin;
  int attackersAtStart = -1;
  long threadsDuring = -1;
  std::vector<epoll_event> events(256);

  for (;;) {
    const LocalClock::time_point now = LocalClock::now();
    if (now >= end) break;
    if (getsStarted_ == o_.gets && gets_.empty()) break;
    Tick(now);
    if (getsStarted_ < o_.gets && now >= nextGet) {
      if (attackersAtStart < 0) {
        attackersAtStart = static_cast<int>(std::count_if(
            attackers_.begin(), attackers_.end(), [](const auto& s) { return s->connected; }));
        threadsDuring = ProcStatus(o_.pid, "Threads");
      }
      auto sock = std::make_unique<Sock>();
      sock->kind = Kind::Get;
      ++getsStarted_;
      if (Open(*sock, getFrom_)) gets_.push_back(std::move(sock));
      else ++failedEarly_;
      nextGet += interval;
    }
    const int n = ::epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), 5);
    for (int i = 0; i < n; ++i) {
      OnEvent(*static_cast<Sock*>(events[static_cast<std::size_t>(i)].data.ptr),
              events[static_cast<std::size_t>(i)].events);
    }
  }
  SampleMemory();
  const long hwm = ProcStatus(o_.pid, "VmHWM");
  const long threadsEnd = ProcStatus(o_.pid, "Threads");
  for (auto& sock : gets_) {
    if (sock->fd >= 0) {
      ++timedOut_;
      Close(*sock);
    }
  }
  const int stillOpen = static_cast<int>(std::count_if(
      attackers_.begin(), attackers_.end(), [](const auto& s) { return s->connected; }));
  for (auto& sock : attackers_) Close(*sock);

  std::sort(latencies_.begin(), latencies_.end());
  const auto percentile = [&](double p) {
    if (latencies_.empty()) return 0.0;
    const auto index =
        static_cast<std::size_t>(p * static_cast<double>(latencies_.size() - 1) + 0.5);
    return latencies_[std::min(index, latencies_.size() - 1)];
  };
  const double share = getsStarted_ ? 100.0 * answered_ / getsStarted_ : 0.0;
  std::printf("attack from %s: %d idle + %d slow wanted; connected when the fetches began: %d, "
              "at the end: %d; reopened %ld times (%ld connect errors)\n",
              o_.attackFrom.c_str(), o_.idle, o_.slow, attackersAtStart, stillOpen, reconnects_,
              connectErrors_);
  std::printf("fetches from %s: %d of %d answered (%.1f %%), %d refused or cut, %d over 5 s\n",
              o_.getFrom.c_str(), answered_, getsStarted_, share, failedEarly_, timedOut_);
  std::printf("latency of answered fetches: p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
              percentile(0.50), percentile(0.99), latencies_.empty() ? 0.0 : latencies_.back());
  if (o_.pid > 0) {
    std::printf("server RSS: %.1f MiB before, %.1f MiB peak sampled, %.1f MiB high-water mark; "
                "threads %ld before, %ld during, %ld at the end\n",
                Mib(rssBefore_), Mib(rssPeak_), Mib(hwm), threadsBefore, threadsDuring, threadsEnd);
  }
  std::printf("run time: %.1f s\n", std::chrono::duration<double>(LocalClock::now() - begin).count());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const char* value = argv[i + 1];
    if (option == "--port") o.port = std::atoi(value);
    else if (option == "--pid") o.pid = std::atoi(value);
    else if (option == "--idle") o.idle = std::atoi(value);
    else if (option == "--slow") o.slow = std::atoi(value);
    else if (option == "--gets") o.gets = std::atoi(value);
    else if (option == "--rate") o.rate = std::atof(value);
    else if (option == "--warmup") o.warmup = std::atof(value);
    else if (option == "--seconds") o.seconds = std::atof(value);
    else if (option == "--reconnect-ms") o.reconnectMs = std::atoi(value);
    else if (option == "--target") o.target = value;
    else if (option == "--attack-from") o.attackFrom = value;
    else if (option == "--get-from") o.getFrom = value;
    else {
      std::cerr << "unknown option " << option << '\n';
      return 2;
    }
  }
  // Bounded in count and time, and on the loopback network only.
  if (o.port < 1 || o.port > 65535 || !IsLoopback(o.attackFrom) || !IsLoopback(o.getFrom) ||
      o.idle < 0 || o.slow < 0 || o.idle + o.slow > 20000 || o.gets < 0 || o.gets > 100000 ||
      o.rate <= 0 || o.seconds <= 0 || o.seconds > 600 || o.reconnectMs < 0) {
    std::cerr << "web_slow_clients: bad options (port 1..65535, 127.x.y.z sources, "
                 "at most 20000 attackers, 100000 fetches, 600 s)\n";
    return 2;
  }
  return Run(std::move(o)).Main();
}
