#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// A program started by a test, without a shell, running beside it: its
// standard output and error go to files of its own, its standard input comes
// from a file (/dev/null unless told). The destructor kills it if it still
// runs, so a failing test never leaves it behind.
class ChildProgram {
 public:
  // `environment` entries "NAME=value" are added to (or replace) the test's.
  // With `ownGroup` it leads a process group of its own, as a job of a
  // terminal's shell does, so that SignalGroup reaches its children too.
  ChildProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
               const std::string& folder, const std::string& input = "/dev/null",
               bool ownGroup = false);
  ~ChildProgram();
  ChildProgram(const ChildProgram&) = delete;
  ChildProgram& operator=(const ChildProgram&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  void Signal(int signal) const;
  void SignalGroup(int signal) const;

  struct Ended {
    int status = -1;     // the exit status; 128 + n for signal n; -1: killed at the bound
    std::string output;  // standard output
    std::string errors;  // standard error
    std::chrono::milliseconds took{0};  // from the call of Wait
  };
  // Waits for the program to end, at most `bound`; kills it at the bound.
  Ended Wait(std::chrono::milliseconds bound);

 private:
  pid_t pid_ = -1;
  std::string outPath_;
  std::string errPath_;
};

// The whole content of a file; empty when it cannot be read.
std::string FileText(const std::string& path);

// The environment entry that puts the fake ping first on PATH.
std::string FakePingPath();
