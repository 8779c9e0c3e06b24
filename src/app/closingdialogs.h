#pragma once

#include <functional>
#include <ostream>

#include "app/dialogs.h"

class QSystemTrayIcon;

namespace quorvel {

// The main window's dialogs, which go quiet once the program has been asked
// to close from outside (a signal, the desktop's log-off): nobody is there
// to answer a box then, and a box would hold the close for ever. While
// `quiet` says no, every call goes to `dialogs` unchanged. Once it says yes,
// messages and errors are written to `errors` as "quorvel: <text>" lines
// (and shown by the notification-area icon where there is a notification
// area), and every question is answered as if cancelled.
//
// `dialogs` and `errors` must outlive this object; the tray icon too, once
// given. User-interface thread.
class ClosingDialogs : public Dialogs {
 public:
  ClosingDialogs(Dialogs& dialogs, std::function<bool()> quiet, std::ostream& errors);

  void SetTrayIcon(QSystemTrayIcon* tray) { m_tray = tray; }
  bool Quiet() const { return m_quiet && m_quiet(); }

  void Message(QWidget* parent, const QString& text) override;
  void Error(QWidget* parent, const QString& text) override;
  std::optional<QColor> PickColour(QWidget* parent, const QColor& initial) override;
  std::optional<QFont> PickFont(QWidget* parent, const QFont& initial) override;
  void Beep() override;
  bool Confirm(QWidget* parent, const QString& text, ConfirmButtons buttons,
               QPoint topLeft) override;
  std::optional<QString> SaveFileName(QWidget* parent, const QString& directory,
                                      const QString& fileName, const QString& filter,
                                      int filterIndex, const QString& defaultSuffix) override;
  std::optional<SaveChoice> SaveFileNameAndType(QWidget* parent, const QString& directory,
                                                const QString& fileName, const QString& filter,
                                                int filterIndex) override;
  std::optional<QString> ChooseFolder(QWidget* parent, const QString& title,
                                      const QString& start) override;
  bool Print(QWidget* parent, QPrinter& printer) override;
  void PrinterSetup(QWidget* parent, QPrinter& printer) override;

 private:
  void Report(const QString& text);

  Dialogs& m_dialogs;
  std::function<bool()> m_quiet;
  std::ostream& m_errors;
  QSystemTrayIcon* m_tray = nullptr;
};

}  // namespace quorvel
