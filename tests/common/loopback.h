#pragma once

#include <string>

// Test clients on 127.0.0.1 only.

// A port on 127.0.0.1 that nobody listens on at the moment.
int FreeLoopbackPort();

// A plain blocking client on 127.0.0.1. Every read is bounded by a receive
// timeout of 20 s, so a server that never answers fails the test instead of
// hanging it.
class LoopbackClient {
 public:
  explicit LoopbackClient(int port);
  ~LoopbackClient();
  LoopbackClient(const LoopbackClient&) = delete;
  LoopbackClient& operator=(const LoopbackClient&) = delete;

  bool connected() const { return connected_; }
  int fd() const { return fd_; }

  // Sends all of `bytes`, or stops where the server closed.
  void Send(const std::string& bytes);

  struct Received {
    std::string bytes;
    bool closed = false;  // false: the safety timeout ran out first
  };
  // Everything until the server closes the connection.
  Received ReadAll();

 private:
  int fd_;
  bool connected_ = false;
};

// One request, and everything the server sent until it closed.
std::string RoundTrip(int port, const std::string& request);
