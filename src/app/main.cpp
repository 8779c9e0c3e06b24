// The program's entry: the main window, the access dialog, close requests
// from signals and from the desktop's session, and the event loop.
#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QWidget>

#include <cstdio>
#include <optional>
#include <string>

#include "app/commandline.h"
#include "app/form1.h"
#include "app/termination.h"
#include "run/timeformat.h"
#include "system/descriptorlimit.h"

namespace {

// Dismisses whatever modal box is open (a close request must not wait for
// someone to answer it).
void DismissModalBoxes(QWidget* mainWindow) {
  for (int guard = 0; guard < 16; ++guard) {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == mainWindow) break;
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->reject();
    } else {
      modal->close();
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  // --help and --version answer without a window.
  if (const std::optional<std::string> text = quorvel::InformationRequested(argc, argv)) {
    std::fputs(text->c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  quorvel::RaiseDescriptorLimit();
  quorvel::InstallTerminationHandlers();

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quorvel"));
  // The program ends when the main window has run its shut-down sequence,
  // also when it closes from the notification area while hidden.
  QApplication::setQuitOnLastWindowClosed(false);

  // A close request from outside (a signal, the desktop's log-off) is
  // handled like the window's close button, also while a modal box is open
  // and while the window is still being created; but no box opens from then
  // on (their texts go to standard error) and a running ping is stopped, so
  // that the program ends at once.
  QPointer<quorvel::TForm1> window;
  bool closeRequested = false;
  auto requestClose = [&window, &closeRequested] {
    closeRequested = true;
    DismissModalBoxes(window);
    if (window) window->close();
  };
  quorvel::TerminationWatch watch(requestClose);

  quorvel::SystemLocalClock clock;
  quorvel::Form1Environment environment;
  environment.closeRequestedFromOutside = [&closeRequested] { return closeRequested; };
  quorvel::TForm1 form(clock, environment);  // runs the start-up sequence
  window = &form;
  form.CreateAccessDialog();
  QObject::connect(&form, &quorvel::TForm1::closed, &app, &QApplication::quit, Qt::QueuedConnection);
  QObject::connect(&app, &QGuiApplication::commitDataRequest, &form,
                   [&requestClose](QSessionManager&) { requestClose(); });
  if (closeRequested) {
    form.close();
    return 0;
  }

  form.show();
  // An address given on the command line is plotted at once, as if typed
  // into the box and Start pressed; QApplication has taken its own options
  // out of argv by now.
  if (const std::optional<std::string> address = quorvel::AddressArgument(argc, argv)) {
    QMetaObject::invokeMethod(
        &form, [&form, text = *address] { form.OpenAddress(text); }, Qt::QueuedConnection);
  }
  app.exec();
  return 0;
}
