#include "app/addressbox.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

#include <optional>

namespace quorvel {

void SetTextQuietly(QComboBox* box, const QString& text) {
  const QSignalBlocker quiet(box);
  box->setEditText(text);
}

void InsertHistoryItem(QComboBox* box, std::size_t position, const std::string& entry) {
  // The box selects the first entry put into an empty list, which would
  // replace the address text; the selection and the text are put back.
  const QSignalBlocker quiet(box);
  const bool wasEmpty = box->count() == 0;
  const QString text = box->currentText();
  box->insertItem(static_cast<int>(position), QString::fromStdString(entry));
  if (wasEmpty) {
    box->setCurrentIndex(-1);
    box->setEditText(text);
  }
}

std::string SelectedEntry(const QComboBox* box) {
  const int index = box->currentIndex();
  return index < 0 ? std::string() : box->itemText(index).toStdString();
}

void CompleteTyping(QLineEdit* edit, const AddressHistory& history, const QString& text,
                    const QString& before, int selectedBefore) {
  // A deletion must leave what the user kept.
  const bool inserted = text.size() > before.size() - selectedBefore;
  if (!inserted || edit->cursorPosition() != text.size()) return;
  const std::optional<AddressHistory::Completion> completion = history.Complete(text.toStdString());
  if (!completion || completion->selectionLength == 0) return;
  edit->setText(QString::fromStdString(completion->text));
  edit->setSelection(completion->selectionStart, completion->selectionLength);
}

}  // namespace quorvel
