#pragma once

#include <string>

namespace quorvel {

// Who may fetch the web image, and the port the server listens on. One
// instance is held by the main window; the access dialog edits it.
struct WebAccessSettings {
  bool AuthRequired = false;
  std::string UserName;
  std::string Password;  // plain text in memory; scrambled only in the settings file
  int Port = 80;
};

// What one request is checked and served against: a copy taken when the
// request has arrived, so that later edits never race the request thread.
struct WebContext {
  WebAccessSettings access;
  std::string imageName;  // the text of edTemp, e.g. "quorvel.jpg"
};

}  // namespace quorvel
