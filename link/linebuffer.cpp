#include "link/linebuffer.h"

#include <algorithm>

namespace {
// Taken bytes are dropped only past this many (or when all are taken), so
// that taking a long reply piece by piece stays linear.
constexpr qsizetype kCompactAfter = 65536;
} // namespace

void CLineBuffer::Append(const QByteArray& bytes)
{
    Compact();
    if (m_buffer.isEmpty())
        m_buffer = bytes; // shared, not copied
    else
        m_buffer.append(bytes);
}

void CLineBuffer::Clear()
{
    m_buffer.clear();
    m_pos = 0;
}

void CLineBuffer::Compact()
{
    if (m_pos > 0 && (m_pos == m_buffer.size() || m_pos > kCompactAfter)) {
        m_buffer.remove(0, m_pos);
        m_pos = 0;
    }
}

CLineBuffer::LineStatus CLineBuffer::TakeLine(QByteArray& line, qint64& received, qint64 maxBytes)
{
    const qsizetype lf = m_buffer.indexOf('\n', m_pos);
    const qsizetype end = lf < 0 ? m_buffer.size() : lf;
    received += end - m_pos;
    // A line longer than any honest reply is a broken peer, not a reply.
    if (received > maxBytes) {
        m_pos = end;
        return LineStatus::TooLong;
    }
    // Taken a run at a time between the bytes that are dropped.
    const char* p = m_buffer.constData();
    qsizetype run = m_pos;
    for (qsizetype i = m_pos; i < end; ++i) {
        if (p[i] == '\r' || p[i] == '\0') {
            line.append(p + run, i - run);
            run = i + 1;
        }
    }
    line.append(p + run, end - run);
    if (lf < 0) {
        m_pos = m_buffer.size();
        return LineStatus::Partial;
    }
    m_pos = lf + 1;
    return LineStatus::Complete;
}

qint64 CLineBuffer::Take(char* data, qint64 max)
{
    const qint64 n = std::clamp<qint64>(max, 0, Buffered());
    std::copy_n(m_buffer.constData() + m_pos, n, data);
    m_pos += qsizetype(n);
    return n;
}
