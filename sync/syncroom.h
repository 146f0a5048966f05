#pragma once

#include <QList>
#include <QString>

// The generator memory a plan of writes needs, against its free figure,
// before the first byte. The generator takes a block only when its whole
// size is free, and gives a replaced file's room back once the new one is
// in place; deletions, done first, give theirs back at once.
class CSyncRoom final
{
public:
    struct CWrite
    {
        qint64 m_nSize = 0;
        qint64 m_nReplaced = 0; // the size of the file it replaces; 0 for a new one
    };

    // The most memory the writes need at one moment, in the order given,
    // beyond what the deletions free (`freed` bytes); 0 when they need none.
    static qint64 Needed(const QList<CWrite>& writes, qint64 freed = 0);
    // "needs 16.6MB, 6.30MB free"
    static QString Text(qint64 needed, double freeBytes);
};
