#include "bench/childpeak.h"

#include <QProcess>

// The memory figures are measured where the system keeps them per process
// (Linux); here the program only runs.
CChildPeak RunMeasured(const QString& program, const QStringList& arguments)
{
    CChildPeak result;
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit)
        result.m_nExitCode = process.exitCode();
    return result;
}

bool RunChildPeakLauncher(int argc, char* argv[], int& exitCode)
{
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    Q_UNUSED(exitCode);
    return false;
}

qint64 OwnPeakKiB()
{
    return -1;
}

qint64 OwnResidentKiB()
{
    return -1;
}

bool ResetOwnPeak()
{
    return false;
}
