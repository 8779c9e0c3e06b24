#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <string_view>

namespace quorvel {

// Where the settings file and the help document live.
//
// Beside the executable is the rule wherever its folder is writable: the
// settings file is the executable's path with ".ini", the help document with
// ".html", and nothing else is looked at. Where the folder is not writable
// (an installed /usr/bin), nothing could ever be saved there, so the
// desktop's per-user folders take over:
//  - the settings are saved to <config home>/quorvel/quorvel.ini, and read
//    from there once that file exists; before that, a file beside the
//    executable is read if there is one (a preset left there), else none;
//  - the help document goes to <runtime dir>/quorvel.html, or, without a
//    runtime dir, to a folder of this user's own in the temporary folder:
//    <temp>/quorvel-<uid>/quorvel.html.
//
// Plain functions; any thread.

// The desktop's per-user folders, as the environment names them.
struct DesktopFolders {
  std::string configHome;  // $XDG_CONFIG_HOME, else $HOME/.config; empty without either
  std::string runtimeDir;  // $XDG_RUNTIME_DIR; may be empty
  std::string tempDir;     // $TMPDIR, else /tmp
};

// The user's own folders, as the desktop names them (the window asks
// QStandardPaths for them).
struct UserFolders {
  std::string home;
  std::string pictures;
  std::string documents;
};

// Reads XDG_CONFIG_HOME, HOME, XDG_RUNTIME_DIR and TMPDIR. Relative paths are
// ignored, as the XDG rules ask.
DesktopFolders DesktopFoldersFromEnvironment();

// What LocateProgramFiles asks of the file system; tests answer for it.
struct FileSystemQueries {
  std::function<bool(const std::string& folder)> folderWritable;
  std::function<bool(const std::string& path)> fileExists;
};
FileSystemQueries SystemFileSystemQueries();

struct ProgramFiles {
  std::string settingsLoad;  // the file the load pass reads (it may be missing)
  std::string settingsSave;  // the file the save pass writes
  std::string help;          // the help document's path
  bool besideExecutable = true;
};

ProgramFiles LocateProgramFiles(std::string_view executablePath, const DesktopFolders& folders,
                                const FileSystemQueries& queries = SystemFileSystemQueries());

// Where the files a user makes start: beside the executable where its
// folder is writable, as always; where it is not (an installed copy), the
// desktop's Pictures folder for images (the capture folder's default, Save
// As) and its Documents folder for the rest (the log file's dialog), each
// where it exists, else the home folder.
struct UserFileFolders {
  std::string images;
  std::string documents;
};
UserFileFolders UserFileFoldersFor(const ProgramFiles& files, std::string_view executablePath,
                                   const UserFolders& folders,
                                   const std::function<bool(const std::string& folder)>& exists);

// Creates the folders of `filePath` that are missing (mode 0700 for new
// ones, as per-user folders should be). True when the folder exists after.
bool MakeParentFolders(const std::string& filePath);

// The help document's folder in the temporary folder must be this user's
// own: creates it (mode 0700) when missing and refuses one that is not a
// plain folder owned by this user. True when `helpPath`'s folder is safe to
// write into. Paths that are not in a "quorvel-<uid>" folder are left to
// the caller.
bool PrepareHelpFolder(const std::string& helpPath);
// At close, after the help document is gone: removes that folder of this
// user's own when it is empty. Nothing for any other path.
void RemoveHelpFolder(const std::string& helpPath);

// An interrupted save leaves its temporary file beside the settings file:
// a hidden "." + <name> + ".tmp" + <pid> + "-" + <n>. Removes those whose
// process is gone, and those older than `staleAfterSeconds` whatever their
// process id says (ids are reused). A save in progress in another copy of
// the program is left alone. Returns how many files were removed.
int RemoveStaleSaveTemporaries(const std::string& settingsPath,
                               const std::function<bool(long pid)>& processAlive,
                               std::time_t now, long staleAfterSeconds = 600);
// Whether a process of that id exists (kill(pid, 0)).
bool ProcessAlive(long pid);

}  // namespace quorvel
