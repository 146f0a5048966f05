#include "simstate.h"

#include <QDeadlineTimer>
#include <QFile>

#include <algorithm>

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

void SimState::SetTranscripts(qsizetype limit, const QString& file)
{
    QMutexLocker lock(&m_mutex);
    m_transcriptLimit = std::max<qsizetype>(limit, 0);
    m_transcriptFile = file;
}

int SimState::NewConnection()
{
    QMutexLocker lock(&m_mutex);
    const int id = m_nextConnection++;
    if (m_transcriptLimit > 0)
        m_transcripts[id];
    ++m_connectionCount;
    ++m_openConnections;
    return id;
}

void SimState::MakeRoom(qsizetype bytes)
{
    for (auto it = m_transcripts.begin();
         it != m_transcripts.end() && m_transcriptBytes + bytes > m_transcriptLimit;) {
        if (it->second.open) {
            ++it;
            continue;
        }
        m_transcriptBytes -= it->second.bytes.size();
        it = m_transcripts.erase(it);
    }
}

void SimState::Received(int connection, const QByteArray& bytes)
{
    QMutexLocker lock(&m_mutex);
    m_receivedBytes += bytes.size();
    if (m_transcriptLimit > 0) {
        Transcript& transcript = m_transcripts[connection];
        if (!transcript.cut) {
            MakeRoom(bytes.size());
            const qsizetype kept = std::min(bytes.size(), m_transcriptLimit - m_transcriptBytes);
            transcript.bytes.append(bytes.constData(), std::max<qsizetype>(kept, 0));
            m_transcriptBytes += std::max<qsizetype>(kept, 0);
            transcript.cut = kept < bytes.size();
        }
    }
    m_receivedChanged.wakeAll();
}

void SimState::ConnectionClosed(int connection)
{
    QMutexLocker lock(&m_mutex);
    --m_openConnections;
    const auto it = m_transcripts.find(connection);
    if (it == m_transcripts.end())
        return;
    it->second.open = false;
    if (m_transcriptFile.isEmpty())
        return;
    WriteTranscript(connection, it->second);
    m_transcriptBytes -= it->second.bytes.size();
    m_transcripts.erase(it);
}

void SimState::WriteTranscript(int connection, const Transcript& transcript)
{
    QFile file(m_transcriptFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write("--- connection " + QByteArray::number(connection) + ", " +
               QByteArray::number(transcript.bytes.size()) + " bytes" +
               (transcript.cut ? QByteArrayLiteral(", cut at the limit") : QByteArray()) + '\n');
    file.write(transcript.bytes);
    file.write("\n");
}

int SimState::OpenConnections() const
{
    QMutexLocker lock(&m_mutex);
    return m_openConnections;
}

QList<QByteArray> SimState::Transcripts() const
{
    QMutexLocker lock(&m_mutex);
    QList<QByteArray> all;
    for (const auto& entry : m_transcripts)
        all.append(entry.second.bytes);
    return all;
}

QByteArray SimState::AllReceived() const
{
    QMutexLocker lock(&m_mutex);
    QByteArray all;
    all.reserve(m_transcriptBytes);
    for (const auto& entry : m_transcripts)
        all.append(entry.second.bytes);
    return all;
}

void SimState::ClearTranscripts()
{
    QMutexLocker lock(&m_mutex);
    // Open connections start a new transcript with their next bytes.
    m_transcripts.clear();
    m_transcriptBytes = 0;
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
