#pragma once

#include <memory>
#include <optional>
#include <string>

#include "icmp/socket.h"

namespace quorvel::icmp {

// Reverse lookups (address to name) on a thread of its own, one at a time,
// so that nobody who asks ever waits for the resolver: Request returns at
// once and Name tells what is known so far. The thread is detached and
// keeps the state it shares with this object alive, so that destroying the
// resolver never waits for a lookup that hangs on a slow name server.
//
// Thread: any.
class NameResolver {
 public:
  NameResolver();
  ~NameResolver();
  NameResolver(const NameResolver&) = delete;
  NameResolver& operator=(const NameResolver&) = delete;

  // Asks for the name of `address`, once; later requests are ignored.
  void Request(const Address& address);
  // None while the lookup is pending or was never asked; an empty name when
  // the address has none.
  std::optional<std::string> Name(const Address& address) const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace quorvel::icmp
