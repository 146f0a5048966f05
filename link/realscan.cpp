#include "link/realscan.h"

#include <charconv>
#include <cmath>

bool IsScanBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

bool ScanReal(QByteArrayView text, qsizetype& pos, double& value)
{
    const qsizetype n = text.size();
    qsizetype i = pos;
    while (i < n && IsScanBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const qsizetype start = i;
    qsizetype digits = 0;
    while (i < n && IsDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && IsDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    bool negativeExponent = false;
    // An exponent counts only with at least one digit; "12e" reads as 12.
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        qsizetype j = i + 1;
        if (j < n && (text[j] == '+' || text[j] == '-')) {
            negativeExponent = text[j] == '-';
            ++j;
        }
        if (j < n && IsDigit(text[j])) {
            while (j < n && IsDigit(text[j]))
                ++j;
            i = j;
        }
    }

    double parsed = 0.0;
    const auto result =
        std::from_chars(text.data() + start, text.data() + i, parsed, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range)
        parsed = negativeExponent ? 0.0 : HUGE_VAL;
    else if (result.ec != std::errc())
        return false;
    value = negative ? -parsed : parsed;
    pos = i;
    return true;
}

bool ScanCount(QByteArrayView text, qint64& value)
{
    qsizetype pos = 0;
    double real = 0.0;
    if (!ScanReal(text, pos, real))
        return false;
    while (pos < text.size() && IsScanBlank(text[pos]))
        ++pos;
    // 2^63 is exactly representable; a whole double below it converts exactly.
    constexpr double limit = 9223372036854775808.0;
    if (pos != text.size() || !(real >= 0.0 && real < limit) || std::trunc(real) != real)
        return false;
    value = qint64(real);
    return true;
}
