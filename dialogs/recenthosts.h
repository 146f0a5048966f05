#pragma once

#include <QString>
#include <QStringList>

// The generator addresses that connected last, newest first, for the network
// dialog's drop-down. The application keeps one list for its whole run and
// stores it between runs (SettingsText, FromSettingsText).
class CRecentHosts final
{
public:
    static constexpr int MAX_HOSTS = 8;

    CRecentHosts() = default;

    QStringList Hosts() const { return m_hosts; }
    // Keeps the first MAX_HOSTS distinct dotted addresses, in their order.
    void SetHosts(const QStringList& hosts);
    // `host` connected: it moves to the front.
    void Add(const QString& host);

    // The stored form: the addresses separated by commas.
    QString SettingsText() const;
    static CRecentHosts FromSettingsText(const QString& text);

    // The list the network dialog shows when it is given none: the
    // application's, while it runs; null otherwise.
    static CRecentHosts* Shared();
    static void SetShared(CRecentHosts* pHosts);

private:
    QStringList m_hosts;
};
