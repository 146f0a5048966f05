#include "link/transferprogress.h"

#include <QDateTime>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace {
constexpr int kStep = 2; // percent per step of the bar
constexpr int kEstimateEvery = 16;
constexpr qint64 kFirstEstimateAfter = 5; // seconds
} // namespace

CTransferProgress::CTransferProgress(Clock clock) : m_clock(std::move(clock))
{
    m_startTime = Now();
}

qint64 CTransferProgress::Now() const
{
    return m_clock ? m_clock() : QDateTime::currentSecsSinceEpoch();
}

void CTransferProgress::StartFile(const QString& name, quint64 total, const QString& caption,
                                  int enableCancel)
{
    m_strFileName = name;
    m_strDirection = caption;
    SetTotal(total);
    m_totalBytes = total;
    m_position = 0;
    m_cancelEnabled = enableCancel;
    m_startTime = Now();
    m_strRemaining.clear();
}

void CTransferProgress::SetTotal(quint64 total)
{
    m_stepBytes = total / 100 * kStep + total % 100 * kStep / 100; // total * 2 / 100 without overflow
    m_stepBase = 0;
}

bool CTransferProgress::UpdateProgress(quint64 done)
{
    bool changed = false;
    // One step per call at most; later calls catch up.
    if (done >= m_stepBase + m_stepBytes && m_position < 100) {
        m_position = std::min(100, m_position + kStep);
        m_stepBase += m_stepBytes;
        changed = true;
    }
    if (m_updateCount < kEstimateEvery - 1) {
        ++m_updateCount;
        return changed;
    }
    m_updateCount = 0;

    const qint64 elapsed = Now() - m_startTime;
    if (elapsed < kFirstEstimateAfter || done == 0 || done > m_totalBytes)
        return changed;
    const quint64 left = m_totalBytes - done;
    if (left > std::numeric_limits<quint64>::max() / static_cast<quint64>(elapsed))
        return changed;
    const quint64 remaining = left * static_cast<quint64>(elapsed) / done;
    if (remaining > static_cast<quint64>(std::numeric_limits<qint32>::max()))
        return changed; // beyond what the text can say
    const QString text = RemainingTimeText(static_cast<qint64>(remaining));
    if (text != m_strRemaining) {
        m_strRemaining = text;
        changed = true;
    }
    return changed;
}

void CTransferProgress::SetComplete()
{
    m_position = 100;
}

QString CTransferProgress::RemainingTimeText(qint64 seconds)
{
    const qint64 hours = seconds / 3600;
    if (hours > 0)
        return u"%1 Hours Remaining"_s.arg(hours + 1);
    const qint64 minutes = seconds / 60;
    if (minutes == 59)
        return u"1 Hour Remaining"_s;
    if (minutes > 0)
        return u"%1 Minutes Remaining"_s.arg(minutes + 1);
    if (seconds == 59)
        return u"1 Minute Remaining"_s;
    if (seconds == 0)
        return u"1 Second Remaining"_s;
    return u"%1 Seconds Remaining"_s.arg(seconds + 1);
}
