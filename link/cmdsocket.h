#pragma once

#include "link/linebuffer.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class QTcpSocket;

// Bounds of one reply line on the command channel. Past a bound the read
// fails as a broken connection does. No honest reply comes near them: the
// longest is a catalog of a folder holding every entry a generator may have
// (100,000, as the emulator allows), each at most `,"` + 255-byte name + `/",`
// + 4-byte type + `,` + 10-digit size = 275 bytes: about 27.5 MB, which takes
// 2.4 s on a 100 Mbit/s LAN and 24 s on a 10 Mbit/s one.
inline constexpr qint64 REPLY_LINE_MAX_BYTES = 128LL * 1024 * 1024;
// A line may take this long, plus one second for every REPLY_LINE_MIN_RATE
// bytes that have arrived of it, so a peer that trickles is cut off early...
inline constexpr qint64 REPLY_LINE_BASE_MS = 20000;
inline constexpr qint64 REPLY_LINE_MIN_RATE = 64 * 1024;
// ...and never more than this, whatever the rate: a peer that streams just
// under REPLY_LINE_MIN_RATE would otherwise hold the caller until the length
// bound (about 2000 s). Over twice what the largest catalog takes at 10 Mbit/s.
inline constexpr qint64 REPLY_LINE_CEILING_MS = 60000;

// A blocking TCP client socket. Every wait is bounded: it ends when data
// moves, when nothing has moved for the given idle time, or when another
// thread cancels it (CancelWait, Shutdown), within about 50 ms.
// Failures leave their code in the calling thread's last socket error.
//
// The socket belongs to the thread that called Connect; only CancelWait and
// Shutdown may be called from other threads.
class CCmdSocket final
{
public:
    // `role` names the socket's connections in a wire trace ("cmd", "transfer").
    explicit CCmdSocket(const char* role = "cmd");
    ~CCmdSocket();
    CCmdSocket(const CCmdSocket&) = delete;
    CCmdSocket& operator=(const CCmdSocket&) = delete;

    // Connects to a dotted IPv4 address, or else a host name.
    bool Connect(const QString& host, quint16 port, int timeoutMs);
    // The last Connect failed before any handshake: the system gave no socket.
    bool CreateFailed() const { return m_bCreateFailed; }
    // Closes without sending anything further.
    void Close();
    bool IsOpen() const;

    // Sends every byte.
    bool Send(const char* data, qint64 size, int idleMs);
    bool Send(const QByteArray& bytes, int idleMs) { return Send(bytes.constData(), bytes.size(), idleMs); }

    // Bytes sent that the peer has not acknowledged yet, as far as the system
    // tells (Linux and macOS do; elsewhere 0 once the system took them).
    qint64 Unacknowledged() const;
    // Waits until at most `limit` bytes sent are unacknowledged, calling
    // `shrunk` with the count whenever it has fallen. Fails after `idleMs`
    // without a fall, and when cancelled or shut down.
    bool WaitAcknowledged(qint64 limit, int idleMs, const std::function<void(qint64)>& shrunk);

    // Reads one line ended by LF; the LF is not part of it, CR and NUL bytes
    // are dropped. Bytes after the LF stay for the next read. Fails after
    // `idleMs` of silence, and past the bounds of a reply line (above).
    bool ReadLine(QByteArray& line, int idleMs);
    // Why the last ReadLine failed, when it was one of its own bounds, as a
    // sentence for the user ("No answer came within 2 s."); empty otherwise
    // (the socket error says it all).
    const QString& LineFailureReason() const { return m_strLineFailure; }
    // Reads what has arrived, at most `max` bytes, waiting for at least one.
    // Returns the count, 0 when the peer has closed the connection, -1 on failure.
    qint64 Receive(char* data, qint64 max, int idleMs);
    // Reads exactly `size` bytes.
    bool ReceiveExactly(char* data, qint64 size, int idleMs);

    // The bounds of a reply line; the defaults above are the real ones.
    void SetLineLimits(qint64 baseMs, qint64 ceilingMs, qint64 maxBytes)
    {
        m_nLineBaseMs = baseMs;
        m_nLineCeilingMs = ceilingMs;
        m_nLineMaxBytes = maxBytes;
    }

    // Runs between the slices of every wait (about every 50 ms), on the
    // waiting thread: the command channel lets the window paint there.
    void SetWaitHook(std::function<void()> hook) { m_waitHook = std::move(hook); }

    // Ends a wait in progress as failed (SE_INTR); does nothing when none is.
    void CancelWait();
    // Shuts the connection down in both directions and makes every wait and
    // send fail from now on, until the socket is closed.
    void Shutdown();

private:
    // Waits until more bytes can be read into m_buffer.
    bool Fill(int idleMs);
    // True, with the error set, when a wait must end now: on a shutdown
    // (told as `shutdownCode`) or a Cancel.
    bool WaitInterrupted(int shutdownCode);

    void TraceClosed(const char* how);

    const char* m_role;
    int m_nTraceId = 0; // this connection in the wire trace, 0 when untraced
    std::unique_ptr<QTcpSocket> m_socket;
    CLineBuffer m_buffer;
    std::atomic<bool> m_inWait{false};
    std::atomic<bool> m_cancelWait{false};
    std::atomic<bool> m_shutdown{false};
    std::atomic<qintptr> m_descriptor{-1};
    qint64 m_nLineBaseMs = REPLY_LINE_BASE_MS;
    qint64 m_nLineCeilingMs = REPLY_LINE_CEILING_MS;
    qint64 m_nLineMaxBytes = REPLY_LINE_MAX_BYTES;
    std::function<void()> m_waitHook;
    bool m_bCreateFailed = false;
    QString m_strLineFailure;
};
