#pragma once

#include "sim/simreplysink.h"
#include "sim/simsession.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QStringList>

#include <functional>

class QTcpSocket;
class QTimer;

class CSimState;

// When a block being received is cut short (CSimOptions has the values and why).
struct CSimBlockLimits
{
    int m_nIdleMs = 0;     // no byte for this long
    qint64 m_nMinRate = 0; // bytes per second after the first m_nIdleMs; 0: no rate
};

// The time a block being received has left under `limits`, in ms (0 or
// less: cut it now): `elapsedMs` since its "#", `silentMs` since its last
// byte, `received` data bytes so far.
qint64 BlockTimeLeftMs(const CSimBlockLimits& limits, qint64 elapsedMs, qint64 silentMs, qint64 received);

// One client connection: feeds the bytes of its socket to a session and
// sends the session's replies, with the reply faults. Lives on the server
// thread and deletes itself when the peer has gone.
//
// A client that does not read its replies is not read either: once more than
// MAX_UNSENT bytes wait to be sent, no further command runs until they drain,
// and the socket's bounded read buffer pushes back on the sender. A file or a
// catalog line goes out a chunk at a time, made from the file system as the
// client takes it, so a slow reader holds no more than that; a file written,
// moved or deleted meanwhile, or a folder whose listing changed, ends the
// connection rather than send a mix.
//
// A block that receives no byte for the block idle time, or falls behind the
// minimum rate, is cut short and the connection ends, so the room set aside
// for it is not held for good, however a client trickles.
class CSimConnection final : public QObject, private CSimReplySink
{
    Q_OBJECT

public:
    static constexpr qsizetype CHUNK = 64 * 1024;
    // A catalog piece costs far more to make than a file chunk to copy: a
    // smaller one keeps each reader's turn short while many read at once.
    static constexpr qsizetype CATALOG_PIECE = 16 * 1024;
    static constexpr qint64 MAX_UNSENT = 256 * 1024;

    CSimConnection(QTcpSocket* socket, CSimState& state, const CSimBlockLimits& blockLimits, QObject* parent);
    ~CSimConnection() override;

    // When a byte last moved either way, as a count that only grows: the
    // smallest is the connection idle longest.
    quint64 LastActive() const { return m_nLastActive; }
    bool IsFinished() const { return m_bFinished; }
    // Ends the connection now, as a peer's close would.
    void Close() { Abort(); }

private:
    // CSimReplySink; every reply honours the reply delay and keeps its place in order.
    void SendLine(const QByteArray& line) override;
    void SendScripted(const QByteArray& bytes) override;
    void SendFile(const QStringList& path, qint64 size, quint64 stamp) override;
    void SendCatalog(const CSimFileSystem::CCatalogCursor& cursor) override;
    void Abort() override;
    bool IsBusy() const override;

    // Runs the session and reads the socket as long as both want to.
    void Serve();
    void OnBytesWritten();
    void Finish();
    void Deliver(const QByteArray& bytes, qsizetype closeAfter);
    // Writes `bytes` and closes the connection: a fault's reply cut short.
    void WriteAndClose(const QByteArray& bytes);
    // Runs `start` after the reply delay; no further command runs until the reply has gone.
    void AfterReplyDelay(int delayMs, const std::function<void()>& start);
    void StartBlock(const QByteArray& header, qint64 end, bool close);
    void PumpBlock();
    void PumpCatalog();
    void Resume();
    void Touch();
    // Times a block that waits for bytes; a stalled session waits by a fault's will.
    void WatchBlock(bool received);
    void OnBlockTimer();

    QTcpSocket* m_pSocket;
    CSimState& m_state;
    int m_nId;
    CSimSession m_session;
    const CSimBlockLimits m_blockLimits;
    QTimer* m_pBlockTimer;
    // The block being timed: its number, since its "#", since its last byte.
    quint64 m_nTimedBlock = 0;
    QElapsedTimer m_blockClock;
    QElapsedTimer m_blockSilence;
    quint64 m_nLastActive = 0;
    bool m_bBusy = false;     // a reply is under way; later commands wait
    bool m_bClosed = false;   // nothing more is sent or read
    bool m_bFinished = false; // the session has ended and the object goes

    // Outgoing block: the file's bytes, then the extra bytes of a fault.
    QStringList m_outPath;
    quint64 m_nOutStamp = 0;
    qint64 m_nOutFileSize = 0;
    qint64 m_nOutPos = 0;
    qint64 m_nOutEnd = 0;
    bool m_bOutActive = false;
    bool m_bOutClose = false;
    bool m_bOutStall = false;

    // Outgoing catalog line, with the reply faults it started under.
    CSimFileSystem::CCatalogCursor m_catalog;
    bool m_bCatalogActive = false;
    bool m_bCatalogNoEnd = false;
    bool m_bCatalogCloseMid = false;
};
