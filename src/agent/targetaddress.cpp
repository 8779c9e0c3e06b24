#include "agent/targetaddress.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

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

std::vector<std::optional<icmp::Address>> ResolveTargets(const std::vector<std::string>& targets, int family,
                                                         const TargetResolver& resolve,
                                                         std::chrono::milliseconds bound,
                                                         const std::function<bool()>& stop) {
  constexpr std::size_t kThreads = 32;
  // Shared with the threads, which may outlive this call.
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::optional<icmp::Address>> found;
    std::size_t running = 0;
  };
  auto state = std::make_shared<State>();
  state->found.resize(targets.size());
  std::vector<std::size_t> names;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    boost::system::error_code error;
    boost::asio::ip::make_address(targets[i], error);
    if (error) {
      names.push_back(i);
    } else {
      state->found[i] = resolve(targets[i], family);
    }
  }
  const auto deadline = std::chrono::steady_clock::now() + bound;
  std::size_t next = 0;
  std::unique_lock lock(state->mutex);
  while (next < names.size() || state->running > 0) {
    while (next < names.size() && state->running < kThreads) {
      const std::size_t i = names[next++];
      ++state->running;
      try {
        std::thread([state, i, name = targets[i], family, resolve] {
          std::optional<icmp::Address> address = resolve(name, family);
          std::lock_guard done(state->mutex);
          state->found[i] = std::move(address);
          --state->running;
          state->changed.notify_all();
        }).detach();
      } catch (const std::system_error&) {
        --state->running;  // no thread to spare: this name goes unresolved
      }
    }
    if ((stop && stop()) || std::chrono::steady_clock::now() >= deadline) break;
    state->changed.wait_for(lock, std::chrono::milliseconds(100));
  }
  // What a late thread finds from now on is no longer looked at.
  return state->found;
}

}  // namespace quorvel
