#pragma once

#include "sim/simconnection.h"

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;
class QThread;

class CSimState;
class CSimTcpServer;

// The listening socket and its connections, on the server thread. Every
// member function is called there.
//
// At most `maxConnections` are served at once, and a new client is always
// taken: at the limit, on every accept (a burst's too), or when the system has
// no descriptor left for it, the connection idle longest is closed to make
// room. Nothing else closes a connection for being quiet. When a connection
// cannot be taken and there is none to close, accepting pauses for
// ACCEPT_PAUSE_MS instead of spinning on a socket that stays readable.
class CSimListener final : public QObject
{
    Q_OBJECT

public:
    static constexpr int ACCEPT_PAUSE_MS = 100;

    CSimListener(CSimState& state, int maxConnections, const CSimBlockLimits& blockLimits);
    ~CSimListener() override;

    bool Listen(const QHostAddress& address, quint16 port);
    quint16 Port() const { return m_nPort; }
    QString ErrorString() const { return m_strError; }
    // Closes or reopens the listening socket as the refuse fault says.
    void ApplyFaults();
    // Takes in every connection the system has completed by now, so a count
    // taken right after a client's connect includes it.
    void AcceptPending();
    // Drops every connection and hands the object back to `thread` for deletion.
    void Shutdown(QThread* thread);

private:
    bool Open();
    void Close();
    void OnReadable();
    void OnDescriptor(qintptr descriptor);
    void UpdateAccepting();
    // Closes the open connection idle longest; false when there is none.
    bool CloseIdlest();

    CSimState& m_state;
    const int m_nMaxConnections;
    const CSimBlockLimits m_blockLimits;
    CSimTcpServer* m_pServer;
    std::unique_ptr<QSocketNotifier> m_pNotifier;
    QHostAddress m_address;
    quint16 m_nPort = 0;
    QString m_strError;
    quint64 m_nAccepted = 0;
    bool m_bPausing = false;  // after a failed accept
    bool m_bReported = false; // the pause has been reported since the last connection taken
};
