#include "simstate.h"

#include <QDeadlineTimer>

using namespace Qt::StringLiterals;

namespace vqsim {

SimState::SimState() = default;

QByteArray SimState::Identity() const
{
    QMutexLocker lock(&m_mutex);
    return m_identity;
}

void SimState::SetIdentity(const QString& identity)
{
    QMutexLocker lock(&m_mutex);
    m_identity = identity.toLatin1();
}

SimFaults SimState::Faults() const
{
    QMutexLocker lock(&m_mutex);
    return m_faults;
}

void SimState::SetFaults(const SimFaults& faults)
{
    QMutexLocker lock(&m_mutex);
    m_faults = faults;
}

void SimState::SetScriptedReply(const QByteArray& command, const QByteArray& reply, bool once)
{
    QMutexLocker lock(&m_mutex);
    const QByteArray key = command.trimmed().toLower();
    if (reply.isEmpty() && !once)
        m_scripted.remove(key);
    else
        m_scripted.insert(key, Scripted{reply, once});
}

void SimState::ClearScriptedReplies()
{
    QMutexLocker lock(&m_mutex);
    m_scripted.clear();
}

bool SimState::TakeScriptedReply(const QByteArray& keyword, QByteArray* reply)
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_scripted.find(keyword.toLower());
    if (it == m_scripted.end())
        return false;
    *reply = it->reply;
    if (it->once)
        m_scripted.erase(it);
    return true;
}

int SimState::NewConnection()
{
    QMutexLocker lock(&m_mutex);
    const int id = m_nextConnection++;
    m_transcripts[id];
    ++m_connectionCount;
    return id;
}

void SimState::Received(int connection, const QByteArray& bytes)
{
    QMutexLocker lock(&m_mutex);
    m_transcripts[connection].append(bytes);
    m_receivedBytes += bytes.size();
    m_receivedChanged.wakeAll();
}

QList<QByteArray> SimState::Transcripts() const
{
    QMutexLocker lock(&m_mutex);
    QList<QByteArray> all;
    for (const auto& entry : m_transcripts)
        all.append(entry.second);
    return all;
}

QByteArray SimState::AllReceived() const
{
    QMutexLocker lock(&m_mutex);
    QByteArray all;
    all.reserve(m_receivedBytes);
    for (const auto& entry : m_transcripts)
        all.append(entry.second);
    return all;
}

void SimState::ClearTranscripts()
{
    QMutexLocker lock(&m_mutex);
    m_transcripts.clear();
    m_receivedBytes = 0;
    m_connectionCount = 0;
}

int SimState::ConnectionCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_connectionCount;
}

bool SimState::WaitForReceived(qsizetype bytes, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    QMutexLocker lock(&m_mutex);
    while (m_receivedBytes < bytes) {
        if (!m_receivedChanged.wait(&m_mutex, deadline))
            return m_receivedBytes >= bytes;
    }
    return true;
}

QStringList SimState::Errors() const
{
    QMutexLocker lock(&m_mutex);
    return m_errors;
}

void SimState::PushError(int code, const QString& text)
{
    QMutexLocker lock(&m_mutex);
    const QString entry = u"%1,\"%2\""_s.arg(code).arg(text.isEmpty() ? SimErrorText(code) : text);
    if (m_errors.size() < kMaxErrors - 1) {
        m_errors.append(entry);
    } else if (m_errors.size() == kMaxErrors - 1) {
        // The last place tells that errors were lost.
        m_errors.append(u"%1,\"%2\""_s.arg(int(kQueueOverflow)).arg(SimErrorText(kQueueOverflow)));
    }
}

QByteArray SimState::TakeError()
{
    QMutexLocker lock(&m_mutex);
    if (m_errors.isEmpty())
        return QByteArrayLiteral("0,\"No error\"");
    return m_errors.takeFirst().toLatin1();
}

void SimState::ClearErrors()
{
    QMutexLocker lock(&m_mutex);
    m_errors.clear();
}

} // namespace vqsim
