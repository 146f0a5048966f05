#include "link/cmdsocket.h"

#include "link/nativesocket.h"
#include "link/socketerror.h"
#include "link/wiretrace.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>

namespace {
// Longest time a wait goes without looking at the cancel flags.
constexpr int kSliceMs = 50;

QString Seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'g', 3) + QStringLiteral(" s");
}

QString LineTooLongText(qint64 maxBytes)
{
    constexpr qint64 mib = 1024 * 1024;
    const QString bound = maxBytes % mib == 0 ? QString::number(maxBytes / mib) + QStringLiteral(" MiB")
                                              : QString::number(maxBytes) + QStringLiteral(" bytes");
    return QStringLiteral("The reply was longer than %1, more than any reply may be.").arg(bound);
}

QString LineTooSlowText(qint64 received, qint64 elapsedMs)
{
    return QStringLiteral("The reply came too slowly: %1 bytes in %2.").arg(received).arg(Seconds(elapsedMs));
}

QString LineSilentText(qint64 received, int idleMs)
{
    return received == 0 ? QStringLiteral("No answer came within %1.").arg(Seconds(idleMs))
                         : QStringLiteral("The reply stopped for %1 before its end.").arg(Seconds(idleMs));
}

// Marks the socket as inside a wait for as long as it lives.
class CWaitScope
{
public:
    explicit CWaitScope(std::atomic<bool>& flag) : m_flag(flag) { m_flag = true; }
    ~CWaitScope() { m_flag = false; }
    CWaitScope(const CWaitScope&) = delete;
    CWaitScope& operator=(const CWaitScope&) = delete;

private:
    std::atomic<bool>& m_flag;
};
} // namespace

CCmdSocket::CCmdSocket(const char* role) : m_role(role) {}

CCmdSocket::~CCmdSocket()
{
    Close();
}

bool CCmdSocket::Connect(const QString& host, quint16 port, int timeoutMs)
{
    Close();
    m_socket = std::make_unique<QTcpSocket>();
    m_shutdown = false;
    m_cancelWait = false;
    m_bCreateFailed = false;

    CWaitScope scope(m_inWait);
    QElapsedTimer timer;
    timer.start();
    const auto fail = [this, &host, port](int code) {
        if (CWireTrace* trace = CWireTrace::Current())
            trace->Connect(m_role, host, port, SocketErrorText(code));
        SetLastSocketError(code);
        Close();
        return false;
    };

    QHostAddress address;
    if (!address.setAddress(host) || address.protocol() != QAbstractSocket::IPv4Protocol) {
        // Only a hand-edited setting names a host; its look-up is the system's own.
        const QHostInfo info = QHostInfo::fromName(host);
        const QList<QHostAddress> addresses = info.addresses();
        const auto ipv4 = std::find_if(addresses.cbegin(), addresses.cend(), [](const QHostAddress& a) {
            return a.protocol() == QAbstractSocket::IPv4Protocol;
        });
        if (ipv4 == addresses.cend())
            return fail(SE_HOST_NOT_FOUND);
        address = *ipv4;
    }
    // The handshake is made on a descriptor of our own and the socket is
    // handed to Qt once connected: Qt gives a handshake up when one of its
    // own waits times out, and has no descriptor to wait on before then.
    int code = SE_NONE;
    const NativeSocket fd = StartNativeConnect(address.toIPv4Address(), port, code, m_bCreateFailed);
    if (fd == NO_NATIVE_SOCKET)
        return fail(code);
    for (;;) {
        if (m_shutdown || m_cancelWait.exchange(false)) {
            CloseNative(fd);
            return fail(SE_INTR);
        }
        const int left = timeoutMs - static_cast<int>(timer.elapsed());
        if (left <= 0) {
            CloseNative(fd);
            return fail(SE_TIMEDOUT);
        }
        const int ended = WaitNativeWritable(fd, std::min(left, kSliceMs), code);
        if (ended == 0) {
            if (m_waitHook)
                m_waitHook();
            continue;
        }
        if (ended < 0 || !NoNativeError(fd, code)) {
            CloseNative(fd);
            return fail(code);
        }
        break;
    }
    // The socket now belongs to Qt, which closes it.
    if (!m_socket->setSocketDescriptor(fd)) {
        CloseNative(fd);
        return fail(SocketErrorCode(m_socket->error()));
    }
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_descriptor = m_socket->socketDescriptor();
    if (CWireTrace* trace = CWireTrace::Current())
        m_nTraceId = trace->Connect(m_role, host, port, QString());
    return true;
}

void CCmdSocket::TraceClosed(const char* how)
{
    if (m_nTraceId == 0)
        return;
    if (CWireTrace* trace = CWireTrace::Current())
        trace->Closed(m_nTraceId, how);
    m_nTraceId = 0;
}

void CCmdSocket::Close()
{
    TraceClosed("closed");
    m_descriptor = -1;
    if (m_socket) {
        m_socket->abort();
        m_socket.reset();
    }
    m_buffer.Clear();
}

bool CCmdSocket::IsOpen() const
{
    return m_socket != nullptr;
}

bool CCmdSocket::Send(const char* data, qint64 size, int idleMs)
{
    if (!m_socket) {
        SetLastSocketError(SE_NOTSOCK);
        return false;
    }
    if (m_shutdown) {
        SetLastSocketError(SE_SHUTDOWN);
        return false;
    }
    // Let the socket notice a close by the peer first, so that a send to a
    // generator that has gone fails here rather than vanishing into the
    // kernel's buffer.
    if (m_socket->bytesAvailable() == 0)
        m_socket->waitForReadyRead(0);
    if (m_socket->state() != QAbstractSocket::ConnectedState) {
        SetLastSocketError(SocketErrorCode(m_socket->error()));
        return false;
    }
    if (size > 0 && m_socket->write(data, size) != size) {
        SetLastSocketError(SocketErrorCode(m_socket->error()));
        return false;
    }
    if (m_nTraceId != 0 && size > 0) {
        if (CWireTrace* trace = CWireTrace::Current())
            trace->Sent(m_nTraceId, data, size);
    }

    // Written with flush() and waited for here, not in Qt's own wait: that
    // one ignores its time for as long as the socket reads as writable
    // without taking a byte, as a socket shut down under Winsock does (its
    // sends fail with WSAESHUTDOWN, which Qt takes for no progress).
    CWaitScope scope(m_inWait);
    QElapsedTimer idle;
    idle.start();
    qint64 pending = m_socket->bytesToWrite();
    for (;;) {
        if (WaitInterrupted(SE_SHUTDOWN))
            return false;
        m_socket->flush();
        if (m_socket->state() != QAbstractSocket::ConnectedState) {
            // A write fails so when the peer reset or aborted the connection,
            // which Qt calls a network error on Windows.
            const QAbstractSocket::SocketError error = m_socket->error();
            SetLastSocketError(error == QAbstractSocket::NetworkError ? SE_CONNRESET
                                                                      : SocketErrorCode(error));
            return false;
        }
        const qint64 now = m_socket->bytesToWrite();
        if (now == 0)
            return true;
        if (now < pending)
            idle.restart();
        pending = now;
        const int left = idleMs - static_cast<int>(idle.elapsed());
        if (left <= 0) {
            SetLastSocketError(SE_TIMEDOUT);
            return false;
        }
        int code = SE_NONE;
        const int writable = WaitNativeWritable(m_descriptor, std::min(left, kSliceMs), code);
        if (writable < 0) {
            SetLastSocketError(code);
            return false;
        }
        if (writable == 0 && m_waitHook)
            m_waitHook();
    }
}

bool CCmdSocket::WaitInterrupted(int shutdownCode)
{
    if (m_shutdown) {
        SetLastSocketError(shutdownCode);
        return true;
    }
    if (m_cancelWait.exchange(false)) {
        SetLastSocketError(SE_INTR);
        return true;
    }
    return false;
}

bool CCmdSocket::Fill(int idleMs)
{
    if (!m_socket) {
        SetLastSocketError(SE_NOTSOCK);
        return false;
    }
    CWaitScope scope(m_inWait);
    QElapsedTimer idle;
    idle.start();
    for (;;) {
        if (WaitInterrupted(SE_INTR))
            return false;
        if (m_socket->bytesAvailable() > 0) {
            const QByteArray received = m_socket->readAll();
            if (m_nTraceId != 0) {
                if (CWireTrace* trace = CWireTrace::Current())
                    trace->Received(m_nTraceId, received.constData(), received.size());
            }
            m_buffer.Append(received);
            return true;
        }
        if (m_socket->state() != QAbstractSocket::ConnectedState) {
            SetLastSocketError(SE_CONNRESET);
            return false;
        }
        const int left = idleMs - static_cast<int>(idle.elapsed());
        if (left <= 0) {
            SetLastSocketError(SE_TIMEDOUT);
            return false;
        }
        if (!m_socket->waitForReadyRead(std::min(left, kSliceMs))) {
            const QAbstractSocket::SocketError error = m_socket->error();
            if (error == QAbstractSocket::RemoteHostClosedError && m_socket->bytesAvailable() > 0)
                continue; // the last bytes came with the close
            if (error != QAbstractSocket::SocketTimeoutError) {
                SetLastSocketError(SocketErrorCode(error));
                return false;
            }
            if (m_waitHook)
                m_waitHook();
        }
    }
}

qint64 CCmdSocket::Unacknowledged() const
{
    const qintptr fd = m_descriptor;
    return fd == -1 ? 0 : NativeUnacknowledged(fd);
}

bool CCmdSocket::WaitAcknowledged(qint64 limit, int idleMs, const std::function<void(qint64)>& shrunk)
{
    if (!m_socket) {
        SetLastSocketError(SE_NOTSOCK);
        return false;
    }
    CWaitScope scope(m_inWait);
    QElapsedTimer idle;
    idle.start();
    qint64 queued = Unacknowledged();
    // Acknowledgements raise no event to wait on: look every few milliseconds.
    constexpr int kLookMs = 5;
    while (queued > limit) {
        if (WaitInterrupted(SE_SHUTDOWN))
            return false;
        if (idle.elapsed() >= idleMs) {
            SetLastSocketError(SE_TIMEDOUT);
            return false;
        }
        // A reset empties the queue too: that is no acknowledgement.
        if (int code = SE_NONE; !NoNativeError(m_descriptor, code)) {
            SetLastSocketError(code == SE_NONE ? SE_CONNRESET : code);
            return false;
        }
        QThread::msleep(kLookMs);
        const qint64 now = Unacknowledged();
        if (now < queued) {
            idle.restart();
            if (shrunk)
                shrunk(now);
        }
        queued = now;
    }
    if (int code = SE_NONE; m_descriptor != -1 && !NoNativeError(m_descriptor, code)) {
        SetLastSocketError(code == SE_NONE ? SE_CONNRESET : code);
        return false;
    }
    return true;
}

bool CCmdSocket::ReadLine(QByteArray& line, int idleMs)
{
    line.clear();
    m_strLineFailure.clear();
    QElapsedTimer timer;
    timer.start();
    qint64 received = 0;
    for (;;) {
        const CLineBuffer::LineStatus status = m_buffer.TakeLine(line, received, m_nLineMaxBytes);
        if (status == CLineBuffer::LineStatus::Complete)
            return true;
        if (status == CLineBuffer::LineStatus::TooLong) {
            line.clear();
            m_strLineFailure = LineTooLongText(m_nLineMaxBytes);
            SetLastSocketError(SE_CONNABORTED);
            return false;
        }
        // A peer that keeps a line alive byte by byte must not hold the caller
        // for ever: the whole line has a bound that grows with what arrived,
        // up to a ceiling that no rate passes.
        const qint64 allowed =
            std::min(m_nLineBaseMs + received * 1000 / REPLY_LINE_MIN_RATE, m_nLineCeilingMs);
        const qint64 left = allowed - timer.elapsed();
        if (left <= 0) {
            m_strLineFailure = LineTooSlowText(received, timer.elapsed());
            SetLastSocketError(SE_CONNABORTED);
            return false;
        }
        if (!Fill(static_cast<int>(std::min<qint64>(idleMs, left)))) {
            if (LastSocketError() == SE_TIMEDOUT) {
                if (left < idleMs) {
                    // Silence up to the line's own bound is the bound's failure.
                    m_strLineFailure = LineTooSlowText(received, timer.elapsed());
                    SetLastSocketError(SE_CONNABORTED);
                } else {
                    m_strLineFailure = LineSilentText(received, idleMs);
                }
            }
            return false;
        }
    }
}

qint64 CCmdSocket::Receive(char* data, qint64 max, int idleMs)
{
    if (max <= 0)
        return 0;
    if (m_buffer.Buffered() == 0 && !Fill(idleMs))
        return LastSocketError() == SE_CONNRESET ? 0 : -1;
    return m_buffer.Take(data, max);
}

bool CCmdSocket::ReceiveExactly(char* data, qint64 size, int idleMs)
{
    qint64 done = 0;
    while (done < size) {
        const qint64 n = Receive(data + done, size - done, idleMs);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

void CCmdSocket::CancelWait()
{
    if (m_inWait)
        m_cancelWait = true;
}

void CCmdSocket::Shutdown()
{
    m_shutdown = true;
    // The trace is not told here: this may run on another thread, and the
    // close that follows on the owner's thread ends the connection there.
    // The descriptor, not the QTcpSocket: this may run on another thread.
    const qintptr fd = m_descriptor;
    if (fd != -1)
        ShutdownNative(fd);
}
