#include "run/addresshistory.h"

#include <algorithm>
#include <utility>

#include "base/text.h"
#include "run/logoptions.h"

namespace quorvel {

namespace {

// Bytes compare by their value, unsigned, once ASCII letters are folded.
unsigned char Folded(char c) { return static_cast<unsigned char>(AsciiLower(c)); }

// UTF-16 code units of valid UTF-8 text: one per code point, two for those
// beyond the basic plane (four-byte sequences).
int Utf16Length(std::string_view text) {
  int units = 0;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if ((u & 0xC0) == 0x80) continue;
    units += u >= 0xF0 ? 2 : 1;
  }
  return units;
}

bool AddressLess(const std::string& a, const std::string& b) { return CompareAddresses(a, b) < 0; }

}  // namespace

int CompareAddresses(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char x = Folded(a[i]);
    const unsigned char y = Folded(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

void AddressHistory::Load(const std::vector<std::string>& entries) {
  for (const std::string& entry : entries) Insert(entry);
}

std::size_t AddressHistory::Insert(std::string entry) {
  const auto at = std::upper_bound(entries_.begin(), entries_.end(), entry, AddressLess);
  const auto position = static_cast<std::size_t>(at - entries_.begin());
  entries_.insert(at, std::move(entry));
  return position;
}

bool AddressHistory::Contains(std::string_view text) const {
  // Exact equals compare equal when folded, so only that run is searched.
  auto it = std::lower_bound(
      entries_.begin(), entries_.end(), text,
      [](const std::string& e, std::string_view t) { return CompareAddresses(e, t) < 0; });
  for (; it != entries_.end() && CompareAddresses(*it, text) == 0; ++it) {
    if (*it == text) return true;
  }
  return false;
}

std::optional<std::size_t> AddressHistory::AddOnStart(std::string_view address) {
  if (address.empty() || Contains(address)) return std::nullopt;
  return Insert(std::string(address));
}

bool AddressHistory::DeleteAt(int position) {
  if (position < 0 || static_cast<std::size_t>(position) >= entries_.size()) return false;
  entries_.erase(entries_.begin() + position);
  return true;
}

std::optional<AddressHistory::Completion> AddressHistory::Complete(std::string_view typed) const {
  if (typed.empty()) return std::nullopt;
  // The entries that begin with `typed` (folded) form one run of the sorted
  // list, and the first of them is the first not ordered before `typed`.
  const auto it = std::lower_bound(
      entries_.begin(), entries_.end(), typed,
      [](const std::string& e, std::string_view t) { return CompareAddresses(e, t) < 0; });
  if (it == entries_.end() || !StartsWithIgnoreCase(*it, typed)) return std::nullopt;

  const std::string_view rest = std::string_view(*it).substr(typed.size());
  Completion c;
  c.text = std::string(typed);
  c.text += rest;
  c.entryPosition = static_cast<std::size_t>(it - entries_.begin());
  c.selectionStart = Utf16Length(typed);
  c.selectionLength = Utf16Length(rest);
  return c;
}

PickDecision DecidePick(std::string_view pickedEntry, std::string_view logFileName, bool logging) {
  PickDecision decision;
  decision.proposedName = ExtractDomainName(pickedEntry);
  decision.askChangeLogName = logging && OffersNewLogName(decision.proposedName, logFileName);
  return decision;
}

}  // namespace quorvel
