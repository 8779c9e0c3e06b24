// The request handler and the reply head it leads to, for any request and
// any access settings.
//
// Input: fields separated by 0x1E:
//   flags (first byte: 1 authentication on, 2 the render fails, 4 the server
//   is stopping, 8 a document is served at "/doc"; 16 the request carries
//   an Authorization header) 0x1E method 0x1E target 0x1E Authorization
//   value 0x1E image name 0x1E user name 0x1E password.
#include <cstdint>
#include <memory>
#include <string>

#include "fuzzsupport.h"
#include "web/httpdecode.h"
#include "web/mimetypes.h"
#include "web/requesthandler.h"

using namespace quorvel;

namespace {

constexpr std::string_view kNotFoundStart =
    "<html><head><title>Error</title></head><body><h1>404 - Not Found</h1>"
    "<p><b>Quorvel</b> is unable to locate \"";
constexpr std::string_view kNotFoundEnd = "\"</body></html>";
constexpr std::string_view kAuthFailedPage =
    "<html><head><title>Error</title></head><body><h1>Authentication failed</h1></body></html>";

// The path back from the 404 page's escaped text.
std::string Unescape(std::string_view text) {
  static constexpr std::pair<std::string_view, char> kEntities[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#39;", '\''}};
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    bool replaced = false;
    for (const auto& [entity, c] : kEntities) {
      if (text.substr(i, entity.size()) == entity) {
        out += c;
        i += entity.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

// The head is the status line and header lines, each ended by CR LF and
// free of any other CR or LF, then one empty line.
void CheckHead(const std::string& head, const WebReply& reply) {
  FUZZ_CHECK(head.starts_with("HTTP/1.1 " + std::to_string(reply.status) + " "));
  FUZZ_CHECK(head.ends_with("\r\n\r\n"));
  const std::string_view lines(head.data(), head.size() - 2);
  std::size_t count = 0;
  for (std::size_t at = 0; at < lines.size();) {
    const std::size_t end = lines.find("\r\n", at);
    FUZZ_CHECK(end != std::string_view::npos);
    const std::string_view line = lines.substr(at, end - at);
    FUZZ_CHECK(!line.empty());
    FUZZ_CHECK(line.find_first_of("\r\n") == std::string_view::npos);
    at = end + 2;
    ++count;
  }
  FUZZ_CHECK(count == (reply.wwwAuthenticate.empty() ? 4u : 5u));
  FUZZ_CHECK(fuzzsupport::Contains(head, "\r\nConnection: close\r\n"));
  FUZZ_CHECK(fuzzsupport::Contains(
      head, "\r\nContent-Length: " + std::to_string(reply.Body().size()) + "\r\n"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto f = fuzzsupport::Fields(data, size, 7);
  const unsigned flags = f[0].empty() ? 0u : static_cast<unsigned char>(f[0][0]);

  WebRequest request;
  request.method = std::string(f[1]);
  request.target = std::string(f[2]);
  if (flags & 16) request.authorization = std::string(f[3]);
  WebContext context;
  context.access.AuthRequired = (flags & 1) != 0;
  context.imageName = std::string(f[4]);
  context.access.UserName = std::string(f[5]);
  context.access.Password = std::string(f[6]);

  int renders = 0;
  const auto image = std::make_shared<const std::string>("\xFF\xD8 image bytes");
  const RenderCallback render = [&] {
    ++renders;
    if (flags & 4) return RenderOutcome::Stopped();
    if (flags & 2) return RenderOutcome::Failed("render <failed>");
    return RenderOutcome::Ok(image);
  };
  int lookups = 0;
  const DocumentCallback documents = [&](const std::string& path, const WebContext&) {
    ++lookups;
    std::optional<WebDocument> document;
    if ((flags & 8) && path == "/doc") document = WebDocument{"text/plain", "a document"};
    return document;
  };

  const WebReply reply = HandleRequest(request, context, render, documents);
  FUZZ_CHECK(renders <= 1 && lookups <= 1);

  const bool known = request.method == "GET" || request.method == "HEAD" || request.method == "POST";
  const Authorization authorization = ParseAuthorization(request.authorization);
  const std::string path = DecodeDocumentPath(request.target);
  if (!known || authorization.scheme == AuthorizationScheme::Other) {
    FUZZ_CHECK(reply.closeWithoutReply && renders == 0);
    return 0;
  }
  const bool admitted = !context.access.AuthRequired ||
                        (authorization.readable && authorization.userName == context.access.UserName &&
                         authorization.password == context.access.Password);
  if (!admitted) {
    FUZZ_CHECK(reply.status == 401 && renders == 0 && lookups == 0);
    FUZZ_CHECK(reply.text == kAuthFailedPage);
    FUZZ_CHECK(reply.wwwAuthenticate == "Basic realm=\"Quorvel Web Service\"");
  } else if (path == "/doc" && (flags & 8) && path != "/" + context.imageName) {
    FUZZ_CHECK(reply.status == 200 && renders == 0 && reply.text == "a document");
  } else if (flags & 4) {
    FUZZ_CHECK(reply.closeWithoutReply);
    return 0;
  } else if (flags & 2) {
    FUZZ_CHECK(reply.status == 500 && reply.text == "render <failed>");
  } else if (path == "/" + context.imageName) {
    FUZZ_CHECK(reply.status == 200 && reply.image == image);
    FUZZ_CHECK(reply.contentType == GetMIMEType(path));
  } else {
    // The 404 page: the fixed text around the path, which is escaped so that
    // it can open no markup and cannot leave its quotes.
    FUZZ_CHECK(reply.status == 404 && reply.contentType == "text/html");
    const std::string& page = reply.text;
    FUZZ_CHECK(page.starts_with(kNotFoundStart) && page.ends_with(kNotFoundEnd));
    const std::string_view shown = std::string_view(page).substr(
        kNotFoundStart.size(), page.size() - kNotFoundStart.size() - kNotFoundEnd.size());
    FUZZ_CHECK(shown.find_first_of("<>\"'") == std::string_view::npos);
    FUZZ_CHECK(Unescape(shown) == path);
  }
  FUZZ_CHECK(!reply.closeWithoutReply);
  FUZZ_CHECK(reply.headOnly == (request.method == "HEAD"));
  CheckHead(FormatReplyHead(reply), reply);
  return 0;
}
