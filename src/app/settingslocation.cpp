#include "app/settingslocation.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <vector>

#include "app/helpfile.h"
#include "settings/settingkeys.h"

namespace quorvel {

namespace {

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  // The XDG rules: a relative path in these variables is invalid and ignored.
  if (value == nullptr || value[0] != '/') return {};
  return value;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TempHelpFolderName() { return "quorvel-" + std::to_string(::getuid()); }

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

DesktopFolders DesktopFoldersFromEnvironment() {
  DesktopFolders folders;
  folders.configHome = Variable("XDG_CONFIG_HOME");
  if (folders.configHome.empty()) {
    const std::string home = Variable("HOME");
    if (!home.empty()) folders.configHome = home + "/.config";
  }
  folders.runtimeDir = Variable("XDG_RUNTIME_DIR");
  folders.tempDir = Variable("TMPDIR");
  if (folders.tempDir.empty()) folders.tempDir = "/tmp";
  return folders;
}

UserFileFolders UserFileFoldersFor(const ProgramFiles& files, std::string_view executablePath,
                                   const UserFolders& folders,
                                   const std::function<bool(const std::string& folder)>& exists) {
  const std::string beside = ExecutableFolder(executablePath);
  if (files.besideExecutable) return {beside, beside};
  auto first = [&](const std::string& wanted) {
    if (!wanted.empty() && exists(wanted)) return wanted;
    if (!folders.home.empty() && exists(folders.home)) return folders.home;
    return beside;
  };
  return {first(folders.pictures), first(folders.documents)};
}

FileSystemQueries SystemFileSystemQueries() {
  FileSystemQueries queries;
  queries.folderWritable = [](const std::string& folder) {
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           ::access(folder.c_str(), W_OK | X_OK) == 0;
  };
  queries.fileExists = [](const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
  };
  return queries;
}

ProgramFiles LocateProgramFiles(std::string_view executablePath, const DesktopFolders& folders,
                                const FileSystemQueries& queries) {
  ProgramFiles files;
  const std::string beside = SettingsFilePath(executablePath);
  std::string folder = ExecutableFolder(executablePath);
  if (folder.empty()) folder = ".";
  if (queries.folderWritable(folder)) {
    files.settingsLoad = beside;
    files.settingsSave = beside;
    files.help = PathBesideExecutable(executablePath, ".html");
    files.besideExecutable = true;
    return files;
  }

  files.besideExecutable = false;
  // Without any per-user folder there is nowhere better than beside the
  // program: the save then fails as it always did, with its message.
  files.settingsSave = folders.configHome.empty() ? beside : folders.configHome + "/quorvel/quorvel.ini";
  files.settingsLoad = files.settingsSave;
  if (!queries.fileExists(files.settingsSave) && queries.fileExists(beside)) files.settingsLoad = beside;
  if (!folders.runtimeDir.empty()) {
    files.help = folders.runtimeDir + "/quorvel.html";
  } else {
    files.help = folders.tempDir + "/" + TempHelpFolderName() + "/quorvel.html";
  }
  return files;
}

bool MakeParentFolders(const std::string& filePath) {
  const std::string folder = FolderOf(filePath);
  struct stat info {};
  if (::stat(folder.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
  if (folder == "/" || folder == ".") return false;
  if (!MakeParentFolders(folder)) return false;
  return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

bool PrepareHelpFolder(const std::string& helpPath) {
  const std::string folder = FolderOf(helpPath);
  if (NameOf(folder) != TempHelpFolderName()) return true;
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  // Someone else may have made it first, or put a link there.
  struct stat info {};
  return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
         info.st_uid == ::getuid() && (info.st_mode & 0077) == 0;
}

void RemoveHelpFolder(const std::string& helpPath) {
  const std::string folder = FolderOf(helpPath);
  if (NameOf(folder) == TempHelpFolderName()) ::rmdir(folder.c_str());
}

int RemoveStaleSaveTemporaries(const std::string& settingsPath,
                               const std::function<bool(long pid)>& processAlive, std::time_t now,
                               long staleAfterSeconds) {
  const std::string folder = FolderOf(settingsPath);
  const std::string prefix = "." + NameOf(settingsPath) + ".tmp";
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return 0;
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name(entry->d_name);
    if (name.substr(0, prefix.size()) != prefix) continue;
    const std::string_view rest = name.substr(prefix.size());
    const std::size_t dash = rest.find('-');
    if (dash == std::string_view::npos || !AllDigits(rest.substr(0, dash)) ||
        !AllDigits(rest.substr(dash + 1)) || dash > 18) {
      continue;
    }
    const std::string path = folder + "/" + std::string(name);
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    const long pid = std::stol(std::string(rest.substr(0, dash)));
    const bool old = now - info.st_mtime > staleAfterSeconds;
    if (old || !processAlive(pid)) stale.push_back(path);
  }
  ::closedir(dir);
  int removed = 0;
  for (const std::string& path : stale) {
    if (::unlink(path.c_str()) == 0) ++removed;
  }
  return removed;
}

bool ProcessAlive(long pid) {
  if (pid <= 0 || pid > std::numeric_limits<pid_t>::max()) return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace quorvel
