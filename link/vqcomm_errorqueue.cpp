// CVQComm: the generator's error queue. Changes to the generator's file system
// are not answered; a refusal shows only as an entry of this queue, so every
// change is followed by a look at it.

#include "link/vqcomm.h"

#include "link/stringtable.h"

#include <algorithm>
#include <climits>
#include <utility>

using namespace Qt::StringLiterals;

int CVQComm::QueueCode(QStringView line, bool* numeric)
{
    // As the C library reads an integer: blanks, a sign, digits; no digits read as 0.
    qsizetype pos = 0;
    while (pos < line.size() && (line[pos] == u' ' || line[pos] == u'\t'))
        ++pos;
    bool negative = false;
    if (pos < line.size() && (line[pos] == u'+' || line[pos] == u'-')) {
        negative = line[pos] == u'-';
        ++pos;
    }
    qint64 value = 0;
    const qsizetype digits = pos;
    while (pos < line.size() && line[pos] >= u'0' && line[pos] <= u'9') {
        value = std::min<qint64>(value * 10 + (line[pos].unicode() - u'0'), 1LL << 31);
        ++pos;
    }
    if (numeric)
        *numeric = pos > digits;
    return static_cast<int>(std::clamp<qint64>(negative ? -value : value, INT_MIN, INT_MAX));
}

QString CVQComm::QueueText(const QString& line)
{
    // code,"text": the text without its quotes, else the whole line.
    const qsizetype open = line.indexOf(u'"');
    const qsizetype close = open < 0 ? -1 : line.indexOf(u'"', open + 1);
    if (close > open + 1)
        return line.mid(open + 1, close - open - 1);
    return line;
}

CVQComm::QueueEnd CVQComm::ReadErrorQueue(QStringList& entries, QString* last)
{
    for (int i = 0; i < MAX_QUEUE_READS; ++i) {
        if (!SendRaw(ERROR_QUEUE_QUERY_LINE)) {
            if (last)
                last->clear();
            return QueueEnd::NoReply;
        }
        const QString line = ReadReply();
        bool numeric = false;
        const int code = QueueCode(line, &numeric);
        if (line.isEmpty() || code == 0) {
            if (last)
                *last = line;
            if (line.isEmpty())
                return QueueEnd::NoReply;
            // The queue is known to be empty from here on.
            m_bQueueUnread = false;
            return numeric ? QueueEnd::Clear : QueueEnd::Unreadable;
        }
        entries.append(line);
    }
    if (last)
        last->clear();
    return QueueEnd::TooLong;
}

void CVQComm::DrainEarlierErrors()
{
    if (!m_bQueueUnread || !m_connected)
        return;
    QStringList entries;
    ReadErrorQueue(entries);
    KeepErrors(entries);
}

void CVQComm::KeepErrors(const QStringList& entries)
{
    m_keptErrors.append(entries);
    // The newest count most; a generator cannot queue more than this between
    // two looks anyway.
    if (m_keptErrors.size() > MAX_KEPT_ERRORS)
        m_keptErrors.erase(m_keptErrors.begin(), m_keptErrors.end() - MAX_KEPT_ERRORS);
}

QStringList CVQComm::TakeKeptErrors()
{
    return std::exchange(m_keptErrors, QStringList());
}

bool CVQComm::CheckRefusal(const QString& subject)
{
    QStringList entries;
    const QueueEnd end = ReadErrorQueue(entries);
    if (entries.isEmpty()) {
        // Without an answer nothing says the change was made: a failed
        // receive has been reported already.
        return end != QueueEnd::NoReply;
    }
    QStringList texts;
    for (const QString& entry : std::as_const(entries))
        texts.append(QueueText(entry));
    m_strLastRefusal = entries.join(u'\n');
    if (m_bShowRefusals)
        ShowError(PathMessage(texts.join(u'\n'), subject));
    return false;
}

bool CVQComm::SendChange(const QString& line, const QString& subject)
{
    m_strLastRefusal.clear();
    if (line.isEmpty())
        return false;
    // Entries queued before (since connecting, by a batch, by a folder change
    // of a listing) are kept for the error list, not blamed on this change.
    DrainEarlierErrors();
    if (!SendCommand(line))
        return false;
    return CheckRefusal(subject);
}
