#pragma once

#include "simserver.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>

class QTcpSocket;

namespace vqsim {

class SimState;

// One client connection: reads commands and definite-length blocks from the
// byte stream as they arrive and answers them. Lives on the server thread.
//
// Paths are always absolute ("/F0:/..."); the current folder only serves
// "mmem:cat?". A package taken by "mmem:load:download" is kept as
// /F0:/DOWNLOAD/PKGnnnn.DNL. A refused "mmem:data?" is answered with an empty
// block ("#10") so the reader is not left waiting. A scripted reply replaces
// the command: it is answered, not carried out.
class SimConnection final : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype kChunk = 64 * 1024;
    static constexpr qsizetype kMaxLine = 64 * 1024;

    SimConnection(QTcpSocket* socket, SimState& state, QObject* parent);
    ~SimConnection() override;

private:
    enum class Phase
    {
        Line,
        BlockDigits,
        BlockLength,
        BlockData,
        BlockEnd,
        SkipLine
    };

    void OnReadyRead();
    void OnDisconnected();
    void Process();
    void ExecuteLine(QByteArray line);
    void BeginBlock();
    void FinishBlock();
    void AbandonBlock();

    // Replies; every one honours the reply delay and keeps its place in order.
    void SendLine(const QByteArray& line);
    void SendScripted(const QByteArray& bytes);
    void SendBlock(const QByteArray& data);
    void Deliver(const QByteArray& bytes, qsizetype closeAfter);
    void StartBlock(const QByteArray& header, const QByteArray& data, qsizetype end, bool close);
    void PumpBlock();
    void Resume();

    bool IsBlockCommand() const;
    int Path(const QString& text, QStringList* parts) const;
    void Fail(int code);

    QTcpSocket* m_socket;
    SimState& m_state;
    int m_id;
    bool m_busy = false;    // a reply is under way; later commands wait
    bool m_stalled = false; // a stall fault holds the transfer for good
    bool m_closed = false;

    QByteArray m_in;
    qsizetype m_pos = 0;
    Phase m_phase = Phase::Line;
    QByteArray m_line;
    bool m_inQuote = false;
    QStringList m_cwd;

    // Incoming block.
    QByteArray m_blockCommand;
    int m_lengthDigits = 0;
    QByteArray m_lengthText;
    qint64 m_blockLength = 0;
    qint64 m_blockReceived = 0;
    bool m_blockStore = false;
    QStringList m_blockTarget;
    QByteArray m_blockData;
    qint64 m_blockCloseAt = -1;
    qint64 m_blockStallAt = -1;

    // Outgoing block.
    QByteArray m_outData;
    qsizetype m_outPos = 0;
    qsizetype m_outEnd = 0;
    bool m_outActive = false;
    bool m_outClose = false;
    bool m_outStall = false;
};

} // namespace vqsim
