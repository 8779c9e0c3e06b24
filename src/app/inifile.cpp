#include "app/inifile.h"

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/settingvalues.h"

namespace quorvel {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Names match without regard to case, for ASCII letters only: bytes of other
// characters compare as they are.
std::string Fold(std::string_view s) {
  std::string folded(s);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

// The name between "[" and the last "]" of a header line.
bool HeaderName(std::string_view line, std::string_view& name) {
  line = TrimBlanks(line);
  if (line.empty() || line.front() != '[') return false;
  const std::size_t close = line.rfind(']');
  if (close == std::string_view::npos) return false;
  name = TrimBlanks(line.substr(1, close - 1));
  return true;
}

// The name of a key line; lines without "=" and comments are no key lines.
bool KeyName(std::string_view line, std::string_view& name) {
  const std::string_view trimmed = TrimBlanks(line);
  if (trimmed.empty() || trimmed.front() == ';') return false;
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return false;
  name = TrimBlanks(line.substr(0, equals));
  return true;
}

std::string ValueOf(std::string_view line) {
  std::string_view value = line.substr(line.find('=') + 1);
  // Carriage returns at the end belong to the line end: a last line cut off
  // after the CR of its CR LF (or after a stray CR) reads as it will once
  // another line follows it and it gets its line end.
  while (!value.empty() && value.back() == '\r') value.remove_suffix(1);
  value = TrimBlanks(value);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value.substr(0, IniFile::kMaxValueLength));
}

std::string Unable(const std::string& path) { return "Unable to write to " + path; }

std::atomic<unsigned> g_tempCounter{0};

}  // namespace

// ---- file steps ----------------------------------------------------------

bool FileSteps::MayReplace(const std::string& path) {
  return ::access(path.c_str(), F_OK) != 0 || ::access(path.c_str(), W_OK) == 0;
}

int FileSteps::CreateNew(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

bool FileSteps::CopyMode(int fd, const std::string& from) {
  struct stat st {};
  if (::stat(from.c_str(), &st) != 0) return errno == ENOENT;
  return ::fchmod(fd, st.st_mode & 07777) == 0;
}

bool FileSteps::WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool FileSteps::SyncFile(int fd) { return ::fsync(fd) == 0; }

// On Linux the descriptor is gone even when close reports EINTR.
bool FileSteps::CloseFile(int fd) { return ::close(fd) == 0 || errno == EINTR; }

bool FileSteps::RenameOver(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

// Makes the rename itself durable. The new file is complete either way, so a
// failure here is no failure of the save.
void FileSteps::SyncDirectory(const std::string& directory) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

void FileSteps::RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

FileSteps& SystemFileSteps() {
  static FileSteps steps;
  return steps;
}

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
  const auto it = sectionIndex_.find(Fold(TrimBlanks(name)));
  return it == sectionIndex_.end() ? sections_.size() : it->second;
}

const IniFile::Line* IniFile::FindKeyLine(std::string_view section, std::string_view key) const {
  const std::size_t index = SectionIndexOf(section);
  if (index == sections_.size()) return nullptr;
  const Section& s = sections_[index];
  const auto it = s.keys.find(Fold(TrimBlanks(key)));
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

  const auto it = s.keys.find(Fold(TrimBlanks(key)));
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

SaveStatus IniFile::Save(const std::string& path, FileSteps& steps) const {
  namespace fs = std::filesystem;
  std::error_code ec;
  // Replacing a symbolic link would turn it into a plain file; write through it.
  fs::path target(path);
  if (fs::is_symlink(fs::symlink_status(target, ec))) {
    const fs::path resolved = fs::canonical(target, ec);
    if (!ec) target = resolved;
  }
  const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const std::string targetName = target.string();
  const SaveStatus failed{false, Unable(path)};

  if (!steps.MayReplace(targetName)) return failed;

  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = (directory / ("." + target.filename().string() + ".tmp" + std::to_string(::getpid()) +
                         "-" + std::to_string(g_tempCounter++)))
               .string();
    errno = 0;
    fd = steps.CreateNew(temp);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return failed;

  const std::string bytes = Text();
  bool ok = steps.CopyMode(fd, targetName) && steps.WriteAll(fd, bytes) && steps.SyncFile(fd);
  ok = steps.CloseFile(fd) && ok;
  ok = ok && steps.RenameOver(temp, targetName);
  if (!ok) {
    steps.RemoveFile(temp);
    return failed;
  }
  steps.SyncDirectory(directory.string());
  return {};
}

}  // namespace quorvel
