#include "web/requestreader.h"

#include <algorithm>
#include <cstdint>

#include <boost/asio/buffer.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>

#include "web/httpdecode.h"

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
    refusal_ = 0;
    return status_ = Status::Failed;  // out of memory for the fields
  }
}

RequestReader::Status RequestReader::Refuse(int status) {
  refusal_ = status;
  return Status::Failed;
}

// RFC 9112 3.2: Host once in every HTTP/1.1 request, at most once in others.
int RequestReader::CheckHead() const {
  const auto& message = parser_->parser.get();
  const std::size_t hosts = message.count(http::field::host);
  if (hosts > 1 || (hosts == 0 && message.version() >= 11)) return 400;
  if (!OriginFormTarget(std::string_view(message.target().data(), message.target().size()))) {
    return 400;
  }
  return 0;
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
    // Over the limit, a head whose request line is whole is refused with
    // 431, one whose line alone is too long with 414. Beast takes nothing of
    // a head until the whole of it has come (apart from a request line that
    // comes whole with the first bytes), so what is held starts at the
    // request line unless it took that line.
    const bool lineWhole =
        headBytes_ + used > 0 || input.substr(0, headerLimit_).find('\n') != std::string_view::npos;
    const int overLimit = lineWhole ? 431 : 414;
    input.remove_prefix(used);
    // Beast holds the head to its limit only while the request line is still
    // incomplete; once that line has come it counts the fields alone. The
    // limit is on the whole head, however the bytes arrive.
    if (!headWasDone) {
      headBytes_ += used;
      if (headBytes_ > headerLimit_) return Refuse(431);
    }
    if (ec == http::error::need_buffer) continue;
    if (ec == http::error::need_more) {
      if (input.size() >= maxUnparsed_) return Refuse(headWasDone ? 400 : overLimit);
      unparsed_.assign(input);
      return Status::NeedMore;
    }
    if (ec == http::error::header_limit) return Refuse(overLimit);
    if (ec == http::error::body_limit) {
      // A declared length is refused as soon as the fields are read.
      headDone_ = true;
      return Refuse(413);
    }
    if (ec) return Refuse(400);
    if (!headDone_ && parser.is_header_done()) {
      headDone_ = true;
      if (const int refusal = CheckHead()) return Refuse(refusal);
    }
    if (parser.is_done()) return Status::Done;
    if (!headWasDone && headDone_) {
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
  const std::string_view target(message.target().data(), message.target().size());
  request.target = OriginFormTarget(target).value_or(std::string(target));
  const auto authorization = message.find(http::field::authorization);
  if (authorization != message.end()) request.authorization = std::string(authorization->value());
  return request;
}

}  // namespace quorvel
