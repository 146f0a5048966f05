#pragma once

#include <QByteArrayView>

// Number reading for the generator's replies, as the C "%lf" conversion reads
// them but independent of the process locale: optional blanks, an optional
// sign, digits with an optional decimal point, an optional exponent. They read
// the reply's bytes as they came (Latin-1).

// Reads a real number at `pos`; on success stores it, moves `pos` past it and
// returns true. Leaves both untouched otherwise.
bool ScanReal(QByteArrayView text, qsizetype& pos, double& value);

// Reads `text` whole as a count: a real number as above (so "1200", "1200.0"
// and "1.2E+3" all give 1200), blanks around it allowed, nothing else. True
// only when its value is a whole number from 0 up to the 64-bit range: a
// fraction, a sign that makes it negative, text after it or a value too large
// is no count at all, rather than a wrong one.
bool ScanCount(QByteArrayView text, qint64& value);

// A blank as the C library's isspace sees one in the "C" locale.
bool IsScanBlank(char c);
