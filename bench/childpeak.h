#pragma once

#include <QString>
#include <QStringList>

// Runs `program` with `arguments` to its end, its standard output thrown
// away, and measures the peak resident size the system recorded for it.
struct CChildPeak
{
    int m_nExitCode = -1;   // -1: did not start or did not end normally
    qint64 m_nPeakKiB = -1; // -1: not measured on this platform
};
CChildPeak RunMeasured(const QString& program, const QStringList& arguments);

// `vq-bench --child-peak PROGRAM ARGS...`, the small process RunMeasured
// starts the program from (see childpeak_unix.cpp). Handles such a command
// line before anything else runs and returns true with `exitCode`; false for
// any other command line.
bool RunChildPeakLauncher(int argc, char* argv[], int& exitCode);

// The peak resident size of this process since the last reset, and a reset
// of it (so that a phase's own peak can be read); -1 or false where not known.
qint64 OwnPeakKiB();
bool ResetOwnPeak();
qint64 OwnResidentKiB();
