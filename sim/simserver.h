#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

// Faults a test can switch on. Every switch is off by default; they apply to
// replies and transfers that start after they are set.
struct CSimFaults
{
    int m_nReplyDelayMs = 0;       // wait this long before every reply line or block
    bool m_bNeverEndReply = false; // send a reply line without its LF and keep the connection
    bool m_bCloseMidReply = false; // send half of a reply line, then close the connection
    // A block (either direction) stops after this many data bytes: close.
    qint64 m_nCloseAfterDataBytes = -1;
    bool m_bMalformedBlockHeader = false; // answer "mmem:data?" with a header that is not "#<d><len>"
    qint64 m_nExtraDataBytes = 0;         // answer "mmem:data?" with this many bytes beyond the file
    bool m_bRefuseConnections = false;    // stop listening: connects are refused until cleared
    // A block (either direction) stops moving after its first chunk, connection kept.
    bool m_bStallTransfer = false;
};

// Start options of an emulator.
struct CSimOptions
{
    QHostAddress m_address = QHostAddress::LocalHost;
    quint16 m_nPort = 5000; // 0 picks a free port
    QString m_strRootDir;   // empty: in-memory file system; else kept in this host folder
    qint64 m_nCapacity = 64LL * 1024 * 1024;
    bool m_bSeed = true;      // first-level folders and sample files of every kind
    bool m_bSeedFiles = true; // with m_bSeed: the sample files too (else a generator emptied)
    // Bytes of transcript kept in all, closed connections' included (the
    // oldest go first when room is needed); 0 keeps none.
    qsizetype m_nTranscriptLimit = 64 * 1024 * 1024;
    // When set, a connection's transcript is appended to this file when it
    // closes, and freed.
    QString m_strTranscriptFile;
    QString m_strIdentity = QStringLiteral("VELTRANE,VQ820,0,5.60");

    // Connections served at once; at the limit the one idle longest is closed
    // to make room for a new client.
    static constexpr int MAX_CONNECTIONS = 1024;
    int m_nMaxConnections = MAX_CONNECTIONS;
    // A block that receives no byte this long is cut short (it stores
    // nothing, its room returns) and its connection closed...
    static constexpr int BLOCK_IDLE_MS = 30000;
    int m_nBlockIdleMs = BLOCK_IDLE_MS;
    // ...and so is one whose data falls behind this rate, counted from its
    // "#" after the first m_nBlockIdleMs: it must have received
    // (elapsed - idle time) x rate bytes at every moment, so a block of N
    // bytes ends within the idle time + N / rate, and a client trickling a
    // byte now and then to a large block is cut after about the idle time.
    static constexpr qint64 BLOCK_MIN_RATE = 64 * 1024; // bytes per second, 0.5 Mbit/s
    qint64 m_nBlockMinRate = BLOCK_MIN_RATE;
};

class CSimServerPrivate;

// A VQ820 emulator. It runs on a thread of its own, so a client may use
// blocking socket calls on any thread, the test's included. Every accessor is
// thread-safe.
class CSimServer final
{
public:
    CSimServer();
    ~CSimServer(); // stops the server and its thread
    CSimServer(const CSimServer&) = delete;
    CSimServer& operator=(const CSimServer&) = delete;

    // Starts listening; false with ErrorString() when the address is taken.
    bool Start(const CSimOptions& options = CSimOptions());
    void Stop();
    quint16 Port() const;
    QHostAddress Address() const;
    QString ErrorString() const;

    // Faults (see CSimFaults).
    void SetFaults(const CSimFaults& faults);
    CSimFaults Faults() const;

    // Answer a command with these exact bytes instead of the real reply. The
    // command is matched case-insensitively on its keyword, e.g. "mmem:cat?".
    // An empty `reply` with `once` false removes the override.
    void SetScriptedReply(const QByteArray& command, const QByteArray& reply, bool once = false);
    void ClearScriptedReplies();

    // Transcripts: every byte received, one entry per connection in the order
    // they were accepted, within CSimOptions::m_nTranscriptLimit.
    QList<QByteArray> Transcripts() const;
    QByteArray AllReceived() const; // all transcripts concatenated
    void ClearTranscripts();
    int ConnectionCount() const; // connections accepted since start (or the last clear)
    int OpenConnections() const; // connections being served now
    // Waits until at least `bytes` bytes have been received in all, or the time is up.
    bool WaitForReceived(qsizetype bytes, int timeoutMs = 5000) const;

    // The file system, by device path ("/F0:/A/B.SEQ"); names are case-insensitive.
    bool AddFolder(const QString& path);
    bool AddFile(const QString& path, const QByteArray& data);
    bool Exists(const QString& path) const;
    bool IsFolder(const QString& path) const;
    QByteArray FileData(const QString& path) const; // empty when missing
    QStringList List(const QString& folder) const;  // names as stored, folders with a trailing "/"
    qint64 Used() const;
    qint64 Capacity() const;
    void SetCapacity(qint64 bytes);

    // The error queue, oldest first, as "code,\"text\"".
    QStringList ErrorQueue() const;
    void PushError(int code, const QString& text);
    void ClearErrors();

private:
    std::unique_ptr<CSimServerPrivate> m_pPrivate;
};
