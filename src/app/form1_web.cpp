// The web server side of the main window: the "Activate server" box, the
// web image name and the access dialog.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

#include "app/controls.h"
#include "app/dialogs.h"
#include "app/form1.h"
#include "app/windowweb.h"
#include "web/webnames.h"

namespace quorvel {

namespace {

constexpr int kServerPanelWidth = kStatusPanelWidths[2];

}  // namespace

void TForm1::cbWebClick() {
  // While the window is hidden (the settings being loaded at start-up) the
  // box only records the wish; the shell starts the server once shown.
  if (m_settings.web.active && isVisible()) {
    StartServer();
    return;
  }
  m_web->Stop();
  SetPanelText(StatusPanel2, QString(), kServerPanelWidth);
}

void TForm1::StartServer() {
  if (!m_web->Listening()) {
    PublishWeb();
    const Status started = m_web->Start(m_settings.web.access.Port);
    if (!started) {
      cbWeb->setChecked(false);  // runs cbWebClick, which empties the panel
      SetPanelText(StatusPanel2, QString(), kServerPanelWidth);
      m_dialogs->Error(this, QString::fromStdString(started.message()));
      return;
    }
  }
  SetPanelText(StatusPanel2,
               QString::fromStdString(ServerRunningText(m_web->ShownAddress(), m_web->ShownPort(),
                                                        m_settings.web.imageName)),
               kServerPanelWidth);
}

void TForm1::edTempExit() {
  // The name takes the extension of the chosen type.
  const QString name = QString::fromStdString(
      ReplaceExtension(m_settings.web.imageName, ImageExtension(m_settings.image.Type())));
  if (name != edTemp->text()) edTemp->setText(name);  // runs edTempChange
}

void TForm1::edTempChange() {
  PublishWeb();
  SetPanelText(StatusPanel2,
               QString::fromStdString(
                   StatusTextForName(StatusPanel2->text().toStdString(), m_settings.web.imageName)),
               kServerPanelWidth);
}

void TForm1::PublishWeb() {
  WindowDocuments documents;
  documents.metrics = m_settings.extras.metrics;
  documents.livePage = m_settings.extras.livePage;
  documents.refreshSeconds = std::min<std::int32_t>(m_settings.run.intervalSeconds, 86400);
  m_web->Publish(m_settings.web.access, m_settings.web.imageName, documents);
}

void TForm1::CreateAccessDialog() {
  if (Form2) return;
  Form2 = std::make_unique<TForm2>(m_settings.web.access, m_settings.extras.metrics,
                                   m_settings.extras.livePage, this);
  // The request threads see what the dialog left behind.
  connect(Form2.get(), &QDialog::finished, this, [this] {
    PublishWeb();
  });
}

void TForm1::btnAdvancedClick() {
  CreateAccessDialog();
  Form2->move(pos() + QPoint(100, 200));
  Form2->exec();
}

}  // namespace quorvel
