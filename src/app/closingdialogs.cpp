#include "app/closingdialogs.h"

#include <QIcon>
#include <QSystemTrayIcon>

namespace quorvel {

ClosingDialogs::ClosingDialogs(Dialogs& dialogs, std::function<bool()> quiet, std::ostream& errors)
    : m_dialogs(dialogs), m_quiet(std::move(quiet)), m_errors(errors) {}

void ClosingDialogs::Report(const QString& text) {
  m_errors << "quorvel: " << text.toStdString() << '\n';
  m_errors.flush();
  if (m_tray != nullptr && QSystemTrayIcon::isSystemTrayAvailable()) {
    m_tray->show();
    m_tray->showMessage(QStringLiteral("Quorvel"), text, QSystemTrayIcon::Warning);
  }
}

void ClosingDialogs::Message(QWidget* parent, const QString& text) {
  if (Quiet()) return Report(text);
  m_dialogs.Message(parent, text);
}

void ClosingDialogs::Error(QWidget* parent, const QString& text) {
  if (Quiet()) return Report(text);
  m_dialogs.Error(parent, text);
}

std::optional<QColor> ClosingDialogs::PickColour(QWidget* parent, const QColor& initial) {
  if (Quiet()) return std::nullopt;
  return m_dialogs.PickColour(parent, initial);
}

std::optional<QFont> ClosingDialogs::PickFont(QWidget* parent, const QFont& initial) {
  if (Quiet()) return std::nullopt;
  return m_dialogs.PickFont(parent, initial);
}

void ClosingDialogs::Beep() {
  if (!Quiet()) m_dialogs.Beep();
}

bool ClosingDialogs::Confirm(QWidget* parent, const QString& text, ConfirmButtons buttons,
                             QPoint topLeft) {
  if (Quiet()) return false;
  return m_dialogs.Confirm(parent, text, buttons, topLeft);
}

std::optional<QString> ClosingDialogs::SaveFileName(QWidget* parent, const QString& directory,
                                                    const QString& fileName, const QString& filter,
                                                    int filterIndex, const QString& defaultSuffix) {
  if (Quiet()) return std::nullopt;
  return m_dialogs.SaveFileName(parent, directory, fileName, filter, filterIndex, defaultSuffix);
}

std::optional<Dialogs::SaveChoice> ClosingDialogs::SaveFileNameAndType(QWidget* parent,
                                                                       const QString& directory,
                                                                       const QString& fileName,
                                                                       const QString& filter,
                                                                       int filterIndex) {
  if (Quiet()) return std::nullopt;
  return m_dialogs.SaveFileNameAndType(parent, directory, fileName, filter, filterIndex);
}

std::optional<QString> ClosingDialogs::ChooseFolder(QWidget* parent, const QString& title,
                                                    const QString& start) {
  if (Quiet()) return std::nullopt;
  return m_dialogs.ChooseFolder(parent, title, start);
}

bool ClosingDialogs::Print(QWidget* parent, QPrinter& printer) {
  if (Quiet()) return false;
  return m_dialogs.Print(parent, printer);
}

void ClosingDialogs::PrinterSetup(QWidget* parent, QPrinter& printer) {
  if (!Quiet()) m_dialogs.PrinterSetup(parent, printer);
}

}  // namespace quorvel
