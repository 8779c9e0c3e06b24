// The graph's side of the main window: Clear, the interval and page boxes,
// the statistics menu and the mouse on the chart.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QToolButton>

#include "app/chartview.h"
#include "app/controls.h"
#include "app/form1.h"
#include "app/plottimer.h"
#include "graph/pagecaption.h"
#include "graph/statistics.h"
#include "probe/pingprobe.h"

namespace quorvel {

void TForm1::btnClearClick() {
  m_run.Clear();
  m_chart.data.Clear();
  ResetWindow(m_chart.bottom, spPoints->Value());
  m_chart.Changed();
  Chart1->refresh();
}

void TForm1::Clear1Click() { btnClearClick(); }

void TForm1::spXChange() {
  const std::int64_t interval = spX->Value();
  Timer1->setInterval(interval * 1000);
  m_pingTimeout = PingTimeoutFor(interval);
  Label12->setText(QString::fromStdString(PerPageCaption(interval, spPoints->Value())));
}

void TForm1::spPointsChange() {
  const std::int64_t interval = spX->Value();
  Timer1->setInterval(interval * 1000);
  Label12->setText(QString::fromStdString(PerPageCaption(interval, spPoints->Value())));
  if (m_chart.bottom.SetMax(spPoints->Value())) {  // a refused maximum is ignored
    m_chart.Changed();
    Chart1->refresh();
  }
}

void TForm1::PopupMenu3Popup() {
  const QLocale locale;
  NumberFormat format;
  format.groupSeparator = locale.groupSeparator().toStdString();
  format.decimalPoint = locale.decimalPoint().toStdString();
  const StatisticsCaptions c = CaptionsFor(m_chart.data, format);
  mnuMax->setText(QString::fromStdString(c.max));
  mnuAvg->setText(QString::fromStdString(c.avg));
  mnuMin->setText(QString::fromStdString(c.min));
}

void TForm1::cbShowAllClick() { Memo1->setVisible(cbShowAll->isChecked()); }

void TForm1::Chart1MouseDown(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  Chart1->setCursor(Qt::ClosedHandCursor);
  Timer1->setEnabled(false);
}

void TForm1::Chart1MouseUp(QMouseEvent*) {
  Chart1->unsetCursor();
  Timer1->setEnabled(btnStart->isChecked());
}

}  // namespace quorvel
