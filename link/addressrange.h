#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

#include <optional>

// One IPv4 address of the PC as its interface reports it.
struct CLocalAddress
{
    QHostAddress m_address;
    int m_nPrefixLength = 32;
    bool m_bLoopback = false; // the interface is a loopback one
    bool m_bUp = true;
};

// A run of IPv4 addresses to look for generators in: one address
// ("10.0.0.5"), a network ("10.0.0.0/24", at most MAX_ADDRESSES wide) or a
// run of last numbers ("10.0.0.5-40").
class CAddressRange final
{
public:
    // The widest range one scan takes: a /22.
    static constexpr int MAX_ADDRESSES = 1024;
    static constexpr int MIN_PREFIX_LENGTH = 22;

    // The range a text names; nullopt with the reason in `error` otherwise.
    static std::optional<CAddressRange> Parse(const QString& text, QString* error = nullptr);

    // The addresses in order; a network's own address and its broadcast
    // address (of a /30 or wider) are no hosts and are left out.
    QList<QHostAddress> Addresses() const;
    // As it can be parsed again: "10.0.0.0/24", "10.0.0.5-40", "10.0.0.5".
    QString Text() const;

    // The networks of the PC's own addresses: IPv4 only, loopback and
    // link-local (169.254.0.0/16) left out, each network wider than a /24 cut
    // to the /24 around the address; in the order given, without repeats.
    static QList<CAddressRange> LocalNetworks(const QList<CLocalAddress>& addresses);
    // LocalNetworks of the interfaces this PC has now.
    static QList<CAddressRange> PcNetworks();

    bool operator==(const CAddressRange& other) const = default;

private:
    quint32 m_nFirst = 0;
    quint32 m_nLast = 0;
    int m_nPrefixLength = -1; // a network's; -1 for an address or a run
};
