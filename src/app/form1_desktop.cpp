// The main window on a Linux desktop: text colours from the desktop's
// palette, with the blue captions and the maroon "STOPPED" kept readable on
// it; the title colour button; the probe's stop when the window closes.
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QPushButton>

#include <initializer_list>
#include <set>

#include "app/contrast.h"
#include "app/controls.h"
#include "app/form1.h"
#include "graph/chartrenderer.h"

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

void TForm1::ApplyTextColours() {
  if (Label13 == nullptr || Panel2 == nullptr) return;  // still being built
  // The window sets no colour of its own: its palette is the desktop's.
  const QPalette desktop = palette();

  std::set<QWidget*> accented{Panel2};
  for (QWidget* inside : Panel2->findChildren<QWidget*>()) accented.insert(inside);
  for (QGroupBox* group : findChildren<QGroupBox*>()) {
    SetAccent(group, kCaptionBlue, desktop);
    for (QWidget* inside : group->findChildren<QWidget*>()) {
      if (accented.count(inside) == 0) FollowDesktop(inside, desktop);
    }
  }
  // The about line and the version, blue like the captions.
  SetAccent(Panel2, kCaptionBlue, desktop);
  SetAccent(Label13, kStoppedMaroon, desktop);
}

void TForm1::btnTitleColourClick() {
  FontSpec& title = m_chart.look.titleFont;
  if (const auto c = PickColour(title.colour)) {
    title.colour = *c;
    ChartChanged();
  }
}

bool TForm1::ProbeCancelled() const {
  return m_shutDown || (m_closeRequestedFromOutside && m_closeRequestedFromOutside());
}

}  // namespace quorvel
