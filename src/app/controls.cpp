#include "app/controls.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QProxyStyle>
#include <QStyle>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>

#include <algorithm>
#include <limits>
#include <set>

#include "graph/contrast.h"

namespace quorvel {

namespace {

const QColor kCaptionBlue(0, 0, 255);
const QColor kStoppedMaroon(128, 0, 0);

constexpr QPalette::ColorGroup kGroups[] = {QPalette::Active, QPalette::Inactive, QPalette::Disabled};

QColor ReadableColour(const QColor& wanted, const QColor& background) {
  const Rgb colour = ReadableOn({wanted.red(), wanted.green(), wanted.blue()},
                                {background.red(), background.green(), background.blue()});
  return QColor(colour.r, colour.g, colour.b);
}

// `wanted` for the text of `widget` and of what it holds, changed only as
// far as its background needs; disabled text keeps the desktop's gray.
void SetAccent(QWidget* widget, const QColor& wanted, const QPalette& desktop) {
  QPalette palette = widget->palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    palette.setColor(group, QPalette::WindowText,
                     ReadableColour(wanted, desktop.color(group, QPalette::Window)));
  }
  palette.setColor(QPalette::Disabled, QPalette::WindowText,
                   desktop.color(QPalette::Disabled, QPalette::WindowText));
  widget->setPalette(palette);
}

// Inside an accented widget, the desktop's own text colours again.
void FollowDesktop(QWidget* widget, const QPalette& desktop) {
  QPalette palette = widget->palette();
  for (QPalette::ColorGroup group : kGroups) {
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
      palette.setColor(group, role, desktop.color(group, role));
    }
  }
  widget->setPalette(palette);
}

}  // namespace

SpinEdit::SpinEdit(QWidget* parent) : QSpinBox(parent) {
  setKeyboardTracking(true);
  setAccelerated(true);
  // The box shows its value from the start, not only once it is first
  // drawn: Value() reads the text.
  lineEdit()->setText(textFromValue(value()));
  // A new value announces itself; a text that is no value yet (empty, a
  // lone minus) changes nothing the spin box reports, so the edit reports it.
  connect(this, &QSpinBox::textChanged, this, &SpinEdit::changed);
  connect(lineEdit(), &QLineEdit::textChanged, this, [this](const QString& text) {
    QString copy = text;
    int position = 0;
    if (validate(copy, position) != QValidator::Acceptable) emit changed();
  });
}

int SpinEdit::Value() const {
  bool ok = false;
  const int v = cleanText().trimmed().toInt(&ok);
  if (!ok) return NotANumberValue();
  return v;
}

void SpinEdit::SetNoRange() {
  m_ranged = false;
  setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
}

void SpinEdit::focusOutEvent(QFocusEvent* event) {
  // A text that is not a number reads as the minimum; the box shows it.
  bool ok = false;
  cleanText().trimmed().toInt(&ok);
  if (!ok) setValue(NotANumberValue());
  QSpinBox::focusOutEvent(event);  // brings the value into range
  const Qt::FocusReason reason = event->reason();
  if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) emit exited();
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

Swatch::Swatch(QWidget* parent) : QFrame(parent) {}

void Swatch::SetColour(const QColor& colour) {
  m_colour = colour;
  update();
}

void Swatch::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), m_colour);
  p.setPen(Qt::black);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

namespace {

// The pages sit a little inside the frame of the page control, as on the
// desktop the window was designed for: its graph page is 791 x 385 pixels in
// a 799 x 480 window.
class PageControlStyle : public QProxyStyle {
 public:
  QRect subElementRect(SubElement element, const QStyleOption* option,
                       const QWidget* widget) const override {
    QRect r = QProxyStyle::subElementRect(element, option, widget);
    if (element == SE_TabWidgetTabContents && r.isValid()) r.adjust(2, 1, -2, -2);
    return r;
  }
};

}  // namespace

PageControl::PageControl(QWidget* parent) : QTabWidget(parent) {
  auto* style = new PageControlStyle;
  style->setParent(this);
  setStyle(style);
  tabBar()->setFocusPolicy(Qt::StrongFocus);
}

QRect PageControl::ContentsRect() const {
  // The same sums the tab widget makes when it lays its pages out.
  QStyleOptionTabWidgetFrame option;
  initStyleOption(&option);
  const QRect contents = style()->subElementRect(QStyle::SE_TabWidgetTabContents, &option, this);
  if (contents.isValid()) return contents;
  return style()->subElementRect(QStyle::SE_TabWidgetTabPane, &option, this);
}

namespace {

class Anchor : public QObject {
 public:
  Anchor(QWidget* child, QSize parentDesign, Qt::Edges edges)
      : QObject(child), m_child(child), m_edges(edges) {
    const QRect g = child->geometry();
    m_right = parentDesign.width() - (g.x() + g.width());
    m_bottom = parentDesign.height() - (g.y() + g.height());
    child->parentWidget()->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Resize) Follow();
    return false;
  }

 private:
  void Follow() {
    const QSize parent = m_child->parentWidget()->size();
    QRect g = m_child->geometry();
    if (m_edges & Qt::RightEdge) g.moveLeft(parent.width() - m_right - g.width());
    if (m_edges & Qt::BottomEdge) g.moveTop(parent.height() - m_bottom - g.height());
    m_child->setGeometry(g);
  }

  QWidget* m_child;
  Qt::Edges m_edges;
  int m_right = 0;
  int m_bottom = 0;
};

}  // namespace

void AnchorToParent(QWidget* child, QSize parentDesignSize, Qt::Edges edges) {
  new Anchor(child, parentDesignSize, edges);
}

KeyPressFilter::KeyPressFilter(Handler handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)) {}

void KeyPressFilter::Watch(QWidget* widget) { widget->installEventFilter(this); }

bool KeyPressFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  return !m_handler(watched, static_cast<QKeyEvent*>(event));
}

EventHook::EventHook(QObject* watched, Handler handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)) {
  watched->installEventFilter(this);
}

bool EventHook::eventFilter(QObject*, QEvent* event) {
  m_handler(event);
  return false;
}

void OnFocusLeft(QWidget* box, std::function<void()> left) {
  new EventHook(
      box,
      [left = std::move(left)](QEvent* event) {
        if (event->type() != QEvent::FocusOut) return;
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) left();
      },
      box);
}

void ApplyTextColours(QWidget* form, QWidget* aboutPanel, QWidget* stopped) {
  // The window sets no colour of its own: its palette is the desktop's.
  const QPalette desktop = form->palette();
  std::set<QWidget*> accented{aboutPanel};
  for (QWidget* inside : aboutPanel->findChildren<QWidget*>()) accented.insert(inside);
  for (QGroupBox* group : form->findChildren<QGroupBox*>()) {
    SetAccent(group, kCaptionBlue, desktop);
    for (QWidget* inside : group->findChildren<QWidget*>()) {
      if (accented.count(inside) == 0) FollowDesktop(inside, desktop);
    }
  }
  // The about line and the version, blue like the captions.
  SetAccent(aboutPanel, kCaptionBlue, desktop);
  SetAccent(stopped, kStoppedMaroon, desktop);
}

void SetPanelText(QLabel* panel, const QString& text, int designWidth) {
  panel->setText(text);
  // The frame and the label's margins on both sides, and a little room.
  const QMargins margins = panel->contentsMargins();
  const int needed = panel->fontMetrics().horizontalAdvance(text) + margins.left() +
                     margins.right() + 2 * panel->frameWidth() + 2 * panel->margin() + 6;
  panel->setFixedWidth(std::max(designWidth, needed));
}

}  // namespace quorvel
