// The web server of the main window under load: builds the window offscreen
// with a graph of some points (from the tests' stand-in ping, which sends
// nothing), switches its server on at 127.0.0.1 and runs the window's event
// loop, for run.sh to measure.
//
//   web_bench_window --port N [--points K] [--seconds S]
//
// SIGUSR1 makes the window forget its cached web image (the gray switch is
// flipped twice), so that the next request gets a fresh render. The program
// stops by itself after S seconds (default 120) or at SIGINT/SIGTERM.

#include <signal.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>

#include "app/dialogs.h"
#include "app/form1.h"
#include "app/windowweb.h"
#include "run/timeformat.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
volatile std::sig_atomic_t g_forget = 0;

void OnStop(int) { g_stop = 1; }
void OnForget(int) { g_forget = 1; }

// Nobody answers boxes here: their texts go to stderr.
class QuietDialogs : public quorvel::Dialogs {
 public:
  void Message(QWidget*, const QString& text) override { std::cerr << text.toStdString() << '\n'; }
  void Error(QWidget*, const QString& text) override { std::cerr << text.toStdString() << '\n'; }
  void Beep() override {}
};

}  // namespace

int main(int argc, char** argv) {
  int port = 0;
  int points = 120;
  int seconds = 120;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const int value = std::atoi(argv[i + 1]);
    if (option == "--port") port = value;
    else if (option == "--points") points = value;
    else if (option == "--seconds") seconds = value;
    else {
      std::cerr << "unknown option " << option << '\n';
      return 2;
    }
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("PATH", QByteArray(QUORVEL_FAKE_PING_DIR) + ":" + qgetenv("PATH"));

  struct sigaction action {};
  action.sa_handler = OnStop;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  action.sa_handler = OnForget;
  sigaction(SIGUSR1, &action, nullptr);

  QApplication app(argc, argv);
  quorvel::SystemLocalClock clock;
  QuietDialogs dialogs;
  // The window's settings and help files go to a folder of its own.
  QTemporaryDir home;
  quorvel::Form1Environment environment;
  environment.dialogs = &dialogs;
  environment.executablePath = (home.path() + QStringLiteral("/quorvel")).toStdString();
  quorvel::TForm1 form(clock, environment);
  form.show();

  // A graph of `points` pings between 10 and 50 ms, then the run stopped so
  // that nothing changes while the load runs.
  form.findChild<QComboBox*>("cbURL")->setEditText(QStringLiteral("127.0.0.1"));
  form.findChild<QSpinBox*>("spX")->setValue(1);
  form.btnStartClick();
  for (int i = 0; i < points; ++i) {
    qputenv("FAKE_PING_TIME", QByteArray::number(10 + (i * 37) % 41) + ".5");
    form.Timer1Timer();
  }
  form.btnStopClick();

  quorvel::HttpServerOptions options;
  options.bindAddress = "127.0.0.1";
  form.webServer().SetOptions(options);
  form.webAccess().Port = port;
  form.findChild<QCheckBox*>("cbWeb")->setChecked(true);
  if (!form.webServer().Listening()) return 1;
  const QSize graph = form.GraphSize();
  std::cout << "listening on 127.0.0.1:" << port << ", graph " << graph.width() << " x "
            << graph.height() << ", " << form.session().Chart().data.PingCount() << " points"
            << std::endl;

  QTimer signalPoll;
  QObject::connect(&signalPoll, &QTimer::timeout, &form, [&] {
    if (g_forget) {
      g_forget = 0;
      auto* gray = form.findChild<QCheckBox*>("cbGray");
      gray->toggle();
      gray->toggle();
    }
    if (g_stop) form.close();
  });
  signalPoll.start(20);
  QTimer::singleShot(seconds * 1000, &form, &QWidget::close);
  app.exec();
  return 0;
}
