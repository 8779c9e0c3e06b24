#pragma once

#include <QObject>
#include <QString>

class QSystemTrayIcon;
class QTimer;

namespace quorvel {

// Where the window's alert notifications go. Tests pass their own.
// User-interface thread.
class AlertNotifier {
 public:
  virtual ~AlertNotifier() = default;
  // Shows a notification that waits for nobody.
  virtual void Show(const QString& title, const QString& text) = 0;
};

// The desktop's notifications: the notification-area icon's balloon where
// there is a notification area, else the desktop's notification service
// (org.freedesktop.Notifications on the session bus, called without waiting
// for its answer); nothing where neither is. The icon, shown for a balloon
// while it was hidden, is hidden again a little later unless the window
// has gone into it meanwhile.
//
// `tray` must outlive it. User-interface thread.
class DesktopNotifier final : public QObject, public AlertNotifier {
 public:
  DesktopNotifier(QSystemTrayIcon* tray, QObject* parent);
  void Show(const QString& title, const QString& text) override;

 private:
  QSystemTrayIcon* m_tray;
  QTimer* m_hideTray;
};

// Sends one notification to the desktop's notification service over D-Bus,
// without waiting for its answer. False when there is no session bus.
bool SendDesktopNotification(const QString& title, const QString& text);

}  // namespace quorvel
