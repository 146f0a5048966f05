#include "link/wiretrace.h"

#include "link/printable.h"

using namespace Qt::StringLiterals;

std::atomic<CWireTrace*> CWireTrace::s_current{nullptr};

CWireTrace::CWireTrace(Writer writer) : m_writer(std::move(writer))
{
    m_clock.start();
}

CWireTrace::~CWireTrace()
{
    // A trace removed while still installed would be written to after its end.
    CWireTrace* self = this;
    s_current.compare_exchange_strong(self, nullptr);
}

void CWireTrace::Write(const QString& label, char direction, const QString& text)
{
    const double ms = double(m_clock.nsecsElapsed()) / 1e6;
    m_writer(QString::asprintf("%10.1f ms  %-12s %c ", ms, qPrintable(label), direction) + text);
}

int CWireTrace::Connect(const char* role, const QString& host, quint16 port, const QString& error)
{
    std::lock_guard lock(m_mutex);
    const int id = m_nextId++;
    const QString label = QLatin1StringView(role) + u'#' + QString::number(id);
    const QString target = u"%1:%2"_s.arg(PrintableText(host)).arg(port);
    if (!error.isEmpty()) {
        Write(label, '-', u"connect to "_s + target + u" failed: "_s + error);
        return 0;
    }
    m_connections[id].label = label;
    Write(label, '-', u"connected to "_s + target);
    return id;
}

void CWireTrace::Sent(int connection, const char* data, qint64 size)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_connections.find(connection);
    if (it != m_connections.end())
        Feed(it->second, it->second.out, '>', data, size);
}

void CWireTrace::Received(int connection, const char* data, qint64 size)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_connections.find(connection);
    if (it != m_connections.end())
        Feed(it->second, it->second.in, '<', data, size);
}

void CWireTrace::Closed(int connection, const char* how)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_connections.find(connection);
    if (it == m_connections.end())
        return;
    Connection& c = it->second;
    // What was under way when the connection ended is shown as it stood.
    for (const auto& [stream, direction] : {std::pair{&c.out, '>'}, std::pair{&c.in, '<'}}) {
        if (stream->phase == Stream::Phase::Data)
            Write(c.label, direction,
                  u"[%1 of %2 data bytes, then the connection ended]"_s.arg(stream->seen)
                      .arg(stream->announced));
        else if (!stream->shown.isEmpty() || stream->hidden > 0 || stream->phase != Stream::Phase::Text)
            EmitLine(c, *stream, direction, u" [no line end]"_s);
    }
    Write(c.label, '-', QLatin1StringView(how));
    m_connections.erase(it);
}

void CWireTrace::EmitLine(const Connection& connection, Stream& stream, char direction, const QString& tail)
{
    QString text = PrintableText(QString::fromLatin1(stream.shown));
    if (stream.hidden > 0)
        text += u"... (%1 more bytes)"_s.arg(stream.hidden);
    if (text.isEmpty() && tail.isEmpty())
        text = u"(empty line)"_s;
    Write(connection.label, direction, text + tail);
    stream.shown.clear();
    stream.hidden = 0;
    stream.inQuote = false;
}

void CWireTrace::Feed(Connection& connection, Stream& stream, char direction, const char* data, qint64 size)
{
    const auto keep = [&stream](char c) {
        if (stream.shown.size() < MAX_SHOWN)
            stream.shown.append(c);
        else
            ++stream.hidden;
    };
    qint64 i = 0;
    while (i < size) {
        switch (stream.phase) {
        case Stream::Phase::Text: {
            const char c = data[i++];
            if (c == '\n') {
                EmitLine(connection, stream, direction);
            } else if (c == '#' && !stream.inQuote) {
                keep(c);
                stream.phase = Stream::Phase::Digits;
            } else if (c != '\r') {
                if (c == '"')
                    stream.inQuote = !stream.inQuote;
                keep(c);
            }
            break;
        }
        case Stream::Phase::Digits: {
            const char c = data[i];
            // Not "#<1-9>": an ordinary character of the line.
            if (c < '1' || c > '9') {
                stream.phase = Stream::Phase::Text;
                break;
            }
            keep(c);
            ++i;
            stream.digits = c - '0';
            stream.length.clear();
            stream.phase = Stream::Phase::Length;
            break;
        }
        case Stream::Phase::Length: {
            const char c = data[i];
            if (c < '0' || c > '9') {
                stream.phase = Stream::Phase::Text;
                break;
            }
            keep(c);
            ++i;
            stream.length.append(c);
            if (stream.length.size() < stream.digits)
                break;
            stream.announced = stream.length.toLongLong();
            stream.seen = 0;
            EmitLine(connection, stream, direction, u"  [block of %1 data bytes]"_s.arg(stream.announced));
            stream.phase = stream.announced > 0 ? Stream::Phase::Data : Stream::Phase::Text;
            break;
        }
        case Stream::Phase::Data: {
            const qint64 n = std::min(size - i, stream.announced - stream.seen);
            stream.seen += n;
            i += n;
            if (stream.seen == stream.announced) {
                Write(connection.label, direction, u"[%1 data bytes]"_s.arg(stream.seen));
                stream.phase = Stream::Phase::Text;
            }
            break;
        }
        }
    }
}
