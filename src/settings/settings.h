#pragma once

#include <string>
#include <vector>

#include "graph/appearance.h"
#include "output/imagesettings.h"
#include "run/runsettings.h"
#include "web/webaccess.h"

namespace quorvel {

// The web server's switch and name, and who may fetch from it.
struct WebSettings {
  bool active = false;                 // cbWeb
  std::string imageName = "quorvel.jpg";  // edTemp
  WebAccessSettings access;            // edited in the access dialog
};

// The rest of the window's own switches.
struct WindowSettings {
  bool showAll = false;         // cbShowAll: the response box shown
  bool minimizeToTray = false;  // cbMinimize
  bool lower = false;           // carried from load to save unchanged
};

// Features beyond the window's original set. They are stored in a section
// of their own, [Quorvel], written only when one of them differs from its
// default or the section is already there: a user who turns none of them on
// gets a file with [Plotter] alone.
// The alert rules of the window (docs/alerts.md gives their text), each
// with its switch, and what is done when an alert is raised or cleared.
// Nothing happens while every rule is off.
struct AlertSettings {
  bool lostOn = false;
  std::string lost = "lost>=3";
  bool lossOn = false;
  std::string loss = "loss>=5%/100";
  bool latencyOn = false;
  std::string latency = "avg>=150ms/20";
  bool patternOn = false;
  std::string pattern = "pattern:>0%,*12*,>0%,*12*,>0%";
  bool notify = true;    // a desktop notification
  bool beep = false;     // the desktop's beep
  std::string logFile;   // a line appended per event; empty: none
  std::string command;   // run per event, its words split at blanks; empty: none

  // Any rule switched on.
  bool AnyOn() const { return lostOn || lossOn || latencyOn || patternOn; }
  friend bool operator==(const AlertSettings&, const AlertSettings&) = default;
};

struct ExtraSettings {
  bool metrics = false;       // serve the Prometheus metrics at /metrics
  bool distribution = false;  // the graph shows the distribution view
  bool preciseScale = false;  // the graph plots the precise reply times on a fitted range
  bool desktopColours = false;  // the graph follows the desktop's colours
  bool livePage = false;      // serve the live page beside the web image
  AlertSettings alerts;

  friend bool operator==(const ExtraSettings&, const ExtraSettings&) = default;
};

// Every setting of the window as one typed value: what the settings file
// holds, and what the window's controls show. The window keeps one, changed
// by its controls' handlers; everything that makes an image, runs a probe or
// answers a request reads it rather than the controls.
struct Settings {
  RunSettings run;
  GraphAppearance graph;
  ImageSettings image;
  WebSettings web;
  WindowSettings window;
  std::vector<std::string> history;  // the address history, in list order
  ExtraSettings extras;
};

}  // namespace quorvel
