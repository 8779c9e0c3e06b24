#include "web/requestreader.h"

#include <algorithm>
#include <cstdint>

#include <boost/asio/buffer.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>

namespace quorvel {

namespace http = boost::beast::http;

struct RequestReader::Parser {
  http::request_parser<http::buffer_body> parser;
};

RequestReader::RequestReader(std::size_t headerLimit, std::size_t bodyLimit)
    : parser_(std::make_unique<Parser>()),
      maxUnparsed_(MaxUnparsed(headerLimit)),
      headerLimit_(headerLimit) {
  parser_->parser.header_limit(static_cast<std::uint32_t>(headerLimit));
  parser_->parser.body_limit(bodyLimit);
}

RequestReader::~RequestReader() = default;

std::size_t RequestReader::Room() const { return maxUnparsed_ - unparsed_.size(); }

RequestReader::Status RequestReader::Feed(std::string_view bytes) {
  if (status_ == Status::Done || status_ == Status::Failed) return status_;
  try {
    if (unparsed_.empty()) return status_ = Parse(bytes);
    unparsed_.append(bytes);
    std::string held;
    held.swap(unparsed_);
    return status_ = Parse(held);
  } catch (const std::exception&) {
    return status_ = Status::Failed;  // out of memory for the fields
  }
}

RequestReader::Status RequestReader::End() {
  // A request never runs to the end of the connection: without a length or
  // chunks its body is empty, so it was complete before any end could come.
  if (status_ != Status::Done) status_ = Status::Failed;
  return status_;
}

// The same steps as Beast's own read of a head and then of the whole message:
// the head without eager parsing, so that "100 Continue" can go out before
// the body; the body into a scratch buffer that is refilled whenever the
// parser asks for one; a parse that needs more while the unparsed bytes fill
// the whole allowance fails as an overflow.
RequestReader::Status RequestReader::Parse(std::string_view input) {
  static thread_local char scratch[8192];
  auto& parser = parser_->parser;
  for (;;) {
    parser.eager(headDone_);
    if (headDone_) {
      parser.get().body().data = scratch;
      parser.get().body().size = sizeof scratch;
    }
    boost::beast::error_code ec;
    const bool headWasDone = headDone_;
    const std::size_t used =
        input.empty() ? 0 : parser.put(boost::asio::buffer(input.data(), input.size()), ec);
    if (input.empty() && !parser.is_done()) ec = http::error::need_more;
    input.remove_prefix(used);
    // Beast holds the head to its limit only while the request line is still
    // incomplete; once that line has come it counts the fields alone. The
    // limit is on the whole head, however the bytes arrive.
    if (!headWasDone) {
      headBytes_ += used;
      if (headBytes_ > headerLimit_) return Status::Failed;
    }
    if (ec == http::error::need_buffer) continue;
    if (ec == http::error::need_more) {
      if (input.size() >= maxUnparsed_) return Status::Failed;
      unparsed_.assign(input);
      return Status::NeedMore;
    }
    if (ec) return Status::Failed;
    if (parser.is_done()) return Status::Done;
    if (!headDone_ && parser.is_header_done()) {
      headDone_ = true;
      const auto expect = parser.get().find(http::field::expect);
      if (expect != parser.get().end() &&
          boost::beast::iequals(expect->value(), "100-continue")) {
        unparsed_.assign(input);
        return Status::Continue;
      }
    }
    if (input.empty()) {
      unparsed_.clear();
      return Status::NeedMore;
    }
    // Bytes left that the parser took nothing of, for no reason it gave:
    // never seen, but it must not spin here.
    if (used == 0 && headWasDone) return Status::Failed;
  }
}

WebRequest RequestReader::Take() {
  const auto& message = parser_->parser.get();
  WebRequest request;
  request.method = std::string(message.method_string());
  request.target = std::string(message.target());
  const auto authorization = message.find(http::field::authorization);
  if (authorization != message.end()) request.authorization = std::string(authorization->value());
  return request;
}

}  // namespace quorvel
