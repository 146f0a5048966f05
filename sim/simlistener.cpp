#include "sim/simlistener.h"

#include "sim/simconnection.h"
#include "sim/simdescriptor.h"
#include "sim/simstate.h"
#include "sim/simtcpserver.h"

#include <QSocketNotifier>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>

CSimListener::CSimListener(CSimState& state, int maxConnections, const CSimBlockLimits& blockLimits)
    : m_state(state), m_nMaxConnections(std::max(maxConnections, 1)), m_blockLimits(blockLimits),
      m_pServer(new CSimTcpServer(this))
{
    connect(m_pServer, &CSimTcpServer::DescriptorAccepted, this, &CSimListener::OnDescriptor);
}

CSimListener::~CSimListener() = default;

bool CSimListener::Listen(const QHostAddress& address, quint16 port)
{
    m_address = address;
    m_nPort = port;
    if (!Open()) {
        m_nPort = 0;
        return false;
    }
    m_nPort = m_pServer->serverPort();
    ApplyFaults();
    return true;
}

bool CSimListener::Open()
{
    // Room in the listen queue for a crowd connecting at once (Qt's default
    // is 50; the kernel caps it at its own limit).
    m_pServer->setListenBacklogSize(CSimOptions::MAX_CONNECTIONS);
    if (!m_pServer->listen(m_address, m_nPort)) {
        m_strError = m_pServer->errorString();
        return false;
    }
    m_strError.clear();
    // Qt's own notifier retries a failed accept at once, for as long as the
    // socket stays readable; this one waits instead.
    m_pServer->pauseAccepting();
    m_pNotifier = std::make_unique<QSocketNotifier>(m_pServer->socketDescriptor(), QSocketNotifier::Read);
    connect(m_pNotifier.get(), &QSocketNotifier::activated, this, &CSimListener::OnReadable);
    UpdateAccepting();
    return true;
}

void CSimListener::Close()
{
    m_pNotifier.reset();
    m_pServer->close();
}

void CSimListener::ApplyFaults()
{
    if (m_nPort == 0)
        return;
    const bool refuse = m_state.Faults().m_bRefuseConnections;
    if (refuse && m_pServer->isListening()) {
        // Closing the socket, not just ignoring it, makes connects fail at once.
        Close();
    } else if (!refuse && !m_pServer->isListening()) {
        Open();
    }
}

void CSimListener::UpdateAccepting()
{
    if (m_pNotifier)
        m_pNotifier->setEnabled(!m_bPausing);
}

void CSimListener::OnReadable()
{
    bool madeRoom = false;
    for (;;) {
        const quint64 before = m_nAccepted;
        bool timedOut = false;
        m_pServer->waitForNewConnection(0, &timedOut);
        if (timedOut || m_nAccepted != before || !m_pServer->isListening())
            break;
        // Readable yet nothing taken: the accept failed, for want of a
        // descriptor as a rule (Qt says no more). The connection idle longest
        // gives its own to the new client; if that does not help, accepting
        // pauses.
        if (!madeRoom && CloseIdlest()) {
            madeRoom = true;
            continue;
        }
        if (!m_bReported) {
            std::fprintf(stderr,
                         "vq820-sim: cannot take a connection (no descriptor left?); accepting pauses\n");
            m_bReported = true;
        }
        m_bPausing = true;
        QTimer::singleShot(ACCEPT_PAUSE_MS, this, [this] {
            m_bPausing = false;
            UpdateAccepting();
        });
        break;
    }
    UpdateAccepting();
}

bool CSimListener::CloseIdlest()
{
    CSimConnection* idlest = nullptr;
    for (CSimConnection* connection : findChildren<CSimConnection*>(Qt::FindDirectChildrenOnly)) {
        if (!connection->IsFinished() && (!idlest || connection->LastActive() < idlest->LastActive()))
            idlest = connection;
    }
    if (!idlest)
        return false;
    idlest->Close();
    return true;
}

void CSimListener::OnDescriptor(qintptr descriptor)
{
    ++m_nAccepted;
    m_bReported = false;
    while (m_state.OpenConnections() >= m_nMaxConnections && CloseIdlest()) {
    }
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        CloseSimDescriptor(descriptor);
        return;
    }
    new CSimConnection(socket, m_state, m_blockLimits, this);
}

void CSimListener::AcceptPending()
{
    while (m_pServer->isListening()) {
        const quint64 before = m_nAccepted;
        m_pServer->waitForNewConnection(0);
        if (m_nAccepted == before)
            break;
    }
}

void CSimListener::Shutdown(QThread* thread)
{
    Close();
    const QList<CSimConnection*> connections = findChildren<CSimConnection*>(Qt::FindDirectChildrenOnly);
    qDeleteAll(connections);
    m_nPort = 0;
    moveToThread(thread);
}
