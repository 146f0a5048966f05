#pragma once

#include <QString>

// Where the text of --version, --help and a bad command line goes, before any
// window exists: standard output, or standard error for an error. On Windows
// vq8comm.exe is a program without a console of its own: there the text goes
// to where its output was redirected, else to the console it was started
// from, else into a message box (started from the desktop).
// startupoutput_unix.cpp, startupoutput_win.cpp.
void WriteStartupText(const QString& text, bool error);
