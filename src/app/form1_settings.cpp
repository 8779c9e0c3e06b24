// Start-up of the main window and its settings.
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QRadioButton>
#include <QTabWidget>

#include "app/chartview.h"
#include "app/controls.h"
#include "app/form1.h"
#include "app/plottimer.h"
#include "graph/pagecaption.h"
#include "probe/pingprobe.h"

namespace quorvel {

void TForm1::LoadSettings() {
  // The values a first start takes; handlers run as they arrive.
  SetRadioChecked(rbStop, true);
  SetRadioChecked(rbRestart, false);
  spX->setValue(10);
  spPoints->setValue(400);
  spMax->setValue(60);
  spMin->setValue(0);
  spPages->setValue(50);
  cbIgnore->setChecked(true);
  cbShowAll->setChecked(false);
}

void TForm1::StartUp() {
  LoadSettings();
  Memo1->setVisible(cbShowAll->isChecked());

  const std::int64_t interval = spX->Value();
  Timer1->setInterval(interval * 1000);
  m_pingTimeout = PingTimeoutFor(interval);
  Label12->setText(QString::fromStdString(PerPageCaption(interval, spPoints->Value())));

  m_chart.bottom.SetMax(spPoints->Value());
  m_chart.left.SetMax(9999);
  m_chart.left.SetMin(-1);
  m_chart.left.SetMax(spMax->Value());
  m_chart.left.SetMin(spMin->Value());
  m_chart.Changed();

  PageControl1->setCurrentWidget(TabSheet1);
  if (btnStart->isChecked()) btnStartClick();
}

}  // namespace quorvel
