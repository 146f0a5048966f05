#pragma once

#include <QElapsedTimer>
#include <QString>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>

// A record of what travels on every connection of the link: each line and
// each block header sent or received, with the time since the trace began and
// the connection it belongs to; the data bytes of a block are counted, never
// shown. Off unless installed, and then the sockets only test one pointer.
// Thread-safe: the transfer worker writes too.
class CWireTrace final
{
public:
    // Gets each finished trace line (without a line end), under the trace's lock.
    using Writer = std::function<void(const QString& line)>;

    explicit CWireTrace(Writer writer);
    ~CWireTrace();
    CWireTrace(const CWireTrace&) = delete;
    CWireTrace& operator=(const CWireTrace&) = delete;

    // The trace the sockets write to, null when off. Replace or remove it
    // only while no connection is in use.
    static void Install(CWireTrace* trace) { s_current.store(trace, std::memory_order_release); }
    static CWireTrace* Current() { return s_current.load(std::memory_order_acquire); }

    // A connection attempt of `role` ("cmd", "transfer"); returns its number
    // for the calls below. `error` is empty when it connected.
    int Connect(const char* role, const QString& host, quint16 port, const QString& error);
    void Sent(int connection, const char* data, qint64 size);
    void Received(int connection, const char* data, qint64 size);
    // The connection ends; `how` says in what way ("closed", "shut down").
    void Closed(int connection, const char* how);

    // Longest line text shown; the rest is counted.
    static constexpr qsizetype MAX_SHOWN = 300;

private:
    // One direction of one connection, parsed as lines and definite-length blocks.
    struct Stream
    {
        enum class Phase
        {
            Text,
            Digits,
            Length,
            Data,
        };
        Phase phase = Phase::Text;
        QByteArray shown;
        qint64 hidden = 0; // bytes of the line beyond MAX_SHOWN
        bool inQuote = false;
        int digits = 0;
        QByteArray length;
        qint64 announced = 0;
        qint64 seen = 0;
    };
    struct Connection
    {
        QString label;
        Stream out;
        Stream in;
    };

    void Feed(Connection& connection, Stream& stream, char direction, const char* data, qint64 size);
    void EmitLine(const Connection& connection, Stream& stream, char direction,
                  const QString& tail = QString());
    void Write(const QString& label, char direction, const QString& text);

    static std::atomic<CWireTrace*> s_current;

    std::mutex m_mutex;
    Writer m_writer;
    QElapsedTimer m_clock;
    int m_nextId = 1;
    std::map<int, Connection> m_connections;
};
