#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/fileio.h"
#include "base/status.h"

namespace quorvel {

// How a file for its owner alone is written (the settings file, which holds
// the web password): a new one is created with kOwnerOnlyMode, and a file
// it replaces keeps only its owner's permission bits, so a file that others
// could read (0644) becomes 0600. Pass both to IniFile::Save.
inline constexpr mode_t kOwnerOnlyMode = 0600;
class OwnerOnlyFileSteps final : public FileSteps {
 public:
  bool CopyMode(int fd, const std::string& from) override;
};

// An INI file held in memory, with the rules of the desktop's profile-file
// routines:
//  - "[name]" starts a section; a line with "=" (not starting with ";") is a
//    key line, its name the text before the first "=" without surrounding
//    blanks (space and tab); every other line is kept but never read.
//  - Section and key names match without regard to ASCII letter case; the
//    first section of a name and the first key of a name in it count.
//  - A value is read without carriage returns at its end (they belong to
//    the line end), without surrounding blanks, and without a pair of
//    matching single or double quotes around it; at most kMaxValueLength
//    bytes come back. A missing section or key reads as the default, with
//    the default's trailing blanks removed (and cut to the same length).
//  - Writing replaces the value of the key line where it stands, or adds a
//    key line after the last key line of the section (after its header when
//    it has none); a missing section is added at the end of the file. Keys
//    are never deleted. Every line not written to keeps its bytes and its
//    line end; new lines take the file's line end (that of its first line:
//    CR LF or LF), LF in a new document.
// Text is bytes: no character set is assumed beyond ASCII for letter case.
//
// Not thread-safe; one owner uses it for one load or save pass. Lookups go
// through an index, so a pass over n keys costs O(n), not O(n x lines).
class IniFile {
 public:
  static constexpr std::size_t kMaxValueLength = 2047;

  IniFile() = default;

  // Never fails: a missing or unreadable file gives an empty document.
  static IniFile Load(const std::string& path);
  // The document made from the bytes of a file.
  static IniFile Parse(std::string_view bytes);

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
  // The value read as an integer (see ParseInteger in settingvalues.h);
  // text that is no integer gives the default.
  std::int32_t ReadInteger(std::string_view section, std::string_view key,
                           std::int32_t defaultValue) const;
  // ReadInteger with the default 1 or 0; any non-zero value is true.
  bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;

  // Stores value as it stands, up to the first NUL, CR or LF (a line cannot
  // carry more). Section and key names must not hold "]", "=", CR or LF,
  // must not start or end with a blank, and a key name must not start with
  // ";" or "[" (its line would read as a comment or a section header).
  void Write(std::string_view section, std::string_view key, std::string_view value);

  // The whole document as bytes, as Save writes it.
  std::string Text() const;

  // Writes the whole document to a new file beside path, flushes it to the
  // disk and renames it over path (ReplaceFileWhole), so the old file is
  // either wholly kept or wholly replaced. A symbolic link at path is
  // followed, a read-only file is not replaced, and a replaced file keeps
  // its permission bits; a new one gets `createMode` less the umask. On any
  // failure the old file is untouched, the new file is removed, and the
  // message is "Unable to write to " + path; `reason`, when given, gets the
  // system's reason.
  Status Save(const std::string& path, FileSteps& steps = SystemFileSteps(),
              mode_t createMode = 0666, std::error_code* reason = nullptr) const;

  // Whether the document holds a section, or a key in a section, of that
  // name (any letter case).
  bool HasSection(std::string_view section) const;
  bool HasKey(std::string_view section, std::string_view key) const;

 private:
  struct Line {
    std::string text;    // without its line end
    std::string ending;  // "\r\n", "\n", or "" for a last line without one
  };
  struct Section {
    std::string name;               // as written; empty for lines before any header
    bool hasHeader = false;
    std::vector<Line> lines;        // lines[0] is the header when hasHeader
    std::size_t lastKeyLine = 0;    // index of the last key line, or of the header
    std::unordered_map<std::string, std::size_t> keys;  // folded name -> first key line
  };

  std::size_t SectionIndexOf(std::string_view name) const;  // sections_.size() when missing
  const Line* FindKeyLine(std::string_view section, std::string_view key) const;
  void AddLine(Section& section, std::string text);
  void IndexLine(Section& section, std::size_t index);

  std::vector<Section> sections_ = std::vector<Section>(1);  // [0]: lines before any header
  std::unordered_map<std::string, std::size_t> sectionIndex_;  // folded name -> first section
  std::string newline_ = "\n";
};

}  // namespace quorvel
