#pragma once

#include <QString>

#include <cstddef>
#include <string>

#include "run/addresshistory.h"

class QComboBox;
class QLineEdit;

namespace quorvel {

// The address box's own behaviour, apart from its handlers: its list mirrors
// the address history item for item. User-interface thread.

// Sets the text without the box's change event.
void SetTextQuietly(QComboBox* box, const QString& text);
// Puts the entry the history inserted at `position` into the list; the text
// and the selected position stay.
void InsertHistoryItem(QComboBox* box, std::size_t position, const std::string& entry);
// The text of the entry at the selected position, empty when none is.
std::string SelectedEntry(const QComboBox* box);
// The typing completion, after an edit the user made that turned `before`
// (with `selectedBefore` characters selected) into `text`: only typing that
// adds characters at the end is completed, with the rest of the first entry
// that begins with it, selected so that typing on replaces it.
void CompleteTyping(QLineEdit* edit, const AddressHistory& history, const QString& text,
                    const QString& before, int selectedBefore);

}  // namespace quorvel
