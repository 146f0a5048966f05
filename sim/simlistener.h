#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;
class QThread;

namespace vqsim {

class SimState;
class SimTcpServer;

// The listening socket and its connections, on the server thread. Every
// member function is called there.
//
// At most kMaxConnections are served at once; later clients wait in the
// system's listen queue until one closes. When a connection cannot be taken
// (no descriptor left, typically), accepting pauses for kAcceptPauseMs
// instead of spinning on a socket that stays readable.
class SimListener final : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMaxConnections = 1024;
    static constexpr int kAcceptPauseMs = 100;

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
    bool Open();
    void Close();
    void OnReadable();
    void OnDescriptor(qintptr descriptor);
    void UpdateAccepting();

    SimState& m_state;
    SimTcpServer* m_server;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QHostAddress m_address;
    quint16 m_port = 0;
    QString m_error;
    quint64 m_accepted = 0;
    bool m_pausing = false;  // after a failed accept
    bool m_reported = false; // the pause has been reported since the last connection taken
};

} // namespace vqsim
