#include "cli/workerprocess.h"

#include "console/console.h"

CWorkerProcess::CWorkerProcess(QObject* parent) : QProcess(parent)
{
    CConsole::PrepareWorker(*this);
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
    CConsole::InterruptWorker(*this);
}
