#include "app/alertnotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVariantMap>
#include <QWidget>

namespace quorvel {

namespace {

constexpr int kBalloonMs = 10'000;

}  // namespace

DesktopNotifier::DesktopNotifier(QSystemTrayIcon* tray, QObject* parent)
    : QObject(parent), m_tray(tray), m_hideTray(new QTimer(this)) {
  m_hideTray->setSingleShot(true);
  connect(m_hideTray, &QTimer::timeout, this, [this] {
    // The window may have gone into the icon meanwhile: then it stays.
    const auto* window = qobject_cast<const QWidget*>(m_tray->parent());
    if (window != nullptr && window->isVisible()) m_tray->hide();
  });
}

void DesktopNotifier::Show(const QString& title, const QString& text) {
  if (QSystemTrayIcon::isSystemTrayAvailable() && QSystemTrayIcon::supportsMessages()) {
    if (!m_tray->isVisible()) {
      m_tray->show();
      m_hideTray->start(kBalloonMs);
    }
    m_tray->showMessage(title, text, QSystemTrayIcon::Warning, kBalloonMs);
    return;
  }
  SendDesktopNotification(title, text);
}

bool SendDesktopNotification(const QString& title, const QString& text) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout
  call << QStringLiteral("Quorvel") << 0u << QStringLiteral("quorvel") << title << text
       << QStringList() << QVariantMap() << -1;
  call.setAutoStartService(true);
  return bus.send(call);
}

}  // namespace quorvel
