// Builds the controls of the main window and wires them to their handlers.
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/chartview.h"
#include "app/controls.h"
#include "app/form1.h"
#include "app/plottimer.h"

namespace quorvel {

namespace {

template <typename W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QFrame* Separator(QWidget* parent, const char* name, int x) {
  auto* f = Named(new QFrame(parent), name);
  f->setFrameShape(QFrame::VLine);
  f->setFrameShadow(QFrame::Sunken);
  f->setGeometry(x, 1, 2, 42);
  return f;
}

QToolButton* ToolButton(QWidget* parent, const char* name, int x, const QString& hint,
                        QStyle::StandardPixmap icon) {
  auto* b = Named(new QToolButton(parent), name);
  b->setGeometry(x, 3, 37, 37);
  b->setAutoRaise(true);
  b->setToolTip(hint);
  b->setIcon(parent->style()->standardIcon(icon));
  b->setIconSize(QSize(24, 24));
  return b;
}

QGroupBox* Group(QWidget* page, const char* title, int x, int y, int w, int h) {
  auto* g = new QGroupBox(QString::fromLatin1(title), page);
  g->setGeometry(x, y, w, h);
  g->setStyleSheet(QStringLiteral("QGroupBox { color: blue; }"));
  return g;
}

QLabel* Label(QWidget* parent, const char* name, const QString& text, int x, int y) {
  auto* l = Named(new QLabel(text, parent), name);
  l->move(x, y);
  l->adjustSize();
  return l;
}

SpinEdit* Spin(QWidget* parent, const char* name, int min, int max, int x, int y, int w) {
  auto* s = Named(new SpinEdit(parent), name);
  s->setRange(min, max);
  s->setGeometry(x, y, w, 21);
  return s;
}

}  // namespace

void TForm1::CreateControls() {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Quorvel"));
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(11);
  setFont(font);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  CreateToolbar();
  layout->addWidget(Panel1);

  PageControl1 = Named(new QTabWidget(this), "PageControl1");
  layout->addWidget(PageControl1, 1);
  CreateGraphPage();
  CreateSetupPages();

  StatusBar1 = Named(new QStatusBar(this), "StatusBar1");
  StatusBar1->setFixedHeight(21);
  StatusBar1->setSizeGripEnabled(true);
  const int widths[3] = {150, 320, 100};
  QLabel** panels[3] = {&StatusPanel0, &StatusPanel1, &StatusPanel2};
  for (int i = 0; i < 3; ++i) {
    auto* panel = new QLabel(StatusBar1);
    panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setFixedWidth(widths[i]);
    StatusBar1->addWidget(panel);
    *panels[i] = panel;
  }
  layout->addWidget(StatusBar1);

  Timer1 = new PlotTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));

  // The design size of the client area is also its smallest size.
  resize(799, 480);
  setMinimumSize(799, 480);
}

void TForm1::CreateToolbar() {
  Panel1 = Named(new QFrame(this), "Panel1");
  Panel1->setFrameShape(QFrame::Panel);
  Panel1->setFrameShadow(QFrame::Sunken);
  Panel1->setFixedHeight(45);
  Panel1->setFocusPolicy(Qt::StrongFocus);

  Separator(Panel1, "Panel7", 4);
  Label11 = Label(Panel1, "Label11", QStringLiteral("Address"), 12, 15);
  cbURL = Named(new QComboBox(Panel1), "cbURL");
  cbURL->setEditable(true);
  cbURL->setInsertPolicy(QComboBox::NoInsert);
  cbURL->setGeometry(64, 11, 285, 22);
  Separator(Panel1, "Panel5", 363);

  btnStart = ToolButton(Panel1, "btnStart", 376, QStringLiteral("Start Plot"), QStyle::SP_MediaPlay);
  btnStop = ToolButton(Panel1, "btnStop", 413, QStringLiteral("Stop Plot"), QStyle::SP_MediaStop);
  btnStart->setCheckable(true);
  btnStop->setCheckable(true);
  auto* group = new QButtonGroup(Panel1);
  group->setExclusive(true);
  group->addButton(btnStart);
  group->addButton(btnStop);
  btnStop->setChecked(true);
  btnClear = ToolButton(Panel1, "btnClear", 456, QStringLiteral("Clear Graph"),
                        QStyle::SP_DialogResetButton);
  Separator(Panel1, "Panel6", 504);

  Label13 = Label(Panel1, "Label13", QStringLiteral("STOPPED"), 724, 15);
  Label13->setStyleSheet(QStringLiteral("color: maroon;"));
  Label13->hide();
}

void TForm1::CreateGraphPage() {
  TabSheet1 = Named(new QWidget, "TabSheet1");
  PageControl1->addTab(TabSheet1, QStringLiteral("Graph"));
  auto* layout = new QVBoxLayout(TabSheet1);
  layout->setContentsMargins(0, 0, 0, 0);
  Chart1 = Named(new ChartView(m_chart, TabSheet1), "Chart1");
  layout->addWidget(Chart1);

  PopupMenu3 = Named(new QMenu(this), "PopupMenu3");
  mnuMax = PopupMenu3->addAction(QStringLiteral("Maximum:"));
  mnuMax->setObjectName(QStringLiteral("mnuMax"));
  mnuAvg = PopupMenu3->addAction(QStringLiteral("Average:"));
  mnuAvg->setObjectName(QStringLiteral("mnuAvg"));
  mnuMin = PopupMenu3->addAction(QStringLiteral("Minimum:"));
  mnuMin->setObjectName(QStringLiteral("mnuMin"));
  PopupMenu3->addSeparator();
  Clear1 = PopupMenu3->addAction(QStringLiteral("Clear"));
  Clear1->setObjectName(QStringLiteral("Clear1"));
}

void TForm1::CreateSetupPages() {
  TabSheet2 = Named(new QWidget, "TabSheet2");
  PageControl1->addTab(TabSheet2, QStringLiteral("Setup"));
  auto* layout = new QVBoxLayout(TabSheet2);
  layout->setContentsMargins(0, 0, 0, 0);
  PageControl2 = Named(new QTabWidget(TabSheet2), "PageControl2");
  layout->addWidget(PageControl2);

  TabSheet4 = Named(new QWidget, "TabSheet4");
  TabSheet3 = Named(new QWidget, "TabSheet3");
  TabSheet6 = Named(new QWidget, "TabSheet6");
  TabSheet5 = Named(new QWidget, "TabSheet5");
  PageControl2->addTab(TabSheet4, QStringLiteral("Graph Axes "));
  PageControl2->addTab(TabSheet3, QStringLiteral("Graph Style"));
  PageControl2->addTab(TabSheet6, QStringLiteral("Image Capture"));
  PageControl2->addTab(TabSheet5, QStringLiteral("Options"));

  // "Graph Axes ".
  QGroupBox* horizontal = Group(TabSheet4, "Horizontal Axis ", 12, 12, 373, 333);
  Label(horizontal, "Label2", QStringLiteral("Plot points every.. "), 16, 32);
  spX = Spin(horizontal, "spX", 1, 2147383647, 120, 28, 90);
  Label(horizontal, "Label1", QStringLiteral("seconds"), 216, 32);
  Label(horizontal, "Label5", QStringLiteral("Points per page"), 16, 64);
  spPoints = Spin(horizontal, "spPoints", 10, 10000, 120, 60, 90);
  Label12 = Label(horizontal, "Label12", QStringLiteral("(time)"), 216, 64);

  QGroupBox* vertical = Group(TabSheet4, "Vertical Axis ", 400, 12, 373, 333);
  Label(vertical, "Label6", QStringLiteral("Maximum value"), 16, 32);
  spMax = Spin(vertical, "spMax", 10, 10000, 120, 28, 90);
  Label(vertical, "Label18", QStringLiteral("Minimum value"), 16, 64);
  spMin = Spin(vertical, "spMin", -1, 260, 120, 60, 90);

  // "Graph Style".
  QGroupBox* style = Group(TabSheet3, "Graph Style", 8, 8, 393, 337);
  cbPlotAvg = Named(new QCheckBox(QStringLiteral("Plot average ping"), style), "cbPlotAvg");
  cbPlotAvg->setGeometry(200, 200, 150, 20);
  cbPlotAvg->setChecked(true);

  // "Options".
  QGroupBox* stop = Group(TabSheet5, "Stop Options  ", 8, 12, 329, 113);
  Label(stop, "Label8", QStringLiteral("After..."), 16, 28);
  spPages = Spin(stop, "spPages", 0, 255, 64, 24, 60);
  Label(stop, "Label9", QStringLiteral("pages,"), 130, 28);
  rbStop = Named(new QRadioButton(QStringLiteral("Stop"), stop), "rbStop");
  rbStop->setGeometry(180, 20, 120, 20);
  rbRestart = Named(new QRadioButton(QStringLiteral("Restart"), stop), "rbRestart");
  rbRestart->setGeometry(180, 42, 120, 20);
  auto* note = Named(new QLabel(QStringLiteral("A value of 0 means keep plotting indefinitely"), stop),
                     "Label10");
  note->setGeometry(8, 70, 313, 34);
  note->setAlignment(Qt::AlignCenter);
  note->setWordWrap(true);

  QGroupBox* log = Group(TabSheet5, "Log Options  ", 8, 136, 329, 209);
  auto* compared = Named(new QWidget(log), "Panel11");
  compared->setGeometry(110, 76, 100, 40);
  rbPing = Named(new QRadioButton(QStringLiteral("ping /"), compared), "rbPing");
  rbPing->setGeometry(0, 0, 100, 18);
  rbAvgPing = Named(new QRadioButton(QStringLiteral("average ping"), compared), "rbAvgPing");
  rbAvgPing->setGeometry(0, 20, 100, 18);
  rbAvgPing->setChecked(true);

  QGroupBox* system = Group(TabSheet5, "System ", 352, 12, 413, 333);
  cbIgnore = Named(new QCheckBox(QStringLiteral("Ignore first ping (includes DNS lookup time)"), system),
                   "cbIgnore");
  cbIgnore->setGeometry(16, 24, 250, 20);
  cbIgnore->setChecked(true);
  cbShowAll = Named(new QCheckBox(QStringLiteral("Show full response window"), system), "cbShowAll");
  cbShowAll->setGeometry(16, 72, 250, 20);
  Memo1 = Named(new QPlainTextEdit(system), "Memo1");
  Memo1->setGeometry(20, 168, 373, 153);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setReadOnly(true);
  Memo1->hide();
}

void TForm1::ConnectHandlers() {
  connect(btnStart, &QToolButton::clicked, this, &TForm1::btnStartClick);
  connect(btnStop, &QToolButton::clicked, this, &TForm1::btnStopClick);
  connect(btnClear, &QToolButton::clicked, this, &TForm1::btnClearClick);
  connect(Clear1, &QAction::triggered, this, &TForm1::Clear1Click);
  connect(Timer1, &PlotTimer::timeout, this, &TForm1::Timer1Timer);
  connect(spX, &QSpinBox::valueChanged, this, &TForm1::spXChange);
  connect(spPoints, &QSpinBox::valueChanged, this, &TForm1::spPointsChange);
  connect(cbShowAll, &QCheckBox::toggled, this, &TForm1::cbShowAllClick);
  connect(PopupMenu3, &QMenu::aboutToShow, this, &TForm1::PopupMenu3Popup);
  connect(Chart1, &ChartView::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu3->popup(Chart1->mapToGlobal(at)); });
  connect(Chart1, &ChartView::mousePressed, this, &TForm1::Chart1MouseDown);
  connect(Chart1, &ChartView::mouseReleased, this, &TForm1::Chart1MouseUp);
}

}  // namespace quorvel
