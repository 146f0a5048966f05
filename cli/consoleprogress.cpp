#include "consoleprogress.h"

#include "consolehost.h"

#include <QMutexLocker>

using namespace Qt::StringLiterals;

CConsoleProgress::CConsoleProgress(CConsoleHost& host, QObject* parent) : CProgressSink(parent), m_host(host)
{
}

CConsoleProgress::~CConsoleProgress() = default;

QString CConsoleProgress::ProgressLine(const QString& name, quint64 done, quint64 total,
                                       const QString& remaining)
{
    const quint64 percent = total == 0 ? 100 : std::min<quint64>(done, total) * 100 / total;
    QString line = u"%1  %2/%3 bytes  %4%"_s.arg(name).arg(done).arg(total).arg(percent);
    if (!remaining.isEmpty())
        line += u"  "_s + remaining;
    return line;
}

void CConsoleProgress::StartFile(const QString& name, quint64 total, const QString& caption, int enableCancel)
{
    QMutexLocker lock(&m_mutex);
    m_progress.StartFile(name, total, caption, enableCancel);
    m_done = 0;
    m_shownPercent = -1;
    ShowLocked();
}

void CConsoleProgress::UpdateProgress(quint64 done)
{
    QMutexLocker lock(&m_mutex);
    m_done = done;
    const bool changed = m_progress.UpdateProgress(done);
    const quint64 total = m_progress.Total();
    const int percent = total == 0 ? 100 : int(std::min<quint64>(done, total) * 100 / total);
    if (changed || percent != m_shownPercent)
        ShowLocked();
}

void CConsoleProgress::SetComplete()
{
    QMutexLocker lock(&m_mutex);
    m_progress.SetComplete();
    m_done = m_progress.Total();
    ShowLocked();
}

void CConsoleProgress::TransferEnded(int /*wParam*/)
{
    m_host.EndProgress();
}

void CConsoleProgress::ShowLocked()
{
    const quint64 total = m_progress.Total();
    m_shownPercent = total == 0 ? 100 : int(std::min<quint64>(m_done, total) * 100 / total);
    m_host.Progress(ProgressLine(m_progress.FileName(), m_done, total, m_progress.RemainingText()));
}
