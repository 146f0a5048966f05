#pragma once

#include "link/fileinfo.h"

#include <QHash>
#include <QList>
#include <QString>

// One generator folder as its catalog gave it, entries found by name with
// letter case ignored, as the generator finds them.
class CMountListing final
{
public:
    void Add(const CFileInfo& entry);
    // Null when the folder holds no entry of that name.
    const CFileInfo* Find(const QString& name) const;
    const QList<CFileInfo>& Entries() const { return m_entries; }

    double m_dUsed = 0.0;
    double m_dFree = 0.0;

private:
    QList<CFileInfo> m_entries;
    QHash<QString, qsizetype> m_byUpperName;
};
