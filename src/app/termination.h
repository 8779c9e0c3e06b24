#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace quorvel {

// SIGTERM, SIGINT and SIGHUP ask the program to close like its window's close
// button does. The signal handler only writes a byte into a pipe;
// TerminationWatch reads it on the user-interface thread, in whatever event
// loop is running (a modal message box's included).
//
// InstallTerminationHandlers() must run first thing in main(), before the
// application object exists; signals arriving before the watch is set up
// are kept in the pipe and handled once it is.
void InstallTerminationHandlers();

class TerminationWatch : public QObject {
  Q_OBJECT

 public:
  explicit TerminationWatch(std::function<void()> onRequest, QObject* parent = nullptr);

 private:
  void onReadable();

  std::function<void()> m_onRequest;
  QSocketNotifier* m_notifier = nullptr;
};

}  // namespace quorvel
