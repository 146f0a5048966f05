#include "bench/childpeak.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace {

const char kLauncherOption[] = "--child-peak";

// A "Vm...:  1234 kB" line of /proc/self/status.
qint64 StatusKiB(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(qsizetype(qstrlen(key))).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace

// A program's recorded peak starts from the peak of the process that started
// it (exec keeps it, and a spawned child shares its parent's memory until
// then): started from the benchmark, which holds the catalog and more, every
// program would seem as large. So a fresh copy of vq-bench, before Qt or
// anything else has run in it, starts the program and reports for it.
CChildPeak RunMeasured(const QString& program, const QStringList& arguments)
{
    CChildPeak result;
    QProcess launcher;
    launcher.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    launcher.start(QCoreApplication::applicationFilePath(),
                   QStringList{QString::fromLatin1(kLauncherOption), program} + arguments);
    if (!launcher.waitForFinished(-1) || launcher.exitStatus() != QProcess::NormalExit ||
        launcher.exitCode() != 0)
        return result;
    const QList<QByteArray> figures = launcher.readAllStandardOutput().trimmed().split(' ');
    if (figures.size() == 2) {
        result.m_nExitCode = figures[0].toInt();
        result.m_nPeakKiB = figures[1].toLongLong();
    }
    return result;
}

bool RunChildPeakLauncher(int argc, char* argv[], int& exitCode)
{
    if (argc < 3 || std::strcmp(argv[1], kLauncherOption) != 0)
        return false;
    exitCode = 1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[2], &actions, nullptr, argv + 2, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return true;
    // wait4 gives this child's own figures, not the sum over every child.
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return true;
    std::printf("%d %ld\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss); // KiB on Linux
    exitCode = 0;
    return true;
}

qint64 OwnPeakKiB()
{
    return StatusKiB("VmHWM:");
}

qint64 OwnResidentKiB()
{
    return StatusKiB("VmRSS:");
}

bool ResetOwnPeak()
{
    // "5" resets the peak to the current size (Linux 4.0 and later).
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}
