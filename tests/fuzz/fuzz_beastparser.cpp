// The request parser as the web server sets it up: its RequestReader
// (Boost.Beast's request parser with an 8 KiB head limit and a 1 MiB body
// limit, the head first, "Expect: 100-continue" honoured, the body dropped).
// The bytes arrive in small pieces, as from a slow client, and at once.
//
// Input: one byte that chooses the sizes of the pieces, then the bytes the
// client sends. Properties: no memory error, no assertion, the head limit
// holds for the whole head, the same request (or a refusal) whether the
// bytes come in pieces or at once, a request's target in origin form, and a
// refusal's status one of those the server sends.
//
// Beast 1.74's parse_chunk_header asserts wrongly when a chunked body comes
// in small pieces (fixed in later releases); that one assertion is let
// through, every other one aborts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include <algorithm>

#include "fuzzsupport.h"
#include "web/requestreader.h"

#if defined(BOOST_ENABLE_ASSERT_HANDLER)
namespace boost {
void assertion_failed(char const* expr, char const* function, char const* file, long line) {
  if (std::strstr(function, "parse_chunk_header") != nullptr) return;
  std::fprintf(stderr, "%s:%ld: %s: assertion failed: %s\n", file, line, function, expr);
  std::abort();
}
void assertion_failed_msg(char const* expr, char const* msg, char const* function,
                          char const* file, long line) {
  if (std::strstr(function, "parse_chunk_header") != nullptr) return;
  std::fprintf(stderr, "%s:%ld: %s: assertion failed: %s (%s)\n", file, line, function, expr,
               msg);
  std::abort();
}
}  // namespace boost
#endif

namespace {

using quorvel::RequestReader;
using Status = RequestReader::Status;

// The web server's limits.
constexpr std::size_t kHeaderLimit = 8 * 1024;
constexpr std::size_t kBodyLimit = 1024 * 1024;

struct Parsed {
  Status status = Status::NeedMore;
  bool continued = false;  // "100 Continue" was asked for
  int refusal = 0;         // the status a refusal answers with
  quorvel::WebRequest request;
  bool SameRequest(const Parsed& other) const {
    return status == other.status && continued == other.continued &&
           request.method == other.request.method && request.target == other.request.target &&
           request.authorization == other.request.authorization;
  }
};

// The server's reader fed as the event loop feeds it: pieces of at most
// Room() bytes (smaller ones drawn from `seed` when `pieceLimit` is set), a
// wish to continue answered at once, the end of the stream after the last
// byte.
Parsed Read(std::string_view bytes, unsigned seed, std::size_t pieceLimit) {
  RequestReader reader(kHeaderLimit, kBodyLimit);
  Parsed result;
  unsigned state = seed * 2654435761u + 1;
  while (result.status == Status::NeedMore) {
    if (bytes.empty()) {
      result.status = reader.End();
      break;
    }
    state = state * 1103515245u + 12345u;
    std::size_t piece = pieceLimit == 0 ? bytes.size() : 1 + (state >> 16) % pieceLimit;
    piece = std::min({piece, bytes.size(), reader.Room()});
    FUZZ_CHECK(piece > 0);
    result.status = reader.Feed(bytes.substr(0, piece));
    bytes.remove_prefix(piece);
    while (result.status == Status::Continue) {
      result.continued = true;
      result.status = reader.Feed({});
    }
  }
  if (result.status == Status::Done) result.request = reader.Take();
  result.refusal = reader.RefusalStatus();
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned seed = data[0];
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

  const Parsed inPieces = Read(bytes, seed, 1 + seed % 24);
  const Parsed atOnce = Read(bytes, seed, 0);
  // However the bytes come, the same request or the same refusal.
  FUZZ_CHECK(inPieces.SameRequest(atOnce));

  if (atOnce.status == Status::Done) {
    const quorvel::WebRequest& r = atOnce.request;
    FUZZ_CHECK(!r.method.empty());
    FUZZ_CHECK(!r.target.empty() && r.target.front() == '/');
    FUZZ_CHECK(r.target.find_first_of(std::string_view(" \r\n\0", 4)) == std::string::npos);
    // The head, up to its blank line, is within the limit.
    const std::size_t end = bytes.find("\r\n\r\n");
    FUZZ_CHECK(end != std::string_view::npos && end + 4 <= kHeaderLimit);
  }
  // A refusal answers with one of the reader's statuses. Which one may
  // depend on how the bytes came: Beast finds some errors in a head that
  // came at once before it is whole, but waits for the whole head when it
  // came in pieces (a bad field in a head over the limit: 400 or 431).
  for (const int refusal : {inPieces.refusal, atOnce.refusal}) {
    FUZZ_CHECK(refusal == 0 || refusal == 400 || refusal == 413 || refusal == 414 || refusal == 431);
  }
  return 0;
}
