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

}  // namespace quorvel
