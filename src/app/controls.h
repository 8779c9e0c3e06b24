#pragma once

#include <QRadioButton>
#include <QSpinBox>

namespace quorvel {

// A value box. Its text may be anything while the user types; read as a
// value, text that is not a whole number counts as the box's minimum. Leaving
// the box brings its value into range (QSpinBox does that on focus out).
class SpinEdit : public QSpinBox {
  Q_OBJECT

 public:
  explicit SpinEdit(QWidget* parent = nullptr);

  // The value as the program reads it (see above).
  int Value() const;

 signals:
  void exited();  // the box lost the keyboard focus

 protected:
  void focusOutEvent(QFocusEvent* event) override;
};

// Checks or unchecks a radio button the way the program's radio buttons work:
// unchecking the checked button of a group leaves the group with none.
void SetRadioChecked(QRadioButton* button, bool checked);

}  // namespace quorvel
