#include "link/devicescan.h"

#include "link/linebuffer.h"
#include "link/vqcomm.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

struct CDeviceScan::CProbe
{
    QHostAddress m_address;
    quint16 m_nPort = 0;
    QTcpSocket* m_pSocket = nullptr; // a child of the scan; owns the timer
    QTimer* m_pTimer = nullptr;
    QElapsedTimer m_clock;
    CLineBuffer m_buffer;
    QByteArray m_line;
    qint64 m_nReceived = 0;
    bool m_bConnected = false;
    bool m_bLineEnded = false; // a reply is a whole line; the start of one is none
};

namespace {

// The probe's socket and timer say nothing more, and the socket goes: `gently`
// after a whole reply, else at once.
void Drop(QTcpSocket* socket, QTimer* timer, bool gently)
{
    timer->stop();
    timer->disconnect();
    socket->disconnect();
    if (gently)
        socket->disconnectFromHost();
    socket->abort();
    // Its own signal may be running: deleted once that has returned.
    socket->deleteLater();
}

} // namespace

CDeviceScan::CDeviceScan(QObject* parent) : QObject(parent) {}

CDeviceScan::~CDeviceScan()
{
    for (const auto& probe : m_probes)
        Drop(probe->m_pSocket, probe->m_pTimer, false);
}

QStringList CDeviceScan::IdentityFields(const QString& reply)
{
    const bool control = std::any_of(reply.cbegin(), reply.cend(),
                                     [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
    QStringList fields = reply.split(u',');
    if (control || fields.size() != 4)
        return {};
    for (QString& field : fields)
        field = field.trimmed();
    if (fields.at(0).isEmpty() || fields.at(1).isEmpty())
        return {};
    return fields;
}

void CDeviceScan::Start(const QList<QHostAddress>& addresses, const QList<quint16>& ports)
{
    if (m_bRunning)
        Cancel();
    m_targets.clear();
    for (const QHostAddress& address : addresses) {
        for (const quint16 port : ports)
            m_targets.append({address, port});
    }
    m_nNext = 0;
    m_nDone = 0;
    m_results.clear();
    m_bRunning = true;
    Q_EMIT Progress(0, Total());
    if (m_targets.isEmpty()) {
        m_bRunning = false;
        Q_EMIT Finished(false);
        return;
    }
    StartNext();
}

void CDeviceScan::Cancel()
{
    if (!m_bRunning)
        return;
    m_bRunning = false;
    m_nNext = m_targets.size();
    for (const auto& probe : m_probes)
        Drop(probe->m_pSocket, probe->m_pTimer, false);
    m_probes.clear();
    Q_EMIT Finished(true);
}

QList<CScanResult> CDeviceScan::Results() const
{
    QList<CScanResult> sorted = m_results;
    std::sort(sorted.begin(), sorted.end(), [](const CScanResult& a, const CScanResult& b) {
        return std::pair(a.m_address.toIPv4Address(), a.m_nPort) <
               std::pair(b.m_address.toIPv4Address(), b.m_nPort);
    });
    return sorted;
}

void CDeviceScan::StartNext()
{
    while (m_bRunning && m_nNext < m_targets.size() && qsizetype(m_probes.size()) < m_nJobs) {
        const auto& [address, port] = m_targets.at(m_nNext++);
        Launch(address, port);
    }
}

void CDeviceScan::Launch(const QHostAddress& address, quint16 port)
{
    auto owned = std::make_unique<CProbe>();
    CProbe* probe = owned.get();
    probe->m_address = address;
    probe->m_nPort = port;
    probe->m_pSocket = new QTcpSocket(this);
    probe->m_pTimer = new QTimer(probe->m_pSocket);
    probe->m_pTimer->setSingleShot(true);
    m_probes.push_back(std::move(owned));

    QTcpSocket* socket = probe->m_pSocket;
    connect(socket, &QTcpSocket::connected, this, [probe] {
        probe->m_bConnected = true;
        probe->m_pSocket->write(QByteArray(IDENTITY_QUERY) + "\r\n");
        probe->m_pTimer->start(REPLY_TIMEOUT_MS);
    });
    connect(socket, &QTcpSocket::readyRead, this, [this, probe] { ReadReply(probe); });
    // Refused, reset, closed: whatever came so far is all there is.
    connect(socket, &QTcpSocket::errorOccurred, this,
            [this, probe] { EndProbe(probe, probe->m_bConnected); });
    connect(probe->m_pTimer, &QTimer::timeout, this, [this, probe] { EndProbe(probe, probe->m_bConnected); });
    probe->m_clock.start();
    probe->m_pTimer->start(m_nConnectTimeoutMs);
    socket->connectToHost(address, port);
}

void CDeviceScan::ReadReply(CProbe* probe)
{
    probe->m_buffer.Append(probe->m_pSocket->readAll());
    switch (probe->m_buffer.TakeLine(probe->m_line, probe->m_nReceived, MAX_REPLY_BYTES)) {
    case CLineBuffer::LineStatus::Partial:
        return;
    case CLineBuffer::LineStatus::TooLong:
        break;
    case CLineBuffer::LineStatus::Complete:
        probe->m_bLineEnded = true;
        break;
    }
    EndProbe(probe, true);
}

void CDeviceScan::EndProbe(CProbe* probe, bool accepted)
{
    const auto it = std::find_if(m_probes.begin(), m_probes.end(),
                                 [probe](const std::unique_ptr<CProbe>& p) { return p.get() == probe; });
    if (it == m_probes.end())
        return;
    const std::unique_ptr<CProbe> ended = std::move(*it);
    m_probes.erase(it);
    // A generator that answered is left politely; anything else at once.
    Drop(ended->m_pSocket, ended->m_pTimer, accepted && ended->m_bLineEnded);

    if (accepted) {
        CScanResult result;
        result.m_address = ended->m_address;
        result.m_nPort = ended->m_nPort;
        // One byte one character, as the link reads the wire.
        result.m_strReply = ended->m_bLineEnded ? QString::fromLatin1(ended->m_line) : QString();
        result.m_fields = IdentityFields(result.m_strReply);
        result.m_nMs = ended->m_clock.elapsed();
        m_results.append(result);
        Q_EMIT Answered(result);
    }
    ++m_nDone;
    Q_EMIT Progress(m_nDone, Total());
    if (!m_bRunning)
        return;
    StartNext();
    if (m_probes.empty() && m_nNext >= m_targets.size()) {
        m_bRunning = false;
        Q_EMIT Finished(false);
    }
}
