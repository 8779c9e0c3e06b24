#include "agent/terminal.h"

#include <sys/ioctl.h>

#include <algorithm>

namespace quorvel {

namespace {

// Cuts to at most `limit` bytes without splitting a UTF-8 sequence.
std::string Cut(const std::string& line, std::size_t limit) {
  if (line.size() <= limit) return line;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80) --end;
  return line.substr(0, end);
}

}  // namespace

TerminalSize SizeOf(int fd) {
  TerminalSize size;
  winsize w{};
  if (::ioctl(fd, TIOCGWINSZ, &w) == 0 && w.ws_col > 0 && w.ws_row > 0) {
    size.columns = w.ws_col;
    size.rows = w.ws_row;
  }
  return size;
}

std::string LiveFrame(const std::vector<std::string>& lines, std::size_t previous,
                      std::size_t columns, std::size_t rows, std::size_t& drawn) {
  const std::size_t width = columns > 1 ? columns - 1 : 1;
  std::vector<std::string> shown;
  if (rows >= 3 && lines.size() > rows - 1) {
    shown.assign(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(rows - 2));
    shown.push_back("... and " + std::to_string(lines.size() - shown.size()) + " more targets");
  } else {
    shown = lines;
  }
  std::string out;
  if (previous > 0) out += "\r\x1b[" + std::to_string(previous) + "A";
  for (const std::string& line : shown) {
    out += "\x1b[2K";
    out += Cut(line, width);
    out += '\n';
  }
  // Lines left over from a taller block are cleared too.
  for (std::size_t i = shown.size(); i < previous; ++i) out += "\x1b[2K\n";
  const std::size_t total = std::max(shown.size(), previous);
  if (total > shown.size()) out += "\x1b[" + std::to_string(total - shown.size()) + "A";
  drawn = shown.size();
  return out;
}

std::string ClearLiveFrame(std::size_t previous) {
  if (previous == 0) return {};
  std::string out = "\r\x1b[" + std::to_string(previous) + "A";
  for (std::size_t i = 0; i < previous; ++i) out += "\x1b[2K\n";
  out += "\x1b[" + std::to_string(previous) + "A";
  return out;
}

}  // namespace quorvel
