#include "app/controls.h"

#include <QLineEdit>

namespace quorvel {

SpinEdit::SpinEdit(QWidget* parent) : QSpinBox(parent) {
  setKeyboardTracking(true);
  setAccelerated(true);
}

int SpinEdit::Value() const {
  bool ok = false;
  const int v = cleanText().trimmed().toInt(&ok);
  if (!ok) return minimum();
  return v;
}

void SpinEdit::focusOutEvent(QFocusEvent* event) {
  QSpinBox::focusOutEvent(event);  // fixes the value up into range
  emit exited();
}

void SetRadioChecked(QRadioButton* button, bool checked) {
  if (button->isChecked() == checked) return;
  if (checked) {
    button->setChecked(true);
    return;
  }
  // An exclusive group refuses to uncheck its checked button.
  const bool exclusive = button->autoExclusive();
  button->setAutoExclusive(false);
  button->setChecked(false);
  button->setAutoExclusive(exclusive);
}

}  // namespace quorvel
