// The program itself, copied alone into a folder of its own and started
// under the offscreen platform with the fake ping first on PATH: what a
// settings file starts, and what a close by signal leaves behind.
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>

#include <string>

#include "settings/inifile.h"
#include "settings/settingvalues.h"
#include "common/loopback.h"

using namespace quorvel;

class ProgramTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir m_dir;
  QString Program() const { return m_dir.path() + QStringLiteral("/quorvel"); }
  QString Ini() const { return Program() + QStringLiteral(".ini"); }
  QString PingArguments() const { return m_dir.path() + QStringLiteral("/ping-arguments"); }

  void Launch(QProcess& process, const QStringList& arguments = {}, const QString& pingMode = "reply") {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("PATH"),
                       QStringLiteral(QUORVEL_FAKE_PING_DIR ":") + environment.value(QStringLiteral("PATH")));
    environment.insert(QStringLiteral("FAKE_PING_MODE"), pingMode);
    environment.insert(QStringLiteral("FAKE_PING_ARGS"), PingArguments());
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(m_dir.path());
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(Program(), arguments);
    QVERIFY(process.waitForStarted(10000));
  }

 private slots:
  void initTestCase() {
    QVERIFY(m_dir.isValid());
    QVERIFY(QFile::copy(QStringLiteral(QUORVEL_PROGRAM), Program()));
  }

  void aSavedRunAndServerResumeWithoutAClickAndSigtermSaves() {
    const int port = FreeLoopbackPort();
    const std::string ini = "[Plotter]\nRun=1\nTime=1\nIgnore=0\nURL=" + EncodeScrambled("127.0.0.1") +
                            "\nWeb=1\nPort=" + std::to_string(port) + "\n";
    QFile file(Ini());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(ini.data(), static_cast<qint64>(ini.size()));
    file.close();

    QProcess program;
    Launch(program);

    // The server answers with the live graph, nobody having clicked.
    std::string reply;
    for (int attempt = 0; attempt < 100 && reply.empty(); ++attempt) {
      QTest::qWait(100);
      reply = RoundTrip(port, "GET /quorvel.jpg HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    }
    QVERIFY2(reply.rfind("HTTP/1.1 200 OK\r\n", 0) == 0, reply.substr(0, 200).c_str());
    const std::size_t body = reply.find("\r\n\r\n");
    QVERIFY(body != std::string::npos);
    QImage image;
    QVERIFY(image.loadFromData(reinterpret_cast<const uchar*>(reply.data() + body + 4),
                               static_cast<int>(reply.size() - body - 4), "JPEG"));
    QCOMPARE(image.size(), QSize(791, 385));
    QVERIFY(QFile::exists(Program() + QStringLiteral(".html")));

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    QVERIFY(program.waitForFinished(15000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);

    const IniFile saved = IniFile::Load(Ini().toStdString());
    QCOMPARE(saved.ReadString("Plotter", "Run", ""), std::string("1"));  // still plotting at the close
    QCOMPARE(saved.ReadString("Plotter", "CCount", ""), std::string("0"));
    QCOMPARE(DecodeScrambled(saved.ReadString("Plotter", "CB0", "")), std::string("127.0.0.1"));
    QVERIFY(!QFile::exists(Program() + QStringLiteral(".html")));
    QCOMPARE(RoundTrip(port, "GET /quorvel.jpg HTTP/1.1\r\n\r\n"), std::string());  // stopped
  }

  // An address on the command line goes into the box and is plotted at
  // once (Qt's own options are not taken for it), as if Start were pressed:
  // closed during its first ping, which hangs, the run is saved to resume.
  void anAddressArgumentStartsARun() {
    QFile::remove(Ini());
    QFile::remove(PingArguments());
    QProcess program;
    Launch(program, {QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("192.0.2.7")},
           QStringLiteral("hang"));
    const auto pinged = [this] {
      QFile file(PingArguments());
      return file.open(QIODevice::ReadOnly) && file.readAll().contains("\n192.0.2.7\n");
    };
    QVERIFY(QTest::qWaitFor(pinged, 20000));
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    QVERIFY(program.waitForFinished(15000));
    QCOMPARE(program.exitCode(), 0);
    const IniFile saved = IniFile::Load(Ini().toStdString());
    QCOMPARE(saved.ReadString("Plotter", "Run", ""), std::string("1"));
    QCOMPARE(DecodeScrambled(saved.ReadString("Plotter", "URL", "")), std::string("192.0.2.7"));
  }
};

QTEST_GUILESS_MAIN(ProgramTest)
#include "program_test.moc"
