#pragma once

#include <QByteArray>

// The bytes received on a connection and not yet taken, read as reply lines
// ended by LF or as raw bytes. No sockets and no clocks: the command socket
// fills it and keeps the time bounds.
class CLineBuffer final
{
public:
    enum class LineStatus
    {
        Complete, // the line's LF was taken
        Partial,  // every byte held was taken; the line goes on
        TooLong,  // the line passed its bound; the bytes before it were taken
    };

    void Append(const QByteArray& bytes);
    void Clear();
    qsizetype Buffered() const { return m_buffer.size() - m_pos; }
    // Bytes held in memory, taken ones not yet dropped included.
    qsizetype HeldBytes() const { return m_buffer.size(); }

    // Appends the bytes up to the next LF to `line` without CR and NUL bytes;
    // the LF is taken, not kept. `received` counts the line's bytes (CR and
    // NUL included) over the calls that read it; more than `maxBytes` is TooLong.
    LineStatus TakeLine(QByteArray& line, qint64& received, qint64 maxBytes);
    // Moves up to `max` held bytes to `data`; returns the count.
    qint64 Take(char* data, qint64 max);

private:
    void Compact();

    QByteArray m_buffer;
    qsizetype m_pos = 0;
};
