// Features of the main window beyond its original set, each off by default:
// the Precise Scale view, the graph in the desktop's colours, and alerts.
#include <QAction>

#include "app/alertsdialog.h"
#include "app/dialogs.h"
#include "app/form1.h"
#include "app/windowalerts.h"
#include "graph/chartrenderer.h"

namespace quorvel {

void TForm1::mnuPreciseScaleClick() {
  m_session->Chart().precise = m_settings.extras.preciseScale;
  m_session->ChartEdited();
}

void TForm1::mnuDesktopColoursClick() {
  ChartModel& chart = m_session->Chart();
  if (m_settings.extras.desktopColours) {
    chart.palette = ChartPaletteOf(palette());
  } else {
    chart.palette.reset();
  }
  m_session->ChartEdited();
}

void TForm1::mnuAlertsClick() {
  // Not modal to the program: the window goes on plotting meanwhile.
  auto* dialog = new AlertsDialog(m_settings.extras.alerts, *m_dialogs, this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QDialog::accepted, this, [this, dialog] {
    m_settings.extras.alerts = dialog->Settings();
    ApplyAlertSettings();
  });
  dialog->open();
}

void TForm1::ApplyAlertSettings() {
  const AlertSettings& alerts = m_settings.extras.alerts;
  const ReadAlertRules read = ReadSwitchedOnRules(SwitchedRules(alerts));
  for (const std::string& error : read.errors) m_dialogs->Error(this, QString::fromStdString(error));
  m_alerts->Configure(alerts);
  m_session->SetAlertRules(read.rules);
}

}  // namespace quorvel
