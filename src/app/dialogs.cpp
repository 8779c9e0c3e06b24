#include "app/dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QFontDialog>
#include <QMessageBox>

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
  const QFont font = QFontDialog::getFont(&ok, initial, parent);
  if (!ok) return std::nullopt;
  return font;
}

void Dialogs::Beep() { QApplication::beep(); }

Dialogs& Dialogs::Desktop() {
  static Dialogs desktop;
  return desktop;
}

}  // namespace quorvel
