#pragma once

#include <QByteArrayView>

// The longest header of a definite-length block: "#", the digit 9, nine digits.
inline constexpr int BLOCK_HEADER_MAX_BYTES = 11;

// How long the block header that `prefix` begins is, as far as `prefix`
// tells: 1 before anything, 2 after "#", 2 + n after "#" and the digit n.
// -1 when `prefix` cannot begin a header: no "#", a count that is not a
// digit 1 to 9 ("#0" is the indefinite form, whose length cannot be checked
// against anything), or a length byte that is not a decimal digit.
int BlockHeaderSize(QByteArrayView prefix);

// The number of data bytes a whole header announces; -1 when `header` is
// not one whole header.
qint64 BlockHeaderLength(QByteArrayView header);
