// Alerts in the window, with the fake ping: the rule set in the Alerts
// dialog, one raise and one clear reaching the notifier, the beep, the alert
// log and the command; the status panel and the caption while it is active;
// the marks on the graph's image.
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

#include "app/alertnotifier.h"
#include "app/alertsdialog.h"
#include "app/form1.h"
#include "common/fixedclock.h"
#include "recordingdialogs.h"
#include "windowhome.h"

using namespace quorvel;

namespace {

class FakeNotifier final : public AlertNotifier {
 public:
  QStringList shown;
  void Show(const QString& title, const QString& text) override { shown << title + " | " + text; }
};

QStringList Lines(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

int Pixels(const QImage& image, QRgb colour) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += (image.pixel(x, y) & 0xFFFFFFu) == (colour & 0xFFFFFFu);
  return n;
}

}  // namespace

class Form1AlertsTest : public QObject {
  Q_OBJECT

 private:
  FixedClock m_clock;
  RecordingDialogs m_dialogs;
  FakeNotifier m_notifier;
  std::unique_ptr<WindowHome> m_home;
  std::unique_ptr<TForm1> m_form;

  template <typename T>
  T* Find(const char* name) { return FindControl<T>(m_form.get(), name); }
  AlertsDialog* OpenAlerts() {
    m_form->mnuAlertsClick();
    return FindControl<AlertsDialog>(m_form.get(), "AlertsDialog");
  }
  QString InHome(const char* name) const { return m_home->Path() + QLatin1Char('/') + name; }

 private slots:
  void initTestCase() {
    qputenv("PATH", QByteArray(QUORVEL_FAKE_PING_DIR) + ":" + qgetenv("PATH"));
  }

  void init() {
    m_dialogs = RecordingDialogs();
    m_notifier.shown.clear();
    m_home = std::make_unique<WindowHome>();
    Form1Environment environment = m_home->Environment(&m_dialogs);
    environment.alertNotifier = &m_notifier;
    m_form = std::make_unique<TForm1>(m_clock, environment);
    Find<QComboBox>("cbURL")->setEditText(QStringLiteral("127.0.0.1"));
    Find<QSpinBox>("spX")->setValue(60);  // ticks come from the test alone
    Find<QSpinBox>("spPages")->setValue(0);
    Find<QCheckBox>("cbIgnore")->setChecked(false);
  }

  void cleanup() {
    m_form.reset();
    m_home.reset();
    qunsetenv("FAKE_PING_SCRIPT");
  }

  void threeLostInARowRaisesOnceAndClearsOnce() {
    // The command writes what its environment says, one line per event.
    const QString script = InHome("on-alert");
    {
      QFile file(script);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("#!/bin/sh\necho \"$QUORVEL_ALERT_STATE $QUORVEL_ALERT_TARGET $QUORVEL_ALERT_RULE "
                 "$QUORVEL_ALERT_VALUE\" >> \"$1\"\n");
      file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    AlertsDialog* dialog = OpenAlerts();
    FindControl<QCheckBox>(dialog, "cbAlertLost")->setChecked(true);
    FindControl<QSpinBox>(dialog, "spLostCount")->setValue(3);
    FindControl<QCheckBox>(dialog, "cbAlertBeep")->setChecked(true);
    FindControl<QLineEdit>(dialog, "edAlertLog")->setText(InHome("alerts.txt"));
    FindControl<QLineEdit>(dialog, "edAlertCommand")->setText(script + " " + InHome("command.txt"));
    dialog->accept();
    QCOMPARE(m_form->settings().extras.alerts.lost, std::string("lost>=3"));

    QVERIFY(UseFakePingScript(m_home->Path(), {"reply 10", "lost", "lost", "lost", "lost", "reply 10",
                                               "reply 10"}));
    Find<QToolButton>("btnStart")->click();
    for (int k = 1; k < 5; ++k) m_form->Timer1Timer();
    // Raised at the fourth point, the third lost in a row.
    QCOMPARE(m_notifier.shown,
             QStringList{"Quorvel: alert raised | 127.0.0.1 lost>=3: 3 lost in a row"});
    auto* panel = Find<QLabel>("StatusPanel3");
    QVERIFY(panel->isVisibleTo(m_form.get()));
    QCOMPARE(panel->text(), QStringLiteral("ALERT lost>=3: 3 lost in a row"));
    QCOMPARE(m_form->windowTitle(), QStringLiteral("[ALERT] Quorvel"));

    m_form->Timer1Timer();
    m_form->Timer1Timer();
    QCOMPARE(m_notifier.shown.size(), 2);
    QVERIFY(m_notifier.shown[1].startsWith("Quorvel: alert cleared | 127.0.0.1 lost>=3"));
    QVERIFY(!panel->isVisibleTo(m_form.get()));
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Quorvel"));
    QCOMPARE(m_dialogs.beeps, 2);
    QCOMPARE(m_dialogs.messages, QStringList());

    const QStringList log = Lines(InHome("alerts.txt"));
    QCOMPARE(log.size(), 2);
    QVERIFY2(log[0].endsWith(" alert raised: 127.0.0.1 lost>=3: 3 lost in a row"), qPrintable(log[0]));
    QVERIFY(log[1].contains(" alert cleared: 127.0.0.1 lost>=3: "));
    QVERIFY(QTest::qWaitFor([&] { return Lines(InHome("command.txt")).size() == 2; }, 20000));
    QCOMPARE(Lines(InHome("command.txt")),
             (QStringList{"raised 127.0.0.1 lost>=3 3", "cleared 127.0.0.1 lost>=3 0"}));

    // The graph's image marks where it was raised and cleared.
    Find<QToolButton>("btnCopy")->click();
    const QImage image =
        QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
    QVERIFY(Pixels(image, qRgb(255, 128, 0)) > 20);
    QVERIFY(Pixels(image, qRgb(0, 160, 0)) > 20);
  }

  // A pattern switched on that cannot be read keeps the dialog open; with
  // no rule on, nothing is checked and no mark is drawn.
  void anUnreadablePatternIsRefused() {
    AlertsDialog* dialog = OpenAlerts();
    FindControl<QCheckBox>(dialog, "cbAlertPattern")->setChecked(true);
    FindControl<QLineEdit>(dialog, "edPattern")->setText(QStringLiteral("*3*,>0%"));
    dialog->accept();
    QCOMPARE(m_dialogs.messages.size(), 1);
    QVERIFY(m_dialogs.messages[0].startsWith("The pattern cannot be used: "));
    QVERIFY(dialog->isVisible() || !dialog->result());
    QVERIFY(!m_form->settings().extras.alerts.patternOn);
    QVERIFY(m_form->session().AlertRules().empty());
  }
};

QTEST_MAIN(Form1AlertsTest)
#include "form1_alerts_test.moc"
