#pragma once

#include <QDialog>

#include "web/webaccess.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quorvel {

// The access dialog "Quorvel - Advanced HTTP Configuration": the web
// server's authentication switch, user name, password and port, and the
// switches of the Prometheus metrics at /metrics and of the live page.
//
// It edits `settings` and the switches `metrics` and `livePage`, which
// belong to the main window and must outlive the dialog. Construction runs FormCreate, which copies the settings into the
// controls; every close (OK, the title bar's close button, Escape) runs
// FormClose, which copies them back, so there is no way to cancel. The port
// takes effect when the server next starts. User-interface thread only.
class TForm2 : public QDialog {
  Q_OBJECT

 public:
  TForm2(WebAccessSettings& settings, bool& metrics, bool& livePage, QWidget* parent = nullptr);

  void FormCreate();

 public slots:
  void Button1Click();
  // Every way of closing the dialog ends here.
  void done(int result) override;

 private:
  void FormClose();

  WebAccessSettings& m_settings;
  bool& m_metrics;
  bool& m_livePage;

  QCheckBox* cbAuth = nullptr;
  QLabel* Label41 = nullptr;
  QLineEdit* edWebUser = nullptr;
  QLabel* Label42 = nullptr;
  QLineEdit* edWebPassword = nullptr;
  QLabel* Label40 = nullptr;
  QLineEdit* edPort = nullptr;
  QCheckBox* cbMetrics = nullptr;
  QCheckBox* cbLivePage = nullptr;
  QPushButton* Button1 = nullptr;
};

// The port as the dialog reads it: the text as a decimal whole number, or
// 80 when it is none. No range check.
int PortFromText(const QString& text);

}  // namespace quorvel
