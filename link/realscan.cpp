#include "link/realscan.h"

#include <QVarLengthArray>

#include <charconv>
#include <cmath>

namespace {

bool IsBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

bool IsDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

bool ScanReal(QStringView text, qsizetype& pos, double& value)
{
    const qsizetype n = text.size();
    qsizetype i = pos;
    while (i < n && IsBlank(text[i].unicode()))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    const qsizetype start = i;
    qsizetype digits = 0;
    while (i < n && IsDigit(text[i].unicode())) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == u'.') {
        ++i;
        while (i < n && IsDigit(text[i].unicode())) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    bool negativeExponent = false;
    // An exponent counts only with at least one digit; "12e" reads as 12.
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < n && (text[j] == u'+' || text[j] == u'-')) {
            negativeExponent = text[j] == u'-';
            ++j;
        }
        if (j < n && IsDigit(text[j].unicode())) {
            while (j < n && IsDigit(text[j].unicode()))
                ++j;
            i = j;
        }
    }

    // The token is plain ASCII by now; short ones (every real size) skip the heap.
    const QStringView digitsText = text.sliced(start, i - start);
    QVarLengthArray<char, 64> token(digitsText.size());
    for (qsizetype k = 0; k < digitsText.size(); ++k)
        token[k] = char(digitsText[k].unicode());
    double parsed = 0.0;
    const auto result = std::from_chars(token.constData(), token.constData() + token.size(), parsed,
                                        std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range)
        parsed = negativeExponent ? 0.0 : HUGE_VAL;
    else if (result.ec != std::errc())
        return false;
    value = negative ? -parsed : parsed;
    pos = i;
    return true;
}

int ScanRealPair(QStringView text, double& first, double& second)
{
    qsizetype pos = 0;
    double a = 0.0;
    double b = 0.0;
    if (!ScanReal(text, pos, a))
        return 0;
    if (pos >= text.size() || text[pos] != u',')
        return 0;
    ++pos;
    if (!ScanReal(text, pos, b))
        return 0;
    first = a;
    second = b;
    return 1;
}

bool ScanCount(QStringView text, qint64& value)
{
    qsizetype pos = 0;
    double real = 0.0;
    if (!ScanReal(text, pos, real))
        return false;
    while (pos < text.size() && IsBlank(text[pos].unicode()))
        ++pos;
    // 2^63 is exactly representable; a whole double below it converts exactly.
    constexpr double limit = 9223372036854775808.0;
    if (pos != text.size() || !(real >= 0.0 && real < limit) || std::trunc(real) != real)
        return false;
    value = qint64(real);
    return true;
}
