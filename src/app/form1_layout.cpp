// Builds the controls of the main window and wires them to their handlers.
// Positions are pixels at the window's design size (client area 799 x 480);
// group boxes stand at fixed rectangles within their Setup sub-page.
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/chartview.h"
#include "app/controls.h"
#include "app/form1.h"
#include "app/pictures.h"
#include "app/plottimer.h"

namespace quorvel {

namespace {

constexpr int kClientWidth = 799;
constexpr int kClientHeight = 480;

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
                        Picture picture) {
  auto* b = Named(new QToolButton(parent), name);
  b->setGeometry(x, 3, 37, 37);
  b->setAutoRaise(true);
  b->setToolTip(hint);
  b->setIcon(PictureIcon(picture));
  b->setIconSize(QSize(24, 24));
  return b;
}

QGroupBox* Group(QWidget* page, const char* name, const char* title, int x, int y, int w, int h) {
  auto* g = Named(new QGroupBox(QString::fromLatin1(title), page), name);
  g->setGeometry(x, y, w, h);
  // Its caption is blue, the controls inside keep the desktop's text
  // colours: ApplyTextColours (form1_desktop.cpp).
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

QLineEdit* Edit(QWidget* parent, const char* name, int x, int y, int w) {
  auto* e = Named(new QLineEdit(parent), name);
  e->setGeometry(x, y, w, 21);
  return e;
}

QCheckBox* Check(QWidget* parent, const char* name, const QString& text, int x, int y) {
  auto* c = Named(new QCheckBox(text, parent), name);
  c->move(x, y);
  c->adjustSize();
  return c;
}

QRadioButton* Radio(QWidget* parent, const char* name, const QString& text, int x, int y) {
  auto* r = Named(new QRadioButton(text, parent), name);
  r->move(x, y);
  r->adjustSize();
  return r;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& text, int x, int y, int w) {
  auto* b = Named(new QPushButton(text, parent), name);
  b->setGeometry(x, y, w, 25);
  return b;
}

Swatch* Shape(QWidget* parent, const char* name, int x, int y) {
  auto* s = Named(new Swatch(parent), name);
  s->setGeometry(x, y, 45, 17);
  return s;
}

QLabel* StylePicture(QWidget* parent, const char* name, Picture picture, int x, int y) {
  auto* l = Named(new QLabel(parent), name);
  l->setPixmap(PicturePixmap(picture, 24));
  l->setGeometry(x, y, 36, 24);
  return l;
}

QFrame* Divider(QWidget* parent, const char* name, int x, int y, int h) {
  auto* f = Named(new QFrame(parent), name);
  f->setFrameShape(QFrame::VLine);
  f->setFrameShadow(QFrame::Sunken);
  f->setGeometry(x, y, 2, h);
  return f;
}

QAction* Item(QMenu* menu, const char* name, const QString& text) {
  QAction* a = menu->addAction(text);
  a->setObjectName(QString::fromLatin1(name));
  return a;
}

}  // namespace

void TForm1::CreateControls() {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Quorvel"));
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(11);
  setFont(font);
  // Text takes the desktop's colours (window, button and base text).

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  CreateToolbar();
  layout->addWidget(Panel1);

  PageControl1 = Named(new PageControl(this), "PageControl1");
  layout->addWidget(PageControl1, 1);
  CreateGraphPage();
  CreateSetupPages();
  // The run statistics stand in the row of the page tabs, at its right end,
  // no taller than the tabs: the pages keep their size.
  lblStatistics = Named(new QLabel(PageControl1), "lblStatistics");
  lblStatistics->setContentsMargins(0, 0, 6, 0);
  lblStatistics->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  PageControl1->setCornerWidget(lblStatistics, Qt::TopRightCorner);

  CreateStatusBar();
  layout->addWidget(StatusBar1);
  CreateMenus();

  Timer1 = new PlotTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));

  // The design size of the client area is also its smallest size. The
  // layout is worked out at once, hidden as the window still is, so that
  // start-up reads the real size of the graph.
  resize(kClientWidth, kClientHeight);
  setMinimumSize(kClientWidth, kClientHeight);
  layout->activate();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect desktop = screen->availableGeometry();
    move(desktop.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
  }
  AnchorControls();
  ApplyTextColours();
}

void TForm1::CreateToolbar() {
  Panel1 = Named(new QFrame(this), "Panel1");
  Panel1->setFrameShape(QFrame::Panel);
  Panel1->setFrameShadow(QFrame::Sunken);
  Panel1->setFixedHeight(45);
  Panel1->setFocusPolicy(Qt::StrongFocus);

  Panel7 = Separator(Panel1, "Panel7", 4);
  Label11 = Label(Panel1, "Label11", QStringLiteral("Address"), 12, 15);
  cbURL = Named(new QComboBox(Panel1), "cbURL");
  cbURL->setEditable(true);
  cbURL->setInsertPolicy(QComboBox::NoInsert);
  cbURL->setGeometry(64, 11, 285, 22);
  Panel5 = Separator(Panel1, "Panel5", 363);

  btnStart = ToolButton(Panel1, "btnStart", 376, QStringLiteral("Start Plot"), Picture::Start);
  btnStop = ToolButton(Panel1, "btnStop", 413, QStringLiteral("Stop Plot"), Picture::Stop);
  btnStart->setCheckable(true);
  btnStop->setCheckable(true);
  // One of the two is always down; clicking the one that is down still acts.
  auto* group = new QButtonGroup(Panel1);
  group->setExclusive(true);
  group->addButton(btnStart);
  group->addButton(btnStop);
  btnStop->setChecked(true);
  btnClear = ToolButton(Panel1, "btnClear", 456, QStringLiteral("Clear Graph"), Picture::Clear);
  Panel6 = Separator(Panel1, "Panel6", 504);
  btnSave = ToolButton(Panel1, "btnSave", 516, QStringLiteral("Capture Now"), Picture::Capture);
  btnCopy = ToolButton(Panel1, "btnCopy", 556, QStringLiteral("Copy to clipboard"), Picture::Copy);
  btnPrint = ToolButton(Panel1, "btnPrint", 596, QStringLiteral("Print Graph"), Picture::Print);
  Panel9 = Separator(Panel1, "Panel9", 640);
  btnHelp = ToolButton(Panel1, "btnHelp", 650, QStringLiteral("Help"), Picture::Help);
  Panel10 = Separator(Panel1, "Panel10", 696);

  Label13 = Label(Panel1, "Label13", QStringLiteral("STOPPED"), 724, 15);  // maroon: ApplyTextColours
  Label13->hide();
}

void TForm1::CreateStatusBar() {
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

}

void TForm1::CreateGraphPage() {
  TabSheet1 = Named(new QWidget, "TabSheet1");
  PageControl1->addTab(TabSheet1, QStringLiteral("Graph"));
  auto* layout = new QVBoxLayout(TabSheet1);
  layout->setContentsMargins(0, 0, 0, 0);
  Chart1 = Named(new ChartView(m_chart, TabSheet1), "Chart1");
  layout->addWidget(Chart1);

  imgNoise = Named(new QLabel(Chart1), "imgNoise");
  imgNoise->setPixmap(PicturePixmap(Picture::CaptureActive, 20));
  imgNoise->setToolTip(QStringLiteral("Capture active"));
  imgNoise->hide();
}

void TForm1::CreateSetupPages() {
  TabSheet2 = Named(new QWidget, "TabSheet2");
  PageControl1->addTab(TabSheet2, QStringLiteral("Setup"));
  auto* layout = new QVBoxLayout(TabSheet2);
  layout->setContentsMargins(0, 0, 0, 0);
  PageControl2 = Named(new PageControl(TabSheet2), "PageControl2");
  layout->addWidget(PageControl2);

  TabSheet4 = Named(new QWidget, "TabSheet4");
  TabSheet3 = Named(new QWidget, "TabSheet3");
  TabSheet6 = Named(new QWidget, "TabSheet6");
  TabSheet5 = Named(new QWidget, "TabSheet5");
  PageControl2->addTab(TabSheet4, QStringLiteral("Graph Axes "));
  PageControl2->addTab(TabSheet3, QStringLiteral("Graph Style"));
  PageControl2->addTab(TabSheet6, QStringLiteral("Image Capture"));
  PageControl2->addTab(TabSheet5, QStringLiteral("Options"));

  CreateGraphAxesPage();
  CreateGraphStylePage();
  CreateImageCapturePage();
  CreateOptionsPage();
}

void TForm1::CreateGraphAxesPage() {
  QGroupBox* horizontal = Group(TabSheet4, "GroupBox1", "Horizontal Axis ", 12, 12, 373, 333);
  Label2 = Label(horizontal, "Label2", QStringLiteral("Plot points every.. "), 16, 32);
  spX = Spin(horizontal, "spX", 1, 2147383647, 126, 28, 84);
  Label1 = Label(horizontal, "Label1", QStringLiteral("seconds"), 218, 32);
  Label5 = Label(horizontal, "Label5", QStringLiteral("Points per page"), 16, 64);
  spPoints = Spin(horizontal, "spPoints", 10, 10000, 126, 60, 84);
  Label12 = Label(horizontal, "Label12", QStringLiteral("(time)"), 218, 64);
  Label12->resize(150, Label12->height());
  Label23 = Label(horizontal, "Label23", QStringLiteral("Graph title:"), 16, 104);
  edTitle = Edit(horizontal, "edTitle", 16, 120, 333);
  cbAppend = Check(horizontal, "cbAppend", QStringLiteral("Append Address to graph title"), 16, 152);
  cbAppInterval = Check(horizontal, "cbAppInterval", QStringLiteral("Append Ping interval"), 16, 176);

  QGroupBox* vertical = Group(TabSheet4, "GroupBox2", "Vertical Axis ", 400, 12, 373, 333);
  Label6 = Label(vertical, "Label6", QStringLiteral("Maximum value"), 16, 32);
  spMax = Spin(vertical, "spMax", 10, 10000, 126, 28, 84);
  Label18 = Label(vertical, "Label18", QStringLiteral("Minimum value"), 16, 64);
  spMin = Spin(vertical, "spMin", -1, 260, 126, 60, 84);
  Label7 = Label(vertical, "Label7", QStringLiteral("Label"), 16, 104);
  edLabel = Edit(vertical, "edLabel", 16, 120, 200);
  edLabel->setMaxLength(30);
}

void TForm1::CreateGraphStylePage() {
  QGroupBox* style = Group(TabSheet3, "GroupBox3", "Graph Style", 8, 8, 393, 337);
  StylePicture(style, "Image1", Picture::Line, 16, 26);
  rbLine = Radio(style, "rbLine", QStringLiteral("Line"), 60, 30);
  StylePicture(style, "Image2", Picture::Filled, 16, 60);
  rbArea = Radio(style, "rbArea", QStringLiteral("Filled"), 60, 64);

  Panel8 = Named(new QFrame(style), "Panel8");
  Panel8->setGeometry(190, 18, 180, 72);
  StylePicture(Panel8, "Image3", Picture::Steps, 8, 8);
  rbSteps = Radio(Panel8, "rbSteps", QStringLiteral("Steps"), 52, 12);
  rbSteps->setChecked(true);
  StylePicture(Panel8, "Image4", Picture::Ramp, 8, 42);
  rbRamp = Radio(Panel8, "rbRamp", QStringLiteral("Ramp"), 52, 46);

  Shape1 = Shape(style, "Shape1", 16, 124);
  btnDownColour = Button(style, "btnDownColour", QStringLiteral("Ping Plot Colour"), 72, 120, 125);
  Shape2 = Shape(style, "Shape2", 16, 160);
  btnAvgColour = Button(style, "btnAvgColour", QStringLiteral("Average Ping Colour"), 72, 156, 125);
  cbPlotAvg = Check(style, "cbPlotAvg", QStringLiteral("Plot average ping"), 212, 160);
  cbPlotAvg->setChecked(true);
  Shape3 = Shape(style, "Shape3", 16, 196);
  btnBackColour = Button(style, "btnBackColour", QStringLiteral("Background Colour"), 72, 192, 125);
  Shape5 = Shape(style, "Shape5", 16, 232);
  btnBorderColour = Button(style, "btnBorderColour", QStringLiteral("Border Colour"), 72, 228, 125);

  QGroupBox* other = Group(TabSheet3, "GroupBox4", "Other Options ", 412, 8, 361, 337);
  Label4 = Label(other, "Label4", QStringLiteral("Horizontal Axis Label Orientation:"), 16, 30);
  rbVertical = Radio(other, "rbVertical", QStringLiteral("Vertical"), 32, 50);
  rbHorizontal = Radio(other, "rbHorizontal", QStringLiteral("Horizontal"), 32, 72);
  Shape4 = Shape(other, "Shape4", 16, 124);
  btnAFont = Button(other, "btnAFont", QStringLiteral("Axes Text Colour"), 72, 120, 125);
  btnGrid = Button(other, "btnGrid", QStringLiteral("Grid Colour"), 72, 156, 125);
  btnFont = Button(other, "btnFont", QStringLiteral("Title Font"), 72, 192, 125);
  // The font dialog has no colour choice: the title's colour has its own.
  btnTitleColour = Button(other, "btnTitleColour", QStringLiteral("Title Colour"), 205, 192, 125);
}

void TForm1::CreateImageCapturePage() {
  QGroupBox* capture = Group(TabSheet6, "GroupBox5", "Image Capture ", 8, 11, 401, 162);
  cbCapture = Check(capture, "cbCapture",
                    QStringLiteral("Capture graph images for each complete page"), 16, 26);
  Label14 = Label(capture, "Label14", QStringLiteral("Capture folder:"), 16, 60);
  edFolder = Edit(capture, "edFolder", 16, 76, 369);
  btnBrowse = Button(capture, "btnBrowse", QStringLiteral("Browse..."), 305, 106, 80);

  QGroupBox* web = Group(TabSheet6, "GroupBox6", "Web Image Capture", 424, 11, 349, 162);
  cbWeb = Check(web, "cbWeb", QStringLiteral("Activate server"), 16, 26);
  btnAdvanced = Button(web, "btnAdvanced", QStringLiteral("Advanced..."), 245, 22, 88);
  Label24 = Label(web, "Label24", QStringLiteral("Web image filename"), 16, 60);
  edTemp = Edit(web, "edTemp", 16, 76, 169);

  QGroupBox* size = Group(TabSheet6, "GroupBox7", "Image Size  ", 8, 180, 401, 165);
  rbPercent = Radio(size, "rbPercent", QStringLiteral("Percent "), 16, 30);
  rbPercent->setChecked(true);
  spPercent = Spin(size, "spPercent", 20, 200, 90, 28, 60);
  Label3 = Label(size, "Label3", QStringLiteral("%"), 156, 32);
  Label17 = Label(size, "Label17", QStringLiteral("Width"), 90, 62);
  Label20 = Label(size, "Label20", QStringLiteral("Height"), 170, 62);
  rbPixels = Radio(size, "rbPixels", QStringLiteral("Pixels"), 16, 80);
  spGrWidth = Spin(size, "spGrWidth", 150, 2000, 90, 78, 60);
  Label16 = Label(size, "Label16", QStringLiteral("x"), 157, 82);
  spGrHeight = Spin(size, "spGrHeight", 150, 2000, 170, 78, 60);
  Panel3 = Divider(size, "Panel3", 252, 20, 100);
  Label21 = Label(size, "Label21", QStringLiteral("Applies to..."), 266, 24);
  cbCaptured = Check(size, "cbCaptured", QStringLiteral("Captured images"), 266, 42);
  cbHTTP = Check(size, "cbHTTP", QStringLiteral("Web image"), 266, 62);
  cbClip = Check(size, "cbClip", QStringLiteral("Clipboard"), 266, 82);
  cbPrint = Check(size, "cbPrint", QStringLiteral("Printer"), 266, 102);
  Label22 = Label(size, "Label22", QStringLiteral("Items not checked will use the screen graph size"),
                  16, 136);

  QGroupBox* type = Group(TabSheet6, "GroupBox8", "Image Type ", 424, 180, 349, 165);
  rbBMP = Radio(type, "rbBMP", QStringLiteral("Bitmap (BMP)"), 16, 28);
  rbJPG = Radio(type, "rbJPG", QStringLiteral("JPEG "), 16, 52);
  rbGIF = Radio(type, "rbGIF", QStringLiteral("GIF"), 16, 76);
  rbGIF->setChecked(true);
  rbPNG = Radio(type, "rbPNG", QStringLiteral("PNG"), 16, 100);
  Panel4 = Divider(type, "Panel4", 150, 20, 120);
  cbGray = Check(type, "cbGray", QStringLiteral("Convert to grayscale"), 166, 28);
}

void TForm1::CreateOptionsPage() {
  QGroupBox* stop = Group(TabSheet5, "GroupBox9", "Stop Options  ", 8, 12, 329, 113);
  Label8 = Label(stop, "Label8", QStringLiteral("After..."), 16, 30);
  spPages = Spin(stop, "spPages", 0, 255, 64, 26, 56);
  Label9 = Label(stop, "Label9", QStringLiteral("pages,"), 126, 30);
  rbStop = Radio(stop, "rbStop", QStringLiteral("Stop"), 190, 22);
  rbRestart = Radio(stop, "rbRestart", QStringLiteral("Restart"), 190, 44);
  Label10 = Named(
      new QLabel(QStringLiteral("A value of 0 means keep plotting indefinitely"), stop), "Label10");
  Label10->setGeometry(8, 72, 313, 32);
  Label10->setAlignment(Qt::AlignCenter);
  Label10->setWordWrap(true);

  QGroupBox* log = Group(TabSheet5, "GroupBox10", "Log Options  ", 8, 136, 329, 209);
  rbNoLog = Radio(log, "rbNoLog", QStringLiteral("Don't write a log file (recommended)"), 16, 22);
  rbNoLog->setChecked(true);
  rbAllLog = Radio(log, "rbAllLog", QStringLiteral("Write file all the time (very large file)"),
                   16, 44);
  rbOnlyLog = Radio(log, "rbOnlyLog", QStringLiteral("Write file when"), 16, 66);
  Panel11 = Named(new QFrame(log), "Panel11");
  Panel11->setGeometry(124, 62, 120, 42);
  rbPing = Radio(Panel11, "rbPing", QStringLiteral("ping /"), 0, 4);
  rbAvgPing = Radio(Panel11, "rbAvgPing", QStringLiteral("average ping"), 0, 24);
  rbAvgPing->setChecked(true);
  Label25 = Label(log, "Label25", QStringLiteral("exceeds"), 40, 112);
  spLog = Spin(log, "spLog", 0, 0, 90, 108, 70);
  spLog->SetNoRange();
  Label26 = Label(log, "Label26", QStringLiteral("ms"), 166, 112);
  Label27 = Label(log, "Label27", QStringLiteral("Filename"), 16, 144);
  btnLogBrowse = Button(log, "btnLogBrowse", QStringLiteral("Browse..."), 229, 136, 80);
  edLog = Edit(log, "edLog", 16, 166, 293);

  GroupBox11 = Group(TabSheet5, "GroupBox11", "System ", 352, 12, 413, 333);
  cbIgnore = Check(GroupBox11, "cbIgnore",
                   QStringLiteral("Ignore first ping (includes DNS lookup time)"), 16, 28);
  cbIgnore->setChecked(true);
  btnClearHistory = Button(GroupBox11, "btnClearHistory", QStringLiteral("Clear Address History"),
                           270, 24, 128);
  cbMinimize = Check(GroupBox11, "cbMinimize", QStringLiteral("Minimize to SysTray"), 16, 60);
  cbShowAll = Check(GroupBox11, "cbShowAll", QStringLiteral("Show full response window"), 16, 84);

  Panel2 = Named(new QFrame(GroupBox11), "Panel2");
  Panel2->setGeometry(20, 120, 373, 21);
  QFont about(QStringLiteral("Arial"));
  about.setPixelSize(13);
  about.setBold(true);
  about.setUnderline(true);
  Panel2->setFont(about);  // blue: ApplyTextColours
  Label19 = Named(new QLabel(QStringLiteral("Quorvel \u00a9 2024 quorvel.example"), Panel2),
                  "Label19");
  Label19->setGeometry(4, 2, 260, 17);
  Label15 = Named(new QLabel(QStringLiteral("version"), Panel2), "Label15");
  QFont version = about;
  version.setUnderline(false);
  Label15->setFont(version);
  Label15->setGeometry(269, 2, 100, 17);
  Label15->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  Memo1 = Named(new QPlainTextEdit(GroupBox11), "Memo1");
  Memo1->setGeometry(20, 160, 373, 153);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setReadOnly(true);
  Memo1->hide();
}

void TForm1::CreateMenus() {
  PopupMenu3 = Named(new QMenu(this), "PopupMenu3");
  mnuMax = Item(PopupMenu3, "mnuMax", QStringLiteral("Maximum:"));
  mnuAvg = Item(PopupMenu3, "mnuAvg", QStringLiteral("Average:"));
  mnuMin = Item(PopupMenu3, "mnuMin", QStringLiteral("Minimum:"));
  for (const char* name : {"mnuLoss", "mnuMinAvgMax", "mnuDeviation", "mnuPercentiles",
                           "mnuJitter", "mnuLossRun", "mnuLastLoss"}) {
    m_statisticsItems.push_back(Item(PopupMenu3, name, QString()));
  }
  PopupMenu3->addSeparator();
  Copy2 = Item(PopupMenu3, "Copy2", QStringLiteral("Copy"));
  PopupMenu3->addSeparator();
  Clear1 = Item(PopupMenu3, "Clear1", QStringLiteral("Clear"));
  PopupMenu3->addSeparator();
  Save1 = Item(PopupMenu3, "Save1", QStringLiteral("Save"));
  SaveAs1 = Item(PopupMenu3, "SaveAs1", QStringLiteral("Save As..."));
  PopupMenu3->addSeparator();
  Print1 = Item(PopupMenu3, "Print1", QStringLiteral("Print..."));
  PrinterSetup1 = Item(PopupMenu3, "PrinterSetup1", QStringLiteral("Printer Setup..."));
  PopupMenu3->addSeparator();
  mnuDistribution = Item(PopupMenu3, "mnuDistribution", QStringLiteral("Distribution View"));
  mnuDistribution->setCheckable(true);
  ExportData1 = Item(PopupMenu3, "ExportData1", QStringLiteral("Export Data..."));

  PopupMenu2 = Named(new QMenu(this), "PopupMenu2");
  Cut1 = Item(PopupMenu2, "Cut1", QStringLiteral("Cut"));
  Copy1 = Item(PopupMenu2, "Copy1", QStringLiteral("Copy"));
  Paste1 = Item(PopupMenu2, "Paste1", QStringLiteral("Paste"));
  PopupMenu2->addSeparator();
  DeletefromHistory1 = Item(PopupMenu2, "DeletefromHistory1", QStringLiteral("Delete from History"));
  cbURL->lineEdit()->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(cbURL->lineEdit(), &QLineEdit::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu2->popup(cbURL->lineEdit()->mapToGlobal(at)); });
}

void TForm1::AnchorControls() {
  // Design sizes of the pages the anchored controls sit on.
  const QSize graph = GraphSize();
  PageControl2->resize(PageControl1->ContentsRect().size());  // it fills the Setup page
  const QSize subPage = PageControl2->ContentsRect().size();
  imgNoise->setGeometry(6, graph.height() - 26, 20, 20);
  AnchorToParent(imgNoise, graph, Qt::BottomEdge);
  AnchorToParent(GroupBox11, subPage, Qt::RightEdge | Qt::BottomEdge);
  AnchorToParent(Memo1, GroupBox11->size(), Qt::RightEdge | Qt::BottomEdge);
}

void TForm1::ConnectHandlers() {
  auto whenChecked = [this](QRadioButton* button, void (TForm1::*handler)()) {
    connect(button, &QRadioButton::toggled, this, [this, handler](bool checked) {
      if (checked) (this->*handler)();
    });
  };

  connect(btnStart, &QToolButton::clicked, this, &TForm1::btnStartClick);
  connect(btnStop, &QToolButton::clicked, this, &TForm1::btnStopClick);
  connect(btnClear, &QToolButton::clicked, this, &TForm1::btnClearClick);
  connect(Clear1, &QAction::triggered, this, &TForm1::Clear1Click);
  connect(Timer1, &PlotTimer::timeout, this, &TForm1::Timer1Timer);

  connect(cbURL, &QComboBox::editTextChanged, this, &TForm1::edTitleChange);
  connect(edTitle, &QLineEdit::textChanged, this, &TForm1::edTitleChange);
  connect(cbAppend, &QCheckBox::toggled, this, &TForm1::edTitleChange);
  connect(cbAppInterval, &QCheckBox::toggled, this, &TForm1::edTitleChange);
  connect(spX, &SpinEdit::changed, this, &TForm1::spXChange);
  connect(spPoints, &SpinEdit::changed, this, &TForm1::spPointsChange);
  connect(edLabel, &QLineEdit::textChanged, this, &TForm1::edLabelChange);
  connect(spMax, &SpinEdit::exited, this, &TForm1::spMaxExit);
  connect(spMin, &SpinEdit::exited, this, &TForm1::spMinExit);
  connect(PageControl2, &QTabWidget::currentChanged, this, &TForm1::PageControl2Change);
  connect(PageControl1, &QTabWidget::currentChanged, this, [this](int) {
    if (PageControl1->currentWidget() == TabSheet1) TabSheet1Show();
  });

  whenChecked(rbLine, &TForm1::rbLineClick);
  whenChecked(rbArea, &TForm1::rbLineClick);
  whenChecked(rbSteps, &TForm1::rbStepsClick);
  whenChecked(rbRamp, &TForm1::rbRampClick);
  whenChecked(rbVertical, &TForm1::rbVerticalClick);
  whenChecked(rbHorizontal, &TForm1::rbVerticalClick);
  connect(btnDownColour, &QPushButton::clicked, this, &TForm1::btnDownColourClick);
  connect(btnAvgColour, &QPushButton::clicked, this, &TForm1::btnAvgColourClick);
  connect(btnBackColour, &QPushButton::clicked, this, &TForm1::btnBackColourClick);
  connect(btnBorderColour, &QPushButton::clicked, this, &TForm1::btnBorderColourClick);
  connect(btnGrid, &QPushButton::clicked, this, &TForm1::btnGridClick);
  connect(btnAFont, &QPushButton::clicked, this, &TForm1::btnAFontClick);
  connect(btnFont, &QPushButton::clicked, this, &TForm1::btnFontClick);
  connect(btnTitleColour, &QPushButton::clicked, this, &TForm1::btnTitleColourClick);

  m_fileNameFilter = new KeyPressFilter(
      [this](QObject* sender, QKeyEvent* key) { return edLabelKeyPress(sender, key); }, this);
  m_fileNameFilter->Watch(edLabel);
  m_fileNameFilter->Watch(edTemp);
  m_fileNameFilter->Watch(edLog);

  connect(cbShowAll, &QCheckBox::toggled, this, &TForm1::cbShowAllClick);
  connect(PopupMenu3, &QMenu::aboutToShow, this, &TForm1::PopupMenu3Popup);
  connect(Chart1, &ChartView::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu3->popup(Chart1->mapToGlobal(at)); });
  connect(Chart1, &ChartView::mousePressed, this, &TForm1::Chart1MouseDown);
  connect(Chart1, &ChartView::mouseMoved, this, &TForm1::Chart1MouseMove);
  connect(Chart1, &ChartView::mouseReleased, this, &TForm1::Chart1MouseUp);

  ConnectOutputHandlers();
  ConnectWebHandlers();
  ConnectLogHandlers();
  ConnectShellHandlers();
  ConnectStatisticsHandlers();
}

}  // namespace quorvel
