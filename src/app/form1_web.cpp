// The web server side of the main window: the "Activate server" box, the
// web image name, the access dialog, and what the server's request threads
// get from the window (the access settings and the web image, drawn on this
// thread).
#include <QCheckBox>
#include <QEvent>
#include <QFocusEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QRadioButton>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/controls.h"
#include "app/form1.h"
#include "app/webstartfailure.h"
#include "output/writegraphimage.h"
#include "run/usererror.h"
#include "web/hostaddress.h"
#include "web/webnames.h"

namespace quorvel {

namespace {





}  // namespace

void TForm1::ConnectWebHandlers() {
  connect(cbWeb, &QCheckBox::toggled, this, &TForm1::cbWebClick);
  connect(btnAdvanced, &QPushButton::clicked, this, &TForm1::btnAdvancedClick);
  connect(edTemp, &QLineEdit::textChanged, this, &TForm1::edTempChange);
  new EventHook(
      edTemp,
      [this](QEvent* event) {
        if (event->type() != QEvent::FocusOut) return;
        // Leaving for another window or a menu is not leaving the box.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) edTempExit();
      },
      this);

  // The type decides the served bytes and the name's extension.
  for (QRadioButton* type : {rbBMP, rbJPG, rbGIF, rbPNG}) {
    connect(type, &QRadioButton::toggled, this, [this](bool checked) {
      WebImageChanged();
      if (checked) edTempExit();
    });
  }

  // Everything else the web image depends on besides the chart itself
  // (ChartChanged): the size rule, the gray switch and the on-screen size.
  for (QAbstractButton* button : std::initializer_list<QAbstractButton*>{
           rbPercent, rbPixels, cbHTTP, cbGray}) {
    connect(button, &QAbstractButton::toggled, this, &TForm1::WebImageChanged);
  }
  for (SpinEdit* box : {spPercent, spGrWidth, spGrHeight}) {
    connect(box, &SpinEdit::changed, this, &TForm1::WebImageChanged);
  }
  new EventHook(
      PageControl1,
      [this](QEvent* event) {
        if (event->type() == QEvent::Resize || event->type() == QEvent::Show) WebImageChanged();
      },
      this);
}

void TForm1::WebImageChanged() { m_webImages->Bump(); }

void TForm1::cbWebClick() {
  // While the window is hidden (the settings being loaded at start-up) the
  // box only records the wish; the shell starts the server once shown.
  if (cbWeb->isChecked() && isVisible()) {
    StartServer();
    return;
  }
  StopServer();
  StatusPanel2->clear();
}

void TForm1::StartServer() {
  if (!ServerListening()) {
    PublishWebContext();
    // The port and the shown address are taken now; later changes apply at
    // the next start.
    const int port = m_webAccess.Port;
    m_server = std::make_unique<HttpServer>(m_webServerOptions);
    const HttpServerStart started = m_server->Start(port, HTTPServerCommandGet());
    if (!started.ok) {
      StopServer();
      cbWeb->setChecked(false);  // runs cbWebClick, which empties the panel
      StatusPanel2->clear();
      ShowError(WebServerStartFailure(port, started.error, started.code));
      return;
    }
    m_serverAddress = ShownServerAddress();
    m_serverPort = port;
  }
  StatusPanel2->setText(QString::fromStdString(
      ServerRunningText(m_serverAddress, m_serverPort, edTemp->text().toStdString())));
}

void TForm1::StopServer() {
  if (m_server) m_server->Stop();
}

bool TForm1::ServerListening() const { return m_server && m_server->IsListening(); }

HttpServerHooks TForm1::HTTPServerCommandGet() {
  HttpServerHooks hooks;
  hooks.readContext = [this] {
    std::lock_guard lock(m_webContextMutex);
    return m_webContext;
  };
  hooks.postToUi = [this](std::function<void()> job) {
    QMetaObject::invokeMethod(this, std::move(job), Qt::QueuedConnection);
  };
  hooks.renderOnUi = [this] { return RenderOutcome::Ok(SaveTemp()); };
  hooks.cache = m_webImages;
  hooks.documents = StatisticsDocuments();
  return hooks;
}

ImageBytes TForm1::SaveTemp() {
  const QImage image = RenderGraphBitmap(OutputTarget::WebImage);
  const RasterView raster{image.constBits(), image.width(), image.height(), image.bytesPerLine(),
                          PixelFormat::Xrgb32};
  const ImageType type =
      ChosenImageType();
  std::vector<std::uint8_t> buffer;
  const ImageResult written =
      WriteGraphImage(raster, type, ImageDestination::Memory(buffer), kWebJpegQuality);
  if (!written) throw UserError(written.error());
  return std::make_shared<const std::string>(buffer.begin(), buffer.end());
}

void TForm1::PublishWebContext() {
  std::lock_guard lock(m_webContextMutex);
  m_webContext.access = m_webAccess;
  m_webContext.imageName = edTemp->text().toStdString();
}

void TForm1::edTempExit() {
  const QString name = QString::fromStdString(WebImageNameForType(
      edTemp->text().toStdString(), rbJPG->isChecked(), rbGIF->isChecked(), rbBMP->isChecked()));
  if (name != edTemp->text()) edTemp->setText(name);  // runs edTempChange
}

void TForm1::edTempChange() {
  PublishWebContext();
  StatusPanel2->setText(QString::fromStdString(
      StatusTextForName(StatusPanel2->text().toStdString(), edTemp->text().toStdString())));
}

void TForm1::CreateAccessDialog() {
  if (Form2) return;
  Form2 = std::make_unique<TForm2>(m_webAccess, this);
  // The request threads see what the dialog left behind.
  connect(Form2.get(), &QDialog::finished, this, &TForm1::PublishWebContext);
}

void TForm1::btnAdvancedClick() {
  CreateAccessDialog();
  Form2->move(pos() + QPoint(100, 200));
  Form2->exec();
}

}  // namespace quorvel
