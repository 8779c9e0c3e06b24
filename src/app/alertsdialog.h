#pragma once

#include <QDialog>

#include "settings/settings.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QSpinBox;

namespace quorvel {

class Dialogs;

// The "Alerts" dialog: a switch and the numbers of each kind of rule (lost
// in a row, loss over a window, latency over a window, a pattern), each with
// the probes after which it clears, and what is done at an event. It edits a
// copy of the settings: Settings() is what OK leaves, and OK is refused,
// with a box, while a pattern switched on cannot be read. The rules are
// stored in their canonical text (docs/alerts.md).
//
// `dialogs` must outlive it. User-interface thread.
class AlertsDialog : public QDialog {
  Q_OBJECT

 public:
  AlertsDialog(const AlertSettings& settings, Dialogs& dialogs, QWidget* parent = nullptr);

  const AlertSettings& Settings() const { return m_settings; }

 public slots:
  void accept() override;

 private:
  void Load(const AlertSettings& settings);

  AlertSettings m_settings;
  Dialogs& m_dialogs;

  QCheckBox* cbAlertLost = nullptr;
  QSpinBox* spLostCount = nullptr;
  QSpinBox* spLostClear = nullptr;
  QCheckBox* cbAlertLoss = nullptr;
  QDoubleSpinBox* spLossPercent = nullptr;
  QSpinBox* spLossWindow = nullptr;
  QSpinBox* spLossClear = nullptr;
  QCheckBox* cbAlertLatency = nullptr;
  QComboBox* cbLatencyStatistic = nullptr;
  QDoubleSpinBox* spLatencyMs = nullptr;
  QSpinBox* spLatencyWindow = nullptr;
  QSpinBox* spLatencyClear = nullptr;
  QCheckBox* cbAlertPattern = nullptr;
  QLineEdit* edPattern = nullptr;
  QSpinBox* spPatternClear = nullptr;
  QCheckBox* cbAlertNotify = nullptr;
  QCheckBox* cbAlertBeep = nullptr;
  QLineEdit* edAlertLog = nullptr;
  QLineEdit* edAlertCommand = nullptr;
};

}  // namespace quorvel
