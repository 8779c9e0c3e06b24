// The main window on a Linux desktop: text readable on a dark palette, the
// title colour button, the font dialog where Arial is missing, the web
// server's start failure message, and a close asked for from outside.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "graph/contrast.h"
#include "app/controls.h"
#include "app/dialogs.h"
#include "app/form1.h"
#include "app/windowweb.h"
#include "settings/inifile.h"
#include "common/fixedclock.h"
#include "recordingdialogs.h"
#include "windowhome.h"

using namespace quorvel;

namespace {

// A dark desktop palette, as dark themes set it.
QPalette DarkPalette() {
  QPalette p;
  const QColor window(45, 45, 48), base(30, 30, 32), text(230, 230, 230);
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    p.setColor(group, QPalette::Window, window);
    p.setColor(group, QPalette::WindowText, text);
    p.setColor(group, QPalette::Base, base);
    p.setColor(group, QPalette::AlternateBase, window);
    p.setColor(group, QPalette::Text, text);
    p.setColor(group, QPalette::Button, QColor(60, 60, 64));
    p.setColor(group, QPalette::ButtonText, text);
    p.setColor(group, QPalette::ToolTipBase, base);
    p.setColor(group, QPalette::ToolTipText, text);
  }
  p.setColor(QPalette::Disabled, QPalette::Window, window);
  p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(130, 130, 130));
  p.setColor(QPalette::Disabled, QPalette::Text, QColor(130, 130, 130));
  p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(130, 130, 130));
  return p;
}

Rgb ToRgb(const QColor& c) { return {c.red(), c.green(), c.blue()}; }

// The colour a control draws its text in and what it draws it on.
struct TextColours {
  QColor text, background;
};
std::optional<TextColours> TextColoursOf(const QWidget* w) {
  const QPalette& p = w->palette();
  auto pair = [&p](QPalette::ColorRole text, QPalette::ColorRole background) {
    return TextColours{p.color(QPalette::Active, text), p.color(QPalette::Active, background)};
  };
  if (qobject_cast<const QPushButton*>(w) || qobject_cast<const QToolButton*>(w)) {
    return pair(QPalette::ButtonText, QPalette::Button);
  }
  if (qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
      qobject_cast<const QPlainTextEdit*>(w) || qobject_cast<const QComboBox*>(w)) {
    return pair(QPalette::Text, QPalette::Base);
  }
  if (qobject_cast<const QLabel*>(w) || qobject_cast<const QCheckBox*>(w) ||
      qobject_cast<const QRadioButton*>(w) || qobject_cast<const QGroupBox*>(w) ||
      qobject_cast<const QTabBar*>(w)) {
    return pair(QPalette::WindowText, QPalette::Window);
  }
  return std::nullopt;
}

QString Name(const QWidget* w) {
  return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
}

}  // namespace

class Form1DesktopTest : public QObject {
  Q_OBJECT

 private:
  FixedClock m_clock{kMonday7December2026};
  RecordingDialogs m_dialogs;
  std::unique_ptr<WindowHome> m_home;
  std::unique_ptr<TForm1> m_form;
  QPalette m_desktop;

  template <typename T>
  T* Find(const char* name) { return FindControl<T>(m_form.get(), name); }
  void Start(const Form1Environment& environment) {
    m_form = std::make_unique<TForm1>(m_clock, environment);
  }
  void Start() { Start(m_home->Environment(&m_dialogs)); }
  std::string IniPath() const { return m_home->Executable() + ".ini"; }

  // Every text of the window against its background.
  void CheckEveryTextReadable() {
    int checked = 0;
    for (const QWidget* w : m_form->findChildren<QWidget*>()) {
      const std::optional<TextColours> c = TextColoursOf(w);
      if (!c) continue;
      ++checked;
      const double ratio = ContrastRatio(ToRgb(c->text), ToRgb(c->background));
      QVERIFY2(ratio >= kReadableContrast,
               qPrintable(QStringLiteral("%1: %2 on %3, %4:1")
                              .arg(Name(w), c->text.name(), c->background.name())
                              .arg(ratio, 0, 'f', 2)));
    }
    QVERIFY(checked > 100);  // the whole window, not a corner of it
  }

  QColor Caption(const char* group) { return Find<QGroupBox>(group)->palette().color(QPalette::WindowText); }
  QColor WindowTextOf(const char* name) { return Find<QWidget>(name)->palette().color(QPalette::WindowText); }

 private slots:
  void initTestCase() {
    m_desktop = QApplication::palette();
    qputenv("PATH", QByteArray(QUORVEL_FAKE_PING_DIR) + ":" + qgetenv("PATH"));
  }
  void init() {
    QApplication::setPalette(m_desktop);
    m_dialogs = RecordingDialogs();
    m_home = std::make_unique<WindowHome>();
  }
  void cleanup() {
    m_form.reset();
    m_home.reset();
    QApplication::setPalette(m_desktop);
    QCoreApplication::processEvents();
  }

  void onALightPaletteTheColoursAreAsDesigned() {
    Start();
    CheckEveryTextReadable();
    QCOMPARE(Caption("GroupBox1"), QColor(0, 0, 255));
    QCOMPARE(Caption("GroupBox11"), QColor(0, 0, 255));
    QCOMPARE(WindowTextOf("Label13"), QColor(128, 0, 0));   // "STOPPED"
    QCOMPARE(WindowTextOf("Label19"), QColor(0, 0, 255));   // the about line
    QCOMPARE(WindowTextOf("Label15"), QColor(0, 0, 255));   // the version
    // Inside a group box the text is the desktop's, not the caption's blue.
    QCOMPARE(WindowTextOf("Label2"), m_desktop.color(QPalette::WindowText));
    QCOMPARE(WindowTextOf("cbIgnore"), m_desktop.color(QPalette::WindowText));
    QCOMPARE(Find<QLineEdit>("edTitle")->palette().color(QPalette::Text), m_desktop.color(QPalette::Text));
  }

  void onADarkPaletteEveryTextIsReadable() {
    QApplication::setPalette(DarkPalette());
    Start();
    CheckEveryTextReadable();
    // The texts follow the desktop; the accents keep their hue.
    QCOMPARE(WindowTextOf("Label2"), QColor(230, 230, 230));
    QCOMPARE(Find<QPushButton>("btnFont")->palette().color(QPalette::ButtonText), QColor(230, 230, 230));
    const QColor caption = Caption("GroupBox3");
    QVERIFY2(caption.blue() > caption.red() && caption.blue() > caption.green(), qPrintable(caption.name()));
    const QColor stopped = WindowTextOf("Label13");
    QVERIFY2(stopped.red() > stopped.green() && stopped.red() > stopped.blue(), qPrintable(stopped.name()));
  }

  void aPaletteChangedWhileRunningIsFollowed() {
    Start();
    // The change reaches the widgets through the event loop.
    QApplication::setPalette(DarkPalette());
    QCoreApplication::processEvents();
    QCOMPARE(m_form->palette().color(QPalette::Window), QColor(45, 45, 48));
    CheckEveryTextReadable();
    QApplication::setPalette(m_desktop);
    QCoreApplication::processEvents();
    CheckEveryTextReadable();
    QCOMPARE(Caption("GroupBox5"), QColor(0, 0, 255));
  }

  void titleColourButtonSetsTheTitleColourSavedAsColour() {
    Start();
    QPushButton* font = Find<QPushButton>("btnFont");
    QPushButton* colour = Find<QPushButton>("btnTitleColour");
    QCOMPARE(colour->text(), QStringLiteral("Title Colour"));
    QCOMPARE(colour->parentWidget(), font->parentWidget());
    QCOMPARE(colour->y(), font->y());
    QVERIFY(colour->x() >= font->geometry().right());
    QVERIFY(colour->geometry().right() < colour->parentWidget()->width());

    m_dialogs.colourAnswer = QColor(0, 128, 255);
    QTest::mouseClick(colour, Qt::LeftButton);
    QCOMPARE(m_dialogs.colourAsked, QColor(0, 0, 0));  // the stored colour, clBlack
    QCOMPARE(m_form->session().Chart().look.titleFont.colour, RgbColour(0, 128, 255));
    m_dialogs.colourAnswer.reset();  // Cancel changes nothing
    QTest::mouseClick(colour, Qt::LeftButton);
    QCOMPARE(m_dialogs.colourAsked, QColor(0, 128, 255));
    QCOMPARE(m_form->session().Chart().look.titleFont.colour, RgbColour(0, 128, 255));
    m_form->close();
    QCOMPARE(IniFile::Load(IniPath()).ReadString("Plotter", "Colour", ""), std::string("$00FF8000"));

    // And back at the next start.
    m_form.reset();
    Start();
    QCOMPARE(m_form->session().Chart().look.titleFont.colour, RgbColour(0, 128, 255));
  }

  void theFontDialogShowsTheFontDrawnForAMissingFamily() {
    if (QFontDatabase::families().contains(QStringLiteral("Arial"))) {
      QSKIP("Arial is installed here: nothing stands in for it");
    }
    const QString standIn = QFontInfo(QFont(QStringLiteral("Arial"))).family();
    QVERIFY(standIn != QStringLiteral("Arial"));
    QFont stored(QStringLiteral("Arial"));
    stored.setPointSize(10);

    // OK without a change: the dialog showed the stand-in, the name stays.
    QString shown;
    QTimer::singleShot(0, this, [&shown] {
      auto* dialog = qobject_cast<QFontDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      shown = dialog->currentFont().family();
      dialog->accept();
    });
    std::optional<QFont> chosen = Dialogs::Desktop().PickFont(nullptr, stored);
    QCOMPARE(shown, standIn);
    QVERIFY(chosen.has_value());
    QCOMPARE(chosen->family(), QStringLiteral("Arial"));
    QCOMPARE(chosen->pointSize(), 10);

    // Another family chosen is taken as it is.
    const QString other = standIn == QStringLiteral("Liberation Serif") ? QStringLiteral("Liberation Sans")
                                                                        : QStringLiteral("Liberation Serif");
    if (!QFontDatabase::families().contains(other)) QSKIP("no second family to choose");
    QTimer::singleShot(0, this, [&other] {
      auto* dialog = qobject_cast<QFontDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      dialog->setCurrentFont(QFont(other, 12));
      dialog->accept();
    });
    chosen = Dialogs::Desktop().PickFont(nullptr, stored);
    QVERIFY(chosen.has_value());
    QCOMPARE(chosen->family(), other);
  }

  void aWebServerThatCannotStartNamesThePort() {
    Start();
    HttpServerOptions loopback;
    loopback.bindAddress = "127.0.0.1";
    m_form->webServer().SetOptions(loopback);
    const int busy = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    QCOMPARE(::bind(busy, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    QCOMPARE(::listen(busy, 1), 0);
    ::getsockname(busy, reinterpret_cast<sockaddr*>(&address), &size);
    const int port = ntohs(address.sin_port);
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    m_form->webAccess().Port = port;
    Find<QCheckBox>("cbWeb")->setChecked(true);
    ::close(busy);
    QCOMPARE(m_dialogs.messages.size(), 1);
    QVERIFY2(m_dialogs.messages.front().startsWith(
                 QStringLiteral("Unable to start the web server on port %1: ").arg(port)),
             qPrintable(m_dialogs.messages.front()));
    QVERIFY(m_dialogs.messages.front().contains(QStringLiteral("in use")));
  }

  void aProgramFolderThatCannotBeWrittenKeepsTheSettingsPerUser() {
    // The program's folder does not exist: nothing can be written there.
    const std::string executable = m_home->Executable() + "-missing/quorvel";
    const std::string perUser = m_home->Path().toStdString() + "/config/quorvel/quorvel.ini";
    Start(m_home->Environment(&m_dialogs, executable));
    QCOMPARE(m_form->files().settingsSave, perUser);
    QCOMPARE(m_form->files().help, m_home->Path().toStdString() + "/runtime/quorvel.html");
    QVERIFY(QFile::exists(QString::fromStdString(m_form->files().help)));
    Find<SpinEdit>("spX")->setValue(42);
    m_form->close();
    QCOMPARE(m_dialogs.messages, QStringList());
    QCOMPARE(IniFile::Load(perUser).ReadString("Plotter", "Time", ""), std::string("42"));
    QVERIFY(!QFile::exists(QString::fromStdString(m_form->files().help)));

    m_form.reset();
    Start(m_home->Environment(&m_dialogs, executable));
    QCOMPARE(Find<SpinEdit>("spX")->Value(), 42);
    QCOMPARE(m_dialogs.messages, QStringList());
  }

  void aCloseAskedForFromOutsideShowsNoBox() {
    bool outside = false;
    Form1Environment environment = m_home->Environment(&m_dialogs);
    environment.closeRequestedFromOutside = [&outside] { return outside; };
    // A folder where the settings file should be: it cannot be written.
    QVERIFY(QDir().mkpath(QString::fromStdString(IniPath() + "/inside")));
    Start(environment);

    std::ostringstream errors;
    std::streambuf* saved = std::cerr.rdbuf(errors.rdbuf());
    outside = true;
    m_form->close();
    std::cerr.rdbuf(saved);
    QCOMPARE(m_dialogs.messages, QStringList());
    // The reason, then the box's text.
    const QString unable = QStringLiteral("quorvel: Unable to write to ") + QString::fromStdString(IniPath());
    QCOMPARE(QString::fromStdString(errors.str()),
             unable + QStringLiteral(": Is a directory\n") + unable + QStringLiteral("\n"));
  }
};

QTEST_MAIN(Form1DesktopTest)
#include "form1_desktop_test.moc"
