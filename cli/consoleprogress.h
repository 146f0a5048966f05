#pragma once

#include "progresssink.h"
#include "transferprogress.h"

#include <QMutex>

class CConsoleHost;

// The progress line of a batch on the error stream: file, bytes, percent and
// the desktop program's remaining-time text. Shown only on a terminal.
// UpdateProgress comes from the transfer worker; it writes at most one line
// per visible change and never waits for the main thread.
class CConsoleProgress final : public CProgressSink
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CConsoleProgress)

public:
    explicit CConsoleProgress(CConsoleHost& host, QObject* parent = nullptr);
    ~CConsoleProgress() override;

    void StartFile(const QString& name, quint64 total, const QString& caption, int enableCancel) override;
    void UpdateProgress(quint64 done) override;
    void SetComplete() override;

    // "NAME  DONE/TOTAL bytes  PERCENT%  REMAINING"
    static QString ProgressLine(const QString& name, quint64 done, quint64 total, const QString& remaining);

protected:
    void TransferEnded(int wParam) override;

private:
    void ShowLocked();

    CConsoleHost& m_host;
    QMutex m_mutex;
    CTransferProgress m_progress;
    quint64 m_done = 0;
    int m_shownPercent = -1;
};
