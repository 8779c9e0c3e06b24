#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "alert/alertengine.h"
#include "run/sessionalerts.h"
#include "settings/settings.h"

class QLabel;
class QWidget;

namespace quorvel {

class AlertCommand;
class AlertNotifier;
class Dialogs;
class FileAppender;

// The alert rules of the settings, each with its switch, in the order the
// window checks them.
std::vector<SwitchedRule> SwitchedRules(const AlertSettings& settings);

// What the main window does when the plot session raises or clears alerts:
// the actions the settings switch on (a desktop notification, the beep, a
// line in the alert log, the alert command with the event in its
// environment), and the active alerts in the status panel and the caption.
//
// A failure of the log or the command is reported through `report` once,
// and again only after a success. The command runs on a thread of its own
// (AlertCommand); its failures reach `report` on the window's thread.
//
// `window`, `panel`, `dialogs`, `files` and `notifier` must outlive it.
// User-interface thread.
class WindowAlerts {
 public:
  using Report = std::function<void(const QString& message)>;

  WindowAlerts(QWidget* window, QLabel* panel, Dialogs& dialogs, FileAppender& files,
               AlertNotifier& notifier, Report report);
  ~WindowAlerts();

  // The actions to take from now on.
  void Configure(const AlertSettings& settings);
  void Changed(const std::vector<AlertEvent>& events, const std::vector<ActiveAlert>& active);
  bool Active() const { return m_active; }

 private:
  void Log(const AlertEvent& event);
  void ShowActive(const std::vector<ActiveAlert>& active);

  QWidget* m_window;
  QLabel* m_panel;
  Dialogs& m_dialogs;
  FileAppender& m_files;
  AlertNotifier& m_notifier;
  Report m_report;
  AlertSettings m_settings;
  std::unique_ptr<AlertCommand> m_command;
  bool m_logFailed = false;
  bool m_active = false;
};

}  // namespace quorvel
