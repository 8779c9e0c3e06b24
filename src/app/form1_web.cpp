// The web server side of the main window: the "Activate server" box, the
// web image name and the access dialog.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include "app/dialogs.h"
#include "app/form1.h"
#include "app/windowweb.h"
#include "web/webnames.h"

namespace quorvel {

void TForm1::cbWebClick() {
  // While the window is hidden (the settings being loaded at start-up) the
  // box only records the wish; the shell starts the server once shown.
  if (m_settings.web.active && isVisible()) {
    StartServer();
    return;
  }
  m_web->Stop();
  StatusPanel2->clear();
}

void TForm1::StartServer() {
  if (!m_web->Listening()) {
    m_web->Publish(m_settings.web.access, m_settings.web.imageName, m_settings.extras.metrics);
    const Status started = m_web->Start(m_settings.web.access.Port);
    if (!started) {
      cbWeb->setChecked(false);  // runs cbWebClick, which empties the panel
      StatusPanel2->clear();
      m_dialogs->Error(this, QString::fromStdString(started.message()));
      return;
    }
  }
  StatusPanel2->setText(QString::fromStdString(
      ServerRunningText(m_web->ShownAddress(), m_web->ShownPort(), m_settings.web.imageName)));
}

void TForm1::edTempExit() {
  // The name takes the extension of the chosen type.
  const QString name = QString::fromStdString(
      ReplaceExtension(m_settings.web.imageName, ImageExtension(m_settings.image.Type())));
  if (name != edTemp->text()) edTemp->setText(name);  // runs edTempChange
}

void TForm1::edTempChange() {
  m_web->Publish(m_settings.web.access, m_settings.web.imageName, m_settings.extras.metrics);
  StatusPanel2->setText(QString::fromStdString(
      StatusTextForName(StatusPanel2->text().toStdString(), m_settings.web.imageName)));
}

void TForm1::CreateAccessDialog() {
  if (Form2) return;
  Form2 = std::make_unique<TForm2>(m_settings.web.access, m_settings.extras.metrics, this);
  // The request threads see what the dialog left behind.
  connect(Form2.get(), &QDialog::finished, this, [this] {
    m_web->Publish(m_settings.web.access, m_settings.web.imageName, m_settings.extras.metrics);
  });
}

void TForm1::btnAdvancedClick() {
  CreateAccessDialog();
  Form2->move(pos() + QPoint(100, 200));
  Form2->exec();
}

}  // namespace quorvel
