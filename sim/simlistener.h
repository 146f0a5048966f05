#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>

class QTcpServer;
class QThread;

namespace vqsim {

class SimState;

// The listening socket and its connections, on the server thread. Every
// member function is called there.
class SimListener final : public QObject
{
    Q_OBJECT

public:
    explicit SimListener(SimState& state);
    ~SimListener() override;

    bool Listen(const QHostAddress& address, quint16 port);
    quint16 Port() const { return m_port; }
    QString ErrorString() const { return m_error; }
    // Closes or reopens the listening socket as the refuse fault says.
    void ApplyFaults();
    // Takes in every connection the system has completed by now, so a count
    // taken right after a client's connect includes it.
    void AcceptPending();
    // Drops every connection and hands the object back to `thread` for deletion.
    void Shutdown(QThread* thread);

private:
    void OnNewConnection();

    SimState& m_state;
    QTcpServer* m_server;
    QHostAddress m_address;
    quint16 m_port = 0;
    QString m_error;
};

} // namespace vqsim
