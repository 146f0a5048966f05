// The reply framing of the command socket: bytes as they arrive, in pieces of
// any size, read as lines with a length bound. Beyond not crashing:
// - a line never holds LF, CR or NUL;
// - as long as no line passes the bound, the lines taken, each with its LF,
//   give back the input without its CR and NUL bytes: nothing is lost,
//   doubled or reordered;
// - `received` counts exactly the bytes of the line, CR and NUL included;
// - what the buffer holds stays within what was appended and not taken.

#include "fuzz/fuzzcheck.h"
#include "link/linebuffer.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    // The first byte sets the piece sizes, the second the line bound.
    const size_t piece = size_t(data[0] % 17) + 1;
    const qint64 maxBytes = qint64(data[1]) * 4 + 1;
    const QByteArray input(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));

    CLineBuffer buffer;
    QByteArray rebuilt;
    QByteArray line;
    qint64 received = 0;
    qint64 lineBytes = 0; // bytes of the current line appended so far
    bool tooLong = false;
    for (qsizetype at = 0; at < input.size();) {
        const QByteArray chunk = input.mid(at, qsizetype(piece));
        at += chunk.size();
        buffer.Append(chunk);
        FUZZ_CHECK(buffer.HeldBytes() <= input.size());
        for (;;) {
            const qsizetype before = buffer.Buffered();
            const CLineBuffer::LineStatus status = buffer.TakeLine(line, received, maxBytes);
            const qsizetype taken = before - buffer.Buffered();
            FUZZ_CHECK(taken >= 0 && taken <= before);
            if (status == CLineBuffer::LineStatus::TooLong) {
                tooLong = true;
                break;
            }
            lineBytes += taken;
            FUZZ_CHECK(!line.contains('\n') && !line.contains('\r') && !line.contains('\0'));
            if (status == CLineBuffer::LineStatus::Partial) {
                FUZZ_CHECK(buffer.Buffered() == 0);
                FUZZ_CHECK(received == lineBytes);
                break;
            }
            // The LF was taken but not counted.
            FUZZ_CHECK(received == lineBytes - 1);
            rebuilt += line + '\n';
            line.clear();
            received = 0;
            lineBytes = 0;
        }
        if (tooLong)
            break;
    }
    if (!tooLong) {
        rebuilt += line;
        QByteArray expected = input;
        expected.replace('\r', QByteArray()).replace('\0', QByteArray());
        FUZZ_CHECK(rebuilt == expected);
    }
    return 0;
}
