// CVQComm: the generator's error queue. Changes to the generator's file system
// are not answered; a refusal shows only as an entry of this queue, so every
// change is followed by a look at it.

#include "link/vqcomm.h"

#include "link/stringtable.h"

#include <algorithm>
#include <climits>

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
    if (!m_bQueueUnread)
        return;
    RetryLostRead([this] {
        if (!m_connected)
            return 0;
        QStringList entries;
        const QueueEnd end = ReadErrorQueue(entries);
        DropCancelConsequences(entries);
        KeepErrors(entries, u"queued before a change of the window, not shown"_s);
        return end == QueueEnd::NoReply ? 0 : 1;
    });
}

CVQComm::QueueEnd CVQComm::ReadErrorsAfterBatch(QStringList& entries)
{
    const QueueEnd end = ReadErrorQueue(entries);
    DropCancelConsequences(entries);
    KeepErrors(entries, u"shown after a copy"_s);
    return end;
}

void CVQComm::DropCancelConsequences(QStringList& entries)
{
    // One "block cut short" per cancelled file, and nothing else: any other
    // refusal, or more of these than Cancel explains, is the generator's to tell.
    constexpr int kInvalidBlockData = -161;
    QStringList dropped;
    for (qsizetype i = 0; i < entries.size() && m_nCutBlocks > 0;) {
        if (QueueCode(entries.at(i)) == kInvalidBlockData) {
            dropped.append(entries.takeAt(i));
            --m_nCutBlocks;
        } else {
            ++i;
        }
    }
    KeepErrors(dropped, u"a file cut short by Cancel, not shown"_s);
}

void CVQComm::KeepErrors(const QStringList& entries, const QString& note)
{
    const QTime now = QTime::currentTime();
    for (const QString& entry : entries)
        m_takenErrors.append({entry, note, now});
    // The newest count most; a generator cannot queue more than this between
    // two looks anyway.
    if (m_takenErrors.size() > MAX_KEPT_ERRORS)
        m_takenErrors.erase(m_takenErrors.begin(), m_takenErrors.end() - MAX_KEPT_ERRORS);
}

bool CVQComm::CheckRefusal(const QString& subject, const QString& detail)
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
    KeepErrors(entries, (m_bShowRefusals ? u"shown for \""_s : u"refusal of \""_s) + subject + u'"');
    if (m_bShowRefusals) {
        QString text = PathMessage(texts.join(u'\n'), subject);
        if (!detail.isEmpty())
            text += u'\n' + detail;
        ShowError(text);
    }
    return false;
}

bool CVQComm::SendChange(const QString& line, const QString& subject, const QString& detail)
{
    m_strLastRefusal.clear();
    if (line.isEmpty())
        return false;
    // Entries queued before (since connecting, by a batch, by a folder change
    // of a listing) are kept for the error list, not blamed on this change.
    DrainEarlierErrors();
    if (!SendCommand(line))
        return false;
    return CheckRefusal(subject, detail);
}
