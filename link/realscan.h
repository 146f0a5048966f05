#pragma once

#include <QStringView>

// Number reading for the generator's replies, as the C "%lf" conversion reads
// them but independent of the process locale: optional blanks, an optional
// sign, digits with an optional decimal point, an optional exponent.

// Reads a real number at `pos`; on success stores it, moves `pos` past it and
// returns true. Leaves both untouched otherwise.
bool ScanReal(QStringView text, qsizetype& pos, double& value);

// Reads "<real>,<real>" from the start of `text` (the memory figures of a
// catalog reply). Returns 1 when both numbers were read.
int ScanRealPair(QStringView text, double& first, double& second);

// A real number truncated toward zero, saturated to the 64-bit range.
qint64 TruncateToInt64(double value);
