// The shell around the main window: the notification-area icon, the help
// document and the about line.
#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QShowEvent>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/controls.h"
#include "app/form1.h"
#include "app/helpfile.h"
#include "app/pictures.h"

namespace quorvel {

namespace {



const char kMakerPage[] = "https://quorvel.example/";

}  // namespace

void TForm1::ConnectShellHandlers() {
  setWindowIcon(PictureIcon(Picture::Program));

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  mnuRestore = PopupMenu1->addAction(QStringLiteral("Restore Quorvel"));
  mnuRestore->setObjectName(QStringLiteral("mnuRestore"));
  PopupMenu1->addSeparator();
  CloseQuorvel1 = PopupMenu1->addAction(QStringLiteral("Close Quorvel"));
  CloseQuorvel1->setObjectName(QStringLiteral("CloseQuorvel1"));
  TrayIcon = new QSystemTrayIcon(PictureIcon(Picture::Program), this);
  TrayIcon->setObjectName(QStringLiteral("TrayIcon"));
  TrayIcon->setContextMenu(PopupMenu1);

  connect(mnuRestore, &QAction::triggered, this, &TForm1::mnuRestoreClick);
  connect(CloseQuorvel1, &QAction::triggered, this, &TForm1::CloseQuorvel1Click);
  connect(TrayIcon, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger) mnuRestoreClick();
          });
  connect(cbMinimize, &QCheckBox::toggled, this, &TForm1::cbMinimizeClick);
  connect(btnHelp, &QToolButton::clicked, this, &TForm1::btnHelpClick);

  Label19->setCursor(Qt::PointingHandCursor);
  new EventHook(
      Label19,
      [this](QEvent* event) {
        if (event->type() == QEvent::MouseButtonRelease) Label19Click();
      },
      Label19);
}

void TForm1::cbMinimizeClick() { m_minimizeToTray = cbMinimize->isChecked(); }

void TForm1::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // The desktop's palette changed (a dark theme switched on or off).
  if (event->type() == QEvent::PaletteChange) ApplyTextColours();
  if (event->type() != QEvent::WindowStateChange || !isMinimized()) return;
  // Without a notification area, minimising stays what it always is.
  if (!m_minimizeToTray || !QSystemTrayIcon::isSystemTrayAvailable()) return;
  TrayIcon->show();
  hide();
}

void TForm1::mnuRestoreClick() {
  showNormal();
  raise();
  activateWindow();
  TrayIcon->hide();
}

void TForm1::CloseQuorvel1Click() { close(); }

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  PageControl1->setFocus();
}

void TForm1::btnHelpClick() {
  // The file could not be written at start: the compiled-in copy serves.
  if (!m_helpInstalled) return ShowHelpWindow();
  if (m_helpPath.empty() || !FileExists(m_helpPath)) return;
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(m_helpPath)))) {
    ShowHelpWindow();
  }
}

// Where the desktop has no program for the help document, or the file could
// not be written, the compiled-in document is shown here.
void TForm1::ShowHelpWindow() {
  if (m_helpWindow == nullptr) {
    auto* window = new QDialog(this);
    window->setObjectName(QStringLiteral("HelpWindow"));
    window->setWindowTitle(QStringLiteral("Quorvel Help"));
    window->resize(640, 560);
    auto* layout = new QVBoxLayout(window);
    auto* browser = new QTextBrowser(window);
    browser->setObjectName(QStringLiteral("HelpBrowser"));
    browser->setOpenExternalLinks(false);
    layout->addWidget(browser);
    m_helpWindow = window;
  }
  auto* browser = m_helpWindow->findChild<QTextBrowser*>(QStringLiteral("HelpBrowser"));
  QFile file(QStringLiteral(":/help.html"));
  if (file.open(QIODevice::ReadOnly)) browser->setHtml(QString::fromUtf8(file.readAll()));
  m_helpWindow->show();
  m_helpWindow->raise();
}

void TForm1::Label19Click() { QDesktopServices::openUrl(QUrl(QString::fromLatin1(kMakerPage))); }

}  // namespace quorvel
