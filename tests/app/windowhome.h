#pragma once

#include <QDir>
#include <QFile>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QtGlobal>

#include <string>

#include "app/form1.h"

// A folder of its own for a main window under test: its settings file and
// help document go there, never beside the test program, so every test
// starts as a first start unless it writes a settings file there itself.
//
// The desktop's per-user folders (used where the executable's folder is not
// writable) are inside it too: config/ (made when first written), runtime/
// and tmp/.
class WindowHome {
 public:
  WindowHome() {
    QDir(m_dir.path()).mkdir(QStringLiteral("runtime"));
    QDir(m_dir.path()).mkdir(QStringLiteral("tmp"));
  }
  QString Path() const { return m_dir.path(); }
  // The executable the window takes as its own.
  std::string Executable() const { return (m_dir.path() + QStringLiteral("/quorvel")).toStdString(); }
  quorvel::DesktopFolders Folders() const {
    const std::string home = m_dir.path().toStdString();
    return {home + "/config", home + "/runtime", home + "/tmp"};
  }
  quorvel::Form1Environment Environment(quorvel::Dialogs* dialogs,
                                        const std::string& executable = {}) const {
    quorvel::Form1Environment environment;
    environment.dialogs = dialogs;
    environment.executablePath = executable.empty() ? Executable() : executable;
    environment.desktopFolders = Folders();
    return environment;
  }

 private:
  QTemporaryDir m_dir;
};

// Writes `lines` ("reply <time>", "lost", ...) as the fake ping's script in
// `folder` and points FAKE_PING_SCRIPT at it: each run of the fake ping takes
// the next line, the last one repeating. Starts the script afresh.
inline bool UseFakePingScript(const QString& folder, const QStringList& lines) {
  const QString script = folder + QStringLiteral("/ping-script");
  QFile file(script);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  file.write(lines.join(QLatin1Char('\n')).toUtf8() + "\n");
  file.close();
  QFile::remove(script + QStringLiteral(".state"));
  qputenv("FAKE_PING_SCRIPT", script.toLocal8Bit());
  return true;
}

// The control of that object name in `form`; a missing one ends the test
// program, since every later step would only fail less clearly.
template <typename T>
T* FindControl(const QObject* form, const char* name) {
  T* found = form->findChild<T*>(QString::fromLatin1(name));
  if (found == nullptr) qFatal("no control %s", name);
  return found;
}
