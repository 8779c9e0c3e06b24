#pragma once

#include <QFrame>
#include <QObject>
#include <QRadioButton>
#include <QSize>
#include <QSpinBox>
#include <QTabWidget>

#include <functional>

class QKeyEvent;
class QLabel;

namespace quorvel {

// A value box. Its text may be anything while the user types; read as a
// value, text that is not a whole number counts as the box's minimum.
// Leaving the box brings its value into range, and a text that is not a
// number becomes the minimum.
//
// `changed` fires on every change of the text, typed or set from code, like
// the change event of the desktop control it stands in for; `exited` fires
// when the keyboard focus leaves the box for another control of the window
// (not when the window itself loses the focus or a menu opens).
class SpinEdit : public QSpinBox {
  Q_OBJECT

 public:
  explicit SpinEdit(QWidget* parent = nullptr);

  // The value as the program reads it (see above).
  int Value() const;
  // A box without a range takes any whole number; a text that is not one
  // reads as 0.
  void SetNoRange();

 signals:
  void changed();
  void exited();

 protected:
  void focusOutEvent(QFocusEvent* event) override;

 private:
  int NotANumberValue() const { return m_ranged ? minimum() : 0; }

  bool m_ranged = true;
};

// Checks or unchecks a radio button the way the program's radio buttons work:
// unchecking the checked button of a group leaves the group with none.
void SetRadioChecked(QRadioButton* button, bool checked);

// Sets the text of a status-bar panel and widens the panel to show it
// whole: never narrower than `designWidth`, the panel's width at design.
void SetPanelText(QLabel* panel, const QString& text, int designWidth);

// A colour swatch: a rectangle filled with its colour inside a black line.
class Swatch : public QFrame {
  Q_OBJECT

 public:
  explicit Swatch(QWidget* parent = nullptr);
  void SetColour(const QColor& colour);
  QColor Colour() const { return m_colour; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor m_colour = Qt::white;
};

// A page control whose page area can be asked for at any time: ContentsRect
// is where the pages lie at the control's present size, worked out as the
// tab widget itself does, even while the window is not yet shown or the page
// is hidden. Its tab bar takes the keyboard focus when clicked, so that a
// box being edited on a page is left (and checked) before the page changes.
class PageControl : public QTabWidget {
  Q_OBJECT

 public:
  explicit PageControl(QWidget* parent = nullptr);
  QRect ContentsRect() const;
};

// Keeps a child, at its size, at the distance from the right and/or bottom
// edge of its parent that it has at the parent's design size, as the parent
// is resized. The anchor belongs to the child.
void AnchorToParent(QWidget* child, QSize parentDesignSize, Qt::Edges edges);

// Text colours from the desktop's palette: the group-box captions and the
// about panel blue, `stopped` maroon, each lightened only as far as its
// background needs to stay readable; everything else the desktop's own.
// Runs again whenever the palette changes.
void ApplyTextColours(QWidget* form, QWidget* aboutPanel, QWidget* stopped);

// Hands every event of one watched object to a handler, which only looks:
// the object still gets the event. Owned by `parent`; `watched` must outlive
// it or be its parent.
class EventHook : public QObject {
 public:
  using Handler = std::function<void(QEvent*)>;
  EventHook(QObject* watched, Handler handler, QObject* parent);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Handler m_handler;
};

// Runs `left` when the keyboard focus leaves `box` for another control of
// the window (not when the window itself loses the focus or a menu opens),
// the moment the desktop's "exit" event of a box stands for.
void OnFocusLeft(QWidget* box, std::function<void()> left);

// Hands each key press aimed at the watched widgets to a handler before the
// widget sees it; a key the handler refuses never reaches the widget.
class KeyPressFilter : public QObject {
  Q_OBJECT

 public:
  // Returns true to let the key through.
  using Handler = std::function<bool(QObject* sender, QKeyEvent* event)>;
  KeyPressFilter(Handler handler, QObject* parent);
  void Watch(QWidget* widget);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Handler m_handler;
};

}  // namespace quorvel
