#include "cli/consoleprogress.h"

#include "cli/consolehost.h"
#include "link/printable.h"
#include "link/vqcomm.h"

#include <QMutexLocker>

using namespace Qt::StringLiterals;

namespace {
// A redrawn line changes at most this often, besides each new percent.
constexpr qint64 kRedrawMs = 250;
} // namespace

CConsoleProgress::CConsoleProgress(CConsoleHost& host, QObject* parent) : CProgressSink(parent), m_host(host)
{
}

CConsoleProgress::~CConsoleProgress() = default;

QString CConsoleProgress::FitLine(const QString& counter, const QString& name, int percent,
                                  const QString& rate, const QString& remaining, int columns)
{
    // The last column stays free: writing there wraps some terminals.
    const qsizetype width = std::max(columns - 1, 20);
    const QString figures = u"  %1%"_s.arg(percent, 3);
    QString tail = figures;
    for (const QString& extra : {rate, remaining}) {
        if (!extra.isEmpty() && counter.size() + 1 + 12 + tail.size() + 2 + extra.size() <= width)
            tail += u"  "_s + extra;
    }
    const QString head = counter.isEmpty() ? QString() : counter + u' ';
    const qsizetype room = width - head.size() - tail.size();
    QString shown = name;
    if (shown.size() > room) {
        // The middle goes: a name's start and its extension say most.
        const qsizetype keep = std::max<qsizetype>(room - 3, 2);
        shown = name.left((keep + 1) / 2) + u"..."_s + name.right(keep / 2);
    }
    return (head + shown + tail).left(width);
}

QString CConsoleProgress::RateText(quint64 bytes, qint64 ms)
{
    if (ms < 200 || bytes == 0)
        return QString();
    return CVQComm::FormatSize(double(bytes) * 1000.0 / double(ms)) + u"/s"_s;
}

void CConsoleProgress::StartFile(const QString& name, quint64 total, const QString& caption, int enableCancel)
{
    // The engine's own "   [i/k]" counts within one batch; the plan's number
    // counts within the command.
    QString plain = name;
    if (const qsizetype suffix = plain.lastIndexOf(u"   ["_s); suffix > 0 && plain.endsWith(u']'))
        plain.truncate(suffix);
    QMutexLocker lock(&m_mutex);
    m_progress.StartFile(plain, total, caption, enableCancel);
    m_number = m_host.StartRecord(plain, total);
    m_done = 0;
    m_shownPercent = -1;
    m_clock.start();
    m_shownAt = -1;
    ShowLocked(true);
}

int CConsoleProgress::Percent() const
{
    const quint64 total = m_progress.Total();
    return total == 0 ? 100 : int(std::min(m_done, total) * 100 / total);
}

void CConsoleProgress::UpdateProgress(quint64 done)
{
    QMutexLocker lock(&m_mutex);
    m_done = done;
    m_host.UpdateRecord(m_number, done, false);
    const bool changed = m_progress.UpdateProgress(done);
    ShowLocked(changed);
}

void CConsoleProgress::SetComplete()
{
    QMutexLocker lock(&m_mutex);
    m_progress.SetComplete();
    m_done = m_progress.Total();
    m_host.UpdateRecord(m_number, m_done, true);
    ShowLocked(true);
}

void CConsoleProgress::TransferEnded(int /*wParam*/)
{
    m_host.EndProgress();
}

void CConsoleProgress::ShowLocked(bool force)
{
    const ProgressMode mode = m_host.Progress();
    if (mode == ProgressMode::Off)
        return;
    const int percent = Percent();
    const qint64 now = m_clock.elapsed();
    if (mode == ProgressMode::Steps) {
        // A log gets a line per tenth, the first and the last.
        if (m_shownPercent >= 0 && percent / 10 == m_shownPercent / 10)
            return;
    } else if (!force && percent == m_shownPercent && now - m_shownAt < kRedrawMs) {
        return;
    }
    m_shownPercent = percent;
    m_shownAt = now;
    const QString counter =
        m_host.PlannedFiles() > 0 ? u"[%1/%2]"_s.arg(m_number).arg(m_host.PlannedFiles()) : QString();
    const int columns = mode == ProgressMode::Redraw ? m_host.Columns() : 1000;
    m_host.ProgressLine(FitLine(counter, PrintableText(m_progress.FileName()), percent, RateText(m_done, now),
                                m_progress.RemainingText(), columns));
}
