#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

// The rules behind the "Log Options  " group: the log file name pieces, the
// name proposed from an address, and what the group's handlers do to the
// window caption. Pure functions of their arguments; any thread may call them.
//
// File names use '/' as the only separator: the directory part of a name is
// everything up to and including its last '/', the name part everything after.

// Which of the three log-mode buttons is checked. They are exclusive, but
// choosing a file while "Don't write a log file" was checked leaves none.
struct LogModeChecks {
  bool noLog = true;     // rbNoLog
  bool allLog = false;   // rbAllLog
  bool onlyLog = false;  // rbOnlyLog

  // "Write file all the time" or "Write file when" is chosen.
  bool Logging() const { return allLog || onlyLog; }
};

inline constexpr std::string_view kPlainCaption = "Quorvel";
inline constexpr std::string_view kChangeLogQuestion = "Change Log filename?";
// The "Change Log filename?" box stands this far right of and below the main
// window's top-left corner.
inline constexpr int kChangeLogQuestionLeft = 40;
inline constexpr int kChangeLogQuestionTop = 100;

// The part after the last '/' ("/tmp/a.txt" -> "a.txt"); the whole name when
// it has no '/'.
std::string_view LogNamePart(std::string_view fileName);
// The part up to and including the last '/' ("/tmp/a.txt" -> "/tmp/"); empty
// when the name has no '/'.
std::string_view LogDirectoryPart(std::string_view fileName);

// The log file name proposed for an address:
//  1. if the address, lower-cased, contains "www." anywhere, its first four
//     characters are dropped (the rest keeps its case);
//  2. what remains is cut before its first "." (with no "." nothing remains);
//  3. ".txt" is appended.
// "www.abc.def" -> "abc.txt", "192.0.2.1" -> "192.txt", "localhost" -> ".txt",
// "ftp.www.abc.def" -> "www.txt". Characters are UTF-8 code points; only ASCII
// letters are folded.
std::string ExtractDomainName(std::string_view address);

// The name the log file box holds after it loses the focus (edLogExit): the
// extension of the name part (from its last ".") replaced by ".txt", or ".txt"
// appended when the name part has no ".". "mylog" -> "mylog.txt",
// "a.log" -> "a.txt", "/tmp/x.y/log" -> "/tmp/x.y/log.txt", "" -> ".txt".
std::string LogNameOnExit(std::string_view fileName);

// "Quorvel  [Log: " + name part of fileName + "]".
std::string LogCaption(std::string_view fileName);

// Whether a proposed log file name is worth offering in place of the current
// one: it differs from the name part of fileName (case-sensitive) and is not
// just ".txt" (what an address without a "." proposes).
bool OffersNewLogName(std::string_view proposedName, std::string_view fileName);

// What rbAllLogClick does before it sets the caption.
enum class LogModeClickStep {
  kNothing,    // no log mode chosen, or nothing to offer
  kBrowse,     // perform btnLogBrowseClick (LogBrowse with the address text)
  kAskChange,  // ask kChangeLogQuestion; on Yes, LogBrowse with the selected entry
};

struct LogModeClickPlan {
  LogModeClickStep step = LogModeClickStep::kNothing;
  std::string proposedName;  // ExtractDomainName(selected entry) for kAskChange
};

// The first half of rbAllLogClick (a log-mode button became checked).
// `selectedEntry` is the text of the address-history entry selected in the
// address box, empty when none is selected.
LogModeClickPlan PlanLogModeClick(const LogModeChecks& checks, std::string_view fileName,
                                  bool windowShowing, std::string_view selectedEntry);

// The second half of rbAllLogClick, with the checks and file name as they
// stand after the browse or the question: the new caption, or nullopt when it
// stays as it is.
std::optional<std::string> CaptionAfterLogModeClick(const LogModeChecks& checks,
                                                    std::string_view fileName);

// edLogChange: "Quorvel" when the name is empty or "Don't write a log file"
// is checked; otherwise the caption stays (nullopt).
std::optional<std::string> CaptionAfterLogNameChange(const LogModeChecks& checks,
                                                     std::string_view fileName);

// The end of LogBrowse, once the dialog has closed (confirmed or not).
struct LogBrowseOutcome {
  bool noLogChecked = false;           // set rbNoLog to this (true exactly when the name is empty)
  std::optional<std::string> caption;  // "Quorvel" when the name is empty, else unchanged
};
LogBrowseOutcome AfterLogBrowse(std::string_view fileName);

// The directory the log file dialog starts in: that of the current log file
// name when it has a directory part (without its trailing '/', except for
// "/" itself), else `executableDirectory`.
std::string LogBrowseStartDirectory(std::string_view fileName,
                                    std::string_view executableDirectory);

}  // namespace quorvel
