#include "icmp/nameresolver.h"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace quorvel::icmp {

struct NameResolver::State {
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<Address> queue;
  std::map<Address, std::optional<std::string>> names;  // none: pending
  bool closed = false;
};

namespace {

std::string LookUp(const Address& address) {
  sockaddr_storage s{};
  socklen_t length = 0;
  if (address.is_v4()) {
    auto& a = reinterpret_cast<sockaddr_in&>(s);
    a.sin_family = AF_INET;
    const auto b = address.to_v4().to_bytes();
    std::memcpy(&a.sin_addr, b.data(), 4);
    length = sizeof a;
  } else {
    auto& a = reinterpret_cast<sockaddr_in6&>(s);
    a.sin6_family = AF_INET6;
    const auto b = address.to_v6().to_bytes();
    std::memcpy(&a.sin6_addr, b.data(), 16);
    a.sin6_scope_id = static_cast<std::uint32_t>(address.to_v6().scope_id());
    length = sizeof a;
  }
  char host[NI_MAXHOST];
  if (::getnameinfo(reinterpret_cast<sockaddr*>(&s), length, host, sizeof host, nullptr, 0, NI_NAMEREQD) != 0) {
    return {};
  }
  return host;
}

}  // namespace

NameResolver::NameResolver() : state_(std::make_shared<State>()) {
  const auto work = [state = state_] {
    std::unique_lock<std::mutex> lock(state->mutex);
    for (;;) {
      state->wake.wait(lock, [&] { return state->closed || !state->queue.empty(); });
      if (state->closed) return;
      const Address address = state->queue.front();
      state->queue.pop_front();
      lock.unlock();
      std::string name = LookUp(address);
      lock.lock();
      state->names[address] = std::move(name);
    }
  };
  try {
    std::thread(work).detach();
  } catch (const std::system_error&) {
    // Without its thread the resolver finds no names; nothing else suffers.
    state_->closed = true;
  }
}

NameResolver::~NameResolver() {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->closed = true;
  }
  state_->wake.notify_all();
}

void NameResolver::Request(const Address& address) {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (!state_->names.emplace(address, std::nullopt).second) return;
    state_->queue.push_back(address);
  }
  state_->wake.notify_one();
}

std::optional<std::string> NameResolver::Name(const Address& address) const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  const auto found = state_->names.find(address);
  return found == state_->names.end() ? std::nullopt : found->second;
}

}  // namespace quorvel::icmp
