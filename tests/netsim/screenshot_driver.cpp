// Drives the main window for the README's first screenshot inside the
// simulated network (scripts/screenshot.sh runs it under quorvel-netsim with
// scenarios/screenshot.json and a virtual display): the address 192.0.2.10,
// a ping every second, thirty points per page; after `seconds` of plotting
// the window is saved to the PNG file named by the first argument.
//
// usage: netsim_screenshot_driver FILE.png [SECONDS]

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPixmap>
#include <QScreen>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/recordingdialogs.h"
#include "app/windowhome.h"
#include "windowglue.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s FILE.png [SECONDS]\n", argv[0]);
    return 2;
  }
  const int seconds = argc == 3 ? std::atoi(argv[2]) : 40;
  QApplication app(argc, argv);
  RecordingDialogs dialogs;
  WindowHome home;  // a first start: no settings file
  std::unique_ptr<QWidget> window = OpenMainWindow(dialogs, home);
  window->show();
  FindControl<QComboBox>(window.get(), "cbURL")->setEditText(QStringLiteral("192.0.2.10"));
  FindControl<QSpinBox>(window.get(), "spX")->setValue(1);
  FindControl<QSpinBox>(window.get(), "spPoints")->setValue(30);
  QTimer::singleShot(500, window.get(), [&] { FindControl<QToolButton>(window.get(), "btnStart")->click(); });

  int status = 1;
  const QString file = QString::fromLocal8Bit(argv[1]);
  QTimer::singleShot(seconds * 1000 + 700, window.get(), [&] {
    QPixmap shot;
    if (QScreen* screen = window->screen()) shot = screen->grabWindow(window->winId());
    if (shot.isNull()) shot = window->grab();
    status = shot.save(file, "PNG") ? 0 : 1;
    app.quit();
  });
  app.exec();
  return status;
}
