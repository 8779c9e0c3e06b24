#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "web/requesthandler.h"

namespace quorvel {

// Reads one HTTP request from the bytes of a connection as they arrive, with
// Boost.Beast's request parser and the server's limits: a head of at most
// `headerLimit` bytes, a body of at most `bodyLimit` bytes that is read and
// dropped, and at most headerLimit + 4096 bytes held unparsed at once. It
// does no I/O and keeps nothing but what it has not parsed yet, so that a
// connection that waits costs only its own few bytes.
//
// Thread: one instance on one thread at a time.
class RequestReader {
 public:
  enum class Status {
    NeedMore,  // feed more bytes (at most Room() at a time)
    Continue,  // the head is complete and the client waits for "100 Continue" before its
               // body: send it, then call Feed with no bytes to go on
    Done,      // Take() gives the request; bytes after it are ignored
    Failed,    // not a request within the limits: close without a reply
  };

  RequestReader(std::size_t headerLimit, std::size_t bodyLimit);
  ~RequestReader();
  RequestReader(const RequestReader&) = delete;
  RequestReader& operator=(const RequestReader&) = delete;

  // Parses `bytes`, which follow those fed before; `bytes` holds at most
  // Room() bytes. Once Done or Failed, further calls change nothing.
  Status Feed(std::string_view bytes);
  // The client closed its side before the request was complete.
  Status End();
  // How many bytes the next Feed may take; before the first, that is
  // MaxUnparsed(headerLimit).
  std::size_t Room() const;
  static std::size_t MaxUnparsed(std::size_t headerLimit) { return headerLimit + 4096; }

  // The method, target and Authorization header; call once, after Done.
  WebRequest Take();

 private:
  struct Parser;
  Status Parse(std::string_view input);

  std::unique_ptr<Parser> parser_;
  std::string unparsed_;
  std::size_t maxUnparsed_;
  std::size_t headerLimit_;
  std::size_t headBytes_ = 0;  // of the head, parsed so far
  bool headDone_ = false;
  Status status_ = Status::NeedMore;
};

}  // namespace quorvel
