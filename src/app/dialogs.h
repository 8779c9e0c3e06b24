#pragma once

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QString>

#include <optional>

class QPrinter;
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

  enum class ConfirmButtons { YesNo, YesCancel };
  // A confirmation box: caption "Confirm", a question icon, its top-left
  // corner at `topLeft` (desktop coordinates). True when Yes is chosen.
  virtual bool Confirm(QWidget* parent, const QString& text, ConfirmButtons buttons,
                       QPoint topLeft);
  // A save dialog. `filter` is written "Description|pattern|Description|
  // pattern"; `filterIndex` (from 1) selects an entry, one beyond the list
  // leaves the choice to the dialog. `defaultSuffix` (".txt") is added to a
  // name typed without one. The chosen full file name, nothing on Cancel.
  virtual std::optional<QString> SaveFileName(QWidget* parent, const QString& directory,
                                              const QString& fileName, const QString& filter,
                                              int filterIndex, const QString& defaultSuffix);
  // The same save dialog, also telling which file type (filter entry, from
  // 1) was chosen. No default suffix: the caller adds the chosen type's.
  struct SaveChoice {
    QString fileName;
    int filterIndex = 1;
  };
  virtual std::optional<SaveChoice> SaveFileNameAndType(QWidget* parent, const QString& directory,
                                                        const QString& fileName,
                                                        const QString& filter, int filterIndex);
  // The folder picker, titled `title`, starting at `start`. The chosen
  // folder, nothing on Cancel.
  virtual std::optional<QString> ChooseFolder(QWidget* parent, const QString& title,
                                              const QString& start);

  static Dialogs& Desktop();

  // The print dialog for `printer`: true when the user confirms. The
  // choices made (printer, copies, paper, orientation) stay in `printer`.
  virtual bool Print(QWidget* parent, QPrinter& printer);
  // The printer set-up dialog for `printer`; its choices stay in `printer`.
  virtual void PrinterSetup(QWidget* parent, QPrinter& printer);
};

}  // namespace quorvel
