#pragma once

#include "link/progresssink.h"
#include "link/transferprogress.h"

#include <QElapsedTimer>
#include <QMutex>

class CConsoleHost;

// The progress of a batch on the error stream, one line per file: its number
// in the command's plan, the name, percent, rate and the desktop program's
// remaining-time text, fitted to the terminal's width and rewritten in place;
// without a terminal (--progress) a line per 10 %. UpdateProgress comes from
// the transfer worker; it writes only when the line changes and never waits
// for the main thread. Each file's figures also go to the host's record.
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

    // "[n/m] NAME  PERCENT%  RATE  REMAINING" in at most `columns` - 1
    // characters: the remaining time and the rate give way before the name
    // would keep fewer than 12 characters; the name is shortened in its middle.
    static QString FitLine(const QString& counter, const QString& name, int percent, const QString& rate,
                           const QString& remaining, int columns);
    // "1.50MB/s"; empty before there is anything to tell.
    static QString RateText(quint64 bytes, qint64 ms);

protected:
    void TransferEnded(int wParam) override;

private:
    void ShowLocked(bool force);
    int Percent() const;

    CConsoleHost& m_host;
    QMutex m_mutex;
    CTransferProgress m_progress;
    QElapsedTimer m_clock;
    qint64 m_shownAt = -1;
    int m_number = 0;
    quint64 m_done = 0;
    int m_shownPercent = -1;
};
