// The ping log and the address history side of the main window: the "Log
// Options  " group, the window caption that names the log file, and the
// address box with its drop-down history and context menu.
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>

#include "app/addressbox.h"
#include "app/controls.h"
#include "app/dialogs.h"
#include "app/form1.h"
#include "run/logoptions.h"
#include "run/sessionalerts.h"
#include "settings/settingkeys.h"

namespace quorvel {

namespace {

const QString kLogFilter = QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*");
const QString kLogSuffix = QStringLiteral(".txt");

// Puts `caption` on the window when there is one, marked while an alert is
// active (windowalerts.h).
void SetCaption(QWidget* form, const std::optional<std::string>& caption) {
  if (!caption) return;
  const bool alert = form->windowTitle().startsWith(
      QString::fromUtf8(kAlertCaptionMark.data(), static_cast<qsizetype>(kAlertCaptionMark.size())));
  form->setWindowTitle(QString::fromStdString(CaptionWithAlert(*caption, alert)));
}

// Asks "Change Log filename?", placed from the outer corner of the window,
// frame included.
bool AskChangeLogName(QWidget* form, Dialogs& dialogs) {
  const QPoint at =
      form->frameGeometry().topLeft() + QPoint(kChangeLogQuestionLeft, kChangeLogQuestionTop);
  return dialogs.Confirm(form, QString::fromUtf8(kChangeLogQuestion.data(),
                                                 static_cast<qsizetype>(kChangeLogQuestion.size())),
                         Dialogs::ConfirmButtons::YesNo, at);
}

}  // namespace

// ---------------------------------------------------------------------------
// Log options.

void TForm1::rbAllLogClick() {
  // A browse that ends with an empty name checks rbNoLog, which runs this
  // handler once more inside the first; with rbNoLog checked that inner run
  // neither browses nor asks, so it only sets the caption.
  const std::string selected = SelectedEntry(cbURL);
  const LogSettings& log = m_settings.run.log;
  const LogModeClickPlan plan = PlanLogModeClick(log.mode, log.fileName, isVisible(), selected);
  switch (plan.step) {
    case LogModeClickStep::kBrowse:
      btnLogBrowseClick();
      break;
    case LogModeClickStep::kAskChange:
      if (AskChangeLogName(this, *m_dialogs)) LogBrowse(selected);
      break;
    case LogModeClickStep::kNothing:
      break;
  }
  SetCaption(this, CaptionAfterLogModeClick(log.mode, log.fileName));
}

void TForm1::btnLogBrowseClick() { LogBrowse(m_settings.run.address); }

void TForm1::LogBrowse(const std::string& address) {
  const QString proposed = QString::fromStdString(ExtractDomainName(address));
  const QString directory = QString::fromStdString(
      LogBrowseStartDirectory(m_settings.run.log.fileName, m_userFolders.documents));
  const std::optional<QString> chosen =
      m_dialogs->SaveFileName(this, directory, proposed, kLogFilter, 1, kLogSuffix);
  if (chosen) edLog->setText(*chosen);

  const LogBrowseOutcome outcome = AfterLogBrowse(m_settings.run.log.fileName);
  SetRadioChecked(rbNoLog, outcome.noLogChecked);
  SetCaption(this, outcome.caption);
}

void TForm1::edLogChange() {
  SetCaption(this, CaptionAfterLogNameChange(m_settings.run.log.mode, m_settings.run.log.fileName));
}

void TForm1::edLogExit() {
  const QString name = QString::fromStdString(LogNameOnExit(m_settings.run.log.fileName));
  if (edLog->text() != name) edLog->setText(name);
}

// ---------------------------------------------------------------------------
// The address box and its history.

void TForm1::LoadAddressHistory(const std::vector<std::string>& entries) {
  for (const std::string& entry : entries) {
    InsertHistoryItem(cbURL, m_session->History().Insert(entry), entry);
  }
}

void TForm1::cbURLCloseUp() {
  const std::string picked = SelectedEntry(cbURL);
  const PickDecision decision =
      DecidePick(picked, m_settings.run.log.fileName, m_settings.run.log.mode.Logging());
  if (decision.askChangeLogName && AskChangeLogName(this, *m_dialogs)) LogBrowse(picked);
}

void TForm1::PopupMenu2Popup() {
  const QClipboard* clipboard = QGuiApplication::clipboard();
  Paste1->setEnabled(!clipboard->text().isEmpty());
  const bool selected = cbURL->lineEdit()->hasSelectedText();
  Cut1->setEnabled(selected);
  Copy1->setEnabled(selected);
  DeletefromHistory1->setEnabled(true);
}

// The four commands act on the whole address text, whatever part of it is
// selected, and set it without the box's change event: the title follows at
// the next change of one of its inputs.

void TForm1::Cut1Click() {
  QGuiApplication::clipboard()->setText(cbURL->currentText());
  SetTextQuietly(cbURL, QString());
  m_settings.run.address.clear();
}

void TForm1::Copy1Click() { QGuiApplication::clipboard()->setText(cbURL->currentText()); }

void TForm1::Paste1Click() {
  SetTextQuietly(cbURL, QGuiApplication::clipboard()->text());
  m_settings.run.address = cbURL->currentText().toStdString();
}

void TForm1::DeletefromHistory1Click() {
  const int index = cbURL->currentIndex();
  {
    const QSignalBlocker quiet(cbURL);
    if (m_session->History().DeleteAt(index)) cbURL->removeItem(index);
    cbURL->setCurrentIndex(-1);
  }
  SetTextQuietly(cbURL, QString());
  m_settings.run.address.clear();
}

void TForm1::btnClearHistoryClick() {
  const QPoint at =
      frameGeometry().topLeft() + QPoint(kClearHistoryQuestionLeft, kClearHistoryQuestionTop);
  const QString question = QString::fromUtf8(kClearHistoryQuestion.data(),
                                             static_cast<qsizetype>(kClearHistoryQuestion.size()));
  if (!m_dialogs->Confirm(this, question, Dialogs::ConfirmButtons::YesCancel, at)) return;
  m_session->History().Clear();
  {
    const QSignalBlocker quiet(cbURL);
    cbURL->clear();
  }
  SetTextQuietly(cbURL, QString());
  m_settings.run.address.clear();
}

}  // namespace quorvel
