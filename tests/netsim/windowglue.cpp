#include "windowglue.h"

#include <QCheckBox>

#include "app/form1.h"
#include "app/windowweb.h"
#include "app/recordingdialogs.h"
#include "app/windowhome.h"
#include "common/loopback.h"
#include "run/timeformat.h"

namespace {

quorvel::TForm1* Form(QWidget* window) { return static_cast<quorvel::TForm1*>(window); }

}  // namespace

std::unique_ptr<QWidget> OpenMainWindow(RecordingDialogs& dialogs, WindowHome& home) {
  static quorvel::SystemLocalClock clock;
  return std::make_unique<quorvel::TForm1>(clock, home.Environment(&dialogs));
}

int StartWebServerOnLoopback(QWidget* window) {
  quorvel::TForm1* form = Form(window);
  quorvel::HttpServerOptions loopback;
  loopback.bindAddress = "127.0.0.1";
  form->webServer().SetOptions(loopback);
  form->CreateAccessDialog();
  for (int attempt = 0; attempt < 5; ++attempt) {
    const int port = FreeLoopbackPort();
    form->webAccess().Port = port;
    form->findChild<QCheckBox*>(QStringLiteral("cbWeb"))->setChecked(true);
    if (form->webServer().Listening()) return port;
  }
  return 0;
}

std::vector<bool> RedPingPoints(const QWidget* window) {
  const quorvel::PlotData& data = static_cast<const quorvel::TForm1*>(window)->session().Chart().data;
  std::vector<bool> red;
  for (std::size_t i = 0; i < data.PingCount(); ++i) red.push_back(data.Ping(i).colour == quorvel::kRed);
  return red;
}
