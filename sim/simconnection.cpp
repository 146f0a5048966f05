#include "simconnection.h"

#include "simfilesystem.h"
#include "simstate.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace vqsim {

SimConnection::SimConnection(QTcpSocket* socket, SimState& state, QObject* parent)
    : QObject(parent), m_socket(socket), m_state(state), m_id(state.NewConnection()), m_session(state, *this)
{
    m_socket->setParent(this);
    // A bounded read buffer lets a stalled transfer or a client that does not
    // read its replies push back on the sender.
    m_socket->setReadBufferSize(kChunk);
    connect(m_socket, &QTcpSocket::readyRead, this, &SimConnection::Serve);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &SimConnection::OnBytesWritten);
    connect(m_socket, &QTcpSocket::disconnected, this, &SimConnection::Finish);
    if (m_socket->bytesAvailable() > 0)
        Serve();
}

SimConnection::~SimConnection()
{
    if (!m_finished) {
        // Dropped by a shutdown: the session's block is abandoned as a cut one.
        m_session.End();
        m_state.ConnectionClosed(m_id);
    }
}

void SimConnection::Serve()
{
    while (!m_closed) {
        m_session.Process();
        if (m_closed || !m_session.WantsInput() || m_socket->bytesAvailable() <= 0)
            return;
        const QByteArray bytes = m_socket->read(SimSession::kMaxInput);
        if (bytes.isEmpty())
            return;
        m_state.Received(m_id, bytes);
        m_session.Feed(bytes);
    }
}

void SimConnection::OnBytesWritten()
{
    PumpBlock();
    if (!m_busy)
        Serve();
}

void SimConnection::Finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_closed = true;
    m_session.End();
    m_state.ConnectionClosed(m_id);
    deleteLater();
}

void SimConnection::Abort()
{
    m_closed = true;
    m_socket->abort();
    Finish();
}

bool SimConnection::IsBusy() const
{
    return m_busy || m_closed || m_socket->bytesToWrite() > kMaxUnsent;
}

void SimConnection::Resume()
{
    m_busy = false;
    QMetaObject::invokeMethod(this, &SimConnection::Serve, Qt::QueuedConnection);
}

void SimConnection::SendLine(const QByteArray& line)
{
    const SimFaults faults = m_state.Faults();
    if (faults.closeMidReply) {
        const QByteArray bytes = line + '\n';
        Deliver(bytes, bytes.size() / 2);
    } else {
        Deliver(faults.neverEndReply ? line : line + '\n', -1);
    }
}

void SimConnection::SendScripted(const QByteArray& bytes)
{
    Deliver(bytes, -1);
}

// Writes `bytes` after the reply delay; with closeAfter >= 0 only that many,
// then the connection is closed.
void SimConnection::Deliver(const QByteArray& bytes, qsizetype closeAfter)
{
    const int delay = m_state.Faults().replyDelayMs;
    auto write = [this, bytes, closeAfter] {
        if (m_closed)
            return;
        if (closeAfter >= 0) {
            m_socket->write(bytes.left(closeAfter));
            m_closed = true;
            m_socket->disconnectFromHost();
            return;
        }
        m_socket->write(bytes);
    };
    if (delay <= 0) {
        write();
        return;
    }
    m_busy = true;
    QTimer::singleShot(delay, this, [this, write] {
        write();
        Resume();
    });
}

void SimConnection::SendFile(const QStringList& path, qint64 size, quint64 stamp)
{
    const SimFaults faults = m_state.Faults();
    m_outPath = path;
    m_outStamp = stamp;
    m_outFileSize = size;
    const qint64 total = size + std::max<qint64>(faults.extraDataBytes, 0);
    const QByteArray length = QByteArray::number(total);
    const QByteArray header = faults.malformedBlockHeader ? QByteArrayLiteral("#X") + length
                                                          : '#' + QByteArray::number(length.size()) + length;
    qint64 end = total;
    bool close = false;
    if (faults.closeAfterDataBytes >= 0 && faults.closeAfterDataBytes < end) {
        end = faults.closeAfterDataBytes;
        close = true;
    }
    m_outStall = false;
    if (faults.stallTransfer && !close) {
        end = std::min<qint64>(kChunk, total / 2);
        m_outStall = true;
    }
    m_busy = true;
    if (faults.replyDelayMs <= 0) {
        StartBlock(header, end, close);
        return;
    }
    QTimer::singleShot(faults.replyDelayMs, this,
                       [this, header, end, close] { StartBlock(header, end, close); });
}

void SimConnection::StartBlock(const QByteArray& header, qint64 end, bool close)
{
    if (m_closed)
        return;
    m_outPos = 0;
    m_outEnd = end;
    m_outClose = close;
    m_outActive = true;
    m_socket->write(header);
    PumpBlock();
}

// Feeds the block a chunk at a time, so a large file never sits in the
// socket's buffer, and faults can hit it in the middle.
void SimConnection::PumpBlock()
{
    if (!m_outActive || m_closed)
        return;
    while (m_outPos < m_outEnd && m_socket->bytesToWrite() < kChunk) {
        const qsizetype n = qsizetype(std::min<qint64>(kChunk, m_outEnd - m_outPos));
        QByteArray chunk;
        if (m_outPos < m_outFileSize) {
            const int error = m_state.WithFileSystem(
                [&](SimFileSystem& fs) { return fs.ReadChunk(m_outPath, m_outStamp, m_outPos, n, &chunk); });
            if (error) {
                // The file changed under the transfer: the reader must not take a mix.
                m_outActive = false;
                Abort();
                return;
            }
        } else {
            chunk = QByteArray(n, 'X');
        }
        if (chunk.size() < n && m_outPos + chunk.size() >= m_outFileSize)
            chunk.append(QByteArray(n - chunk.size(), 'X')); // a fault's extra bytes after the file's
        m_socket->write(chunk);
        m_outPos += chunk.size();
    }
    if (m_outPos < m_outEnd)
        return;
    m_outActive = false;
    m_outPath.clear();
    if (m_outClose) {
        m_closed = true;
        m_socket->disconnectFromHost();
    } else if (!m_outStall) {
        m_socket->write("\n");
        Resume();
    }
}

} // namespace vqsim
