// Drives the program for its screenshot: the main window with the address
// 127.0.0.1, a ping every second and ten points per page, started as the
// Start button starts it; after about eight seconds of plotting the window is
// saved to the file named by the only argument. Run under a display
// (scripts/screenshot.sh starts one with Xvfb). Pings go to loopback only.
#include <QApplication>
#include <QComboBox>
#include <QPixmap>
#include <QScreen>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <cstdio>

#include "app/form1.h"
#include "run/timeformat.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <png file>\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  quorvel::SystemClock clock;
  // A first start: no settings file, and nothing left beside the driver.
  QTemporaryDir home;
  quorvel::TForm1 form(clock, {nullptr, (home.path() + QStringLiteral("/quorvel")).toStdString()});
  form.show();

  form.findChild<QComboBox*>(QStringLiteral("cbURL"))->setEditText(QStringLiteral("127.0.0.1"));
  form.findChild<QSpinBox*>(QStringLiteral("spX"))->setValue(1);
  form.findChild<QSpinBox*>(QStringLiteral("spPoints"))->setValue(10);
  QTimer::singleShot(500, &form, [&form] {
    form.findChild<QToolButton*>(QStringLiteral("btnStart"))->click();
  });

  int status = 1;
  const QString file = QString::fromLocal8Bit(argv[1]);
  QTimer::singleShot(8700, &form, [&] {
    QPixmap shot;
    if (QScreen* screen = form.screen()) shot = screen->grabWindow(form.winId());
    if (shot.isNull()) shot = form.grab();
    status = shot.save(file, "PNG") ? 0 : 1;
    app.quit();
  });
  app.exec();
  return status;
}
