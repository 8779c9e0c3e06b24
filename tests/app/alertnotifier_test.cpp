// The desktop notifier without a notification area: the notification goes
// to org.freedesktop.Notifications on the session bus. A private bus
// (dbus-daemon) and a stand-in service in this process receive it.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTest>
#include <QVariantMap>
#include <QWidget>

#include "app/alertnotifier.h"

using namespace quorvel;

class NotificationService : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  QStringList received;

 public slots:
  uint Notify(const QString& app, uint, const QString&, const QString& summary, const QString& body,
              const QStringList&, const QVariantMap&, int) {
    received << app + " | " + summary + " | " + body;
    return 1;
  }
};

class AlertNotifierTest : public QObject {
  Q_OBJECT

 private:
  QProcess m_bus;

 private slots:
  void initTestCase() {
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
      QSKIP("dbus-daemon is not installed");
    }
    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    QVERIFY(m_bus.waitForStarted());
    QVERIFY(m_bus.waitForReadyRead(10000));
    const QByteArray address = m_bus.readLine().trimmed();
    QVERIFY(!address.isEmpty());
    // Read at the first use of the session bus, which is below.
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
  }

  void cleanupTestCase() {
    m_bus.kill();
    m_bus.waitForFinished();
  }

  void withoutANotificationAreaTheServiceGetsIt() {
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    NotificationService service;
    QDBusConnection bus = QDBusConnection::sessionBus();
    QVERIFY(bus.isConnected());
    QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                               QDBusConnection::ExportAllSlots));
    QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));

    QWidget window;
    QSystemTrayIcon tray(&window);
    DesktopNotifier notifier(&tray, &window);
    notifier.Show(QStringLiteral("Quorvel: alert raised"),
                  QStringLiteral("127.0.0.1 lost>=3: 3 lost in a row"));
    QVERIFY(QTest::qWaitFor([&] { return !service.received.isEmpty(); }, 10000));
    QCOMPARE(service.received,
             QStringList{"Quorvel | Quorvel: alert raised | 127.0.0.1 lost>=3: 3 lost in a row"});
    QVERIFY(!tray.isVisible());
  }
};

QTEST_MAIN(AlertNotifierTest)
#include "alertnotifier_test.moc"
