#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>

namespace quorvel {

// The plot timer. Like the desktop timer it stands in for, arming it while it
// is armed does not restart its period, and changing the period while it is
// armed starts the new period afresh. Unlike a plain QTimer it takes periods
// beyond the 24.8 days an int of milliseconds holds: a long period is waited
// out in steps and fires at its time, never before.
//
// Thread: the thread it lives on (the main window's).
class PlotTimer : public QObject {
  Q_OBJECT

 public:
  explicit PlotTimer(QObject* parent = nullptr);

  void setEnabled(bool enabled);
  bool isEnabled() const { return m_enabled; }
  void setInterval(std::int64_t milliseconds);
  std::int64_t interval() const { return m_interval; }

 signals:
  void timeout();

 private:
  void arm();
  void onStep();

  QTimer m_timer;
  bool m_enabled = false;
  std::int64_t m_interval = 1000;
  std::chrono::steady_clock::time_point m_due;
};

}  // namespace quorvel
