#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include <optional>

class QWidget;

namespace quorvel {

// The modal boxes and dialogs the main window opens, and its beep. The window
// goes through this interface so that tests can answer in place of a person;
// Desktop() opens the desktop's own.
//
// Thread: the user-interface thread.
class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // A message box with the caption "Quorvel" and one OK button.
  virtual void Message(QWidget* parent, const QString& text);
  // The message of an error raised inside a handler.
  virtual void Error(QWidget* parent, const QString& text);
  // The colour dialog preset to `initial`; nothing when cancelled.
  virtual std::optional<QColor> PickColour(QWidget* parent, const QColor& initial);
  // The font dialog preset to `initial`; nothing when cancelled.
  virtual std::optional<QFont> PickFont(QWidget* parent, const QFont& initial);
  // The desktop's default beep.
  virtual void Beep();

  static Dialogs& Desktop();
};

}  // namespace quorvel
