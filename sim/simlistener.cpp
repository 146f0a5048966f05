#include "simlistener.h"

#include "simconnection.h"
#include "simstate.h"
#include "simtcpserver.h"

#include <QSocketNotifier>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <cstdio>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <unistd.h>
#endif

namespace vqsim {

SimListener::SimListener(SimState& state) : m_state(state), m_server(new SimTcpServer(this))
{
    connect(m_server, &SimTcpServer::DescriptorAccepted, this, &SimListener::OnDescriptor);
}

SimListener::~SimListener() = default;

bool SimListener::Listen(const QHostAddress& address, quint16 port)
{
    m_address = address;
    m_port = port;
    if (!Open()) {
        m_port = 0;
        return false;
    }
    m_port = m_server->serverPort();
    ApplyFaults();
    return true;
}

bool SimListener::Open()
{
    // Room in the listen queue for a crowd connecting at once (Qt's default
    // is 50; the kernel caps it at its own limit).
    m_server->setListenBacklogSize(kMaxConnections);
    if (!m_server->listen(m_address, m_port)) {
        m_error = m_server->errorString();
        return false;
    }
    m_error.clear();
    // Qt's own notifier retries a failed accept at once, for as long as the
    // socket stays readable; this one waits instead.
    m_server->pauseAccepting();
    m_notifier = std::make_unique<QSocketNotifier>(m_server->socketDescriptor(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &SimListener::OnReadable);
    UpdateAccepting();
    return true;
}

void SimListener::Close()
{
    m_notifier.reset();
    m_server->close();
}

void SimListener::ApplyFaults()
{
    if (m_port == 0)
        return;
    const bool refuse = m_state.Faults().refuseConnections;
    if (refuse && m_server->isListening()) {
        // Closing the socket, not just ignoring it, makes connects fail at once.
        Close();
    } else if (!refuse && !m_server->isListening()) {
        Open();
    }
}

void SimListener::UpdateAccepting()
{
    if (m_notifier)
        m_notifier->setEnabled(!m_pausing && m_state.OpenConnections() < kMaxConnections);
}

void SimListener::OnReadable()
{
    const quint64 before = m_accepted;
    bool timedOut = false;
    m_server->waitForNewConnection(0, &timedOut);
    // Readable yet nothing taken: the accept failed.
    if (!timedOut && m_accepted == before && m_server->isListening()) {
        if (!m_reported) {
            std::fprintf(stderr,
                         "vq820-sim: cannot take a connection (no descriptor left?); accepting pauses\n");
            m_reported = true;
        }
        m_pausing = true;
        QTimer::singleShot(kAcceptPauseMs, this, [this] {
            m_pausing = false;
            UpdateAccepting();
        });
    }
    UpdateAccepting();
}

void SimListener::OnDescriptor(qintptr descriptor)
{
    ++m_accepted;
    m_reported = false;
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
#ifdef Q_OS_WIN
        ::closesocket(SOCKET(descriptor));
#else
        ::close(int(descriptor));
#endif
        return;
    }
    auto* connection = new SimConnection(socket, m_state, this);
    connect(connection, &QObject::destroyed, this, &SimListener::UpdateAccepting);
}

void SimListener::AcceptPending()
{
    while (m_server->isListening()) {
        const quint64 before = m_accepted;
        m_server->waitForNewConnection(0);
        if (m_accepted == before)
            break;
    }
    UpdateAccepting();
}

void SimListener::Shutdown(QThread* thread)
{
    Close();
    const QList<SimConnection*> connections = findChildren<SimConnection*>(Qt::FindDirectChildrenOnly);
    qDeleteAll(connections);
    m_port = 0;
    moveToThread(thread);
}

} // namespace vqsim
