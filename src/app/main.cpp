// The program's entry: the main window, the access dialog, close requests
// from signals and from the desktop's session, and the event loop.
#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QWidget>

#include "app/form1.h"
#include "app/termination.h"
#include "run/timeformat.h"

namespace {

// A close request from outside: whatever modal box is open is dismissed,
// then the main window is asked to close, as its close button would.
void RequestClose(QWidget* mainWindow) {
  for (int guard = 0; guard < 16; ++guard) {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == mainWindow) break;
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->reject();
    } else {
      modal->close();
    }
  }
  mainWindow->close();
}

}  // namespace

int main(int argc, char** argv) {
  quorvel::InstallTerminationHandlers();

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quorvel"));
  // The program ends when the main window has run its shut-down sequence,
  // also when it closes from the notification area while hidden.
  QApplication::setQuitOnLastWindowClosed(false);

  quorvel::SystemClock clock;
  quorvel::TForm1 form(clock);  // runs the start-up sequence
  form.CreateAccessDialog();
  QPointer<quorvel::TForm1> window(&form);
  QObject::connect(&form, &quorvel::TForm1::closed, &app, &QApplication::quit, Qt::QueuedConnection);
  quorvel::TerminationWatch watch([window] {
    if (window) RequestClose(window);
  });
  // A desktop log-off asks the program to close like its close button does.
  QObject::connect(&app, &QGuiApplication::commitDataRequest, &form, [window](QSessionManager&) {
    if (window) RequestClose(window);
  });

  form.show();
  app.exec();
  return 0;
}
