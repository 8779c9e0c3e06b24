#include "app/commandline.h"

#include <string_view>

#ifndef QUORVEL_VERSION
#define QUORVEL_VERSION "1.2"
#endif

namespace quorvel {

namespace {

constexpr std::string_view kHelp =
    "Usage: quorvel [ADDRESS]\n"
    "       quorvel [--help | --version]\n"
    "\n"
    "Quorvel pings one address at a fixed interval and plots the round-trip\n"
    "times as a scrolling graph. Everything is set in its window; an ADDRESS\n"
    "given here goes into the address box and the plot starts at once.\n"
    "F1 in the window opens its help.\n"
    "\n"
    "Settings: quorvel.ini beside the program where its folder is writable;\n"
    "otherwise $XDG_CONFIG_HOME/quorvel/quorvel.ini (~/.config/quorvel/quorvel.ini).\n"
    "SIGTERM, SIGINT and SIGHUP close it as its close button does, saving the\n"
    "settings; no message box waits for an answer then.\n"
    "\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n";

}  // namespace

std::optional<std::string> InformationRequested(int argc, const char* const* argv) {
  for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
    const std::string_view argument(argv[i]);
    if (argument == "--help") return std::string(kHelp);
    if (argument == "--version") return "Quorvel " QUORVEL_VERSION "\n";
  }
  return std::nullopt;
}

std::optional<std::string> AddressArgument(int argc, const char* const* argv) {
  bool options = true;
  for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
    const std::string_view argument(argv[i]);
    if (options && argument == "--") {
      options = false;
      continue;
    }
    if (options && !argument.empty() && argument.front() == '-') continue;
    if (!argument.empty()) return std::string(argument);
  }
  return std::nullopt;
}

}  // namespace quorvel
