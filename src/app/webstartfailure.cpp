#include "app/webstartfailure.h"

namespace quorvel {

std::string WebServerStartFailure(int port, const std::string& error, std::error_code code) {
  std::string message = "Unable to start the web server on port " + std::to_string(port);
  if (!error.empty()) message += ": " + error;
  if (code == std::errc::permission_denied && port >= 0 && port < 1024) {
    message += " (ports below 1024 need privileges)";
  }
  return message;
}

}  // namespace quorvel
