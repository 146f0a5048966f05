#pragma once

#include "simreplysink.h"
#include "simsession.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>

class QTcpSocket;

namespace vqsim {

class SimState;

// One client connection: feeds the bytes of its socket to a session and
// sends the session's replies, with the reply faults. Lives on the server
// thread and deletes itself when the peer has gone.
//
// A client that does not read its replies is not read either: once more than
// kMaxUnsent bytes wait to be sent, no further command runs until they drain,
// and the socket's bounded read buffer pushes back on the sender. A file goes
// out a chunk at a time, read from the file system as it goes; one written,
// moved or deleted meanwhile ends the connection.
class SimConnection final : public QObject, private SimReplySink
{
    Q_OBJECT

public:
    static constexpr qsizetype kChunk = 64 * 1024;
    static constexpr qint64 kMaxUnsent = 256 * 1024;

    SimConnection(QTcpSocket* socket, SimState& state, QObject* parent);
    ~SimConnection() override;

private:
    // SimReplySink; every reply honours the reply delay and keeps its place in order.
    void SendLine(const QByteArray& line) override;
    void SendScripted(const QByteArray& bytes) override;
    void SendFile(const QStringList& path, qint64 size, quint64 stamp) override;
    void Abort() override;
    bool IsBusy() const override;

    // Runs the session and reads the socket as long as both want to.
    void Serve();
    void OnBytesWritten();
    void Finish();
    void Deliver(const QByteArray& bytes, qsizetype closeAfter);
    void StartBlock(const QByteArray& header, qint64 end, bool close);
    void PumpBlock();
    void Resume();

    QTcpSocket* m_socket;
    SimState& m_state;
    int m_id;
    SimSession m_session;
    bool m_busy = false;     // a reply is under way; later commands wait
    bool m_closed = false;   // nothing more is sent or read
    bool m_finished = false; // the session has ended and the object goes

    // Outgoing block: the file's bytes, then the extra bytes of a fault.
    QStringList m_outPath;
    quint64 m_outStamp = 0;
    qint64 m_outFileSize = 0;
    qint64 m_outPos = 0;
    qint64 m_outEnd = 0;
    bool m_outActive = false;
    bool m_outClose = false;
    bool m_outStall = false;
};

} // namespace vqsim
