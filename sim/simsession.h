#pragma once

#include <QByteArray>
#include <QStringList>

class CSimReplySink;
class CSimState;

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
// What a session holds is bounded: MAX_INPUT_BYTES of input not yet parsed
// (the feeder stops while WantsInput is false), one command line of at most
// MAX_LINE_BYTES, and one incoming block whose length is set aside in the
// file system's capacity before any of its bytes is taken.
class CSimSession final
{
public:
    static constexpr qsizetype MAX_LINE_BYTES = 64 * 1024;
    static constexpr qsizetype MAX_INPUT_BYTES = 64 * 1024;

    CSimSession(CSimState& state, CSimReplySink& sink);
    ~CSimSession(); // gives back the room of a block cut short
    CSimSession(const CSimSession&) = delete;
    CSimSession& operator=(const CSimSession&) = delete;

    void Feed(const QByteArray& bytes);
    // Runs what was fed until it is used up, the sink is busy or the session stops.
    void Process();
    // The peer has gone: a block cut short stores nothing.
    void End();
    bool WantsInput() const;
    // Between the "#" of a block and its last data byte.
    bool InBlock() const;
    // Counts the blocks begun on this session (a "#" read), so that a new
    // block is told from the one before.
    quint64 BlocksBegun() const { return m_nBlocksBegun; }
    // The data bytes of the block in progress taken so far.
    qint64 BlockReceived() const { return m_phase == Phase::BlockData ? m_nBlockReceived : 0; }
    bool IsStopped() const { return m_bStalled || m_bEnded; }
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

    CSimState& m_state;
    CSimReplySink& m_sink;
    bool m_bStalled = false; // a stall fault holds the transfer for good
    bool m_bEnded = false;

    QByteArray m_in;
    qsizetype m_nPos = 0;
    Phase m_phase = Phase::Line;
    QByteArray m_line;
    bool m_bInQuote = false;
    QStringList m_cwd;

    // Incoming block.
    quint64 m_nBlocksBegun = 0;
    QByteArray m_blockCommand;
    int m_nLengthDigits = 0;
    QByteArray m_lengthText;
    qint64 m_nBlockLength = 0;
    qint64 m_nBlockReceived = 0;
    qint64 m_nBlockReserved = 0; // set aside in the capacity
    bool m_bBlockStore = false;
    QStringList m_blockTarget;
    QByteArray m_blockData;
    qint64 m_nBlockCloseAt = -1;
    qint64 m_nBlockStallAt = -1;
};
