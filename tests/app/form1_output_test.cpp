// The image outlets of the main window: Capture Now, the page capture of a
// run, Save As, the capture folder and size controls, the clipboard and the
// printer.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <functional>
#include <memory>
#include <optional>

#include "common/fixedclock.h"
#include "app/controls.h"
#include "app/dialogs.h"
#include "app/form1.h"
#include "recordingdialogs.h"
#include "windowhome.h"
#include "app/printraster.h"
#include "output/imagefilename.h"
#include "run/timeformat.h"

using namespace quorvel;

namespace {

bool AllGray(const QImage& image) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      if (qRed(p) != qGreen(p) || qGreen(p) != qBlue(p)) return false;
    }
  }
  return true;
}

QImage Rgb32(const QImage& image) { return image.convertToFormat(QImage::Format_RGB32); }

}  // namespace

class Form1OutputTest : public QObject {
  Q_OBJECT

 private:
  FixedClock m_clock;
  RecordingDialogs m_dialogs;
  std::unique_ptr<WindowHome> m_home;  // outlives the window
  std::unique_ptr<TForm1> m_form;
  std::unique_ptr<QTemporaryDir> m_dir;

  template <typename T>
  T* Find(const char* name) { return FindControl<T>(m_form.get(), name); }

  QString Stamp() const { return QString::fromStdString(FormatCaptureStamp(m_clock.Now())); }
  QString InDir(const QString& name) const { return m_dir->filePath(name); }
  // Everything in the folder, hidden temporaries included.
  QStringList Files() const {
    return QDir(m_dir->path())
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
  }
  void Choose(const char* radio) { SetRadioChecked(Find<QRadioButton>(radio), true); }
  void Capture() { Find<QToolButton>("btnSave")->click(); }
  QImage CapturedImage() {
    const QStringList files = Files();
    if (files.size() != 1) return QImage();
    return QImage(InDir(files.first()));
  }
  QImage ClipboardCopy() {
    Find<QToolButton>("btnCopy")->click();
    return QGuiApplication::clipboard()->image();
  }

 private slots:
  void initTestCase() {
    const QByteArray path = QByteArray(QUORVEL_FAKE_PING_DIR) + ":" + qgetenv("PATH");
    qputenv("PATH", path);
    qputenv("FAKE_PING_MODE", "reply");
  }

  void init() {
    m_dialogs = RecordingDialogs();
    m_home = std::make_unique<WindowHome>();
    m_form = std::make_unique<TForm1>(m_clock, m_home->Environment(&m_dialogs));
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    Find<QLineEdit>("edFolder")->setText(m_dir->path());
  }

  void cleanup() {
    m_form.reset();
    m_dir.reset();
  }

  void captureFileName_data() {
    QTest::addColumn<bool>("trailingSeparator");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("typeButton");
    QTest::addColumn<QString>("extension");
    QTest::newRow("folder without separator") << false << "Ping - milliseconds" << "rbJPG" << ".jpg";
    QTest::newRow("folder with separator") << true << "Ping - milliseconds" << "rbJPG" << ".jpg";
    QTest::newRow("empty label") << false << "" << "rbPNG" << ".png";
  }

  void captureFileName() {
    QFETCH(bool, trailingSeparator);
    QFETCH(QString, label);
    QFETCH(QString, typeButton);
    QFETCH(QString, extension);
    Find<QLineEdit>("edFolder")->setText(m_dir->path() + (trailingSeparator ? "/" : ""));
    Find<QLineEdit>("edLabel")->setText(label);
    Choose(typeButton.toLatin1().constData());
    Capture();
    QCOMPARE(m_dialogs.messages, QStringList());
    QCOMPARE(Files(), QStringList{label + Stamp() + extension});
  }

  // Captures within one minute share a name: the later ones are numbered,
  // and none replaces another.
  void sameMinuteKeepsEveryImage() {
    Choose("rbPNG");
    auto* title = Find<QLineEdit>("edTitle");
    QList<QImage> shots;
    for (const char* text : {"First", "Second", "Third"}) {
      title->setText(QString::fromLatin1(text));
      Capture();
      shots << Rgb32(ClipboardCopy());  // the clipboard copy is the same render
    }
    const QString stem = QStringLiteral("Ping - milliseconds") + Stamp();
    QCOMPARE(Files(), (QStringList{stem + "-2.png", stem + "-3.png", stem + ".png"}));
    QCOMPARE(Rgb32(QImage(InDir(stem + ".png"))), shots[0]);
    QCOMPARE(Rgb32(QImage(InDir(stem + "-2.png"))), shots[1]);
    QCOMPARE(Rgb32(QImage(InDir(stem + "-3.png"))), shots[2]);
    QVERIFY(shots[0] != shots[1]);
    QCOMPARE(m_dialogs.messages, QStringList());
  }

  void everyTypeIsReadable_data() {
    QTest::addColumn<QString>("typeButton");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<bool>("pixels");
    QTest::addColumn<bool>("gray");
    QTest::addColumn<QSize>("size");
    const std::pair<const char*, const char*> types[] = {
        {"rbBMP", "bmp"}, {"rbJPG", "jpeg"}, {"rbGIF", "gif"}, {"rbPNG", "png"}};
    for (const auto& [button, format] : types) {
      for (const bool pixels : {false, true}) {
        for (const bool gray : {false, true}) {
          QTest::addRow("%s %s%s", format, pixels ? "300x200" : "50%", gray ? " gray" : "")
              << button << QByteArray(format) << pixels << gray
              << (pixels ? QSize(300, 200) : QSize(395, 192));
        }
      }
    }
  }

  void everyTypeIsReadable() {
    QFETCH(QString, typeButton);
    QFETCH(QByteArray, format);
    QFETCH(bool, pixels);
    QFETCH(bool, gray);
    QFETCH(QSize, size);
    QCOMPARE(m_form->GraphSize(), QSize(791, 385));
    // A coloured background, so that the gray conversion shows.
    m_dialogs.colourAnswer = QColor(200, 100, 50);
    Find<QPushButton>("btnBackColour")->click();
    Choose(typeButton.toLatin1().constData());
    Choose(pixels ? "rbPixels" : "rbPercent");
    Find<SpinEdit>("spPercent")->setValue(50);
    Find<SpinEdit>("spGrWidth")->setValue(300);
    Find<SpinEdit>("spGrHeight")->setValue(200);
    Find<QCheckBox>("cbGray")->setChecked(gray);
    Capture();
    QCOMPARE(m_dialogs.messages, QStringList());
    QCOMPARE(Files().size(), 1);
    QImageReader reader(InDir(Files().first()));
    QCOMPARE(reader.format(), format);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size);
    QCOMPARE(AllGray(image), gray);
  }

  void sizeRule_data() {
    QTest::addColumn<bool>("pixels");
    QTest::addColumn<int>("percent");
    QTest::addColumn<bool>("captured");
    QTest::addColumn<QSize>("size");
    QTest::newRow("pixels 150 x 2000") << true << 100 << true << QSize(150, 2000);
    QTest::newRow("switch off: the screen size") << true << 100 << false << QSize(791, 385);
    QTest::newRow("percent 20") << false << 20 << true << QSize(158, 77);
  }

  void sizeRule() {
    QFETCH(bool, pixels);
    QFETCH(int, percent);
    QFETCH(bool, captured);
    QFETCH(QSize, size);
    Choose("rbBMP");
    Choose(pixels ? "rbPixels" : "rbPercent");
    Find<SpinEdit>("spPercent")->setValue(percent);
    Find<SpinEdit>("spGrWidth")->setValue(150);
    Find<SpinEdit>("spGrHeight")->setValue(2000);
    Find<QCheckBox>("cbCaptured")->setChecked(captured);
    Capture();
    QCOMPARE(CapturedImage().size(), size);
  }

  void saveAsWritesTheChosenType_data() {
    QTest::addColumn<QString>("typeButton");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<int>("filterIndex");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("png named .jpg") << "rbPNG" << "graph.jpg" << QByteArray("png") << 4 << ".png";
    QTest::newRow("bmp named .png") << "rbBMP" << "graph.png" << QByteArray("bmp") << 3 << ".bmp";
    QTest::newRow("jpeg named .gif") << "rbJPG" << "graph.gif" << QByteArray("jpeg") << 1 << ".jpg";
    QTest::newRow("gif named .bmp") << "rbGIF" << "graph.bmp" << QByteArray("gif") << 2 << ".gif";
  }

  void saveAsWritesTheChosenType() {
    QFETCH(QString, typeButton);
    QFETCH(QString, answer);
    QFETCH(QByteArray, format);
    QFETCH(int, filterIndex);
    QFETCH(QString, suffix);
    Choose(typeButton.toLatin1().constData());
    // The capture folder does not matter.
    Find<QLineEdit>("edFolder")->setText(InDir("missing"));
    m_dialogs.saveAnswer = InDir(answer);
    Find<QAction>("SaveAs1")->trigger();
    QCOMPARE(m_dialogs.saves.size(), qsizetype{1});
    QCOMPARE(m_dialogs.saves.last().directory, m_home->Path());
    QCOMPARE(m_dialogs.saves.last().filter,
             QString("JPEG Image File (*.jpg)|*.jpg|GIF Image File (*.gif)|*.gif|"
                     "Bitmap File (*.bmp)|*.bmp"));
    QCOMPARE(m_dialogs.saves.last().filterIndex, filterIndex);
    QCOMPARE(m_dialogs.saves.last().defaultSuffix, suffix);
    QCOMPARE(m_dialogs.messages, QStringList());
    QCOMPARE(Files(), QStringList{answer});
    QImageReader reader(InDir(answer));
    reader.setDecideFormatFromContent(true);
    QCOMPARE(reader.format(), format);
    QCOMPARE(reader.read().size(), QSize(791, 385));
  }

  void saveAsCancelledDoesNothing() {
    m_dialogs.saveAnswer.reset();
    Find<QAction>("SaveAs1")->trigger();
    QCOMPARE(m_dialogs.saves.size(), qsizetype{1});
    QCOMPARE(Files(), QStringList());
    QCOMPARE(m_dialogs.messages, QStringList());
  }

  void failedWriteShowsOneMessage_data() {
    QTest::addColumn<QString>("folder");  // relative to the temporary folder
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("saveAs");  // empty: Capture Now
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing folder") << "missing" << "a" << "" << "No such file or directory";
    QTest::newRow("folder is a file") << "plain" << "a" << "" << "Not a directory";
    QTest::newRow("label names a missing folder") << "" << "no/such" << "" << "No such file or directory";
    QTest::newRow("save as into a missing folder") << "" << "a" << "missing/graph.png"
                                                    << "No such file or directory";
  }

  void failedWriteShowsOneMessage() {
    QFETCH(QString, folder);
    QFETCH(QString, label);
    QFETCH(QString, saveAs);
    QFETCH(QString, reason);
    QFile plain(InDir("plain"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    Find<QLineEdit>("edFolder")->setText(InDir(folder));
    Find<QLineEdit>("edLabel")->setText(label);
    const std::size_t points = m_form->session().Chart().data.PingCount();
    if (saveAs.isEmpty()) {
      m_form->btnSaveClick();  // as the shell does at close, whatever the button's state
    } else {
      m_dialogs.saveAnswer = InDir(saveAs);
      m_form->SaveAs1Click();
    }
    QCOMPARE(m_dialogs.messages.size(), 1);
    QVERIFY2(m_dialogs.messages.first().contains(reason), qPrintable(m_dialogs.messages.first()));
    QCOMPARE(Files(), QStringList{"plain"});  // nothing left behind
    QCOMPARE(m_form->session().Chart().data.PingCount(), points);
  }

  void captureControlsFollowTheFolder() {
    auto* folder = Find<QLineEdit>("edFolder");
    auto* save = Find<QToolButton>("btnSave");
    auto* capture = Find<QCheckBox>("cbCapture");
    auto* mark = Find<QWidget>("imgNoise");
    auto* save1 = Find<QAction>("Save1");
    QVERIFY(save->isEnabled());
    QVERIFY(capture->isEnabled());
    m_form->PopupMenu3Popup();
    QVERIFY(save1->isEnabled());
    capture->setChecked(true);
    QVERIFY(!mark->isHidden());

    folder->setText(InDir("missing"));
    QVERIFY(!save->isEnabled());
    QVERIFY(!capture->isEnabled());
    QVERIFY(capture->isChecked());  // a disabled box keeps its check
    QVERIFY(!mark->isHidden());     // a change of folder alone leaves the mark
    QVERIFY(save1->isEnabled());    // the menu is set when it opens
    m_form->PopupMenu3Popup();
    QVERIFY(!save1->isEnabled());
    capture->setChecked(false);
    capture->setChecked(true);
    QVERIFY(mark->isHidden());  // checked, but no folder

    folder->setText(m_dir->path());
    QVERIFY(save->isEnabled());
    QVERIFY(capture->isEnabled());
    QVERIFY(mark->isHidden());
    m_form->PopupMenu3Popup();
    QVERIFY(save1->isEnabled());
    capture->setChecked(false);
    QVERIFY(mark->isHidden());
  }

  void browse_data() {
    QTest::addColumn<QString>("start");   // relative to the temporary folder
    QTest::addColumn<QString>("answer");  // empty: Cancel
    QTest::addColumn<QString>("result");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("chosen") << "missing" << "sub" << "sub" << true;
    QTest::newRow("cancelled") << "missing" << "" << "missing" << false;
    QTest::newRow("cancelled on an existing folder") << "sub" << "" << "sub" << true;
  }

  void browse() {
    QFETCH(QString, start);
    QFETCH(QString, answer);
    QFETCH(QString, result);
    QFETCH(bool, enabled);
    QVERIFY(QDir(m_dir->path()).mkdir("sub"));
    Find<QLineEdit>("edFolder")->setText(InDir(start));
    if (!answer.isEmpty()) m_dialogs.folderAnswer = InDir(answer);
    Find<QPushButton>("btnBrowse")->click();
    QCOMPARE(m_dialogs.folderCalls, 1);
    QCOMPARE(m_dialogs.folderTitle, QString("Select folder"));
    QCOMPARE(m_dialogs.folderStart, InDir(start));
    QCOMPARE(Find<QLineEdit>("edFolder")->text(), InDir(result));
    QCOMPARE(Find<QCheckBox>("cbCapture")->isEnabled(), enabled);
    QCOMPARE(Find<QToolButton>("btnSave")->isEnabled(), enabled);
  }

  void sizeModeControls() {
    const char* percentSide[] = {"spPercent", "Label3"};
    const char* pixelSide[] = {"spGrWidth", "spGrHeight", "Label16", "Label17", "Label20"};
    for (const bool pixels : {true, false, true}) {
      Choose(pixels ? "rbPixels" : "rbPercent");
      for (const char* name : percentSide) QVERIFY2(Find<QWidget>(name)->isEnabled() != pixels, name);
      for (const char* name : pixelSide) QVERIFY2(Find<QWidget>(name)->isEnabled() == pixels, name);
    }
    Find<SpinEdit>("spPercent")->setValue(20);
    QCOMPARE(Find<QLabel>("Label3")->text(), QString("(158 x 77)"));
    Find<SpinEdit>("spPercent")->setValue(200);
    QCOMPARE(Find<QLabel>("Label3")->text(), QString("(1582 x 770)"));
  }

  void pageCaptureDuringARun() {
    Find<SpinEdit>("spX")->setValue(1);
    Find<SpinEdit>("spPoints")->setValue(10);
    Find<QCheckBox>("cbIgnore")->setChecked(true);
    Find<QCheckBox>("cbCapture")->setChecked(true);
    Choose("rbPNG");
    Find<QToolButton>("btnStart")->click();  // its first ping is ignored
    for (int tick = 1; tick <= 8; ++tick) m_form->Timer1Timer();
    QCOMPARE(Files(), QStringList());
    m_form->Timer1Timer();  // tick 9: ten ticks counted, a page complete
    QCOMPARE(m_form->session().Chart().data.PingCount(), std::size_t{9});
    QCOMPARE(Files(), QStringList{"Ping - milliseconds" + Stamp() + ".png"});
    QCOMPARE(m_form->session().Counters().captureTicks, 0);
    QCOMPARE(m_dialogs.messages, QStringList());
    Find<QToolButton>("btnStop")->click();
  }

  void failedPageCaptureFinishesTheTick() {
    Find<SpinEdit>("spX")->setValue(1);
    Find<SpinEdit>("spPoints")->setValue(10);
    Find<QCheckBox>("cbIgnore")->setChecked(false);
    Find<QCheckBox>("cbCapture")->setChecked(true);
    Find<QLineEdit>("edLabel")->setText(QStringLiteral("no/such"));
    Find<QToolButton>("btnStart")->click();
    for (int tick = 2; tick <= 10; ++tick) m_form->Timer1Timer();
    QCOMPARE(m_dialogs.messages.size(), 1);
    QVERIFY(m_dialogs.messages.first().contains("No such file or directory"));
    // The statistics step still ran after the failed capture.
    const PlotData& data = m_form->session().Chart().data;
    QCOMPARE(data.PingCount(), std::size_t{10});
    QCOMPARE(data.AverageCount(), std::size_t{9});
    QCOMPARE(Files(), QStringList());
    Find<QToolButton>("btnStop")->click();
  }

  void clipboard_data() {
    QTest::addColumn<bool>("clip");
    QTest::addColumn<bool>("pixels");
    QTest::addColumn<bool>("gray");
    QTest::addColumn<QSize>("size");
    QTest::newRow("pixels") << true << true << false << QSize(150, 300);
    QTest::newRow("switch off") << false << true << false << QSize(791, 385);
    QTest::newRow("percent, gray") << true << false << true << QSize(395, 192);
  }

  void clipboard() {
    QFETCH(bool, clip);
    QFETCH(bool, pixels);
    QFETCH(bool, gray);
    QFETCH(QSize, size);
    m_dialogs.colourAnswer = QColor(200, 100, 50);
    Find<QPushButton>("btnBackColour")->click();
    QGuiApplication::clipboard()->clear();
    Find<QCheckBox>("cbClip")->setChecked(clip);
    Choose(pixels ? "rbPixels" : "rbPercent");
    Find<SpinEdit>("spPercent")->setValue(50);
    Find<SpinEdit>("spGrWidth")->setValue(150);
    Find<SpinEdit>("spGrHeight")->setValue(300);
    Find<QCheckBox>("cbGray")->setChecked(gray);
    Find<QAction>("Copy2")->trigger();
    const QImage copied = QGuiApplication::clipboard()->image();
    QCOMPARE(copied.size(), size);
    QCOMPARE(AllGray(copied), gray);
    QCOMPARE(m_dialogs.messages, QStringList());
  }

  void printRasterScalesByWholeDots_data() {
    QTest::addColumn<int>("dpiX");
    QTest::addColumn<int>("dpiY");
    QTest::addColumn<QSize>("drawn");
    QTest::newRow("600 dpi") << 600 << 600 << QSize(60, 30);
    QTest::newRow("600 x 300 dpi") << 600 << 300 << QSize(60, 15);
    QTest::newRow("72 dpi: empty page") << 72 << 72 << QSize(0, 0);
  }

  void printRasterScalesByWholeDots() {
    QFETCH(int, dpiX);
    QFETCH(int, dpiY);
    QFETCH(QSize, drawn);
    QImage raster(10, 5, QImage::Format_RGB32);
    raster.fill(Qt::red);
    QImage page(200, 100, QImage::Format_RGB32);
    page.fill(Qt::white);
    page.setDotsPerMeterX(qRound(dpiX / 0.0254));
    page.setDotsPerMeterY(qRound(dpiY / 0.0254));
    QVERIFY(PrintRaster(page, raster, 96));
    QImage expected(page.size(), QImage::Format_RGB32);
    expected.fill(Qt::white);
    for (int y = 0; y < drawn.height(); ++y) {
      for (int x = 0; x < drawn.width(); ++x) expected.setPixel(x, y, qRgb(255, 0, 0));
    }
    QCOMPARE(page.convertToFormat(QImage::Format_RGB32), expected);
  }

  void printsToThePrinterOfTheSetup() {
    const QString pdf = InDir("graph.pdf");
    m_dialogs.setUp = [pdf](QPrinter& printer) {
      printer.setOutputFormat(QPrinter::PdfFormat);
      printer.setOutputFileName(pdf);
      printer.setResolution(600);
    };
    Find<QAction>("PrinterSetup1")->trigger();
    QCOMPARE(m_dialogs.setupCalls, 1);
    QVERIFY(!QFile::exists(pdf));  // the set-up alone prints nothing
    QPrinter* printer = m_dialogs.printerSeen;

    Find<QToolButton>("btnPrint")->click();
    QCOMPARE(m_dialogs.messages, QStringList());
    QFile file(pdf);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().startsWith("%PDF"));
    file.close();
    QVERIFY(file.remove());

    m_dialogs.printAnswer = false;
    Find<QAction>("Print1")->trigger();
    QCOMPARE(m_dialogs.printCalls, 1);
    QCOMPARE(m_dialogs.printerSeen, printer);  // one printer for the window's life
    QVERIFY(!QFile::exists(pdf));
    m_dialogs.printAnswer = true;
    Find<QAction>("Print1")->trigger();
    QVERIFY(QFileInfo(pdf).size() > 0);
    QCOMPARE(m_dialogs.messages, QStringList());
  }

  void printFailures_data() {
    QTest::addColumn<QString>("output");  // relative to the temporary folder; empty: none
    QTest::addColumn<QString>("message");
    QTest::newRow("job cannot start") << "missing/graph.pdf" << "The print job could not be started";
  }

  void printFailures() {
    QFETCH(QString, output);
    QFETCH(QString, message);
    const QString file = output.isEmpty() ? QString() : InDir(output);
    m_dialogs.setUp = [file](QPrinter& printer) {
      printer.setOutputFormat(QPrinter::PdfFormat);
      printer.setOutputFileName(file);
    };
    m_form->PrinterSetup1Click();
    m_form->btnPrintClick();
    QCOMPARE(m_dialogs.messages.size(), 1);
    QVERIFY2(m_dialogs.messages.first().startsWith(message), qPrintable(m_dialogs.messages.first()));
    QCOMPARE(Files(), QStringList());
  }

  // With no printer to print on, the toolbar's Print offers the print
  // dialog as the menu's Print... does; confirmed with no printer chosen
  // still, the error is told.
  void toolbarPrintWithoutAPrinterOffersTheDialog() {
    m_dialogs.setUp = [](QPrinter& printer) {
      printer.setOutputFormat(QPrinter::PdfFormat);
      printer.setOutputFileName(QString());
    };
    m_form->PrinterSetup1Click();
    Find<QToolButton>("btnPrint")->click();
    QCOMPARE(m_dialogs.printCalls, 1);
    QCOMPARE(m_dialogs.messages, QStringList());
    m_dialogs.printAnswer = true;
    Find<QToolButton>("btnPrint")->click();
    QCOMPARE(m_dialogs.printCalls, 2);
    QCOMPARE(m_dialogs.messages, QStringList{"No printer is installed or selected"});
  }
};

QTEST_MAIN(Form1OutputTest)
#include "form1_output_test.moc"
