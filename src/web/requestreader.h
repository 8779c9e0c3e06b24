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
    Failed,    // not a request within the limits: RefusalStatus() tells what to answer
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

  // After Failed, the status to refuse the request with: 400 for a request
  // that is not HTTP (a bad request line, field, length or chunk), for an
  // HTTP/1.1 request without a Host field, for one with several, and for a
  // target in neither origin nor absolute form; 413 for a declared or chunked
  // body over the body limit; 414 for a request line that alone passes the
  // head limit; 431 for a head over the limit once its request line is whole.
  // 0 when there is nothing to answer: the client closed before the end
  // (End), or memory ran out.
  int RefusalStatus() const { return refusal_; }
  // The request line and every field have been read, also when the request
  // was then refused (its Host or target, its declared body's size): Take()
  // may then be called after Failed too.
  bool HeadComplete() const { return headDone_; }

  // The method, target and Authorization header; call once, after Done or
  // after Failed with HeadComplete(). The target is in origin form: an
  // absolute-form target ("http://host/a.jpg") gives its path ("/a.jpg").
  WebRequest Take();

 private:
  struct Parser;
  Status Parse(std::string_view input);
  Status Refuse(int status);
  int CheckHead() const;

  std::unique_ptr<Parser> parser_;
  std::string unparsed_;
  std::size_t maxUnparsed_;
  std::size_t headerLimit_;
  std::size_t headBytes_ = 0;  // of the head, parsed so far
  bool headDone_ = false;
  int refusal_ = 0;
  Status status_ = Status::NeedMore;
};

}  // namespace quorvel
