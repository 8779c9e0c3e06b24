#include "app/windowalerts.h"

#include <QLabel>
#include <QMetaObject>
#include <QPalette>
#include <QPointer>
#include <QWidget>

#include "alert/alertcommand.h"
#include "app/alertnotifier.h"
#include "app/dialogs.h"
#include "graph/contrast.h"
#include "run/pinglog.h"

namespace quorvel {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

std::vector<SwitchedRule> SwitchedRules(const AlertSettings& s) {
  return {{s.lostOn, s.lost}, {s.lossOn, s.loss}, {s.latencyOn, s.latency}, {s.patternOn, s.pattern}};
}

WindowAlerts::WindowAlerts(QWidget* window, QLabel* panel, Dialogs& dialogs, FileAppender& files,
                           AlertNotifier& notifier, Report report)
    : m_window(window), m_panel(panel), m_dialogs(dialogs), m_files(files), m_notifier(notifier),
      m_report(std::move(report)) {}

WindowAlerts::~WindowAlerts() = default;

void WindowAlerts::Configure(const AlertSettings& settings) {
  m_settings = settings;
  m_logFailed = false;
  m_command.reset();
  const std::vector<std::string> words = CommandWords(settings.command);
  if (words.empty() || !settings.AnyOn()) return;
  AlertCommandOptions options;
  options.program = words.front();
  options.arguments.assign(words.begin() + 1, words.end());
  // The failure comes on the command's thread: it is shown on the window's,
  // and not at all once the window is gone.
  QPointer<QWidget> window = m_window;
  Report report = m_report;
  m_command = std::make_unique<AlertCommand>(options, [window, report](const std::string& message) {
    if (!window) return;
    QMetaObject::invokeMethod(
        window, [report, message] { report(Q(message)); }, Qt::QueuedConnection);
  });
}

void WindowAlerts::Changed(const std::vector<AlertEvent>& events,
                           const std::vector<ActiveAlert>& active) {
  for (const AlertEvent& event : events) {
    if (m_settings.notify) {
      m_notifier.Show(Q(AlertNotificationTitle(event)), Q(AlertNotificationText(event)));
    }
    if (!m_settings.logFile.empty()) Log(event);
    if (m_command) m_command->Submit(event);
  }
  if (m_settings.beep && !events.empty()) m_dialogs.Beep();
  ShowActive(active);
}

void WindowAlerts::Log(const AlertEvent& event) {
  const std::error_code error = m_files.Append(m_settings.logFile, AlertLogLine(event));
  if (!error) {
    m_logFailed = false;
    return;
  }
  if (m_logFailed) return;
  m_logFailed = true;
  m_report(Q("Cannot write to the alert log \"" + m_settings.logFile + "\". " + error.message()));
}

void WindowAlerts::ShowActive(const std::vector<ActiveAlert>& active) {
  m_active = !active.empty();
  const QString line = Q(ActiveAlertsLine(active));
  m_panel->setText(line);
  m_panel->setToolTip(line);
  if (m_active) {
    // Red that stays readable on the desktop's status bar.
    const QColor back = m_window->palette().color(QPalette::Window);
    const Rgb red = ReadableOn({192, 0, 0}, {back.red(), back.green(), back.blue()});
    QPalette palette = m_panel->palette();
    palette.setColor(QPalette::WindowText, QColor(red.r, red.g, red.b));
    m_panel->setPalette(palette);
  }
  m_panel->setVisible(m_active);
  m_window->setWindowTitle(
      Q(CaptionWithAlert(m_window->windowTitle().toStdString(), m_active)));
}

}  // namespace quorvel
