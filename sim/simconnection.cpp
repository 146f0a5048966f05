#include "sim/simconnection.h"

#include "sim/simfilesystem.h"
#include "sim/simstate.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <limits>

namespace {

std::atomic<quint64> g_nActivity{0}; // every server's connections; each runs on a thread of its own

} // namespace

qint64 BlockTimeLeftMs(const CSimBlockLimits& limits, qint64 elapsedMs, qint64 silentMs, qint64 received)
{
    const qint64 idleLeft = limits.m_nIdleMs - silentMs;
    if (limits.m_nMinRate <= 0)
        return idleLeft;
    // received >= (elapsed - idle) x rate, as long as the block lasts.
    const qint64 rateLeft = limits.m_nIdleMs + received / limits.m_nMinRate * 1000 +
                            received % limits.m_nMinRate * 1000 / limits.m_nMinRate - elapsedMs;
    return std::min(idleLeft, rateLeft);
}

CSimConnection::CSimConnection(QTcpSocket* socket, CSimState& state, const CSimBlockLimits& blockLimits,
                               QObject* parent)
    : QObject(parent), m_pSocket(socket), m_state(state), m_nId(state.NewConnection()),
      m_session(state, *this), m_blockLimits(blockLimits), m_pBlockTimer(new QTimer(this))
{
    Touch();
    m_pBlockTimer->setSingleShot(true);
    m_pBlockTimer->setTimerType(Qt::PreciseTimer);
    connect(m_pBlockTimer, &QTimer::timeout, this, &CSimConnection::OnBlockTimer);
    m_pSocket->setParent(this);
    // A bounded read buffer lets a stalled transfer or a client that does not
    // read its replies push back on the sender.
    m_pSocket->setReadBufferSize(CHUNK);
    connect(m_pSocket, &QTcpSocket::readyRead, this, &CSimConnection::Serve);
    connect(m_pSocket, &QTcpSocket::bytesWritten, this, &CSimConnection::OnBytesWritten);
    connect(m_pSocket, &QTcpSocket::disconnected, this, &CSimConnection::Finish);
    if (m_pSocket->bytesAvailable() > 0)
        Serve();
}

CSimConnection::~CSimConnection()
{
    if (!m_bFinished) {
        // Dropped by a shutdown: the session's block is abandoned as a cut one.
        m_session.End();
        m_state.ConnectionClosed(m_nId);
    }
}

void CSimConnection::Serve()
{
    bool received = false;
    while (!m_bClosed) {
        m_session.Process();
        if (m_bClosed || !m_session.WantsInput() || m_pSocket->bytesAvailable() <= 0)
            break;
        const QByteArray bytes = m_pSocket->read(CSimSession::MAX_INPUT_BYTES);
        if (bytes.isEmpty())
            break;
        received = true;
        m_state.Received(m_nId, bytes);
        m_session.Feed(bytes);
    }
    if (received)
        Touch();
    WatchBlock(received);
}

void CSimConnection::Touch()
{
    m_nLastActive = ++g_nActivity;
}

void CSimConnection::WatchBlock(bool received)
{
    if (m_bClosed || !m_session.InBlock() || m_session.IsStopped()) {
        m_pBlockTimer->stop();
        return;
    }
    if (m_nTimedBlock != m_session.BlocksBegun()) {
        m_nTimedBlock = m_session.BlocksBegun();
        m_blockClock.start();
        m_blockSilence.start();
    } else if (received) {
        m_blockSilence.restart();
    }
    OnBlockTimer();
}

void CSimConnection::OnBlockTimer()
{
    if (m_bClosed || !m_session.InBlock() || m_session.IsStopped())
        return;
    const qint64 left = BlockTimeLeftMs(m_blockLimits, m_blockClock.elapsed(), m_blockSilence.elapsed(),
                                        m_session.BlockReceived());
    if (left > 0) {
        m_pBlockTimer->start(int(std::min<qint64>(left, std::numeric_limits<int>::max())));
        return;
    }
    // The connection goes with the block: the rest of its bytes must not be read as commands.
    Abort();
}

void CSimConnection::OnBytesWritten()
{
    Touch();
    PumpBlock();
    PumpCatalog();
    if (!m_bBusy)
        Serve();
}

void CSimConnection::Finish()
{
    if (m_bFinished)
        return;
    m_bFinished = true;
    m_bClosed = true;
    m_pBlockTimer->stop();
    m_session.End();
    m_state.ConnectionClosed(m_nId);
    deleteLater();
}

void CSimConnection::Abort()
{
    m_bClosed = true;
    m_pSocket->abort();
    Finish();
}

bool CSimConnection::IsBusy() const
{
    return m_bBusy || m_bClosed || m_pSocket->bytesToWrite() > MAX_UNSENT;
}

void CSimConnection::Resume()
{
    m_bBusy = false;
    QMetaObject::invokeMethod(this, &CSimConnection::Serve, Qt::QueuedConnection);
}

void CSimConnection::SendLine(const QByteArray& line)
{
    const CSimFaults faults = m_state.Faults();
    if (faults.m_bCloseMidReply) {
        const QByteArray bytes = line + '\n';
        Deliver(bytes, bytes.size() / 2);
    } else {
        Deliver(faults.m_bNeverEndReply ? line : line + '\n', -1);
    }
}

void CSimConnection::SendScripted(const QByteArray& bytes)
{
    Deliver(bytes, -1);
}

// Writes `bytes` after the reply delay; with closeAfter >= 0 only that many,
// then the connection is closed.
void CSimConnection::Deliver(const QByteArray& bytes, qsizetype closeAfter)
{
    const int delay = m_state.Faults().m_nReplyDelayMs;
    auto write = [this, bytes, closeAfter] {
        if (m_bClosed)
            return;
        if (closeAfter >= 0)
            WriteAndClose(bytes.left(closeAfter));
        else
            m_pSocket->write(bytes);
    };
    if (delay <= 0) {
        write();
        return;
    }
    m_bBusy = true;
    QTimer::singleShot(delay, this, [this, write] {
        write();
        Resume();
    });
}

void CSimConnection::WriteAndClose(const QByteArray& bytes)
{
    m_pSocket->write(bytes);
    m_bClosed = true;
    m_pSocket->disconnectFromHost();
}

void CSimConnection::AfterReplyDelay(int delayMs, const std::function<void()>& start)
{
    m_bBusy = true;
    if (delayMs <= 0)
        start();
    else
        QTimer::singleShot(delayMs, this, start);
}

void CSimConnection::SendFile(const QStringList& path, qint64 size, quint64 stamp)
{
    const CSimFaults faults = m_state.Faults();
    m_outPath = path;
    m_nOutStamp = stamp;
    m_nOutFileSize = size;
    const qint64 total = size + std::max<qint64>(faults.m_nExtraDataBytes, 0);
    const QByteArray length = QByteArray::number(total);
    const QByteArray header = faults.m_bMalformedBlockHeader
                                  ? QByteArrayLiteral("#X") + length
                                  : '#' + QByteArray::number(length.size()) + length;
    qint64 end = total;
    bool close = false;
    if (faults.m_nCloseAfterDataBytes >= 0 && faults.m_nCloseAfterDataBytes < end) {
        end = faults.m_nCloseAfterDataBytes;
        close = true;
    }
    m_bOutStall = false;
    if (faults.m_bStallTransfer && !close) {
        end = std::min<qint64>(CHUNK, total / 2);
        m_bOutStall = true;
    }
    AfterReplyDelay(faults.m_nReplyDelayMs, [this, header, end, close] { StartBlock(header, end, close); });
}

void CSimConnection::SendCatalog(const CSimFileSystem::CCatalogCursor& cursor)
{
    const CSimFaults faults = m_state.Faults();
    m_catalog = cursor;
    m_bCatalogNoEnd = faults.m_bNeverEndReply;
    m_bCatalogCloseMid = faults.m_bCloseMidReply;
    AfterReplyDelay(faults.m_nReplyDelayMs, [this] {
        m_bCatalogActive = true;
        PumpCatalog();
    });
}

// The line a piece at a time as the client takes it: however large the
// folder, a reader that stops holds only what the socket has not sent.
void CSimConnection::PumpCatalog()
{
    while (m_bCatalogActive && !m_bClosed && m_pSocket->bytesToWrite() < CATALOG_PIECE) {
        QByteArray piece;
        bool done = false;
        const int error = m_state.WithFileSystem([&](CSimFileSystem& fs) {
            return fs.NextCatalogPiece(&m_catalog, CATALOG_PIECE, &piece, &done);
        });
        if (error) {
            // The listing changed under the line: the reader must not take a mix.
            m_bCatalogActive = false;
            Abort();
            return;
        }
        if (done) {
            m_bCatalogActive = false;
            m_catalog = {};
            if (!m_bCatalogNoEnd || m_bCatalogCloseMid)
                piece += '\n';
        }
        if (m_bCatalogCloseMid) {
            m_bCatalogActive = false;
            WriteAndClose(piece.left(piece.size() / 2));
            return;
        }
        m_pSocket->write(piece);
        if (done)
            Resume();
    }
}

void CSimConnection::StartBlock(const QByteArray& header, qint64 end, bool close)
{
    if (m_bClosed)
        return;
    m_nOutPos = 0;
    m_nOutEnd = end;
    m_bOutClose = close;
    m_bOutActive = true;
    m_pSocket->write(header);
    PumpBlock();
}

// Feeds the block a chunk at a time, so a large file never sits in the
// socket's buffer, and faults can hit it in the middle.
void CSimConnection::PumpBlock()
{
    if (!m_bOutActive || m_bClosed)
        return;
    while (m_nOutPos < m_nOutEnd && m_pSocket->bytesToWrite() < CHUNK) {
        const qsizetype n = qsizetype(std::min<qint64>(CHUNK, m_nOutEnd - m_nOutPos));
        QByteArray chunk;
        if (m_nOutPos < m_nOutFileSize) {
            const int error = m_state.WithFileSystem([&](CSimFileSystem& fs) {
                return fs.ReadChunk(m_outPath, m_nOutStamp, m_nOutPos, n, &chunk);
            });
            if (error) {
                // The file changed under the transfer: the reader must not take a mix.
                m_bOutActive = false;
                Abort();
                return;
            }
        } else {
            chunk = QByteArray(n, 'X');
        }
        if (chunk.size() < n && m_nOutPos + chunk.size() >= m_nOutFileSize)
            chunk.append(QByteArray(n - chunk.size(), 'X')); // a fault's extra bytes after the file's
        m_pSocket->write(chunk);
        m_nOutPos += chunk.size();
    }
    if (m_nOutPos < m_nOutEnd)
        return;
    m_bOutActive = false;
    m_outPath.clear();
    if (m_bOutClose) {
        m_bClosed = true;
        m_pSocket->disconnectFromHost();
    } else if (!m_bOutStall) {
        m_pSocket->write("\n");
        Resume();
    }
}
