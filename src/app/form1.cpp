#include "app/form1.h"

#include <QCoreApplication>
#include <QResizeEvent>

#include <exception>

#include "app/closingdialogs.h"
#include "app/dialogs.h"
#include "app/plottimer.h"

namespace quorvel {

TForm1::TForm1(const Clock& clock, const Form1Environment& environment, QWidget* parent)
    : QWidget(parent),
      m_clock(clock),
      m_dialogs(environment.dialogs ? environment.dialogs : &Dialogs::Desktop()),
      m_run(clock) {
  m_executablePath = environment.executablePath.empty()
                         ? QCoreApplication::applicationFilePath().toStdString()
                         : environment.executablePath;
  m_desktopFolders = environment.desktopFolders;
  m_closeRequestedFromOutside = environment.closeRequestedFromOutside;
  CreateControls();
  ConnectHandlers();
  StartUp();
}

TForm1::~TForm1() = default;

void TForm1::ShowError(const std::string& message) {
  m_dialogs->Error(this, QString::fromStdString(message));
}

void TForm1::Guarded(const std::function<void()>& body) {
  try {
    body();
  } catch (const ProbeStopped&) {
    // The window is closing: nothing to tell.
  } catch (const std::exception& e) {
    ShowError(e.what());
  }
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FormResize();
  FitStatisticsLine();
}

}  // namespace quorvel
