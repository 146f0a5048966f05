#include "link/appsettings.h"

#include <array>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

// A scanner with the matching rules of the C library's formatted input: a
// blank in the format matches any run of white space (none included), other
// characters match themselves, a number skips leading white space and takes
// an optional sign and at least one digit.
class Scanner
{
public:
    explicit Scanner(QStringView text) : m_text(text) {}

    void SkipSpace()
    {
        while (m_pos < m_text.size() && m_text[m_pos].isSpace())
            ++m_pos;
    }

    bool Literal(QStringView literal)
    {
        for (const QChar c : literal) {
            if (c == u' ') {
                SkipSpace();
                continue;
            }
            if (m_pos >= m_text.size() || m_text[m_pos] != c)
                return false;
            ++m_pos;
        }
        return true;
    }

    // A number that does not fit an int is a mismatch rather than a wrapped value.
    bool Number(int& out)
    {
        SkipSpace();
        qsizetype pos = m_pos;
        bool negative = false;
        if (pos < m_text.size() && (m_text[pos] == u'-' || m_text[pos] == u'+')) {
            negative = m_text[pos] == u'-';
            ++pos;
        }
        const qsizetype firstDigit = pos;
        qint64 value = 0;
        while (pos < m_text.size() && m_text[pos] >= u'0' && m_text[pos] <= u'9') {
            value = value * 10 + (m_text[pos].unicode() - u'0');
            if (value > qint64(std::numeric_limits<int>::max()) + 1)
                return false;
            ++pos;
        }
        if (pos == firstDigit)
            return false;
        if (negative)
            value = -value;
        if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min())
            return false;
        out = int(value);
        m_pos = pos;
        return true;
    }

private:
    QStringView m_text;
    qsizetype m_pos = 0;
};

} // namespace

int CAppSettings::Parse(QStringView text)
{
    *this = CAppSettings();

    // The nine numbers in stored order; the literal "&d" comes before the seventh.
    const std::array<int*, 9> fields = {
        &m_placement.left,      &m_placement.top,  &m_placement.width,   &m_placement.height,
        &m_placement.treeWidth, &m_listState.mode, &m_listState.sortKey, &m_listState.firstColumnWidth,
        &m_nNinthValue,
    };

    Scanner scanner(text);
    int taken = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0 && !scanner.Literal(u", "))
            break;
        if (i == 6 && !scanner.Literal(u"&d, "))
            break;
        int value = 0;
        if (!scanner.Number(value))
            break;
        *fields[i] = value;
        ++taken;
    }
    ApplyZeroRules();
    return taken;
}

QString CAppSettings::Format() const
{
    return u"%1, %2, %3, %4, %5, %6, &d, %7, %8, %9"_s.arg(m_placement.left)
        .arg(m_placement.top)
        .arg(m_placement.width)
        .arg(m_placement.height)
        .arg(m_placement.treeWidth)
        .arg(m_listState.mode)
        .arg(m_listState.sortKey)
        .arg(m_listState.firstColumnWidth)
        .arg(m_nNinthValue);
}

void CAppSettings::ApplyZeroRules()
{
    if (m_listState.firstColumnWidth == 0)
        m_listState.firstColumnWidth = vqsettings::DEFAULT_NAME_COLUMN_WIDTH;
    if (m_nNinthValue == 0)
        m_nNinthValue = DEFAULT_NINTH_VALUE;
    if (m_listState.secondColumnWidth == 0)
        m_listState.secondColumnWidth = vqsettings::DEFAULT_SIZE_COLUMN_WIDTH;
}
