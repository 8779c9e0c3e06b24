#include "settings/inifile.h"

#include <cerrno>
#include <filesystem>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/text.h"
#include "settings/settingvalues.h"

namespace quorvel {

namespace {

// Names match without regard to case, for ASCII letters only: bytes of other
// characters compare as they are.
std::string Fold(std::string_view s) { return AsciiLower(s); }

// The name between "[" and the last "]" of a header line.
bool HeaderName(std::string_view line, std::string_view& name) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return false;
  const std::size_t close = line.rfind(']');
  if (close == std::string_view::npos) return false;
  name = Trim(line.substr(1, close - 1));
  return true;
}

// The name of a key line; lines without "=" and comments are no key lines.
bool KeyName(std::string_view line, std::string_view& name) {
  const std::string_view trimmed = Trim(line);
  if (trimmed.empty() || trimmed.front() == ';') return false;
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return false;
  name = Trim(line.substr(0, equals));
  return true;
}

std::string ValueOf(std::string_view line) {
  std::string_view value = line.substr(line.find('=') + 1);
  // Carriage returns at the end belong to the line end: a last line cut off
  // after the CR of its CR LF (or after a stray CR) reads as it will once
  // another line follows it and it gets its line end.
  while (!value.empty() && value.back() == '\r') value.remove_suffix(1);
  value = Trim(value);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value.substr(0, IniFile::kMaxValueLength));
}

std::string Unable(const std::string& path) { return "Unable to write to " + path; }

}  // namespace


// ---- document ------------------------------------------------------------

IniFile IniFile::Load(const std::string& path) {
  // Non-blocking, so that a FIFO at the path cannot hang the start-up; only
  // a regular file is read.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Parse({});
  std::string bytes;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  char buffer[65536];
  while (ok) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return Parse(ok ? std::string_view(bytes) : std::string_view());
}

IniFile IniFile::Parse(std::string_view bytes) {
  IniFile doc;
  bool endingSeen = false;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::size_t lf = bytes.find('\n', pos);
    Line line;
    if (lf == std::string_view::npos) {
      line.text = std::string(bytes.substr(pos));
      pos = bytes.size();
    } else {
      std::string_view text = bytes.substr(pos, lf - pos);
      line.ending = "\n";
      if (!text.empty() && text.back() == '\r') {
        text.remove_suffix(1);
        line.ending = "\r\n";
      }
      line.text = std::string(text);
      pos = lf + 1;
      if (!endingSeen) {
        doc.newline_ = line.ending;
        endingSeen = true;
      }
    }

    std::string_view name;
    if (HeaderName(line.text, name)) {
      Section section;
      section.name = std::string(name);
      section.hasHeader = true;
      section.lines.push_back(std::move(line));
      doc.sectionIndex_.emplace(Fold(name), doc.sections_.size());
      doc.sections_.push_back(std::move(section));
    } else {
      Section& section = doc.sections_.back();
      section.lines.push_back(std::move(line));
      doc.IndexLine(section, section.lines.size() - 1);
    }
  }
  return doc;
}

void IniFile::IndexLine(Section& section, std::size_t index) {
  std::string_view name;
  if (!KeyName(section.lines[index].text, name)) return;
  section.keys.emplace(Fold(name), index);
  section.lastKeyLine = index;
}

std::size_t IniFile::SectionIndexOf(std::string_view name) const {
  const auto it = sectionIndex_.find(Fold(Trim(name)));
  return it == sectionIndex_.end() ? sections_.size() : it->second;
}

const IniFile::Line* IniFile::FindKeyLine(std::string_view section, std::string_view key) const {
  const std::size_t index = SectionIndexOf(section);
  if (index == sections_.size()) return nullptr;
  const Section& s = sections_[index];
  const auto it = s.keys.find(Fold(Trim(key)));
  return it == s.keys.end() ? nullptr : &s.lines[it->second];
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
  if (const Line* line = FindKeyLine(section, key)) return ValueOf(line->text);
  while (!defaultValue.empty() && IsBlank(defaultValue.back())) defaultValue.remove_suffix(1);
  return std::string(defaultValue.substr(0, kMaxValueLength));
}

std::int32_t IniFile::ReadInteger(std::string_view section, std::string_view key,
                                  std::int32_t defaultValue) const {
  return ParseInteger(ReadString(section, key, "")).value_or(defaultValue);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void IniFile::AddLine(Section& section, std::string text) {
  // After the last key line, so that comments and blank lines that end the
  // section (often the preface of the next one) stay where they are. No key
  // line follows the insertion point, so no index shifts.
  const std::size_t at = section.lastKeyLine + 1;
  section.lines.insert(section.lines.begin() + static_cast<std::ptrdiff_t>(at),
                       Line{std::move(text), newline_});
  IndexLine(section, at);
}

void IniFile::Write(std::string_view section, std::string_view key, std::string_view value) {
  value = value.substr(0, value.find_first_of(std::string_view("\0\r\n", 3)));

  std::size_t index = SectionIndexOf(section);
  if (index == sections_.size()) {
    Section added;
    added.name = std::string(section);
    added.hasHeader = true;
    added.lines.push_back(Line{"[" + added.name + "]", newline_});
    sectionIndex_.emplace(Fold(section), index);
    sections_.push_back(std::move(added));
  }
  Section& s = sections_[index];

  const auto it = s.keys.find(Fold(Trim(key)));
  if (it == s.keys.end()) {
    AddLine(s, std::string(key) + "=" + std::string(value));
    return;
  }
  Line& line = s.lines[it->second];
  std::string_view name;
  KeyName(line.text, name);
  line.text = std::string(name) + "=" + std::string(value);
}

std::string IniFile::Text() const {
  std::string out;
  const Line* last = nullptr;
  for (const Section& s : sections_) {
    for (const Line& line : s.lines) {
      // A line that was the file's unterminated last line gets an end once
      // another line follows it.
      if (last != nullptr) out += last->ending.empty() ? newline_ : last->ending;
      out += line.text;
      last = &line;
    }
  }
  if (last != nullptr) out += last->ending;
  return out;
}

bool OwnerOnlyFileSteps::CopyMode(int fd, const std::string& from) {
  struct stat info {};
  if (::stat(from.c_str(), &info) != 0) return errno == ENOENT;  // nothing to copy from
  return ::fchmod(fd, info.st_mode & 0700) == 0;
}

Status IniFile::Save(const std::string& path, FileSteps& steps, mode_t createMode,
                     std::error_code* reason) const {
  ReplacePolicy policy;
  policy.followSymlink = true;
  policy.respectExisting = true;
  policy.sync = true;
  policy.createMode = createMode;
  const std::error_code error = ReplaceFileWhole(path, Text(), policy, steps);
  if (reason) *reason = error;
  if (error) return Status::Error(Unable(path));
  return Status::Ok();
}

bool IniFile::HasSection(std::string_view section) const {
  return SectionIndexOf(section) < sections_.size();
}

bool IniFile::HasKey(std::string_view section, std::string_view key) const {
  return FindKeyLine(section, key) != nullptr;
}

}  // namespace quorvel
