// The shell around the main window: the notification-area icon, the help
// document, the about line and the desktop's palette.
#include <QCheckBox>
#include <QDesktopServices>
#include <QDialog>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QShowEvent>
#include <QSystemTrayIcon>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "app/controls.h"
#include "app/form1.h"
#include "app/helpfile.h"

namespace quorvel {

namespace {

const char kMakerPage[] = "https://quorvel.example/";

// Where the desktop has no program for the help document, or the file could
// not be written, the compiled-in document is shown in a window of ours.
void ShowHelpWindow(QWidget* parent) {
  auto* window = parent->findChild<QDialog*>(QStringLiteral("HelpWindow"));
  if (window == nullptr) {
    window = new QDialog(parent);
    window->setObjectName(QStringLiteral("HelpWindow"));
    window->setWindowTitle(QStringLiteral("Quorvel Help"));
    window->resize(640, 560);
    auto* layout = new QVBoxLayout(window);
    auto* browser = new QTextBrowser(window);
    browser->setObjectName(QStringLiteral("HelpBrowser"));
    browser->setOpenExternalLinks(false);
    layout->addWidget(browser);
  }
  auto* browser = window->findChild<QTextBrowser*>(QStringLiteral("HelpBrowser"));
  QFile file(QStringLiteral(":/help.html"));
  if (file.open(QIODevice::ReadOnly)) browser->setHtml(QString::fromUtf8(file.readAll()));
  window->show();
  window->raise();
}

}  // namespace

void TForm1::cbMinimizeClick() { m_minimizeToTray = m_settings.window.minimizeToTray; }

void TForm1::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // The desktop's palette changed (a dark theme switched on or off).
  if (event->type() == QEvent::PaletteChange && Label13 != nullptr) {
    ApplyTextColours(this, Panel2, Label13);
    if (m_settings.extras.desktopColours) mnuDesktopColoursClick();
  }
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
  if (!m_helpInstalled) return ShowHelpWindow(this);
  if (m_files.help.empty() || !FileExists(m_files.help)) return;
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(m_files.help)))) {
    ShowHelpWindow(this);
  }
}

void TForm1::Label19Click() { QDesktopServices::openUrl(QUrl(QString::fromLatin1(kMakerPage))); }

}  // namespace quorvel
