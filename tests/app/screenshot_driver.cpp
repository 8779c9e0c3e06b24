// Drives the program for its screenshots: the main window with the address
// 127.0.0.1, a ping every second and ten points per page, started as the
// Start button starts it; after about eight seconds of plotting the window is
// saved to the file named by the first argument. Run under a display
// (scripts/screenshot.sh starts one with Xvfb). Pings go to loopback only.
//
// With "dark" as the second argument the desktop's palette is a dark one,
// the run stops after its one page (showing "STOPPED"), and the picture is
// taken of the "Graph Style" settings, where most texts are. With
// "distribution" the window is saved after twenty pings in the distribution
// view of the graph menu; with "precise" after twenty pings in the Precise
// Scale view; with "darkchart" the same under a dark palette with "Graph
// Follows Desktop Colours" on. The screen's scale comes from
// QT_SCALE_FACTOR, as for any Qt program.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <cstdio>
#include <cstring>

#include "app/form1.h"
#include "run/timeformat.h"

namespace {

QPalette DarkPalette() {
  QPalette p;
  const QColor window(45, 45, 48), base(30, 30, 32), text(230, 230, 230), disabled(130, 130, 130);
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    const bool off = group == QPalette::Disabled;
    p.setColor(group, QPalette::Window, window);
    p.setColor(group, QPalette::WindowText, off ? disabled : text);
    p.setColor(group, QPalette::Base, base);
    p.setColor(group, QPalette::AlternateBase, window);
    p.setColor(group, QPalette::Text, off ? disabled : text);
    p.setColor(group, QPalette::Button, QColor(60, 60, 64));
    p.setColor(group, QPalette::ButtonText, off ? disabled : text);
    p.setColor(group, QPalette::Light, QColor(80, 80, 84));
    p.setColor(group, QPalette::Midlight, QColor(70, 70, 74));
    p.setColor(group, QPalette::Mid, QColor(40, 40, 42));
    p.setColor(group, QPalette::Dark, QColor(25, 25, 26));
    p.setColor(group, QPalette::Shadow, QColor(10, 10, 10));
    p.setColor(group, QPalette::Highlight, QColor(42, 110, 200));
    p.setColor(group, QPalette::HighlightedText, Qt::white);
    p.setColor(group, QPalette::ToolTipBase, base);
    p.setColor(group, QPalette::ToolTipText, text);
    p.setColor(group, QPalette::PlaceholderText, disabled);
  }
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  const char* mode = argc == 3 ? argv[2] : "";
  const bool dark = std::strcmp(mode, "dark") == 0;
  const bool distribution = std::strcmp(mode, "distribution") == 0;
  const bool darkChart = std::strcmp(mode, "darkchart") == 0;
  const bool precise = std::strcmp(mode, "precise") == 0 || darkChart;
  if (argc < 2 || argc > 3 || (argc == 3 && !dark && !distribution && !precise)) {
    std::fprintf(stderr, "usage: %s <png file> [dark|distribution|precise|darkchart]\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  if (dark || darkChart) {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(DarkPalette());
  }
  quorvel::SystemLocalClock clock;
  // A first start: no settings file, and nothing left beside the driver.
  QTemporaryDir home;
  quorvel::Form1Environment environment;
  environment.executablePath = (home.path() + QStringLiteral("/quorvel")).toStdString();
  quorvel::TForm1 form(clock, environment);
  form.show();

  form.findChild<QComboBox*>(QStringLiteral("cbURL"))->setEditText(QStringLiteral("127.0.0.1"));
  form.findChild<QSpinBox*>(QStringLiteral("spX"))->setValue(1);
  form.findChild<QSpinBox*>(QStringLiteral("spPoints"))->setValue(10);
  if (dark) {
    form.findChild<QSpinBox*>(QStringLiteral("spPages"))->setValue(1);
    form.findChild<QRadioButton*>(QStringLiteral("rbStop"))->setChecked(true);
  }
  if (precise) form.findChild<QAction*>(QStringLiteral("mnuPreciseScale"))->setChecked(true);
  if (darkChart) form.findChild<QAction*>(QStringLiteral("mnuDesktopColours"))->setChecked(true);
  if (precise) form.findChild<QSpinBox*>(QStringLiteral("spPoints"))->setValue(30);
  QTimer::singleShot(500, &form, [&form] {
    form.findChild<QToolButton*>(QStringLiteral("btnStart"))->click();
  });

  int status = 1;
  const QString file = QString::fromLocal8Bit(argv[1]);
  auto save = [&] {
    QPixmap shot;
    if (QScreen* screen = form.screen()) shot = screen->grabWindow(form.winId());
    if (shot.isNull()) shot = form.grab();
    status = shot.save(file, "PNG") ? 0 : 1;
    app.quit();
  };
  if (precise) {
    QTimer::singleShot(20700, &form, save);
  } else if (distribution) {
    // Twenty pings, then the distribution view from the graph's menu.
    QTimer::singleShot(20700, &form, [&form, save] {
      form.findChild<QAction*>(QStringLiteral("mnuDistribution"))->setChecked(true);
      QTimer::singleShot(300, &form, save);
    });
  } else if (!dark) {
    QTimer::singleShot(8700, &form, save);
  } else {
    // The page of ten points is done after eleven pings; then the settings.
    auto* poll = new QTimer(&form);
    QObject::connect(poll, &QTimer::timeout, &form, [&form, poll, save] {
      if (!form.findChild<QLabel*>(QStringLiteral("Label13"))->isVisible()) return;
      poll->stop();
      form.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(1);
      form.findChild<QTabWidget*>(QStringLiteral("PageControl2"))->setCurrentIndex(1);
      QTimer::singleShot(500, &form, save);
    });
    poll->start(200);
    QTimer::singleShot(20000, &form, [&app] { app.exit(1); });
  }
  app.exec();
  return status;
}
