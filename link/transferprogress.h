#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

// The state behind a transfer's progress display, without any widget: the
// bar position in 2 percent steps and the remaining-time text. The GUI dialog
// and the command-line tool show it; callers serialise access themselves.
class CTransferProgress
{
public:
    // Calendar time in seconds.
    using Clock = std::function<qint64()>;

    explicit CTransferProgress(Clock clock = {});

    // Before each file. The call counter of the estimate is not reset: it
    // runs on from one file of a batch to the next.
    void StartFile(const QString& name, quint64 total, const QString& caption, int enableCancel);
    void SetTotal(quint64 total);
    // Bytes of the current file moved so far. Returns true when the bar or
    // the remaining-time text changed.
    bool UpdateProgress(quint64 done);
    void SetComplete();
    void SetCancelEnabled(int enabled) { m_cancelEnabled = enabled; }

    int Position() const { return m_position; }
    const QString& RemainingText() const { return m_strRemaining; }
    const QString& FileName() const { return m_strFileName; }
    const QString& Caption() const { return m_strDirection; }
    int CancelEnabled() const { return m_cancelEnabled; }
    quint64 Total() const { return m_totalBytes; }

    // The text for a remaining time in seconds, rounded up by one unit.
    static QString RemainingTimeText(qint64 seconds);

private:
    qint64 Now() const;

    Clock m_clock;
    QString m_strFileName;
    QString m_strDirection;
    QString m_strRemaining;
    quint64 m_stepBytes = 0;
    quint64 m_stepBase = 0;
    quint64 m_totalBytes = 0;
    qint64 m_startTime = 0;
    int m_updateCount = 0;
    int m_position = 0;
    int m_cancelEnabled = 1;
};
