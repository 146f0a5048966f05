// The block header read of the upload worker: it asks how long the header
// is, reads that many bytes into a buffer of the longest header's size, and
// asks again. Fed the bytes a generator might send, beyond not crashing:
// - the size asked for never goes below what is read, nor past the buffer;
// - the read ends within three rounds, on a refusal or on a whole header;
// - a whole header is "#", a digit n and n more bytes.

#include "blockheader.h"
#include "fuzzcheck.h"

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
        if (wanted < 0)
            return 0;
        FUZZ_CHECK(wanted >= have && wanted <= BLOCK_HEADER_MAX_BYTES);
        if (wanted == have)
            break;
        // The peer closing early ends the read as the socket would.
        if (size < size_t(wanted))
            return 0;
        std::memcpy(header + have, data + have, size_t(wanted - have));
        have = wanted;
    }
    FUZZ_CHECK(have >= 2 && header[0] == '#' && header[1] >= '0' && header[1] <= '9');
    FUZZ_CHECK(have == 2 + (header[1] - '0'));
    return 0;
}
