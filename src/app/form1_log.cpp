// The ping log and the address history side of the main window: the "Log
// Options  " group, the window caption that names the log file, and the
// address box with its drop-down history, context menu and typing completion.
#include <QAbstractItemView>
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>

#include <utility>

#include "app/controls.h"
#include "app/dialogs.h"
#include "app/form1.h"
#include "app/settingkeys.h"

namespace quorvel {

namespace {

// Hands every event aimed at a watched object to a handler, which only
// looks: the event always goes on to its target.
class EventWatcher final : public QObject {
 public:
  using Handler = std::function<void(QEvent*)>;
  EventWatcher(QObject* watched, Handler handler, QObject* parent)
      : QObject(parent), m_handler(std::move(handler)) {
    watched->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    m_handler(event);
    return false;
  }

 private:
  Handler m_handler;
};

const QString kLogFilter = QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*");
const QString kLogSuffix = QStringLiteral(".txt");

}  // namespace

void TForm1::ConnectLogHandlers() {
  // The list is the history and stays in its order: no sorting or insertion
  // by the box itself, and the completion is the history's own.
  cbURL->setCompleter(nullptr);

  for (QRadioButton* mode : {rbNoLog, rbAllLog, rbOnlyLog}) {
    connect(mode, &QRadioButton::toggled, this, [this](bool checked) {
      if (checked) rbAllLogClick();
    });
  }
  connect(btnLogBrowse, &QPushButton::clicked, this, &TForm1::btnLogBrowseClick);
  connect(edLog, &QLineEdit::textChanged, this, &TForm1::edLogChange);
  new EventWatcher(
      edLog,
      [this](QEvent* event) {
        if (event->type() != QEvent::FocusOut) return;
        // Leaving for another control of the window, not the window losing
        // the focus or a menu opening.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) edLogExit();
      },
      this);

  // The drop-down list closing. Whether the box applies a pick before or
  // after it hides the list is its own affair, so the handler runs once both
  // are done.
  new EventWatcher(
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
    m_addressBeforeEdit = AddressBeforeEdit{edit->text(), static_cast<int>(edit->selectedText().size())};
  };
  new EventWatcher(cbURL, rememberBeforeKey, this);
  new EventWatcher(cbURL->lineEdit(), rememberBeforeKey, this);
  connect(cbURL->lineEdit(), &QLineEdit::textEdited, this, &TForm1::cbURLTextEdited);

  connect(PopupMenu2, &QMenu::aboutToShow, this, &TForm1::PopupMenu2Popup);
  connect(Cut1, &QAction::triggered, this, &TForm1::Cut1Click);
  connect(Copy1, &QAction::triggered, this, &TForm1::Copy1Click);
  connect(Paste1, &QAction::triggered, this, &TForm1::Paste1Click);
  connect(DeletefromHistory1, &QAction::triggered, this, &TForm1::DeletefromHistory1Click);
  connect(btnClearHistory, &QPushButton::clicked, this, &TForm1::btnClearHistoryClick);
}

// ---------------------------------------------------------------------------
// Log options.

LogModeChecks TForm1::LogChecks() const {
  LogModeChecks checks;
  checks.noLog = rbNoLog->isChecked();
  checks.allLog = rbAllLog->isChecked();
  checks.onlyLog = rbOnlyLog->isChecked();
  return checks;
}

std::string TForm1::LogFileName() const { return edLog->text().toStdString(); }

void TForm1::SetLogCaption(const std::optional<std::string>& caption) {
  if (caption) setWindowTitle(QString::fromStdString(*caption));
}

bool TForm1::AskChangeLogName() {
  // Placed from the outer corner of the window, frame included.
  const QPoint at =
      frameGeometry().topLeft() + QPoint(kChangeLogQuestionLeft, kChangeLogQuestionTop);
  return m_dialogs->Confirm(this, QString::fromUtf8(kChangeLogQuestion.data(),
                                                    static_cast<qsizetype>(kChangeLogQuestion.size())),
                            Dialogs::ConfirmButtons::YesNo, at);
}

void TForm1::rbAllLogClick() {
  // A browse that ends with an empty name checks rbNoLog, which runs this
  // handler once more inside the first; with rbNoLog checked that inner run
  // neither browses nor asks, so it only sets the caption.
  const std::string selected = SelectedHistoryEntry();
  const LogModeClickPlan plan = PlanLogModeClick(LogChecks(), LogFileName(), isVisible(), selected);
  switch (plan.step) {
    case LogModeClickStep::kBrowse:
      btnLogBrowseClick();
      break;
    case LogModeClickStep::kAskChange:
      if (AskChangeLogName()) LogBrowse(selected);
      break;
    case LogModeClickStep::kNothing:
      break;
  }
  SetLogCaption(CaptionAfterLogModeClick(LogChecks(), LogFileName()));
}

void TForm1::btnLogBrowseClick() { LogBrowse(cbURL->currentText().toStdString()); }

void TForm1::LogBrowse(const std::string& address) {
  const QString proposed = QString::fromStdString(ExtractDomainName(address));
  const QString directory = QString::fromStdString(LogBrowseStartDirectory(
      LogFileName(), ExecutableFolder(m_executablePath)));
  const std::optional<QString> chosen =
      m_dialogs->SaveFileName(this, directory, proposed, kLogFilter, 1, kLogSuffix);
  if (chosen) edLog->setText(*chosen);

  const LogBrowseOutcome outcome = AfterLogBrowse(LogFileName());
  SetRadioChecked(rbNoLog, outcome.noLogChecked);
  SetLogCaption(outcome.caption);
}

void TForm1::edLogChange() { SetLogCaption(CaptionAfterLogNameChange(LogChecks(), LogFileName())); }

void TForm1::edLogExit() {
  const QString name = QString::fromStdString(LogNameOnExit(LogFileName()));
  if (edLog->text() != name) edLog->setText(name);
}

// ---------------------------------------------------------------------------
// The address box and its history.

std::string TForm1::SelectedHistoryEntry() const {
  const int index = cbURL->currentIndex();
  return index < 0 ? std::string() : cbURL->itemText(index).toStdString();
}

void TForm1::SetAddressQuietly(const QString& text) {
  const QSignalBlocker quiet(cbURL);
  cbURL->setEditText(text);
}

void TForm1::InsertHistoryItem(std::size_t position, const std::string& entry) {
  // The box selects the first entry put into an empty list, which would
  // replace the address text; the selection and the text are put back.
  const QSignalBlocker quiet(cbURL);
  const bool wasEmpty = cbURL->count() == 0;
  const QString text = cbURL->currentText();
  cbURL->insertItem(static_cast<int>(position), QString::fromStdString(entry));
  if (wasEmpty) {
    cbURL->setCurrentIndex(-1);
    cbURL->setEditText(text);
  }
}

std::vector<std::string> TForm1::AddressHistoryEntries() const { return m_history.Entries(); }

void TForm1::LoadAddressHistory(const std::vector<std::string>& entries) {
  for (const std::string& entry : entries) InsertHistoryItem(m_history.Insert(entry), entry);
}

void TForm1::cbURLCloseUp() {
  const std::string picked = SelectedHistoryEntry();
  const PickDecision decision = DecidePick(picked, LogFileName(), LogChecks().Logging());
  if (decision.askChangeLogName && AskChangeLogName()) LogBrowse(picked);
}

void TForm1::cbURLTextEdited(const QString& text) {
  if (!m_addressBeforeEdit) return;
  const AddressBeforeEdit before = std::move(*m_addressBeforeEdit);
  m_addressBeforeEdit.reset();
  // Only typing that adds characters at the end is completed; a deletion
  // must leave what the user kept.
  QLineEdit* edit = cbURL->lineEdit();
  const bool inserted = text.size() > before.text.size() - before.selectedLength;
  if (!inserted || edit->cursorPosition() != text.size()) return;
  const std::optional<AddressHistory::Completion> completion = m_history.Complete(text.toStdString());
  if (!completion || completion->selectionLength == 0) return;
  edit->setText(QString::fromStdString(completion->text));
  edit->setSelection(completion->selectionStart, completion->selectionLength);
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
  SetAddressQuietly(QString());
}

void TForm1::Copy1Click() { QGuiApplication::clipboard()->setText(cbURL->currentText()); }

void TForm1::Paste1Click() { SetAddressQuietly(QGuiApplication::clipboard()->text()); }

void TForm1::DeletefromHistory1Click() {
  const int index = cbURL->currentIndex();
  {
    const QSignalBlocker quiet(cbURL);
    if (m_history.DeleteAt(index)) cbURL->removeItem(index);
    cbURL->setCurrentIndex(-1);
  }
  SetAddressQuietly(QString());
}

void TForm1::btnClearHistoryClick() {
  const QPoint at =
      frameGeometry().topLeft() + QPoint(kClearHistoryQuestionLeft, kClearHistoryQuestionTop);
  const QString question = QString::fromUtf8(kClearHistoryQuestion.data(),
                                             static_cast<qsizetype>(kClearHistoryQuestion.size()));
  if (!m_dialogs->Confirm(this, question, Dialogs::ConfirmButtons::YesCancel, at)) return;
  m_history.Clear();
  {
    const QSignalBlocker quiet(cbURL);
    cbURL->clear();
  }
  SetAddressQuietly(QString());
}

}  // namespace quorvel
