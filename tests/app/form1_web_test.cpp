// The web server through the main window: the access dialog, the web image
// name rules, starting and stopping, and replies over real sockets on
// 127.0.0.1 while the window's event loop runs.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/loopback.h"
#include "app/dialogs.h"
#include "app/form1.h"
#include "app/windowweb.h"
#include "recordingdialogs.h"
#include "windowhome.h"
#include "app/form2.h"
#include "graph/chartrenderer.h"
#include "output/grayscale.h"
#include "output/writegraphimage.h"
#include "web/hostaddress.h"

using namespace quorvel;

namespace {

struct Reply {
  bool closed = false;
  std::string raw;
  std::string head;  // status line and headers, without the blank line
  QByteArray body;

  bool Has(const std::string& line) const {
    return ("\r\n" + head + "\r\n").find("\r\n" + line + "\r\n") != std::string::npos;
  }
  std::string StatusLine() const { return head.substr(0, head.find("\r\n")); }
};

Reply Exchange(int port, const std::string& request) {
  LoopbackClient client(port);
  Reply reply;
  if (!client.connected()) return reply;
  client.Send(request);
  auto [bytes, closed] = client.ReadAll();
  reply.closed = closed;
  reply.raw = bytes;
  const std::size_t end = bytes.find("\r\n\r\n");
  if (end != std::string::npos) {
    reply.head = bytes.substr(0, end);
    reply.body = QByteArray::fromStdString(bytes.substr(end + 4));
  }
  return reply;
}

std::string Get(const std::string& target, const std::string& extra = "") {
  return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
}

}  // namespace

class Form1WebTest : public QObject {
  Q_OBJECT

 private:
  SystemLocalClock m_clock;
  RecordingDialogs m_dialogs;
  std::unique_ptr<WindowHome> m_home;  // outlives the window
  std::unique_ptr<TForm1> m_form;
  int m_port = 0;

  template <typename T>
  T* Find(const char* name) { return FindControl<T>(m_form.get(), name); }
  QLabel* Panel() { return Find<QLabel>("StatusPanel2"); }
  QCheckBox* Web() { return Find<QCheckBox>("cbWeb"); }

  void Show() {
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
  }

  // Shows the window and switches the server on at a free loopback port.
  void StartOnFreePort() {
    Show();
    for (int attempt = 0; attempt < 5; ++attempt) {
      m_port = FreeLoopbackPort();
      m_form->webAccess().Port = m_port;
      m_dialogs.messages.clear();
      Web()->setChecked(true);
      if (m_form->webServer().Listening()) return;
    }
    QFAIL("no free port on 127.0.0.1");
  }

  // One request on a thread of its own while this thread runs the window's
  // event loop, which draws the image.
  Reply Fetch(const std::string& request) {
    auto pending = std::async(std::launch::async, [port = m_port, request] {
      return Exchange(port, request);
    });
    const auto ready = [&] {
      return pending.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    };
    if (!QTest::qWaitFor(ready, 30000)) {
      qWarning("no reply to %s", request.c_str());
      return {};
    }
    return pending.get();
  }
  Reply Fetch200(const std::string& target) {
    Reply reply = Fetch(Get(target));
    if (reply.StatusLine() != "HTTP/1.1 200 OK") qWarning("reply: %s", reply.head.c_str());
    return reply;
  }

  // What a fresh render of the window's present state gives, encoded as the
  // web image is.
  QByteArray FreshImage(ImageType type) {
    QImage image = ChartRenderer::Render(m_form->GraphSize(), m_form->session().Chart());
    if (Find<QCheckBox>("cbGray")->isChecked()) {
      ConvertBitmapToGrayscale1(MutableRasterView{image.bits(), image.width(), image.height(),
                                                  image.bytesPerLine(), PixelFormat::Xrgb32});
    }
    std::vector<std::uint8_t> bytes;
    const RasterView raster{image.constBits(), image.width(), image.height(),
                            image.bytesPerLine(), PixelFormat::Xrgb32};
    if (!EncodeImage(raster, type, kWebJpegQuality, bytes)) return {};
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
  }

  // The next request cannot be answered from the image cache.
  void ForgetCachedImage() {
    auto* gray = Find<QCheckBox>("cbGray");
    gray->toggle();
    gray->toggle();
  }

 private slots:
  void init() {
    m_dialogs = RecordingDialogs();
    m_home = std::make_unique<WindowHome>();
    m_form = std::make_unique<TForm1>(m_clock, m_home->Environment(&m_dialogs));
    HttpServerOptions loopback;
    loopback.bindAddress = "127.0.0.1";
    m_form->webServer().SetOptions(loopback);
    m_form->CreateAccessDialog();
  }
  void cleanup() { m_form.reset(); }

  // ---- The access dialog.

  void accessDialogLayout() {
    WebAccessSettings settings;
    bool metrics = false, livePage = false;
    TForm2 dialog(settings, metrics, livePage);
    QCOMPARE(dialog.windowTitle(), QString("Quorvel - Advanced HTTP Configuration"));
    QCOMPARE(dialog.size(), QSize(428, 266));
    QCOMPARE(dialog.minimumSize(), QSize(428, 266));
    QCOMPARE(dialog.maximumSize(), QSize(428, 266));
    const std::pair<const char*, const char*> captions[] = {
        {"Label41", "Username"}, {"Label42", "Password"}, {"Label40", "Server Port"}};
    for (const auto& [name, text] : captions) {
      QCOMPARE(dialog.findChild<QLabel*>(name)->text(), QString(text));
    }
    QCOMPARE(dialog.findChild<QCheckBox*>("cbAuth")->text(),
             QString("Server requires authentication"));
    QCOMPARE(dialog.findChild<QLineEdit*>("edPort")->text(), QString("80"));
    const auto buttons = dialog.findChildren<QPushButton*>();
    QCOMPARE(buttons.size(), 1);  // OK only, no Cancel
    QCOMPARE(buttons.front()->objectName(), QString("Button1"));
    QCOMPARE(buttons.front()->text(), QString("OK"));

    auto* password = dialog.findChild<QLineEdit*>("edWebPassword");
    password->setText("s3cret");
    QCOMPARE(password->echoMode(), QLineEdit::Password);
    QCOMPARE(password->displayText(), QString("++++++"));
  }

  void accessDialogCopiesInAndBack_data() {
    QTest::addColumn<QString>("portText");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("titleBarClose");
    QTest::newRow("number, OK") << "8081" << 8081 << false;
    QTest::newRow("letters become 80") << "abc" << 80 << false;
    QTest::newRow("empty becomes 80") << "" << 80 << true;
    QTest::newRow("decimal point becomes 80") << "81.5" << 80 << false;
    QTest::newRow("no range check") << "70000" << 70000 << true;
    QTest::newRow("negative kept") << "-5" << -5 << false;
  }
  void accessDialogCopiesInAndBack() {
    QFETCH(QString, portText);
    QFETCH(int, port);
    QFETCH(bool, titleBarClose);
    WebAccessSettings settings{true, "ann", "pa:ss", 8080};
    bool metrics = false, livePage = false;
    TForm2 dialog(settings, metrics, livePage);
    QVERIFY(dialog.findChild<QCheckBox*>("cbAuth")->isChecked());
    QCOMPARE(dialog.findChild<QLineEdit*>("edWebUser")->text(), QString("ann"));
    QCOMPARE(dialog.findChild<QLineEdit*>("edWebPassword")->text(), QString("pa:ss"));
    QCOMPARE(dialog.findChild<QLineEdit*>("edPort")->text(), QString("8080"));

    dialog.open();
    dialog.findChild<QCheckBox*>("cbAuth")->setChecked(false);
    dialog.findChild<QLineEdit*>("edWebUser")->setText("bob");
    dialog.findChild<QLineEdit*>("edWebPassword")->setText("x y");
    dialog.findChild<QLineEdit*>("edPort")->setText(portText);
    dialog.findChild<QCheckBox*>("cbLivePage")->setChecked(true);
    if (titleBarClose) {
      dialog.close();
    } else {
      QTest::mouseClick(dialog.findChild<QPushButton*>("Button1"), Qt::LeftButton);
    }
    QVERIFY(!dialog.isVisible());
    QCOMPARE(settings.AuthRequired, false);
    QCOMPARE(settings.UserName, std::string("bob"));
    QCOMPARE(settings.Password, std::string("x y"));
    QCOMPARE(settings.Port, port);
    QVERIFY(livePage);
  }

  void advancedOpensTheDialogBelowRight() {
    Show();
    m_form->move(150, 120);
    QPoint shownAt;
    bool modal = false;
    QTimer::singleShot(0, this, [&] {
      TForm2* dialog = m_form->accessDialog();
      shownAt = dialog->pos();
      modal = dialog->isModal() && dialog->isVisible();
      dialog->close();
    });
    Find<QPushButton>("btnAdvanced")->click();
    QVERIFY(modal);
    QCOMPARE(shownAt, m_form->pos() + QPoint(100, 200));
  }

  // ---- The web image name and the status panel.

  void nameFollowsTheType_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no extension") << "graph" << "rbJPG" << "graph.jpg";
    QTest::newRow("last dot only") << "my.graph.gif" << "rbJPG" << "my.graph.jpg";
    QTest::newRow("empty") << "" << "rbJPG" << ".jpg";
    QTest::newRow("gif") << "quorvel.jpg" << "rbGIF" << "quorvel.gif";
    QTest::newRow("bmp") << "quorvel.jpg" << "rbBMP" << "quorvel.bmp";
    QTest::newRow("png") << "quorvel.jpg" << "rbPNG" << "quorvel.png";
    QTest::newRow("dot before a separator") << "c:\\a.b\\graph" << "rbPNG" << "c:\\a.b\\graph.png";
  }
  void nameFollowsTheType() {
    QFETCH(QString, name);
    QFETCH(QString, button);
    QFETCH(QString, expected);
    auto* target = Find<QRadioButton>(button.toLatin1().constData());
    Find<QRadioButton>(button == "rbBMP" ? "rbPNG" : "rbBMP")->setChecked(true);
    auto* edTemp = Find<QLineEdit>("edTemp");
    edTemp->setText(name);
    QTest::mouseClick(target, Qt::LeftButton);
    QVERIFY(target->isChecked());
    QCOMPARE(edTemp->text(), expected);
  }

  void nameFollowsTheTypeWhenTheBoxIsLeft() {
    Show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    auto* edTemp = Find<QLineEdit>("edTemp");
    edTemp->setText("graph.png");
    edTemp->setFocus();
    QTRY_VERIFY(edTemp->hasFocus());
    QCOMPARE(edTemp->text(), QString("graph.png"));
    Find<QCheckBox>("cbGray")->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(edTemp->text(), QString("graph.jpg"));
  }

  void panelFollowsTheNameWhileStopped() {
    // Loading the name at start-up leaves its bare extension.
    QCOMPARE(Panel()->text(), QString(".jpg"));
    auto* edTemp = Find<QLineEdit>("edTemp");
    edTemp->setText("picture.png");
    QCOMPARE(Panel()->text(), QString(".png"));
    edTemp->setText("picture");
    QCOMPARE(Panel()->text(), QString(""));
  }

  void panelWhileRunning() {
    StartOnFreePort();
    const QString running = QString::fromStdString(
        "SERVER RUNNING - http://" + ShownServerAddress() + ":" + std::to_string(m_port) + "/");
    QCOMPARE(Panel()->text(), running + "quorvel.jpg");
    // The panel widens to show it whole.
    QVERIFY(Panel()->contentsRect().width() >= Panel()->fontMetrics().horizontalAdvance(Panel()->text()));
    QVERIFY(Panel()->width() > 100);
    QTest::mouseClick(Find<QRadioButton>("rbGIF"), Qt::LeftButton);
    QCOMPARE(Find<QLineEdit>("edTemp")->text(), QString("quorvel.gif"));
    QCOMPARE(Panel()->text(), running + "quorvel.gif");
    // Only the extension follows; the base name is the one of the start.
    Find<QLineEdit>("edTemp")->setText("other.png");
    QCOMPARE(Panel()->text(), running + "quorvel.png");

    Web()->setChecked(false);
    QVERIFY(!m_form->webServer().Listening());
    QCOMPARE(Panel()->text(), QString(""));
    QCOMPARE(Panel()->width(), 100);
    QVERIFY(m_dialogs.messages.isEmpty());
  }

  void switchedOnWhileHiddenDoesNotStart() {
    Web()->setChecked(true);
    QVERIFY(!m_form->webServer().Listening());
    QCOMPARE(Panel()->text(), QString(""));
    // As the shell does once the window shows.
    Show();
    m_form->webAccess().Port = FreeLoopbackPort();
    m_form->StartServer();
    QVERIFY(m_form->webServer().Listening());
    QVERIFY(Panel()->text().startsWith("SERVER RUNNING - http://"));
  }

  void startFailure_data() {
    QTest::addColumn<bool>("occupied");
    QTest::newRow("port in use") << true;
    QTest::newRow("port outside 1..65535") << false;
  }
  void startFailure() {
    QFETCH(bool, occupied);
    const int busy = ::socket(AF_INET, SOCK_STREAM, 0);
    int port = 70000;
    if (occupied) {
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      socklen_t size = sizeof address;
      QCOMPARE(::bind(busy, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
      QCOMPARE(::listen(busy, 1), 0);
      ::getsockname(busy, reinterpret_cast<sockaddr*>(&address), &size);
      port = ntohs(address.sin_port);
    }
    Show();
    m_form->webAccess().Port = port;
    Web()->setChecked(true);
    ::close(busy);

    QVERIFY(!m_form->webServer().Listening());
    QVERIFY(!Web()->isChecked());
    QCOMPARE(Panel()->text(), QString(""));
    QCOMPARE(m_dialogs.messages.size(), 1);
    QVERIFY(!m_dialogs.messages.front().isEmpty());
    const QString& message = m_dialogs.messages.front();
    if (occupied) QVERIFY2(message.contains("in use"), qPrintable(message));
  }

  void portChangeAppliesAfterOffAndOn() {
    StartOnFreePort();
    const QString before = Panel()->text();
    const int oldPort = m_port;
    const int newPort = FreeLoopbackPort();
    QTimer::singleShot(0, this, [&] {
      m_form->accessDialog()->findChild<QLineEdit*>("edPort")->setText(QString::number(newPort));
      m_form->accessDialog()->findChild<QPushButton*>("Button1")->click();
    });
    Find<QPushButton>("btnAdvanced")->click();
    QCOMPARE(m_form->webAccess().Port, newPort);
    QCOMPARE(Panel()->text(), before);
    QCOMPARE(Fetch200("/quorvel.jpg").StatusLine(), std::string("HTTP/1.1 200 OK"));

    Web()->setChecked(false);
    Web()->setChecked(true);
    QVERIFY(m_form->webServer().Listening());
    m_port = newPort;
    QVERIFY(Panel()->text().contains(":" + QString::number(newPort) + "/"));
    QCOMPARE(Fetch200("/quorvel.jpg").StatusLine(), std::string("HTTP/1.1 200 OK"));
    QVERIFY(!LoopbackClient(oldPort).connected());
  }

  // ---- Over the socket.

  void servesTheGraphAsAFreshRender() {
    StartOnFreePort();
    const Reply reply = Fetch200("/quorvel.jpg");
    QCOMPARE(reply.StatusLine(), std::string("HTTP/1.1 200 OK"));
    QVERIFY(reply.closed);
    QVERIFY(reply.Has("Content-Type: image/jpeg"));
    QVERIFY(reply.Has("Connection: close"));
    QVERIFY(reply.Has("Content-Length: " + std::to_string(reply.body.size())));
    QImage image;
    QVERIFY(image.loadFromData(reply.body, "JPEG"));
    QCOMPARE(image.size(), m_form->GraphSize());
    QVERIFY(reply.body == FreshImage(ImageType::Jpeg));

    const Reply missing = Fetch(Get("/QUORVEL.JPG"));
    QCOMPARE(missing.StatusLine(), std::string("HTTP/1.1 404 Not Found"));
    QVERIFY(missing.Has("Content-Type: text/html"));
    QCOMPARE(missing.body.toStdString(),
             std::string("<html><head><title>Error</title></head><body><h1>404 - Not Found</h1>"
                         "<p><b>Quorvel</b> is unable to locate \"/QUORVEL.JPG\"</body></html>"));
  }

  void everyReplyMatchesTheStateAtItsTime() {
    StartOnFreePort();
    const QByteArray white = Fetch200("/quorvel.jpg").body;
    QVERIFY(white == FreshImage(ImageType::Jpeg));
    m_dialogs.colourAnswer = QColor(255, 255, 0);
    Find<QPushButton>("btnBackColour")->click();
    const QByteArray plain = Fetch200("/quorvel.jpg").body;
    QVERIFY(plain != white);
    QVERIFY(plain == FreshImage(ImageType::Jpeg));

    Find<QCheckBox>("cbGray")->setChecked(true);
    const QByteArray gray = Fetch200("/quorvel.jpg").body;
    QVERIFY(gray != plain);
    QVERIFY(gray == FreshImage(ImageType::Jpeg));
    Find<QCheckBox>("cbGray")->setChecked(false);
    QVERIFY(Fetch200("/quorvel.jpg").body == plain);

    Find<QLineEdit>("edTitle")->setText("Another title");
    const QByteArray retitled = Fetch200("/quorvel.jpg").body;
    QVERIFY(retitled != plain);
    QVERIFY(retitled == FreshImage(ImageType::Jpeg));

    m_form->resize(m_form->width() + 40, m_form->height() + 30);
    QImage resized;
    QVERIFY(resized.loadFromData(Fetch200("/quorvel.jpg").body, "JPEG"));
    QCOMPARE(resized.size(), m_form->GraphSize());

    Find<QRadioButton>("rbPixels")->setChecked(true);
    Find<QSpinBox>("spGrWidth")->setValue(300);
    Find<QSpinBox>("spGrHeight")->setValue(200);
    QVERIFY(resized.loadFromData(Fetch200("/quorvel.jpg").body, "JPEG"));
    QCOMPARE(resized.size(), QSize(300, 200));
    Find<QCheckBox>("cbHTTP")->setChecked(false);
    QVERIFY(resized.loadFromData(Fetch200("/quorvel.jpg").body, "JPEG"));
    QCOMPARE(resized.size(), m_form->GraphSize());

    QTest::mouseClick(Find<QRadioButton>("rbPNG"), Qt::LeftButton);
    const Reply png = Fetch200("/quorvel.png");
    QVERIFY(png.Has("Content-Type: image/x-png"));
    QVERIFY(png.body == FreshImage(ImageType::Png));
    QCOMPARE(Fetch(Get("/quorvel.jpg")).StatusLine(), std::string("HTTP/1.1 404 Not Found"));
  }

  void authenticationIsReadForEveryRequest() {
    StartOnFreePort();
    QTimer::singleShot(0, this, [&] {
      TForm2* dialog = m_form->accessDialog();
      dialog->findChild<QCheckBox*>("cbAuth")->setChecked(true);
      dialog->findChild<QLineEdit*>("edWebUser")->setText("ann");
      dialog->findChild<QLineEdit*>("edWebPassword")->setText("pa:ss");
      dialog->findChild<QPushButton*>("Button1")->click();
    });
    Find<QPushButton>("btnAdvanced")->click();

    const Reply refused = Fetch(Get("/quorvel.jpg"));
    QCOMPARE(refused.StatusLine(), std::string("HTTP/1.1 401 Unauthorized"));
    QVERIFY(refused.Has("WWW-Authenticate: Basic realm=\"Quorvel Web Service\""));
    // "ann:pa:ss" and "ann:pa:sS"
    QCOMPARE(Fetch(Get("/quorvel.jpg", "Authorization: Basic YW5uOnBhOnNT\r\n")).StatusLine(),
             std::string("HTTP/1.1 401 Unauthorized"));
    const Reply served = Fetch(Get("/quorvel.jpg", "Authorization: Basic YW5uOnBhOnNz\r\n"));
    QCOMPARE(served.StatusLine(), std::string("HTTP/1.1 200 OK"));
    QVERIFY(served.body == FreshImage(ImageType::Jpeg));
  }

  void concurrentRequestsGetTheSameImage() {
    StartOnFreePort();
    ForgetCachedImage();
    std::vector<std::future<Reply>> pending;
    for (int i = 0; i < 8; ++i) {
      pending.push_back(std::async(std::launch::async, [port = m_port] {
        return Exchange(port, Get("/quorvel.jpg"));
      }));
    }
    const auto allReady = [&] {
      for (auto& p : pending) {
        if (p.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return false;
      }
      return true;
    };
    QTRY_VERIFY_WITH_TIMEOUT(allReady(), 30000);
    const QByteArray expected = FreshImage(ImageType::Jpeg);
    for (auto& p : pending) {
      const Reply reply = p.get();
      QCOMPARE(reply.StatusLine(), std::string("HTTP/1.1 200 OK"));
      QVERIFY(reply.body == expected);
    }
  }

  void stalledClientDoesNotBlockOthers() {
    StartOnFreePort();
    LoopbackClient stalled(m_port);
    QVERIFY(stalled.connected());
    stalled.Send("GET /quorvel.jpg HTTP/1.1\r\nHost: 127.0");
    LoopbackClient silent(m_port);
    QVERIFY(silent.connected());
    QCOMPARE(Fetch200("/quorvel.jpg").StatusLine(), std::string("HTTP/1.1 200 OK"));
  }

  // Requests wait for the window's thread, which does not get to them; the
  // way the server is stopped is the row's.
  void stoppingReleasesWaitingRequests_data() {
    QTest::addColumn<bool>("closeWindow");
    QTest::newRow("cbWeb unchecked") << false;
    QTest::newRow("window closed") << true;
  }
  void stoppingReleasesWaitingRequests() {
    QFETCH(bool, closeWindow);
    StartOnFreePort();
    ForgetCachedImage();

    // The renders handed to the window are dropped before they run, so the
    // requests stay waiting until the server is stopped.
    class DropRenders : public QObject {
     public:
      std::atomic<int> dropped{0};
      bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::MetaCall) return false;
        ++dropped;
        return true;
      }
    } drop;
    m_form->installEventFilter(&drop);

    std::vector<std::future<LoopbackClient::Received>> waiting;
    for (int i = 0; i < 3; ++i) {
      waiting.push_back(std::async(std::launch::async, [port = m_port] {
        LoopbackClient client(port);
        client.Send(Get("/quorvel.jpg"));
        return client.ReadAll();
      }));
    }
    QTRY_COMPARE_WITH_TIMEOUT(drop.dropped.load(), 3, 30000);

    QElapsedTimer stopping;
    stopping.start();
    if (closeWindow) {
      m_form->close();
    } else {
      Web()->setChecked(false);
      QCOMPARE(Panel()->text(), QString(""));
    }
    // Not a speed figure: only that stopping does not wait for the window.
    QVERIFY2(stopping.elapsed() < 5000, qPrintable(QString::number(stopping.elapsed())));
    QVERIFY(!m_form->webServer().Listening());
    for (auto& request : waiting) {
      const auto [bytes, closed] = request.get();
      QVERIFY(closed);
      QCOMPARE(bytes, std::string());
    }
    QVERIFY(!LoopbackClient(m_port).connected());
    m_form->removeEventFilter(&drop);
  }
};

QTEST_MAIN(Form1WebTest)
#include "form1_web_test.moc"
