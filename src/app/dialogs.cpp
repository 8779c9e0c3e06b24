#include "app/dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QStringList>

#include "app/fontchoice.h"

namespace quorvel {

void Dialogs::Message(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Quorvel"), text, QMessageBox::Ok, parent);
  box.exec();
}

void Dialogs::Error(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Quorvel"), text, QMessageBox::Ok, parent);
  box.exec();
}

std::optional<QColor> Dialogs::PickColour(QWidget* parent, const QColor& initial) {
  const QColor colour = QColorDialog::getColor(initial, parent);
  if (!colour.isValid()) return std::nullopt;
  return colour;
}

std::optional<QFont> Dialogs::PickFont(QWidget* parent, const QFont& initial) {
  bool ok = false;
  // A family that is not installed is shown as the one drawn in its place.
  const QFont font = QFontDialog::getFont(&ok, FontForDialog(initial), parent);
  if (!ok) return std::nullopt;
  return FontFromDialog(initial, font);
}

void Dialogs::Beep() { QApplication::beep(); }

bool Dialogs::Confirm(QWidget* parent, const QString& text, ConfirmButtons buttons,
                      QPoint topLeft) {
  const QMessageBox::StandardButton no =
      buttons == ConfirmButtons::YesNo ? QMessageBox::No : QMessageBox::Cancel;
  QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text, QMessageBox::Yes | no,
                  parent);
  box.setDefaultButton(QMessageBox::Yes);
  box.move(topLeft);
  return box.exec() == QMessageBox::Yes;
}

namespace {

// "Text Files (*.txt)|*.txt|All Files (*.*)|*.*" as the file dialog lists
// it: one "Description (patterns)" entry per pair.
QStringList DialogFilters(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString pattern = parts[i + 1];
    pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
    if (pattern == QLatin1String("*.*")) pattern = QStringLiteral("*");
    QString description = parts[i];
    const qsizetype bracket = description.lastIndexOf(QLatin1Char('('));
    if (bracket > 0) description = description.left(bracket).trimmed();
    entries << description + QStringLiteral(" (") + pattern + QLatin1Char(')');
  }
  return entries;
}

// The save dialog both save questions open: the chosen name and the number
// (from 1) of the file type chosen, nothing on Cancel.
std::optional<Dialogs::SaveChoice> RunSaveDialog(QWidget* parent, const QString& directory,
                                                 const QString& fileName, const QString& filter,
                                                 int filterIndex, QString defaultSuffix) {
  QFileDialog dialog(parent);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDirectory(directory);
  if (!fileName.isEmpty()) dialog.selectFile(fileName);
  const QStringList filters = DialogFilters(filter);
  dialog.setNameFilters(filters);
  if (filterIndex >= 1 && filterIndex <= filters.size()) dialog.selectNameFilter(filters[filterIndex - 1]);
  if (defaultSuffix.startsWith(QLatin1Char('.'))) defaultSuffix.remove(0, 1);
  dialog.setDefaultSuffix(defaultSuffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return Dialogs::SaveChoice{dialog.selectedFiles().first(),
                             static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1};
}

}  // namespace

std::optional<QString> Dialogs::SaveFileName(QWidget* parent, const QString& directory,
                                             const QString& fileName, const QString& filter,
                                             int filterIndex, const QString& defaultSuffix) {
  const std::optional<SaveChoice> choice =
      RunSaveDialog(parent, directory, fileName, filter, filterIndex, defaultSuffix);
  if (!choice) return std::nullopt;
  return choice->fileName;
}

std::optional<Dialogs::SaveChoice> Dialogs::SaveFileNameAndType(QWidget* parent,
                                                                const QString& directory,
                                                                const QString& fileName,
                                                                const QString& filter,
                                                                int filterIndex) {
  return RunSaveDialog(parent, directory, fileName, filter, filterIndex, QString());
}

std::optional<QString> Dialogs::ChooseFolder(QWidget* parent, const QString& title,
                                             const QString& start) {
  const QString folder = QFileDialog::getExistingDirectory(parent, title, start);
  if (folder.isEmpty()) return std::nullopt;
  return folder;
}

Dialogs& Dialogs::Desktop() {
  static Dialogs desktop;
  return desktop;
}

bool Dialogs::Print(QWidget* parent, QPrinter& printer) {
  QPrintDialog dialog(&printer, parent);
  return dialog.exec() == QDialog::Accepted;
}

void Dialogs::PrinterSetup(QWidget* parent, QPrinter& printer) {
  QPageSetupDialog dialog(&printer, parent);
  dialog.exec();
}

}  // namespace quorvel
