#include "link/printable.h"

using namespace Qt::StringLiterals;

namespace {
bool IsControl(char16_t u)
{
    return u < 0x20 || (u >= 0x7F && u <= 0x9F);
}
} // namespace

QString PrintableText(QStringView text)
{
    // Nothing to change is the usual case: no copy then.
    bool plain = true;
    for (const QChar c : text) {
        if (IsControl(c.unicode())) {
            plain = false;
            break;
        }
    }
    if (plain)
        return text.toString();
    QString shown;
    shown.reserve(text.size() + 8);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (IsControl(u))
            shown += QString::asprintf("\\x%02X", unsigned(u));
        else
            shown += c;
    }
    return shown;
}

QString ShortenedText(const QString& text, qsizetype max)
{
    if (text.size() <= max)
        return text;
    return text.left(max) + u"... (%1 characters in all)"_s.arg(text.size());
}
