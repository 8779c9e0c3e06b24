#pragma once

#include <QWidget>

#include <memory>
#include <vector>

class RecordingDialogs;
class WindowHome;

// The only place where the window accuracy test uses the main window's C++
// interface; everything else goes through object names and slot names.
// User-interface thread only.

// The main window, shown, its boxes answered by `dialogs`, its files in
// `home`; both must outlive it.
std::unique_ptr<QWidget> OpenMainWindow(RecordingDialogs& dialogs, WindowHome& home);

// Binds the window's web server to 127.0.0.1 and starts it on a free port:
// the port, 0 when none could be had.
int StartWebServerOnLoopback(QWidget* window);

// For every plotted ping point in order: whether it is drawn red.
std::vector<bool> RedPingPoints(const QWidget* window);
