#pragma once

#include <QProcess>

// The run of vq8ctl for one of several generators. On Unix it has a process
// group of its own, so that Ctrl+C on the terminal reaches the parent only,
// which hands each press on with Interrupt (a run sees one SIGINT per press,
// as it would on its own). On Windows the console gives every process on it
// its own Ctrl+C, and Interrupt has nothing to add.
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
