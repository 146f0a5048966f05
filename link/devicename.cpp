#include "devicename.h"

using namespace Qt::StringLiterals;

bool IsWireSafePath(QStringView path)
{
    for (const QChar c : path) {
        const char16_t u = c.unicode();
        // C0 and C1 controls, DEL, and anything beyond one Latin-1 byte.
        if (u == u'"' || u < 0x20 || (u >= 0x7F && u <= 0x9F) || u > 0xFF)
            return false;
    }
    return true;
}

bool IsValidNewName(QStringView name)
{
    if (name.isEmpty() || name == u"."_s || name == u".."_s)
        return false;
    if (!IsWireSafePath(name))
        return false;
    for (const QChar c : name) {
        if (c == u',' || c == u'/' || c == u'\\')
            return false;
    }
    return true;
}

QString InvalidNameMessage(const QString& name)
{
    return u"Invalid file name : \""_s + name + u'"';
}
