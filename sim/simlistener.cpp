#include "simlistener.h"

#include "simconnection.h"
#include "simstate.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace vqsim {

SimListener::SimListener(SimState& state) : m_state(state), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &SimListener::OnNewConnection);
}

SimListener::~SimListener() = default;

bool SimListener::Listen(const QHostAddress& address, quint16 port)
{
    m_address = address;
    if (!m_server->listen(address, port)) {
        m_error = m_server->errorString();
        return false;
    }
    m_port = m_server->serverPort();
    m_error.clear();
    ApplyFaults();
    return true;
}

void SimListener::ApplyFaults()
{
    if (m_port == 0)
        return;
    const bool refuse = m_state.Faults().refuseConnections;
    if (refuse && m_server->isListening()) {
        // Closing the socket, not just ignoring it, makes connects fail at once.
        m_server->close();
    } else if (!refuse && !m_server->isListening() && !m_server->listen(m_address, m_port)) {
        m_error = m_server->errorString();
    }
}

void SimListener::OnNewConnection()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection())
        new SimConnection(socket, m_state, this);
}

void SimListener::AcceptPending()
{
    while (m_server->isListening() && m_server->waitForNewConnection(0)) {
    }
    OnNewConnection();
}

void SimListener::Shutdown(QThread* thread)
{
    m_server->close();
    const QList<SimConnection*> connections = findChildren<SimConnection*>(Qt::FindDirectChildrenOnly);
    qDeleteAll(connections);
    m_port = 0;
    moveToThread(thread);
}

} // namespace vqsim
