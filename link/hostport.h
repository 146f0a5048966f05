#pragma once

#include <QString>

#include <optional>

// A generator's place as people write it: an address or a host name, and its
// port after a colon where it is not the one every generator uses
// ("10.0.0.5", "127.0.0.1:5001"). Several emulators on one PC differ only in
// their ports.
struct CHostPort
{
    QString m_strHost;
    quint16 m_nPort = 0; // 0: not written

    // The place a text names; nullopt with the reason in `error` when it
    // names none (empty, blanks inside, a colon without a port after it).
    static std::optional<CHostPort> Parse(const QString& text, QString* error = nullptr);
    // As it can be parsed again: "HOST", or "HOST:PORT" with a port.
    QString Text() const;
    // The port written, else `fallback`.
    quint16 PortOr(quint16 fallback) const { return m_nPort != 0 ? m_nPort : fallback; }

    bool operator==(const CHostPort& other) const = default;
};
