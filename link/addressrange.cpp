#include "link/addressrange.h"

#include <QNetworkInterface>
#include <QStringList>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// A dotted IPv4 address of four decimal numbers 0-255, nothing else (the
// system's parser also takes "10.1" and hexadecimal forms).
std::optional<quint32> ParseDotted(QStringView text)
{
    const QList<QStringView> parts = text.split(u'.');
    if (parts.size() != 4)
        return std::nullopt;
    quint32 value = 0;
    for (const QStringView part : parts) {
        bool ok = false;
        const uint number = part.toUInt(&ok);
        if (!ok || part.isEmpty() || part.size() > 3 || !part.front().isDigit() || number > 255)
            return std::nullopt;
        value = (value << 8) | number;
    }
    return value;
}

quint32 Mask(int prefixLength)
{
    return prefixLength <= 0 ? 0 : ~quint32(0) << (32 - prefixLength);
}

bool Fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

std::optional<CAddressRange> CAddressRange::Parse(const QString& text, QString* error)
{
    const QString trimmed = text.trimmed();
    CAddressRange range;
    const qsizetype slash = trimmed.indexOf(u'/');
    const qsizetype dash = trimmed.indexOf(u'-');
    const std::optional<quint32> address =
        ParseDotted(QStringView(trimmed).first(slash >= 0  ? slash
                                               : dash >= 0 ? dash
                                                           : trimmed.size()));
    if (!address) {
        Fail(error, u"not an IPv4 address or range: \"%1\""_s.arg(text));
        return std::nullopt;
    }
    if (slash >= 0) {
        bool ok = false;
        const QStringView digits = QStringView(trimmed).sliced(slash + 1);
        const int length = digits.toInt(&ok);
        if (!ok || digits.isEmpty() || !digits.front().isDigit() || length > 32) {
            Fail(error, u"not a network: \"%1\""_s.arg(text));
            return std::nullopt;
        }
        if (length < MIN_PREFIX_LENGTH) {
            Fail(error, u"too wide: \"%1\" (at most /%2, %3 addresses)"_s.arg(text)
                            .arg(MIN_PREFIX_LENGTH)
                            .arg(MAX_ADDRESSES));
            return std::nullopt;
        }
        range.m_nPrefixLength = length;
        range.m_nFirst = *address & Mask(length);
        range.m_nLast = range.m_nFirst | ~Mask(length);
        return range;
    }
    range.m_nFirst = range.m_nLast = *address;
    if (dash >= 0) {
        bool ok = false;
        const QStringView digits = QStringView(trimmed).sliced(dash + 1);
        const uint last = digits.toUInt(&ok);
        if (!ok || digits.isEmpty() || !digits.front().isDigit() || last > 255 || last < (*address & 0xFF)) {
            Fail(error, u"not a range of last numbers: \"%1\""_s.arg(text));
            return std::nullopt;
        }
        range.m_nLast = (*address & ~quint32(0xFF)) | last;
    }
    return range;
}

QList<QHostAddress> CAddressRange::Addresses() const
{
    quint32 first = m_nFirst;
    quint32 last = m_nLast;
    if (m_nPrefixLength >= 0 && m_nPrefixLength <= 30) {
        ++first;
        --last;
    }
    QList<QHostAddress> addresses;
    addresses.reserve(qsizetype(last - first + 1));
    for (quint64 value = first; value <= last; ++value)
        addresses.append(QHostAddress(quint32(value)));
    return addresses;
}

QString CAddressRange::Text() const
{
    const QString first = QHostAddress(m_nFirst).toString();
    if (m_nPrefixLength >= 0)
        return first + u'/' + QString::number(m_nPrefixLength);
    if (m_nLast != m_nFirst)
        return first + u'-' + QString::number(m_nLast & 0xFF);
    return first;
}

QList<CAddressRange> CAddressRange::LocalNetworks(const QList<CLocalAddress>& addresses)
{
    QList<CAddressRange> ranges;
    for (const CLocalAddress& local : addresses) {
        bool ipv4 = false;
        const quint32 value = local.m_address.toIPv4Address(&ipv4);
        if (!ipv4 || !local.m_bUp || local.m_bLoopback || (value >> 24) == 127 || (value >> 16) == 0xA9FE)
            continue;
        // A wider network is searched only around the PC: a /16 would take minutes.
        const int length = std::clamp(local.m_nPrefixLength, 24, 32);
        CAddressRange range;
        range.m_nPrefixLength = length;
        range.m_nFirst = value & Mask(length);
        range.m_nLast = range.m_nFirst | ~Mask(length);
        if (!ranges.contains(range))
            ranges.append(range);
    }
    return ranges;
}

QList<CAddressRange> CAddressRange::PcNetworks()
{
    QList<CLocalAddress> addresses;
    for (const QNetworkInterface& adapter : QNetworkInterface::allInterfaces()) {
        const QNetworkInterface::InterfaceFlags flags = adapter.flags();
        for (const QNetworkAddressEntry& entry : adapter.addressEntries()) {
            addresses.append({entry.ip(), entry.prefixLength(), flags.testFlag(QNetworkInterface::IsLoopBack),
                              flags.testFlag(QNetworkInterface::IsUp)});
        }
    }
    return LocalNetworks(addresses);
}
