#pragma once

#include "simfilesystem.h"
#include "simserver.h"

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QStringList>
#include <QWaitCondition>

#include <map>
#include <utility>

namespace vqsim {

// Everything the connections share with the server's public interface. Each
// member function takes the lock; WithFileSystem runs a function under it.
class SimState final
{
public:
    static constexpr int kMaxErrors = 32;

    SimState();
    SimState(const SimState&) = delete;
    SimState& operator=(const SimState&) = delete;

    template <typename F> auto WithFileSystem(F&& function)
    {
        QMutexLocker lock(&m_mutex);
        return std::forward<F>(function)(m_fs);
    }

    QByteArray Identity() const;
    void SetIdentity(const QString& identity);

    SimFaults Faults() const;
    void SetFaults(const SimFaults& faults);

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
    struct Scripted
    {
        QByteArray reply;
        bool once = false;
    };

    struct Transcript
    {
        QByteArray bytes;
        bool open = true;
        bool cut = false; // bytes beyond the limit were not kept
    };

    // Frees transcripts of closed connections, oldest first, until `bytes` fit.
    void MakeRoom(qsizetype bytes);
    void WriteTranscript(int connection, const Transcript& transcript);

    mutable QMutex m_mutex;
    mutable QWaitCondition m_receivedChanged;
    SimFileSystem m_fs;
    QByteArray m_identity;
    SimFaults m_faults;
    QHash<QByteArray, Scripted> m_scripted;
    std::map<int, Transcript> m_transcripts; // by connection number
    qsizetype m_transcriptLimit = 0;
    qsizetype m_transcriptBytes = 0;
    QString m_transcriptFile;
    qsizetype m_receivedBytes = 0;
    int m_openConnections = 0;
    int m_nextConnection = 0;
    int m_connectionCount = 0;
    QStringList m_errors;
};

} // namespace vqsim
