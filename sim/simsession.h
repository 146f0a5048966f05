#pragma once

#include <QByteArray>
#include <QStringList>

namespace vqsim {

class SimReplySink;
class SimState;

// The generator's side of one connection, without the socket: reads commands
// and definite-length blocks from the bytes fed to it and carries them out,
// replies going to the sink.
//
// Paths are always absolute ("/F0:/..."); the current folder only serves
// "mmem:cat?". A package taken by "mmem:load:download" is kept as
// /F0:/DOWNLOAD/PKGnnnn.DNL. A refused "mmem:data?" is answered with an empty
// block ("#10") so the reader is not left waiting. A scripted reply replaces
// the command: it is answered, not carried out.
//
// What a session holds is bounded: kMaxInput bytes of input not yet parsed
// (the feeder stops while WantsInput is false), one command line of at most
// kMaxLine bytes, and one incoming block whose length is set aside in the
// file system's capacity before any of its bytes is taken.
class SimSession final
{
public:
    static constexpr qsizetype kMaxLine = 64 * 1024;
    static constexpr qsizetype kMaxInput = 64 * 1024;

    SimSession(SimState& state, SimReplySink& sink);
    ~SimSession(); // gives back the room of a block cut short
    SimSession(const SimSession&) = delete;
    SimSession& operator=(const SimSession&) = delete;

    void Feed(const QByteArray& bytes);
    // Runs what was fed until it is used up, the sink is busy or the session stops.
    void Process();
    // The peer has gone: a block cut short stores nothing.
    void End();
    bool WantsInput() const;
    bool IsStopped() const { return m_stalled || m_ended; }
    // Bytes held now: input not yet parsed, the line being read, the block being received.
    qsizetype HeldBytes() const;
    QStringList CurrentFolder() const { return m_cwd; }

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

    void ExecuteLine(QByteArray line);
    void BeginBlock();
    void FinishBlock();
    void AbandonBlock();
    void ReleaseBlock();
    bool IsBlockCommand() const;
    void Fail(int code);

    SimState& m_state;
    SimReplySink& m_sink;
    bool m_stalled = false; // a stall fault holds the transfer for good
    bool m_ended = false;

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
    qint64 m_blockReserved = 0; // set aside in the capacity
    bool m_blockStore = false;
    QStringList m_blockTarget;
    QByteArray m_blockData;
    qint64 m_blockCloseAt = -1;
    qint64 m_blockStallAt = -1;
};

} // namespace vqsim
