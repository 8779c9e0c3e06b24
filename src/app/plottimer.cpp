#include "app/plottimer.h"

#include <algorithm>

namespace quorvel {

namespace {
constexpr std::int64_t kLongestStep = 24LL * 3600 * 1000;  // well inside an int
}

PlotTimer::PlotTimer(QObject* parent) : QObject(parent) {
  m_timer.setSingleShot(true);
  m_timer.setTimerType(Qt::PreciseTimer);
  connect(&m_timer, &QTimer::timeout, this, &PlotTimer::onStep);
}

void PlotTimer::setEnabled(bool enabled) {
  if (enabled == m_enabled) return;
  m_enabled = enabled;
  if (enabled) {
    arm();
  } else {
    m_timer.stop();
  }
}

void PlotTimer::setInterval(std::int64_t milliseconds) {
  milliseconds = std::max<std::int64_t>(milliseconds, 1);
  if (milliseconds == m_interval) return;
  m_interval = milliseconds;
  if (m_enabled) arm();
}

void PlotTimer::arm() {
  m_due = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_interval);
  m_timer.start(static_cast<int>(std::min(m_interval, kLongestStep)));
}

void PlotTimer::onStep() {
  if (!m_enabled) return;
  const auto now = std::chrono::steady_clock::now();
  if (now < m_due) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_due - now).count();
    m_timer.start(static_cast<int>(std::clamp<std::int64_t>(left, 1, kLongestStep)));
    return;
  }
  // The next period starts now; a handler that disarms or re-arms the timer
  // from within timeout() takes precedence.
  arm();
  emit timeout();
}

}  // namespace quorvel
