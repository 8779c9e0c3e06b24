#pragma once

#include <string>
#include <system_error>

namespace quorvel {

// The message shown when the web server cannot start: the port, the
// system's reason and, where the reason has a usual cause, that cause:
//   "Unable to start the web server on port 80: Permission denied (ports
//    below 1024 need privileges)".
// `error` is the network layer's text, `code` the system's code behind it
// (empty where there is none). Plain function; any thread.
std::string WebServerStartFailure(int port, const std::string& error, std::error_code code);

}  // namespace quorvel
