// The graph on a screen of two device pixels per pixel: on screen it is
// drawn with twice the detail, while every raster made of it (captured,
// saved, served, copied, printed) keeps the pixel size and the bytes it has
// at scale 1.
//
// The scale factor is fixed when the application starts, so the test runs
// itself twice as a child, at QT_SCALE_FACTOR=1 and 2, each writing what it
// made into a folder of its own; then it compares the two folders.
#include <QApplication>
#include <QClipboard>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPrinter>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <chrono>
#include <cstdio>
#include <future>
#include <string>

#include "app/form1.h"
#include "app/windowweb.h"
#include "settings/settingvalues.h"
#include "common/fixedclock.h"
#include "common/loopback.h"
#include "graph/chartrenderer.h"
#include "recordingdialogs.h"

using namespace quorvel;

namespace {

int Fail(const std::string& what) {
  std::fprintf(stderr, "FAIL: %s\n", what.c_str());
  return 1;
}

bool WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A raster as bytes: its size, then its pixels as RGB32.
QByteArray RasterBytes(const QImage& image) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  QByteArray bytes = QByteArray::number(rgb.width()) + "x" + QByteArray::number(rgb.height()) + "\n";
  for (int y = 0; y < rgb.height(); ++y) {
    bytes.append(reinterpret_cast<const char*>(rgb.constScanLine(y)), rgb.width() * 4);
  }
  return bytes;
}

// At a ratio of 2, a picture merely stretched from half the pixels is made
// of uniform 2 x 2 blocks; a picture drawn at full density is not.
bool DrawnAtFullDensity(const QImage& image) {
  int differing = 0;
  for (int y = 0; y + 1 < image.height(); y += 2) {
    for (int x = 0; x + 1 < image.width(); x += 2) {
      const QRgb p = image.pixel(x, y);
      if (image.pixel(x + 1, y) != p || image.pixel(x, y + 1) != p || image.pixel(x + 1, y + 1) != p) {
        ++differing;
      }
    }
  }
  return differing > 50;
}

// The PDF with its creation time taken out, the one part that changes from
// run to run.
QByteArray WithoutDates(QByteArray pdf) {
  for (qsizetype at = pdf.indexOf("/CreationDate"); at >= 0; at = pdf.indexOf("/CreationDate", at + 1)) {
    const qsizetype end = pdf.indexOf(')', at);
    if (end < 0) break;
    pdf.remove(at, end - at + 1);
  }
  return pdf;
}

int Child(const QString& out) {
  FixedClock clock{kMonday7December2026};
  RecordingDialogs dialogs;
  QDir().mkpath(out + "/home");
  QDir().mkpath(out + "/capture");
  const std::string executable = (out + "/home/quorvel").toStdString();
  {
    // A run of a few points with a reply, a lost ping and a title.
    const std::string ini = "[Plotter]\nURL=" + EncodeScrambled("127.0.0.1") +
                            "\nTime=1\nIgnore=0\nPNG=1\nJPG=0\nFolder=" + (out + "/capture").toStdString() +
                            "\nTitle=Scale^test^-^\nHTTP=0\nCap=0\nClip=0\nPrint=0\n";
    if (!WriteBytes(out + "/home/quorvel.ini", QByteArray::fromStdString(ini))) return Fail("no settings");
  }
  Form1Environment environment;
  environment.dialogs = &dialogs;
  environment.executablePath = executable;
  environment.desktopFolders = DesktopFolders{(out + "/config").toStdString(), "", (out).toStdString()};
  TForm1 form(clock, environment);
  form.show();
  if (!QTest::qWaitForWindowExposed(&form)) return Fail("window not shown");

  const char* times[] = {"3.2", "7.9", "lost", "12.5", "4.4"};
  for (const char* t : times) {
    if (std::string(t) == "lost") {
      qputenv("FAKE_PING_MODE", "lost");
    } else {
      qputenv("FAKE_PING_MODE", "reply");
      qputenv("FAKE_PING_TIME", t);
    }
    if (t == times[0]) {
      form.findChild<QToolButton*>(QStringLiteral("btnStart"))->click();
    } else {
      form.Timer1Timer();
    }
  }
  form.findChild<QToolButton*>(QStringLiteral("btnStop"))->click();
  QCoreApplication::processEvents();

  // On screen: drawn at the screen's density.
  QWidget* chart = form.findChild<QWidget*>(QStringLiteral("Chart1"));
  const qreal ratio = chart->devicePixelRatioF();
  const QImage screen = chart->grab().toImage();
  if (screen.size() != (QSizeF(chart->size()) * ratio).toSize()) return Fail("screen grab size");
  if (ratio >= 2 && !DrawnAtFullDensity(screen)) return Fail("the graph on screen is stretched, not drawn at its density");
  WriteBytes(out + "/screen-size.txt", QByteArray::number(chart->width()) + "x" + QByteArray::number(chart->height()));

  // Captured.
  form.btnSaveClick();
  const QStringList captured = QDir(out + "/capture").entryList({QStringLiteral("*.png")});
  if (captured.size() != 1) return Fail("no captured image");
  WriteBytes(out + "/captured.png", ReadBytes(out + "/capture/" + captured.front()));

  // Saved.
  dialogs.saveAnswer = out + "/saved.png";
  form.SaveAs1Click();

  // Copied.
  form.btnCopyClick();
  WriteBytes(out + "/copied.raw", RasterBytes(QGuiApplication::clipboard()->image()));

  // Printed, into a PDF at 600 dots per inch.
  const QString pdf = out + "/printed.pdf";
  dialogs.setUp = [pdf](QPrinter& printer) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setResolution(600);
  };
  form.PrinterSetup1Click();
  form.btnPrintClick();
  WriteBytes(out + "/printed-nodate.pdf", WithoutDates(ReadBytes(pdf)));
  QFile::remove(pdf);

  // Served, on loopback.
  HttpServerOptions loopback;
  loopback.bindAddress = "127.0.0.1";
  form.webServer().SetOptions(loopback);
  const int port = FreeLoopbackPort();
  form.webAccess().Port = port;
  form.findChild<QCheckBox*>(QStringLiteral("cbWeb"))->setChecked(true);
  if (!form.webServer().Listening()) return Fail("the web server did not start");
  auto pending = std::async(std::launch::async, [port] {
    return RoundTrip(port, "GET /quorvel.png HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  });
  while (pending.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
    QCoreApplication::processEvents();
  }
  const std::string reply = pending.get();
  const std::size_t body = reply.find("\r\n\r\n");
  if (reply.rfind("HTTP/1.1 200 OK", 0) != 0 || body == std::string::npos) return Fail("no web image");
  WriteBytes(out + "/served.png", QByteArray::fromStdString(reply.substr(body + 4)));

  if (!dialogs.messages.isEmpty()) return Fail("messages: " + dialogs.messages.join("; ").toStdString());
  form.close();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--child") {
    QApplication app(argc, argv);
    return Child(QString::fromLocal8Bit(argv[2]));
  }

  QCoreApplication app(argc, argv);
  QTemporaryDir dir;
  int failed = 0;
  for (const char* scale : {"1", "2"}) {
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::fromLatin1(scale));
    environment.insert(QStringLiteral("PATH"),
                       QStringLiteral(QUORVEL_FAKE_PING_DIR ":") + environment.value(QStringLiteral("PATH")));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--child"), dir.path() + "/scale" + scale});
    if (!child.waitForFinished(120000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
      std::fprintf(stderr, "FAIL: the child at scale %s\n", scale);
      return 1;
    }
  }
  for (const char* file : {"screen-size.txt", "captured.png", "saved.png", "copied.raw",
                           "printed-nodate.pdf", "served.png"}) {
    const QByteArray one = ReadBytes(dir.path() + "/scale1/" + file);
    const QByteArray two = ReadBytes(dir.path() + "/scale2/" + file);
    if (one.isEmpty()) {
      std::fprintf(stderr, "FAIL: %s was not made\n", file);
      ++failed;
    } else if (one != two) {
      std::fprintf(stderr, "FAIL: %s differs at scale 2 (%lld and %lld bytes)\n", file,
                   static_cast<long long>(one.size()), static_cast<long long>(two.size()));
      ++failed;
    } else {
      std::printf("same at scale 1 and 2: %s (%lld bytes)\n", file, static_cast<long long>(one.size()));
    }
  }
  if (failed == 0) std::printf("ok\n");
  return failed == 0 ? 0 : 1;
}
