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

    int NewConnection();
    void Received(int connection, const QByteArray& bytes);
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

    mutable QMutex m_mutex;
    mutable QWaitCondition m_receivedChanged;
    SimFileSystem m_fs;
    QByteArray m_identity;
    SimFaults m_faults;
    QHash<QByteArray, Scripted> m_scripted;
    std::map<int, QByteArray> m_transcripts; // by connection number
    qsizetype m_receivedBytes = 0;
    int m_nextConnection = 0;
    int m_connectionCount = 0;
    QStringList m_errors;
};

} // namespace vqsim
