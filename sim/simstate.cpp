#include "sim/simstate.h"

#include <QDeadlineTimer>
#include <QFile>

#include <algorithm>

using namespace Qt::StringLiterals;

CSimState::CSimState() = default;

QByteArray CSimState::Identity() const
{
    QMutexLocker lock(&m_mutex);
    return m_identity;
}

void CSimState::SetIdentity(const QString& identity)
{
    QMutexLocker lock(&m_mutex);
    m_identity = identity.toLatin1();
}

CSimFaults CSimState::Faults() const
{
    QMutexLocker lock(&m_mutex);
    return m_faults;
}

void CSimState::SetFaults(const CSimFaults& faults)
{
    QMutexLocker lock(&m_mutex);
    m_faults = faults;
}

void CSimState::SetScriptedReply(const QByteArray& command, const QByteArray& reply, bool once)
{
    QMutexLocker lock(&m_mutex);
    const QByteArray key = command.trimmed().toLower();
    if (reply.isEmpty() && !once)
        m_scripted.remove(key);
    else
        m_scripted.insert(key, CScripted{reply, once});
}

void CSimState::ClearScriptedReplies()
{
    QMutexLocker lock(&m_mutex);
    m_scripted.clear();
}

bool CSimState::TakeScriptedReply(const QByteArray& keyword, QByteArray* reply)
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_scripted.find(keyword.toLower());
    if (it == m_scripted.end())
        return false;
    *reply = it->m_reply;
    if (it->m_bOnce)
        m_scripted.erase(it);
    return true;
}

void CSimState::SetTranscripts(qsizetype limit, const QString& file)
{
    QMutexLocker lock(&m_mutex);
    m_nTranscriptLimit = std::max<qsizetype>(limit, 0);
    m_strTranscriptFile = file;
}

int CSimState::NewConnection()
{
    QMutexLocker lock(&m_mutex);
    const int id = m_nNextConnection++;
    if (m_nTranscriptLimit > 0)
        m_transcripts[id];
    ++m_nConnectionCount;
    ++m_nOpenConnections;
    return id;
}

void CSimState::MakeRoom(qsizetype bytes)
{
    for (auto it = m_transcripts.begin();
         it != m_transcripts.end() && m_nTranscriptBytes + bytes > m_nTranscriptLimit;) {
        if (it->second.m_bOpen) {
            ++it;
            continue;
        }
        m_nTranscriptBytes -= it->second.m_bytes.size();
        it = m_transcripts.erase(it);
    }
}

void CSimState::Received(int connection, const QByteArray& bytes)
{
    QMutexLocker lock(&m_mutex);
    m_nReceivedBytes += bytes.size();
    if (m_nTranscriptLimit > 0) {
        CTranscript& transcript = m_transcripts[connection];
        if (!transcript.m_bCut) {
            MakeRoom(bytes.size());
            const qsizetype kept = std::min(bytes.size(), m_nTranscriptLimit - m_nTranscriptBytes);
            transcript.m_bytes.append(bytes.constData(), std::max<qsizetype>(kept, 0));
            m_nTranscriptBytes += std::max<qsizetype>(kept, 0);
            transcript.m_bCut = kept < bytes.size();
        }
    }
    m_receivedChanged.wakeAll();
}

void CSimState::ConnectionClosed(int connection)
{
    QMutexLocker lock(&m_mutex);
    --m_nOpenConnections;
    const auto it = m_transcripts.find(connection);
    if (it == m_transcripts.end())
        return;
    it->second.m_bOpen = false;
    if (m_strTranscriptFile.isEmpty())
        return;
    WriteTranscript(connection, it->second);
    m_nTranscriptBytes -= it->second.m_bytes.size();
    m_transcripts.erase(it);
}

void CSimState::WriteTranscript(int connection, const CTranscript& transcript)
{
    QFile file(m_strTranscriptFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write("--- connection " + QByteArray::number(connection) + ", " +
               QByteArray::number(transcript.m_bytes.size()) + " bytes" +
               (transcript.m_bCut ? QByteArrayLiteral(", cut at the limit") : QByteArray()) + '\n');
    file.write(transcript.m_bytes);
    file.write("\n");
}

int CSimState::OpenConnections() const
{
    QMutexLocker lock(&m_mutex);
    return m_nOpenConnections;
}

QList<QByteArray> CSimState::Transcripts() const
{
    QMutexLocker lock(&m_mutex);
    QList<QByteArray> all;
    for (const auto& entry : m_transcripts)
        all.append(entry.second.m_bytes);
    return all;
}

QByteArray CSimState::AllReceived() const
{
    QMutexLocker lock(&m_mutex);
    QByteArray all;
    all.reserve(m_nTranscriptBytes);
    for (const auto& entry : m_transcripts)
        all.append(entry.second.m_bytes);
    return all;
}

void CSimState::ClearTranscripts()
{
    QMutexLocker lock(&m_mutex);
    // Open connections start a new transcript with their next bytes.
    m_transcripts.clear();
    m_nTranscriptBytes = 0;
    m_nReceivedBytes = 0;
    m_nConnectionCount = 0;
}

int CSimState::ConnectionCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_nConnectionCount;
}

bool CSimState::WaitForReceived(qsizetype bytes, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    QMutexLocker lock(&m_mutex);
    while (m_nReceivedBytes < bytes) {
        if (!m_receivedChanged.wait(&m_mutex, deadline))
            return m_nReceivedBytes >= bytes;
    }
    return true;
}

QStringList CSimState::Errors() const
{
    QMutexLocker lock(&m_mutex);
    return m_errors;
}

void CSimState::PushError(int code, const QString& text)
{
    QMutexLocker lock(&m_mutex);
    const QString entry = u"%1,\"%2\""_s.arg(code).arg(text.isEmpty() ? SimErrorText(code) : text);
    if (m_errors.size() < MAX_ERRORS - 1) {
        m_errors.append(entry);
    } else if (m_errors.size() == MAX_ERRORS - 1) {
        // The last place tells that errors were lost.
        m_errors.append(u"%1,\"%2\""_s.arg(int(SIM_QUEUE_OVERFLOW)).arg(SimErrorText(SIM_QUEUE_OVERFLOW)));
    }
}

QByteArray CSimState::TakeError()
{
    QMutexLocker lock(&m_mutex);
    if (m_errors.isEmpty())
        return QByteArrayLiteral("0,\"No error\"");
    return m_errors.takeFirst().toLatin1();
}

void CSimState::ClearErrors()
{
    QMutexLocker lock(&m_mutex);
    m_errors.clear();
}
