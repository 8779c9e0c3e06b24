// Builds the controls of the main window and wires them to their handlers.
// Positions are pixels at the window's design size (client area 799 x 480);
// group boxes stand at fixed rectangles within their Setup sub-page.
#include <QAbstractItemView>
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
#include <QShortcut>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <initializer_list>
#include <utility>

#include "app/addressbox.h"
#include "app/chartview.h"
#include "app/controls.h"
#include "app/form1.h"
#include "app/pictures.h"
#include "app/plottimer.h"
#include "app/windowweb.h"

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

// Makes the controls into a Form1Controls, one part of the window at a time.
struct Builder {
  QWidget* form;
  const ChartModel& chart;
  Form1Controls& c;

  void CreateControls();
  void CreateToolbar();
  void CreateStatusBar();
  void CreateGraphPage();
  void CreateSetupPages();
  void CreateGraphAxesPage();
  void CreateGraphStylePage();
  void CreateImageCapturePage();
  void CreateOptionsPage();
  void CreateMenus();
  void AnchorControls();
};

void Builder::CreateControls() {
  form->setObjectName(QStringLiteral("Form1"));
  form->setWindowTitle(QStringLiteral("Quorvel"));
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(11);
  form->setFont(font);
  // Text takes the desktop's colours (window, button and base text).

  auto* layout = new QVBoxLayout(form);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  CreateToolbar();
  layout->addWidget(c.Panel1);

  c.PageControl1 = Named(new PageControl(form), "PageControl1");
  layout->addWidget(c.PageControl1, 1);
  CreateGraphPage();
  CreateSetupPages();
  // The run statistics stand in the row of the page tabs, at its right end,
  // no taller than the tabs: the pages keep their size.
  c.lblStatistics = Named(new QLabel(c.PageControl1), "lblStatistics");
  c.lblStatistics->setContentsMargins(0, 0, 6, 0);
  c.lblStatistics->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  c.PageControl1->setCornerWidget(c.lblStatistics, Qt::TopRightCorner);

  CreateStatusBar();
  layout->addWidget(c.StatusBar1);
  CreateMenus();

  c.Timer1 = new PlotTimer(form);
  c.Timer1->setObjectName(QStringLiteral("Timer1"));

  // The design size of the client area is also its smallest size. The
  // layout is worked out at once, hidden as the window still is, so that
  // start-up reads the real size of the graph.
  form->resize(kClientWidth, kClientHeight);
  form->setMinimumSize(kClientWidth, kClientHeight);
  layout->activate();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect desktop = screen->availableGeometry();
    form->move(desktop.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
  }
  AnchorControls();
}

void Builder::CreateToolbar() {
  c.Panel1 = Named(new QFrame(form), "Panel1");
  c.Panel1->setFrameShape(QFrame::Panel);
  c.Panel1->setFrameShadow(QFrame::Sunken);
  c.Panel1->setFixedHeight(45);
  c.Panel1->setFocusPolicy(Qt::StrongFocus);

  c.Panel7 = Separator(c.Panel1, "Panel7", 4);
  c.Label11 = Label(c.Panel1, "Label11", QStringLiteral("Address"), 12, 15);
  c.cbURL = Named(new QComboBox(c.Panel1), "cbURL");
  c.cbURL->setEditable(true);
  c.cbURL->setInsertPolicy(QComboBox::NoInsert);
  c.cbURL->setGeometry(64, 11, 285, 22);
  c.Panel5 = Separator(c.Panel1, "Panel5", 363);

  c.btnStart = ToolButton(c.Panel1, "btnStart", 376, QStringLiteral("Start Plot"), Picture::Start);
  c.btnStop = ToolButton(c.Panel1, "btnStop", 413, QStringLiteral("Stop Plot"), Picture::Stop);
  c.btnStart->setCheckable(true);
  c.btnStop->setCheckable(true);
  // One of the two is always down; clicking the one that is down still acts.
  auto* group = new QButtonGroup(c.Panel1);
  group->setExclusive(true);
  group->addButton(c.btnStart);
  group->addButton(c.btnStop);
  c.btnStop->setChecked(true);
  c.btnClear = ToolButton(c.Panel1, "btnClear", 456, QStringLiteral("Clear Graph"), Picture::Clear);
  c.Panel6 = Separator(c.Panel1, "Panel6", 504);
  c.btnSave = ToolButton(c.Panel1, "btnSave", 516, QStringLiteral("Capture Now"), Picture::Capture);
  c.btnCopy = ToolButton(c.Panel1, "btnCopy", 556, QStringLiteral("Copy to clipboard"), Picture::Copy);
  c.btnPrint = ToolButton(c.Panel1, "btnPrint", 596, QStringLiteral("Print Graph"), Picture::Print);
  c.Panel9 = Separator(c.Panel1, "Panel9", 640);
  c.btnHelp = ToolButton(c.Panel1, "btnHelp", 650, QStringLiteral("Help"), Picture::Help);
  c.Panel10 = Separator(c.Panel1, "Panel10", 696);

  c.Label13 = Label(c.Panel1, "Label13", QStringLiteral("STOPPED"), 724, 15);  // maroon: ApplyTextColours (form1_shell.cpp)
  c.Label13->hide();
}

void Builder::CreateStatusBar() {
  c.StatusBar1 = Named(new QStatusBar(form), "StatusBar1");
  c.StatusBar1->setFixedHeight(21);
  c.StatusBar1->setSizeGripEnabled(true);
  QLabel** panels[3] = {&c.StatusPanel0, &c.StatusPanel1, &c.StatusPanel2};
  for (int i = 0; i < 3; ++i) {
    auto* panel = new QLabel(c.StatusBar1);
    panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setFixedWidth(kStatusPanelWidths[i]);
    c.StatusBar1->addWidget(panel);
    *panels[i] = panel;
  }
  c.StatusPanel3 = Named(new QLabel(c.StatusBar1), "StatusPanel3");
  c.StatusPanel3->setFrameShape(QFrame::Panel);
  c.StatusPanel3->setFrameShadow(QFrame::Sunken);
  c.StatusBar1->addWidget(c.StatusPanel3);
  c.StatusPanel3->hide();

}

void Builder::CreateGraphPage() {
  c.TabSheet1 = Named(new QWidget, "TabSheet1");
  c.PageControl1->addTab(c.TabSheet1, QStringLiteral("Graph"));
  auto* layout = new QVBoxLayout(c.TabSheet1);
  layout->setContentsMargins(0, 0, 0, 0);
  c.Chart1 = Named(new ChartView(chart, c.TabSheet1), "Chart1");
  layout->addWidget(c.Chart1);

  c.imgNoise = Named(new QLabel(c.Chart1), "imgNoise");
  c.imgNoise->setPixmap(PicturePixmap(Picture::CaptureActive, 20));
  c.imgNoise->setToolTip(QStringLiteral("Capture active"));
  c.imgNoise->hide();
}

void Builder::CreateSetupPages() {
  c.TabSheet2 = Named(new QWidget, "TabSheet2");
  c.PageControl1->addTab(c.TabSheet2, QStringLiteral("Setup"));
  auto* layout = new QVBoxLayout(c.TabSheet2);
  layout->setContentsMargins(0, 0, 0, 0);
  c.PageControl2 = Named(new PageControl(c.TabSheet2), "PageControl2");
  layout->addWidget(c.PageControl2);

  c.TabSheet4 = Named(new QWidget, "TabSheet4");
  c.TabSheet3 = Named(new QWidget, "TabSheet3");
  c.TabSheet6 = Named(new QWidget, "TabSheet6");
  c.TabSheet5 = Named(new QWidget, "TabSheet5");
  c.PageControl2->addTab(c.TabSheet4, QStringLiteral("Graph Axes "));
  c.PageControl2->addTab(c.TabSheet3, QStringLiteral("Graph Style"));
  c.PageControl2->addTab(c.TabSheet6, QStringLiteral("Image Capture"));
  c.PageControl2->addTab(c.TabSheet5, QStringLiteral("Options"));

  CreateGraphAxesPage();
  CreateGraphStylePage();
  CreateImageCapturePage();
  CreateOptionsPage();
}

void Builder::CreateGraphAxesPage() {
  QGroupBox* horizontal = Group(c.TabSheet4, "GroupBox1", "Horizontal Axis ", 12, 12, 373, 333);
  c.Label2 = Label(horizontal, "Label2", QStringLiteral("Plot points every.. "), 16, 32);
  c.spX = Spin(horizontal, "spX", 1, 2147383647, 126, 28, 84);
  c.Label1 = Label(horizontal, "Label1", QStringLiteral("seconds"), 218, 32);
  c.Label5 = Label(horizontal, "Label5", QStringLiteral("Points per page"), 16, 64);
  c.spPoints = Spin(horizontal, "spPoints", 10, 10000, 126, 60, 84);
  c.Label12 = Label(horizontal, "Label12", QStringLiteral("(time)"), 218, 64);
  c.Label12->resize(150, c.Label12->height());
  c.Label23 = Label(horizontal, "Label23", QStringLiteral("Graph title:"), 16, 104);
  c.edTitle = Edit(horizontal, "edTitle", 16, 120, 333);
  c.cbAppend = Check(horizontal, "cbAppend", QStringLiteral("Append Address to graph title"), 16, 152);
  c.cbAppInterval = Check(horizontal, "cbAppInterval", QStringLiteral("Append Ping interval"), 16, 176);

  QGroupBox* vertical = Group(c.TabSheet4, "GroupBox2", "Vertical Axis ", 400, 12, 373, 333);
  c.Label6 = Label(vertical, "Label6", QStringLiteral("Maximum value"), 16, 32);
  c.spMax = Spin(vertical, "spMax", 10, 10000, 126, 28, 84);
  c.Label18 = Label(vertical, "Label18", QStringLiteral("Minimum value"), 16, 64);
  c.spMin = Spin(vertical, "spMin", -1, 260, 126, 60, 84);
  c.Label7 = Label(vertical, "Label7", QStringLiteral("Label"), 16, 104);
  c.edLabel = Edit(vertical, "edLabel", 16, 120, 200);
  c.edLabel->setMaxLength(30);
}

void Builder::CreateGraphStylePage() {
  QGroupBox* style = Group(c.TabSheet3, "GroupBox3", "Graph Style", 8, 8, 393, 337);
  StylePicture(style, "Image1", Picture::Line, 16, 26);
  c.rbLine = Radio(style, "rbLine", QStringLiteral("Line"), 60, 30);
  StylePicture(style, "Image2", Picture::Filled, 16, 60);
  c.rbArea = Radio(style, "rbArea", QStringLiteral("Filled"), 60, 64);

  c.Panel8 = Named(new QFrame(style), "Panel8");
  c.Panel8->setGeometry(190, 18, 180, 72);
  StylePicture(c.Panel8, "Image3", Picture::Steps, 8, 8);
  c.rbSteps = Radio(c.Panel8, "rbSteps", QStringLiteral("Steps"), 52, 12);
  c.rbSteps->setChecked(true);
  StylePicture(c.Panel8, "Image4", Picture::Ramp, 8, 42);
  c.rbRamp = Radio(c.Panel8, "rbRamp", QStringLiteral("Ramp"), 52, 46);

  c.Shape1 = Shape(style, "Shape1", 16, 124);
  c.btnDownColour = Button(style, "btnDownColour", QStringLiteral("Ping Plot Colour"), 72, 120, 125);
  c.Shape2 = Shape(style, "Shape2", 16, 160);
  c.btnAvgColour = Button(style, "btnAvgColour", QStringLiteral("Average Ping Colour"), 72, 156, 125);
  c.cbPlotAvg = Check(style, "cbPlotAvg", QStringLiteral("Plot average ping"), 212, 160);
  c.cbPlotAvg->setChecked(true);
  c.Shape3 = Shape(style, "Shape3", 16, 196);
  c.btnBackColour = Button(style, "btnBackColour", QStringLiteral("Background Colour"), 72, 192, 125);
  c.Shape5 = Shape(style, "Shape5", 16, 232);
  c.btnBorderColour = Button(style, "btnBorderColour", QStringLiteral("Border Colour"), 72, 228, 125);

  QGroupBox* other = Group(c.TabSheet3, "GroupBox4", "Other Options ", 412, 8, 361, 337);
  c.Label4 = Label(other, "Label4", QStringLiteral("Horizontal Axis Label Orientation:"), 16, 30);
  c.rbVertical = Radio(other, "rbVertical", QStringLiteral("Vertical"), 32, 50);
  c.rbHorizontal = Radio(other, "rbHorizontal", QStringLiteral("Horizontal"), 32, 72);
  c.Shape4 = Shape(other, "Shape4", 16, 124);
  c.btnAFont = Button(other, "btnAFont", QStringLiteral("Axes Text Colour"), 72, 120, 125);
  c.btnGrid = Button(other, "btnGrid", QStringLiteral("Grid Colour"), 72, 156, 125);
  c.btnFont = Button(other, "btnFont", QStringLiteral("Title Font"), 72, 192, 125);
  // The font dialog has no colour choice: the title's colour has its own.
  c.btnTitleColour = Button(other, "btnTitleColour", QStringLiteral("Title Colour"), 205, 192, 125);
}

void Builder::CreateImageCapturePage() {
  QGroupBox* capture = Group(c.TabSheet6, "GroupBox5", "Image Capture ", 8, 11, 401, 162);
  c.cbCapture = Check(capture, "cbCapture",
                    QStringLiteral("Capture graph images for each complete page"), 16, 26);
  c.Label14 = Label(capture, "Label14", QStringLiteral("Capture folder:"), 16, 60);
  c.edFolder = Edit(capture, "edFolder", 16, 76, 369);
  c.btnBrowse = Button(capture, "btnBrowse", QStringLiteral("Browse..."), 305, 106, 80);

  QGroupBox* web = Group(c.TabSheet6, "GroupBox6", "Web Image Capture", 424, 11, 349, 162);
  c.cbWeb = Check(web, "cbWeb", QStringLiteral("Activate server"), 16, 26);
  c.btnAdvanced = Button(web, "btnAdvanced", QStringLiteral("Advanced..."), 245, 22, 88);
  c.Label24 = Label(web, "Label24", QStringLiteral("Web image filename"), 16, 60);
  c.edTemp = Edit(web, "edTemp", 16, 76, 169);

  QGroupBox* size = Group(c.TabSheet6, "GroupBox7", "Image Size  ", 8, 180, 401, 165);
  c.rbPercent = Radio(size, "rbPercent", QStringLiteral("Percent "), 16, 30);
  c.rbPercent->setChecked(true);
  c.spPercent = Spin(size, "spPercent", 20, 200, 90, 28, 60);
  c.Label3 = Label(size, "Label3", QStringLiteral("%"), 156, 32);
  c.Label17 = Label(size, "Label17", QStringLiteral("Width"), 90, 62);
  c.Label20 = Label(size, "Label20", QStringLiteral("Height"), 170, 62);
  c.rbPixels = Radio(size, "rbPixels", QStringLiteral("Pixels"), 16, 80);
  c.spGrWidth = Spin(size, "spGrWidth", 150, 2000, 90, 78, 60);
  c.Label16 = Label(size, "Label16", QStringLiteral("x"), 157, 82);
  c.spGrHeight = Spin(size, "spGrHeight", 150, 2000, 170, 78, 60);
  c.Panel3 = Divider(size, "Panel3", 252, 20, 100);
  c.Label21 = Label(size, "Label21", QStringLiteral("Applies to..."), 266, 24);
  c.cbCaptured = Check(size, "cbCaptured", QStringLiteral("Captured images"), 266, 42);
  c.cbHTTP = Check(size, "cbHTTP", QStringLiteral("Web image"), 266, 62);
  c.cbClip = Check(size, "cbClip", QStringLiteral("Clipboard"), 266, 82);
  c.cbPrint = Check(size, "cbPrint", QStringLiteral("Printer"), 266, 102);
  c.Label22 = Label(size, "Label22", QStringLiteral("Items not checked will use the screen graph size"),
                  16, 136);

  QGroupBox* type = Group(c.TabSheet6, "GroupBox8", "Image Type ", 424, 180, 349, 165);
  c.rbBMP = Radio(type, "rbBMP", QStringLiteral("Bitmap (BMP)"), 16, 28);
  c.rbJPG = Radio(type, "rbJPG", QStringLiteral("JPEG "), 16, 52);
  c.rbGIF = Radio(type, "rbGIF", QStringLiteral("GIF"), 16, 76);
  c.rbGIF->setChecked(true);
  c.rbPNG = Radio(type, "rbPNG", QStringLiteral("PNG"), 16, 100);
  c.Panel4 = Divider(type, "Panel4", 150, 20, 120);
  c.cbGray = Check(type, "cbGray", QStringLiteral("Convert to grayscale"), 166, 28);
}

void Builder::CreateOptionsPage() {
  QGroupBox* stop = Group(c.TabSheet5, "GroupBox9", "Stop Options  ", 8, 12, 329, 113);
  c.Label8 = Label(stop, "Label8", QStringLiteral("After..."), 16, 30);
  c.spPages = Spin(stop, "spPages", 0, 255, 64, 26, 56);
  c.Label9 = Label(stop, "Label9", QStringLiteral("pages,"), 126, 30);
  c.rbStop = Radio(stop, "rbStop", QStringLiteral("Stop"), 190, 22);
  c.rbRestart = Radio(stop, "rbRestart", QStringLiteral("Restart"), 190, 44);
  c.Label10 = Named(
      new QLabel(QStringLiteral("A value of 0 means keep plotting indefinitely"), stop), "Label10");
  c.Label10->setGeometry(8, 72, 313, 32);
  c.Label10->setAlignment(Qt::AlignCenter);
  c.Label10->setWordWrap(true);

  QGroupBox* log = Group(c.TabSheet5, "GroupBox10", "Log Options  ", 8, 136, 329, 209);
  c.rbNoLog = Radio(log, "rbNoLog", QStringLiteral("Don't write a log file (recommended)"), 16, 22);
  c.rbNoLog->setChecked(true);
  c.rbAllLog = Radio(log, "rbAllLog", QStringLiteral("Write file all the time (very large file)"),
                   16, 44);
  c.rbOnlyLog = Radio(log, "rbOnlyLog", QStringLiteral("Write file when"), 16, 66);
  c.Panel11 = Named(new QFrame(log), "Panel11");
  c.Panel11->setGeometry(124, 62, 120, 42);
  c.rbPing = Radio(c.Panel11, "rbPing", QStringLiteral("ping /"), 0, 4);
  c.rbAvgPing = Radio(c.Panel11, "rbAvgPing", QStringLiteral("average ping"), 0, 24);
  c.rbAvgPing->setChecked(true);
  c.Label25 = Label(log, "Label25", QStringLiteral("exceeds"), 40, 112);
  c.spLog = Spin(log, "spLog", 0, 0, 90, 108, 70);
  c.spLog->SetNoRange();
  c.Label26 = Label(log, "Label26", QStringLiteral("ms"), 166, 112);
  c.Label27 = Label(log, "Label27", QStringLiteral("Filename"), 16, 144);
  c.btnLogBrowse = Button(log, "btnLogBrowse", QStringLiteral("Browse..."), 229, 136, 80);
  c.edLog = Edit(log, "edLog", 16, 166, 293);

  c.GroupBox11 = Group(c.TabSheet5, "GroupBox11", "System ", 352, 12, 413, 333);
  c.cbIgnore = Check(c.GroupBox11, "cbIgnore",
                   QStringLiteral("Ignore first ping (includes DNS lookup time)"), 16, 28);
  c.cbIgnore->setChecked(true);
  c.btnClearHistory = Button(c.GroupBox11, "btnClearHistory", QStringLiteral("Clear Address History"),
                           270, 24, 128);
  c.cbMinimize = Check(c.GroupBox11, "cbMinimize", QStringLiteral("Minimize to SysTray"), 16, 60);
  c.cbShowAll = Check(c.GroupBox11, "cbShowAll", QStringLiteral("Show full response window"), 16, 84);

  c.Panel2 = Named(new QFrame(c.GroupBox11), "Panel2");
  c.Panel2->setGeometry(20, 120, 373, 21);
  QFont about(QStringLiteral("Arial"));
  about.setPixelSize(13);
  about.setBold(true);
  about.setUnderline(true);
  c.Panel2->setFont(about);  // blue: ApplyTextColours
  c.Label19 = Named(new QLabel(QStringLiteral("Quorvel \u00a9 2024 quorvel.example"), c.Panel2),
                  "Label19");
  c.Label19->setGeometry(4, 2, 260, 17);
  c.Label15 = Named(new QLabel(QStringLiteral("version"), c.Panel2), "Label15");
  QFont version = about;
  version.setUnderline(false);
  c.Label15->setFont(version);
  c.Label15->setGeometry(269, 2, 100, 17);
  c.Label15->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  c.Memo1 = Named(new QPlainTextEdit(c.GroupBox11), "Memo1");
  c.Memo1->setGeometry(20, 160, 373, 153);
  c.Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  c.Memo1->setReadOnly(true);
  c.Memo1->hide();
}

void Builder::CreateMenus() {
  c.PopupMenu3 = Named(new QMenu(form), "PopupMenu3");
  c.mnuMax = Item(c.PopupMenu3, "mnuMax", QStringLiteral("Maximum:"));
  c.mnuAvg = Item(c.PopupMenu3, "mnuAvg", QStringLiteral("Average:"));
  c.mnuMin = Item(c.PopupMenu3, "mnuMin", QStringLiteral("Minimum:"));
  for (const char* name : {"mnuLoss", "mnuMinAvgMax", "mnuDeviation", "mnuPercentiles",
                           "mnuJitter", "mnuLossRun", "mnuLastLoss"}) {
    c.statisticsItems.push_back(Item(c.PopupMenu3, name, QString()));
  }
  c.PopupMenu3->addSeparator();
  c.Copy2 = Item(c.PopupMenu3, "Copy2", QStringLiteral("Copy"));
  c.PopupMenu3->addSeparator();
  c.Clear1 = Item(c.PopupMenu3, "Clear1", QStringLiteral("Clear"));
  c.PopupMenu3->addSeparator();
  c.Save1 = Item(c.PopupMenu3, "Save1", QStringLiteral("Save"));
  c.SaveAs1 = Item(c.PopupMenu3, "SaveAs1", QStringLiteral("Save As..."));
  c.PopupMenu3->addSeparator();
  c.Print1 = Item(c.PopupMenu3, "Print1", QStringLiteral("Print..."));
  c.PrinterSetup1 = Item(c.PopupMenu3, "PrinterSetup1", QStringLiteral("Printer Setup..."));
  c.PopupMenu3->addSeparator();
  c.mnuDistribution = Item(c.PopupMenu3, "mnuDistribution", QStringLiteral("Distribution View"));
  c.mnuDistribution->setCheckable(true);
  c.ExportData1 = Item(c.PopupMenu3, "ExportData1", QStringLiteral("Export Data..."));
  c.PopupMenu3->addSeparator();
  c.mnuPreciseScale = Item(c.PopupMenu3, "mnuPreciseScale", QStringLiteral("Precise Scale"));
  c.mnuPreciseScale->setCheckable(true);
  c.mnuDesktopColours =
      Item(c.PopupMenu3, "mnuDesktopColours", QStringLiteral("Graph Follows Desktop Colours"));
  c.mnuDesktopColours->setCheckable(true);
  c.mnuAlerts = Item(c.PopupMenu3, "mnuAlerts", QStringLiteral("Alerts..."));

  c.PopupMenu2 = Named(new QMenu(form), "PopupMenu2");
  c.Cut1 = Item(c.PopupMenu2, "Cut1", QStringLiteral("Cut"));
  c.Copy1 = Item(c.PopupMenu2, "Copy1", QStringLiteral("Copy"));
  c.Paste1 = Item(c.PopupMenu2, "Paste1", QStringLiteral("Paste"));
  c.PopupMenu2->addSeparator();
  c.DeletefromHistory1 = Item(c.PopupMenu2, "DeletefromHistory1", QStringLiteral("Delete from History"));
  c.cbURL->lineEdit()->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(c.cbURL->lineEdit(), &QLineEdit::customContextMenuRequested, form,
                   [menu = c.PopupMenu2, edit = c.cbURL->lineEdit()](const QPoint& at) {
                     menu->popup(edit->mapToGlobal(at));
                   });

  // The notification-area icon and its menu.
  form->setWindowIcon(PictureIcon(Picture::Program));
  c.PopupMenu1 = Named(new QMenu(form), "PopupMenu1");
  c.mnuRestore = Item(c.PopupMenu1, "mnuRestore", QStringLiteral("Restore Quorvel"));
  c.PopupMenu1->addSeparator();
  c.CloseQuorvel1 = Item(c.PopupMenu1, "CloseQuorvel1", QStringLiteral("Close Quorvel"));
  c.TrayIcon = Named(new QSystemTrayIcon(PictureIcon(Picture::Program), form), "TrayIcon");
  c.TrayIcon->setContextMenu(c.PopupMenu1);
  c.Label19->setCursor(Qt::PointingHandCursor);
}

void Builder::AnchorControls() {
  // Design sizes of the pages the anchored controls sit on.
  const QSize graph = c.PageControl1->ContentsRect().size();
  c.PageControl2->resize(c.PageControl1->ContentsRect().size());  // it fills the Setup page
  const QSize subPage = c.PageControl2->ContentsRect().size();
  c.imgNoise->setGeometry(6, graph.height() - 26, 20, 20);
  AnchorToParent(c.imgNoise, graph, Qt::BottomEdge);
  AnchorToParent(c.GroupBox11, subPage, Qt::RightEdge | Qt::BottomEdge);
  AnchorToParent(c.Memo1, c.GroupBox11->size(), Qt::RightEdge | Qt::BottomEdge);
}

}  // namespace

void BuildForm1Controls(QWidget* form, const ChartModel& chart, Form1Controls& c) {
  Builder{form, chart, c}.CreateControls();
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

  auto* fileNameFilter = new KeyPressFilter(
      [this](QObject* sender, QKeyEvent* key) { return edLabelKeyPress(sender, key); }, this);
  fileNameFilter->Watch(edLabel);
  fileNameFilter->Watch(edTemp);
  fileNameFilter->Watch(edLog);

  connect(cbShowAll, &QCheckBox::toggled, this, &TForm1::cbShowAllClick);
  connect(PopupMenu3, &QMenu::aboutToShow, this, &TForm1::PopupMenu3Popup);
  connect(Chart1, &ChartView::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu3->popup(Chart1->mapToGlobal(at)); });
  connect(Chart1, &ChartView::mousePressed, this, &TForm1::Chart1MouseDown);
  connect(Chart1, &ChartView::mouseMoved, this, &TForm1::Chart1MouseMove);
  connect(Chart1, &ChartView::mouseReleased, this, &TForm1::Chart1MouseUp);

  // Images, clipboard, printing, the distribution view and the export.
  connect(btnSave, &QToolButton::clicked, this, &TForm1::btnSaveClick);
  connect(Save1, &QAction::triggered, this, &TForm1::btnSaveClick);
  connect(SaveAs1, &QAction::triggered, this, &TForm1::SaveAs1Click);
  connect(btnBrowse, &QPushButton::clicked, this, &TForm1::btnBrowseClick);
  connect(edFolder, &QLineEdit::textChanged, this, &TForm1::edFolderChange);
  connect(cbCapture, &QCheckBox::toggled, this, &TForm1::cbCaptureClick);
  whenChecked(rbPercent, &TForm1::rbPercentClick);
  whenChecked(rbPixels, &TForm1::rbPercentClick);
  connect(spPercent, &SpinEdit::changed, this, &TForm1::spPercentChange);
  connect(btnCopy, &QToolButton::clicked, this, &TForm1::btnCopyClick);
  connect(Copy2, &QAction::triggered, this, &TForm1::Copy2Click);
  connect(btnPrint, &QToolButton::clicked, this, &TForm1::btnPrintClick);
  connect(Print1, &QAction::triggered, this, &TForm1::Print1Click);
  connect(PrinterSetup1, &QAction::triggered, this, &TForm1::PrinterSetup1Click);
  connect(mnuDistribution, &QAction::toggled, this, &TForm1::mnuDistributionClick);
  connect(ExportData1, &QAction::triggered, this, &TForm1::ExportData1Click);
  connect(mnuPreciseScale, &QAction::toggled, this, &TForm1::mnuPreciseScaleClick);
  connect(mnuDesktopColours, &QAction::toggled, this, &TForm1::mnuDesktopColoursClick);
  connect(mnuAlerts, &QAction::triggered, this, &TForm1::mnuAlertsClick);

  // The web server. Leaving for another window or a menu is not leaving a
  // box (OnFocusLeft).
  connect(cbWeb, &QCheckBox::toggled, this, &TForm1::cbWebClick);
  connect(btnAdvanced, &QPushButton::clicked, this, &TForm1::btnAdvancedClick);
  connect(edTemp, &QLineEdit::textChanged, this, &TForm1::edTempChange);
  OnFocusLeft(edTemp, [this] { edTempExit(); });
  // The type decides the served bytes and the name's extension.
  for (QRadioButton* type : {rbBMP, rbJPG, rbGIF, rbPNG}) {
    connect(type, &QRadioButton::toggled, this, [this](bool checked) {
      m_web->ImageChanged();
      if (checked) edTempExit();
    });
  }
  // Everything else the web image depends on besides the chart itself
  // (ChartChanged): the size rule, the gray switch and the on-screen size.
  for (QAbstractButton* button : std::initializer_list<QAbstractButton*>{
           rbPercent, rbPixels, cbHTTP, cbGray}) {
    connect(button, &QAbstractButton::toggled, this, [this] { m_web->ImageChanged(); });
  }
  for (SpinEdit* box : {spPercent, spGrWidth, spGrHeight}) {
    connect(box, &SpinEdit::changed, this, [this] { m_web->ImageChanged(); });
  }
  new EventHook(
      PageControl1,
      [this](QEvent* event) {
        if (event->type() == QEvent::Resize || event->type() == QEvent::Show) m_web->ImageChanged();
      },
      this);

  // The log options and the address box. The list is the history and stays
  // in its order: no sorting or insertion by the box itself, and the
  // completion is the history's own.
  cbURL->setCompleter(nullptr);
  whenChecked(rbNoLog, &TForm1::rbAllLogClick);
  whenChecked(rbAllLog, &TForm1::rbAllLogClick);
  whenChecked(rbOnlyLog, &TForm1::rbAllLogClick);
  connect(btnLogBrowse, &QPushButton::clicked, this, &TForm1::btnLogBrowseClick);
  connect(edLog, &QLineEdit::textChanged, this, &TForm1::edLogChange);
  OnFocusLeft(edLog, [this] { edLogExit(); });
  // The drop-down list closing. Whether the box applies a pick before or
  // after it hides the list is its own affair, so the handler runs once both
  // are done.
  new EventHook(
      cbURL->view()->window(),
      [this](QEvent* event) {
        if (event->type() != QEvent::Hide) return;
        QMetaObject::invokeMethod(this, &TForm1::cbURLCloseUp, Qt::QueuedConnection);
      },
      this);
  // Keys reach the box, which hands them on to its line edit directly; both
  // are watched so that a key sent to either is seen.
  auto rememberBeforeKey = [this](QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::InputMethod) return;
    const QLineEdit* edit = cbURL->lineEdit();
    m_addressBeforeEdit = std::make_pair(edit->text(), static_cast<int>(edit->selectedText().size()));
  };
  new EventHook(cbURL, rememberBeforeKey, this);
  new EventHook(cbURL->lineEdit(), rememberBeforeKey, this);
  connect(cbURL->lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
    if (!m_addressBeforeEdit) return;
    const auto [before, selected] = std::move(*m_addressBeforeEdit);
    m_addressBeforeEdit.reset();
    CompleteTyping(cbURL->lineEdit(), m_session->History(), text, before, selected);
  });
  connect(PopupMenu2, &QMenu::aboutToShow, this, &TForm1::PopupMenu2Popup);
  connect(Cut1, &QAction::triggered, this, &TForm1::Cut1Click);
  connect(Copy1, &QAction::triggered, this, &TForm1::Copy1Click);
  connect(Paste1, &QAction::triggered, this, &TForm1::Paste1Click);
  connect(DeletefromHistory1, &QAction::triggered, this, &TForm1::DeletefromHistory1Click);
  connect(btnClearHistory, &QPushButton::clicked, this, &TForm1::btnClearHistoryClick);

  // The shell: the notification-area icon, Help and the about line.
  connect(mnuRestore, &QAction::triggered, this, &TForm1::mnuRestoreClick);
  connect(CloseQuorvel1, &QAction::triggered, this, &TForm1::CloseQuorvel1Click);
  connect(TrayIcon, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger) mnuRestoreClick();
          });
  connect(cbMinimize, &QCheckBox::toggled, this, &TForm1::cbMinimizeClick);
  connect(btnHelp, &QToolButton::clicked, this, &TForm1::btnHelpClick);
  auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
  help->setContext(Qt::WindowShortcut);
  connect(help, &QShortcut::activated, this, &TForm1::btnHelpClick);
  new EventHook(
      Label19,
      [this](QEvent* event) {
        if (event->type() == QEvent::MouseButtonRelease) Label19Click();
      },
      Label19);
}

}  // namespace quorvel
