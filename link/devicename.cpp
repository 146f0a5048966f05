#include "link/devicename.h"

using namespace Qt::StringLiterals;

bool IsWireSafePath(QStringView path)
{
    for (const QChar c : path) {
        const char16_t u = c.unicode();
        // What would end the argument or the line, and what one Latin-1 byte
        // cannot carry. Bytes 0x7F to 0xFF travel as they are: every name a
        // listing delivered can be named again.
        if (u == u'"' || u < 0x20 || u > 0xFF)
            return false;
    }
    return true;
}

bool IsNameCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return u >= 0x20 && u != 0x7F && u <= 0xFF && c != u'"';
}

bool IsValidNewName(QStringView name)
{
    if (name.isEmpty() || name == u"."_s || name == u".."_s)
        return false;
    for (const QChar c : name) {
        if (!IsNameCharacter(c) || c == u',' || c == u'/' || c == u'\\')
            return false;
    }
    return true;
}

QString InvalidNameMessage(const QString& name)
{
    return u"Invalid file name : \""_s + name + u'"';
}
