#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "graph/colour.h"

namespace quorvel {

// How each type of value in the settings file is written and read. Pure
// functions on bytes; callable from any thread.

// ---- integer and boolean ---------------------------------------------------

// A signed 32-bit integer: an optional sign, then decimal digits, or "0x",
// "0X" or "$" and hexadecimal digits. A hexadecimal number may use all 32 bits
// and stands for that bit pattern ("$FFFFFFFF" is -1). Nothing else may
// surround it. Empty text, other text and numbers beyond 32 bits give nothing.
std::optional<std::int32_t> ParseInteger(std::string_view text);
std::string FormatInteger(std::int32_t value);

// Read as an integer with the default 1 or 0; any non-zero value is true.
bool ParseBoolean(std::string_view text, bool defaultValue);
std::string FormatBoolean(bool value);  // "1" or "0"

// A loaded value brought into a spin box's range; a range of 0..0 is none.
std::int32_t ClampToRange(std::int32_t value, std::int32_t minimum, std::int32_t maximum);

// ---- text ----------------------------------------------------------------------

// The value to write for a text setting: the text itself, or, when reading
// would not give it back (it starts or ends with a blank or tab, or a pair of
// matching quotes encloses it), the text in double quotes, which the reader
// removes again. Old files read as before.
std::string EncodeText(std::string_view text);

// ---- title text --------------------------------------------------------------

// Blanks are stored as "^" so that the title's outer blanks survive the
// file's trimming; reading turns every "^" back into a blank.
std::string TitleToStored(std::string_view title);
std::string TitleFromStored(std::string_view stored);

// ---- scrambled text ------------------------------------------------------------

// Each byte b becomes 255 - b; applying it twice gives the input back.
std::string EnDeCrypt(std::string_view text);

// The value to write for a scrambled setting. Normally the EnDeCrypt bytes
// themselves. When those bytes would not read back as written (they hold a
// NUL, CR or LF; they start or end with a blank or tab; or they start and end
// with the same quote) the value is instead
//     '"' + ' ' + escaped + '"'
// where escaped is the EnDeCrypt bytes with NUL, LF, CR and "%" written as
// "%00", "%0A", "%0D" and "%25". The quotes make the reader keep the inner
// bytes as they are, so the value read starts with a blank. A plain value
// that reads back as written never starts with a blank (the reader trims
// it), so a value read that starts with a blank is always this form.
std::string EncodeScrambled(std::string_view plain);

// The plain text of a scrambled value as read from the file (either form
// above). A "%" not followed by two hexadecimal digits stands for itself.
std::string DecodeScrambled(std::string_view read);

// ---- colour ------------------------------------------------------------------------

// A colour read from the file, or the message that the value is none.
struct ColourResult {
  Colour colour = 0;
  std::string error;  // "'" + text + "' is not a valid integer value" on failure
  bool ok() const { return error.empty(); }
};

// A colour name (any letter case) or an integer as ParseInteger reads it,
// taken as its 32-bit pattern.
ColourResult ParseColour(std::string_view text);

// The colour's name when it has one ("clBtnFace"), else "$" and eight
// upper-case hexadecimal digits ("$00FF8000").
std::string FormatColour(Colour colour);

// The named colours: the 20 ordinary ones, the system colours as
// $FF0000nn, clNone and clDefault.
std::optional<Colour> ColourFromName(std::string_view name);
std::optional<std::string_view> ColourName(Colour colour);

}  // namespace quorvel
