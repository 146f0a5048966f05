#include "cmdsocket.h"

#include "socketerror.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>

#include <algorithm>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

namespace {
// Longest time a wait goes without looking at the cancel flags.
constexpr int kSliceMs = 50;

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

CCmdSocket::CCmdSocket() = default;

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

    QHostAddress address;
    if (address.setAddress(host) && address.protocol() == QAbstractSocket::IPv4Protocol)
        m_socket->connectToHost(address, port);
    else
        m_socket->connectToHost(host, port);

    CWaitScope scope(m_inWait);
    QElapsedTimer timer;
    timer.start();
    while (m_socket->state() != QAbstractSocket::ConnectedState) {
        if (m_shutdown || m_cancelWait.exchange(false)) {
            SetLastSocketError(SE_INTR);
            Close();
            return false;
        }
        const int left = timeoutMs - static_cast<int>(timer.elapsed());
        if (left <= 0) {
            SetLastSocketError(SE_TIMEDOUT);
            Close();
            return false;
        }
        if (!m_socket->waitForConnected(std::min(left, kSliceMs)) &&
            m_socket->error() != QAbstractSocket::SocketTimeoutError) {
            SetLastSocketError(SocketErrorCode(m_socket->error()));
            Close();
            return false;
        }
    }
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_descriptor = m_socket->socketDescriptor();
    return true;
}

void CCmdSocket::Close()
{
    m_descriptor = -1;
    if (m_socket) {
        m_socket->abort();
        m_socket.reset();
    }
    m_buffer.clear();
    m_bufferPos = 0;
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

    CWaitScope scope(m_inWait);
    QElapsedTimer idle;
    idle.start();
    qint64 pending = m_socket->bytesToWrite();
    while (pending > 0) {
        if (m_shutdown) {
            SetLastSocketError(SE_SHUTDOWN);
            return false;
        }
        if (m_cancelWait.exchange(false)) {
            SetLastSocketError(SE_INTR);
            return false;
        }
        const int left = idleMs - static_cast<int>(idle.elapsed());
        if (left <= 0) {
            SetLastSocketError(SE_TIMEDOUT);
            return false;
        }
        if (!m_socket->waitForBytesWritten(std::min(left, kSliceMs)) &&
            m_socket->error() != QAbstractSocket::SocketTimeoutError) {
            SetLastSocketError(SocketErrorCode(m_socket->error()));
            return false;
        }
        const qint64 now = m_socket->bytesToWrite();
        if (now < pending)
            idle.restart();
        pending = now;
    }
    return true;
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
        if (m_shutdown) {
            SetLastSocketError(SE_INTR);
            return false;
        }
        if (m_cancelWait.exchange(false)) {
            SetLastSocketError(SE_INTR);
            return false;
        }
        if (m_socket->bytesAvailable() > 0) {
            Compact();
            m_buffer.append(m_socket->readAll());
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
        }
    }
}

void CCmdSocket::Compact()
{
    // Drop consumed bytes only now and then, so that reading a long reply
    // piece by piece stays linear.
    if (m_bufferPos > 0 && (m_bufferPos == m_buffer.size() || m_bufferPos > 65536)) {
        m_buffer.remove(0, m_bufferPos);
        m_bufferPos = 0;
    }
}

bool CCmdSocket::ReadLine(QByteArray& line, int idleMs)
{
    line.clear();
    for (;;) {
        const qsizetype lf = m_buffer.indexOf('\n', m_bufferPos);
        const qsizetype end = lf < 0 ? m_buffer.size() : lf;
        const char* p = m_buffer.constData();
        for (qsizetype i = m_bufferPos; i < end; ++i) {
            if (p[i] != '\r' && p[i] != '\0')
                line.append(p[i]);
        }
        if (lf >= 0) {
            m_bufferPos = lf + 1;
            return true;
        }
        m_bufferPos = m_buffer.size();
        if (!Fill(idleMs))
            return false;
    }
}

qint64 CCmdSocket::Receive(char* data, qint64 max, int idleMs)
{
    if (max <= 0)
        return 0;
    if (Buffered() == 0 && !Fill(idleMs))
        return LastSocketError() == SE_CONNRESET ? 0 : -1;
    const qint64 n = std::min<qint64>(max, Buffered());
    std::copy_n(m_buffer.constData() + m_bufferPos, n, data);
    m_bufferPos += n;
    return n;
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
    const qintptr fd = m_descriptor;
    if (fd == -1)
        return;
        // The descriptor, not the QTcpSocket: this may run on another thread.
#ifdef Q_OS_WIN
    ::shutdown(static_cast<SOCKET>(fd), SD_BOTH);
#else
    ::shutdown(static_cast<int>(fd), SHUT_RDWR);
#endif
}
