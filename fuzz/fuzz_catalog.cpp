// The catalog walk of a "mmem:cat?" reply, as the link reads it from the wire.
// Beyond not crashing:
// - no entry has an empty name, a "/", a quote, a comma or a control character in it;
// - every size is a byte count (a whole number, 0 or more): a size field that
//   is not one ends the listing there rather than giving a size;
// - the counters match the entries delivered (count, bytes of the files);
// - every entry moves the cursor on, so the walk ends, and it leaves nothing
//   pending for the next one;
// - a listing is complete only when every comma and quote of the reply is
//   accounted for: the one between the figures, and three commas and two
//   quotes per entry delivered. So text that is not a whole entry (unquoted
//   names, words after the figures, a reply cut at or inside an entry) is
//   never a complete listing, and the figures alone are the only empty folder;
// - a listing that is not complete delivers no entry after the break, and
//   says which way it failed.

#include "fuzz/fuzzcheck.h"
#include "link/vqcomm.h"

#include <cstddef>
#include <cstdint>
#include <limits>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CVQComm comm;
    const QByteArray reply(reinterpret_cast<const char*>(data), qsizetype(size));

    CFileInfo entry;
    int delivered = 0;
    qint64 bytes = 0;
    qsizetype lastPos = -1;
    for (int more = comm.BeginCatalog(reply, entry); more; more = comm.NextCatalogEntry(entry)) {
        const QString name = entry.GetName();
        FUZZ_CHECK(!name.isEmpty());
        for (const QChar c : name)
            FUZZ_CHECK(c != u'/' && c != u'"' && c != u',' && c.unicode() >= 0x20);
        // The cursor moves on with every entry, so the walk ends.
        FUZZ_CHECK(g_catalogPos > lastPos);
        lastPos = g_catalogPos;
        FUZZ_CHECK(entry.GetSize() >= 0);
        ++delivered;
        if (!entry.IsFolder()) {
            // Sizes add up saturated, as the link's counter does.
            constexpr qint64 hi = std::numeric_limits<qint64>::max();
            constexpr qint64 lo = std::numeric_limits<qint64>::min();
            const qint64 fileSize = entry.GetSize();
            bytes = fileSize > 0 && bytes > hi - fileSize   ? hi
                    : fileSize < 0 && bytes < lo - fileSize ? lo
                                                            : bytes + fileSize;
        }
    }
    if (delivered > 0) {
        FUZZ_CHECK(g_catalogCount == delivered);
        FUZZ_CHECK(g_catalogBytes == bytes);
    }
    // The walk left nothing pending for a later one.
    FUZZ_CHECK(g_catalogText.isEmpty() && g_catalogPos == 0);

    const CVQComm::CatalogEnd end = comm.LastCatalogEnd();
    if (end == CVQComm::CatalogEnd::Complete) {
        FUZZ_CHECK(reply.count(',') == 1 + 3 * qsizetype(delivered));
        FUZZ_CHECK(reply.count('"') == 2 * qsizetype(delivered));
    } else {
        // A reply that failed is kept whole for the message that says so.
        FUZZ_CHECK(reply.isEmpty() ? end == CVQComm::CatalogEnd::NoReply
                                   : comm.LastReply().size() == reply.size());
        FUZZ_CHECK(end != CVQComm::CatalogEnd::Unreadable || delivered == 0);
    }
    return 0;
}
