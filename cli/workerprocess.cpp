#include "cli/workerprocess.h"

#ifdef Q_OS_UNIX
#include <csignal>
#include <unistd.h>
#endif

CWorkerProcess::CWorkerProcess(QObject* parent) : QProcess(parent)
{
#ifdef Q_OS_UNIX
    setChildProcessModifier([] { ::setpgid(0, 0); });
#endif
}

CWorkerProcess::~CWorkerProcess()
{
    // A run is never left behind: the parent waits for each, and kills one it gives up on.
    if (state() != NotRunning) {
        kill();
        waitForFinished(5000);
    }
}

void CWorkerProcess::Interrupt()
{
#ifdef Q_OS_UNIX
    if (state() == Running && processId() > 0)
        ::kill(pid_t(processId()), SIGINT);
#endif
}
