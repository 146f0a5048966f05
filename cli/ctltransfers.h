#pragma once

#include <QElapsedTimer>

#include <functional>

class CCtlSession;

// Runs the batches of a command through the desktop program's engines, one
// at a time, and keeps the time they took.
class CCtlTransfers final
{
public:
    explicit CCtlTransfers(CCtlSession& session);
    CCtlTransfers(const CCtlTransfers&) = delete;
    CCtlTransfers& operator=(const CCtlTransfers&) = delete;

    // Runs one batch that `start` begins through the engine, until the chain
    // says it has ended. CTL_FAILED when it did not start, failed or was
    // cancelled; the command channel is open again afterwards.
    int RunBatch(const std::function<int()>& start);
    // The time spent in batches so far.
    qint64 Ms() const { return m_nMs; }

private:
    CCtlSession& m_session;
    QElapsedTimer m_clock;
    qint64 m_nMs = 0;
};
