#include "link/hostport.h"

#include <algorithm>

using namespace Qt::StringLiterals;

std::optional<CHostPort> CHostPort::Parse(const QString& text, QString* error)
{
    const auto fail = [error](const QString& reason) -> std::optional<CHostPort> {
        if (error)
            *error = reason;
        return std::nullopt;
    };
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return fail(u"no address"_s);
    if (std::any_of(trimmed.cbegin(), trimmed.cend(),
                    [](QChar c) { return c.isSpace() || c.unicode() < 0x20; }))
        return fail(u"not an address: \"%1\""_s.arg(trimmed));
    CHostPort place;
    const qsizetype colon = trimmed.lastIndexOf(u':');
    if (colon < 0) {
        place.m_strHost = trimmed;
        return place;
    }
    place.m_strHost = trimmed.left(colon);
    const QString port = trimmed.mid(colon + 1);
    bool ok = false;
    const uint value = port.toUInt(&ok);
    // Digits only: toUInt would take "+5" and " 5".
    const bool digits = !port.isEmpty() && std::all_of(port.cbegin(), port.cend(),
                                                       [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (!ok || !digits || value == 0 || value > 65535)
        return fail(u"not a port (1 to 65535): \"%1\""_s.arg(trimmed));
    if (place.m_strHost.isEmpty() || place.m_strHost.contains(u':'))
        return fail(u"not an address: \"%1\""_s.arg(trimmed));
    place.m_nPort = quint16(value);
    return place;
}

QString CHostPort::Text() const
{
    return m_nPort == 0 ? m_strHost : u"%1:%2"_s.arg(m_strHost).arg(m_nPort);
}
