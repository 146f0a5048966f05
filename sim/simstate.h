#pragma once

#include "sim/simfilesystem.h"
#include "sim/simserver.h"

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QStringList>
#include <QWaitCondition>

#include <map>
#include <utility>

// Everything the connections share with the server's public interface. Each
// member function takes the lock; WithFileSystem runs a function under it.
class CSimState final
{
public:
    static constexpr int MAX_ERRORS = 32;

    CSimState();
    CSimState(const CSimState&) = delete;
    CSimState& operator=(const CSimState&) = delete;

    template <typename F> auto WithFileSystem(F&& function)
    {
        QMutexLocker lock(&m_mutex);
        return std::forward<F>(function)(m_fs);
    }

    QByteArray Identity() const;
    void SetIdentity(const QString& identity);

    CSimFaults Faults() const;
    void SetFaults(const CSimFaults& faults);

    void SetScriptedReply(const QByteArray& command, const QByteArray& reply, bool once);
    void ClearScriptedReplies();
    // The scripted reply for a command keyword, if any; a "once" reply is used up.
    bool TakeScriptedReply(const QByteArray& keyword, QByteArray* reply);

    // Transcripts: at most `limit` bytes kept in all (0: none). Without a
    // file, those of closed connections are kept (the oldest dropped first
    // when room is needed); with one, each is appended to it when its
    // connection closes, and freed.
    void SetTranscripts(qsizetype limit, const QString& file);
    int NewConnection();
    void Received(int connection, const QByteArray& bytes);
    void ConnectionClosed(int connection);
    int OpenConnections() const;
    QList<QByteArray> Transcripts() const;
    QByteArray AllReceived() const;
    void ClearTranscripts();
    int ConnectionCount() const;
    bool WaitForReceived(qsizetype bytes, int timeoutMs) const;

    QStringList Errors() const;
    void PushError(int code, const QString& text = QString());
    QByteArray TakeError();
    void ClearErrors();

private:
    struct CScripted
    {
        QByteArray m_reply;
        bool m_bOnce = false;
    };

    struct CTranscript
    {
        QByteArray m_bytes;
        bool m_bOpen = true;
        bool m_bCut = false; // bytes beyond the limit were not kept
    };

    // Frees transcripts of closed connections, oldest first, until `bytes` fit.
    void MakeRoom(qsizetype bytes);
    void WriteTranscript(int connection, const CTranscript& transcript);

    mutable QMutex m_mutex;
    mutable QWaitCondition m_receivedChanged;
    CSimFileSystem m_fs;
    QByteArray m_identity;
    CSimFaults m_faults;
    QHash<QByteArray, CScripted> m_scripted;
    std::map<int, CTranscript> m_transcripts; // by connection number
    qsizetype m_nTranscriptLimit = 0;
    qsizetype m_nTranscriptBytes = 0;
    QString m_strTranscriptFile;
    qsizetype m_nReceivedBytes = 0;
    int m_nOpenConnections = 0;
    int m_nNextConnection = 0;
    int m_nConnectionCount = 0;
    QStringList m_errors;
};
