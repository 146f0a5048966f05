#pragma once

#include <QByteArrayView>

// The longest header of a definite-length block: "#", the digit 9, nine digits.
inline constexpr int BLOCK_HEADER_MAX_BYTES = 11;

// How long the block header that `prefix` begins is, as far as `prefix`
// tells: 1 before anything, 2 after "#", 2 + n after "#" and the digit n.
// -1 when `prefix` cannot begin a header (no "#", or a count that is not a
// digit). The length digits themselves are not looked at: the byte count of
// a fetched file comes from its catalog entry.
int BlockHeaderSize(QByteArrayView prefix);
