#include "mount/mountlisting.h"

void CMountListing::Add(const CFileInfo& entry)
{
    m_byUpperName.insert(entry.GetUpperName(), m_entries.size());
    m_entries.append(entry);
}

const CFileInfo* CMountListing::Find(const QString& name) const
{
    const auto it = m_byUpperName.constFind(name.toUpper());
    return it == m_byUpperName.cend() ? nullptr : &m_entries.at(it.value());
}
