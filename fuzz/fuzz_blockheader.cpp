// The block header read of the upload worker: it asks how long the header
// is, reads that many bytes into a buffer of the longest header's size, and
// asks again; then it takes the data length from the whole header. Fed the
// bytes a generator might send, beyond not crashing:
// - the size asked for never goes below what is read, nor past the buffer;
// - the read ends within three rounds, on a refusal or on a whole header;
// - a whole header is "#", a digit n from 1 to 9 and n decimal digits;
// - its length is those digits' value, so it fits in nine digits, and a
//   header that was refused has no length.

#include "fuzz/fuzzcheck.h"
#include "link/blockheader.h"

#include <QByteArray>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    char header[BLOCK_HEADER_MAX_BYTES];
    qsizetype have = 0;
    for (int round = 0;; ++round) {
        FUZZ_CHECK(round <= 3);
        const int wanted = BlockHeaderSize(QByteArrayView(header, have));
        if (wanted < 0) {
            FUZZ_CHECK(BlockHeaderLength(QByteArrayView(header, have)) == -1);
            return 0;
        }
        FUZZ_CHECK(wanted >= have && wanted <= BLOCK_HEADER_MAX_BYTES);
        if (wanted == have)
            break;
        // The peer closing early ends the read as the socket would.
        if (size < size_t(wanted))
            return 0;
        std::memcpy(header + have, data + have, size_t(wanted - have));
        have = wanted;
    }
    FUZZ_CHECK(have >= 3 && header[0] == '#' && header[1] >= '1' && header[1] <= '9');
    const int digits = header[1] - '0';
    FUZZ_CHECK(have == 2 + digits);
    const qint64 length = BlockHeaderLength(QByteArrayView(header, have));
    FUZZ_CHECK(length >= 0 && length <= 999999999);
    // Written back with as many digits (leading zeros kept), it is the header's own.
    const QByteArray written = QByteArray::number(length).rightJustified(digits, '0');
    FUZZ_CHECK(written == QByteArray(header + 2, digits));
    return 0;
}
