// The emulator's side of one connection: command lines and definite-length
// blocks as a client sends them, in pieces, to a session over the file
// system in memory. Beyond not crashing:
// - a current-folder reply names a path under the root "/F0:/", and every
//   file sent is one with valid names at most MAX_DEPTH deep;
// - the bytes stored stay within the capacity and match what the tree
//   holds; no path in the tree is deeper than MAX_DEPTH;
// - what the session holds stays within its stated bounds (input not yet
//   parsed, one line, one block within the capacity);
// - a block cut short by the end of the connection gives its room back.

#include "fuzz/fuzzcheck.h"
#include "sim/simreplysink.h"
#include "sim/simsession.h"
#include "sim/simstate.h"

#include <cstddef>
#include <cstdint>

namespace {

constexpr qint64 kCapacity = 1 << 20;

class CRecorder final : public CSimReplySink
{
public:
    void SendLine(const QByteArray& line) override
    {
        // Only the current folder's reply starts with a quote.
        if (line.startsWith('"'))
            FUZZ_CHECK(line.startsWith("\"/F0:/") && line.endsWith('"'));
    }
    void SendScripted(const QByteArray&) override {}
    void SendFile(const QStringList& path, qint64 size, quint64) override
    {
        FUZZ_CHECK(!path.isEmpty() && path.size() <= CSimFileSystem::MAX_DEPTH);
        for (const QString& name : path)
            FUZZ_CHECK(CSimFileSystem::IsValidName(name));
        FUZZ_CHECK(size >= 0 && size <= kCapacity);
    }
    void SendCatalog(const CSimFileSystem::CCatalogCursor& cursor) override
    {
        FUZZ_CHECK(cursor.m_folder.size() <= CSimFileSystem::MAX_DEPTH);
        FUZZ_CHECK(cursor.m_head.contains(','));
    }
    void Abort() override { aborted = true; }
    bool IsBusy() const override { return false; }

    bool aborted = false;
};

void CheckFileSystem(CSimState& state)
{
    state.WithFileSystem([](CSimFileSystem& fs) {
        FUZZ_CHECK(fs.Used() <= fs.Capacity());
        FUZZ_CHECK(fs.Reserved() >= 0 && fs.Used() + fs.Reserved() <= fs.Capacity());
        const CSimFileSystem::CTreeStats stats = CSimFileSystem::Stats(*fs.Find({}));
        FUZZ_CHECK(stats.m_nBytes == fs.Used());
        FUZZ_CHECK(stats.m_nHeight <= CSimFileSystem::MAX_DEPTH);
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte sets the piece size the bytes arrive in.
    const qsizetype piece = qsizetype(data[0]) * 37 + 1;
    const QByteArray input(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    CSimState state;
    state.WithFileSystem([](CSimFileSystem& fs) {
        fs.Reset(kCapacity);
        fs.Seed();
    });
    CRecorder sink;
    {
        CSimSession session(state, sink);
        qsizetype at = 0;
        while (!sink.aborted) {
            session.Process();
            FUZZ_CHECK(session.HeldBytes() <=
                       CSimSession::MAX_INPUT_BYTES + 2 * CSimSession::MAX_LINE_BYTES + kCapacity);
            if (sink.aborted || !session.WantsInput() || at >= input.size())
                break;
            const QByteArray bytes = input.mid(at, piece);
            at += bytes.size();
            session.Feed(bytes);
        }
        CheckFileSystem(state);
        session.End();
    }
    CheckFileSystem(state);
    state.WithFileSystem([](CSimFileSystem& fs) { FUZZ_CHECK(fs.Reserved() == 0); });
    return 0;
}
