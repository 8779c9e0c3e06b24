#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// Small text helpers shared by every room. Bytes, not characters: only ASCII
// letters fold, and only blanks and tabs are trimmed. Pure; any thread.

// A blank or a tab.
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Without leading and trailing blanks and tabs.
std::string_view Trim(std::string_view text);

// 'A'..'Z' to 'a'..'z'; every other byte as it is.
char AsciiLower(char c);
std::string AsciiLower(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix);

// The value of a hexadecimal digit (either case), or -1.
int HexDigitValue(char c);

// `text` with &, <, >, " and ' as character references, so that text from
// outside (a client's path, an address, a rule's name) put into an HTML page
// or attribute cannot open markup there.
std::string EscapeHtml(std::string_view text);

}  // namespace quorvel
