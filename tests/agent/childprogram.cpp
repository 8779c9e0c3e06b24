#include "agent/childprogram.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

int counter = 0;

}  // namespace

ChildProgram::ChildProgram(const std::vector<std::string>& argv,
                           const std::vector<std::string>& environment, const std::string& folder,
                           const std::string& input, bool ownGroup) {
  const std::string stem = folder + "/child" + std::to_string(++counter);
  outPath_ = stem + ".out";
  errPath_ = stem + ".err";

  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e) {
    bool replaced = false;
    for (const std::string& extra : environment) {
      const std::size_t eq = extra.find('=');
      if (std::strncmp(*e, extra.c_str(), eq + 1) == 0) replaced = true;
    }
    if (!replaced) env.emplace_back(*e);
  }
  env.insert(env.end(), environment.begin(), environment.end());
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  if (ownGroup) {
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  }
  if (::posix_spawnp(&pid_, args[0], &actions, &attributes, args.data(), envp.data()) != 0) pid_ = -1;
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
}

ChildProgram::~ChildProgram() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

void ChildProgram::Signal(int signal) const {
  if (pid_ > 0) ::kill(pid_, signal);
}

void ChildProgram::SignalGroup(int signal) const {
  if (pid_ > 0) ::kill(-pid_, signal);
}

ChildProgram::Ended ChildProgram::Wait(std::chrono::milliseconds bound) {
  Ended ended;
  const auto start = std::chrono::steady_clock::now();
  int status = 0;
  while (pid_ > 0) {
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      ended.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      pid_ = -1;
      break;
    }
    if (std::chrono::steady_clock::now() - start > bound) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
      ended.status = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ended.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  ended.output = FileText(outPath_);
  ended.errors = FileText(errPath_);
  return ended;
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string FakePingPath() {
  const char* path = std::getenv("PATH");
  return std::string("PATH=") + QUORVEL_FAKE_PING_DIR + ":" + (path ? path : "/usr/bin:/bin");
}
