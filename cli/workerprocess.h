#pragma once

#include <QProcess>

// The run of vq8ctl for one of several generators. It ends with this process
// however this one ends, and Ctrl+C on the terminal reaches it once per press
// as it would on its own (CConsole::PrepareWorker says how).
class CWorkerProcess final : public QProcess
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CWorkerProcess)

public:
    explicit CWorkerProcess(QObject* parent = nullptr);
    ~CWorkerProcess() override;

    // Ctrl+C for the run, while it runs.
    void Interrupt();
};
