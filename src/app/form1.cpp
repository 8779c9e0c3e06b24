#include "app/form1.h"

#include <QCloseEvent>
#include <QMessageBox>

#include <exception>

#include "app/plottimer.h"

namespace quorvel {

TForm1::TForm1(const Clock& clock, QWidget* parent)
    : QWidget(parent), m_clock(clock), m_run(clock) {
  CreateControls();
  ConnectHandlers();
  StartUp();
}

TForm1::~TForm1() = default;

void TForm1::ShowError(const std::string& message) {
  QMessageBox::critical(this, QStringLiteral("Quorvel"), QString::fromStdString(message));
}

void TForm1::Guarded(const std::function<void()>& body) {
  try {
    body();
  } catch (const std::exception& e) {
    ShowError(e.what());
  }
}

void TForm1::closeEvent(QCloseEvent* event) {
  Timer1->setEnabled(false);
  event->accept();
}

}  // namespace quorvel
