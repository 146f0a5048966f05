#include "dialogs/recenthosts.h"

#include "dialogs/ipaddressedit.h"

using namespace Qt::StringLiterals;

namespace {
CRecentHosts* g_pSharedHosts = nullptr;

// The address as the dialog writes it; empty for anything else (a value
// edited by hand), which is left out rather than guessed at.
QString Normalised(const QString& host)
{
    const QString text = host.trimmed();
    const auto fields = CIpAddressEdit::ParseAddress(text);
    if (!fields)
        return {};
    const QString address =
        u"%1.%2.%3.%4"_s.arg((*fields)[0]).arg((*fields)[1]).arg((*fields)[2]).arg((*fields)[3]);
    return address == text ? address : QString();
}
} // namespace

void CRecentHosts::SetHosts(const QStringList& hosts)
{
    m_hosts.clear();
    for (const QString& host : hosts) {
        const QString address = Normalised(host);
        if (!address.isEmpty() && !m_hosts.contains(address))
            m_hosts.append(address);
        if (m_hosts.size() == MAX_HOSTS)
            break;
    }
}

void CRecentHosts::Add(const QString& host)
{
    const QString address = Normalised(host);
    if (address.isEmpty())
        return;
    m_hosts.removeAll(address);
    m_hosts.prepend(address);
    while (m_hosts.size() > MAX_HOSTS)
        m_hosts.removeLast();
}

QString CRecentHosts::SettingsText() const
{
    return m_hosts.join(u',');
}

CRecentHosts CRecentHosts::FromSettingsText(const QString& text)
{
    CRecentHosts hosts;
    hosts.SetHosts(text.split(u',', Qt::SkipEmptyParts));
    return hosts;
}

CRecentHosts* CRecentHosts::Shared()
{
    return g_pSharedHosts;
}

void CRecentHosts::SetShared(CRecentHosts* pHosts)
{
    g_pSharedHosts = pHosts;
}
