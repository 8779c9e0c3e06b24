#include "web/webnames.h"

namespace quorvel {

namespace {

std::size_t ExtensionStart(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return name.size();
  const std::size_t separator = name.find_last_of("\\:");
  if (separator != std::string_view::npos && separator > dot) return name.size();
  return dot;
}

}  // namespace

std::string_view FileExtension(std::string_view name) { return name.substr(ExtensionStart(name)); }

std::string ReplaceExtension(std::string_view name, std::string_view extension) {
  std::string result(name.substr(0, ExtensionStart(name)));
  result += extension;
  return result;
}

std::string StatusTextForName(std::string_view statusText, std::string_view newName) {
  return ReplaceExtension(statusText, FileExtension(newName));
}

std::string ServerRunningText(std::string_view address, int port, std::string_view name) {
  std::string text = "SERVER RUNNING - http://";
  text += address;
  text += ':';
  text += std::to_string(port);
  text += '/';
  text += name;
  return text;
}

}  // namespace quorvel
