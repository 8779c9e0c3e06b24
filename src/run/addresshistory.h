#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// The order of the address history: entries compare byte by byte with the
// ASCII letters folded to lower case, so "alpha" < "Beta" < "gamma". Other
// bytes, UTF-8 sequences included, compare by their value, which for UTF-8
// is code point order. Returns <0, 0 or >0.
int CompareAddresses(std::string_view a, std::string_view b);

// The address history behind the address box: every address a plot run was
// started with, kept in the order of CompareAddresses. An entry is inserted
// at its sorted place, after every entry that compares equal to it, so
// entries that differ only in letter case keep the order they came in (and
// the list never reorders an entry once it is in).
//
// Positions are list indexes, as the address box's drop-down shows them.
// Not thread-safe; the main window owns it and uses it on its thread.
class AddressHistory {
 public:
  // The entries in list order (CB0, CB1, ... of the settings file).
  const std::vector<std::string>& Entries() const { return entries_; }
  std::size_t Size() const { return entries_.size(); }

  // Adds every entry, in index order, each at its sorted place. Empty texts
  // (a missing key) are added as empty entries; nothing is merged.
  void Load(const std::vector<std::string>& entries);

  // Inserts `entry` at its sorted place and returns that position.
  std::size_t Insert(std::string entry);

  // Whether some entry equals `text` exactly (letter case significant).
  bool Contains(std::string_view text) const;

  // The add on Start: an address that is not empty and equals no entry
  // exactly is inserted. Returns its position, or nullopt when nothing was
  // added. "Router" twice adds one entry; "router" after it adds a second.
  std::optional<std::size_t> AddOnStart(std::string_view address);

  // Removes the entry at `position` (the box's selected index); a negative
  // position (none selected) or one past the end removes nothing. Returns
  // whether an entry was removed.
  bool DeleteAt(int position);

  void Clear() { entries_.clear(); }

  // Typing completion. For a non-empty `typed`, the first entry in list order
  // that begins with it (letter case ignored as in CompareAddresses) gives
  // the text typed + the rest of that entry, with the added rest selected so
  // that typing on replaces it. nullopt when nothing matches or `typed` is
  // empty.
  struct Completion {
    std::string text;                // typed + the rest of the entry
    std::size_t entryPosition = 0;   // the entry that completed it
    // The added rest, in UTF-16 code units (the unit of the toolkit's text
    // boxes): it starts where the typed text ends.
    int selectionStart = 0;
    int selectionLength = 0;
  };
  std::optional<Completion> Complete(std::string_view typed) const;

 private:
  std::vector<std::string> entries_;
};

inline constexpr std::string_view kClearHistoryQuestion = "Delete Address History?";
// The "Delete Address History?" box stands this far right of and below the
// main window's top-left corner.
inline constexpr int kClearHistoryQuestionLeft = 250;
inline constexpr int kClearHistoryQuestionTop = 250;

// What cbURLCloseUp does about the log file once the drop-down closes.
struct PickDecision {
  bool askChangeLogName = false;  // ask "Change Log filename?"; on Yes LogBrowse(picked entry)
  std::string proposedName;       // ExtractDomainName(picked entry), always filled
};

// `pickedEntry` is the text of the entry at the selected position (empty
// when none is selected); `logging` is whether "Write file all the time" or
// "Write file when" is chosen. The question is asked when the proposed name
// differs from the name part of `logFileName` (letter case significant), is
// not just ".txt", and logging is chosen.
PickDecision DecidePick(std::string_view pickedEntry, std::string_view logFileName, bool logging);

}  // namespace quorvel
