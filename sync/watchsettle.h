#pragma once

#include <QHash>
#include <QSet>
#include <QString>

// When a watched PC folder is ready for a sync pass: each file is taken
// once it has stayed as it is (size and time) for the settle time, so a file
// being written is sent whole and a temporary file that an editor renames
// within that time is never sent at all. Names that editors and browsers use
// for files in the making are left out altogether.
class CWatchSettle final
{
public:
    struct CStat
    {
        qint64 m_nSize = 0;
        qint64 m_nModifiedMs = 0;
        bool m_bFolder = false;
        bool operator==(const CStat& other) const = default;
    };
    // The tree by path below the watched folder.
    using Snapshot = QHash<QString, CStat>;

    explicit CWatchSettle(qint64 settleMs) : m_nSettleMs(settleMs) {}

    // A name an editor, an office program or a browser gives a file it is
    // still writing, or its lock and swap files.
    static bool IsTemporaryName(const QString& name);

    // The tree as the first sync left it: settled and passed.
    void Start(const Snapshot& snapshot);
    // The tree as it is at `nowMs` (a clock that only goes forward).
    void Observe(const Snapshot& snapshot, qint64 nowMs);
    // The paths changed (made, altered, gone) less than the settle time ago:
    // a pass leaves them as they are on both sides.
    QSet<QString> Unsettled(qint64 nowMs) const;
    // True when a settled path is not as the last pass left it.
    bool PassDue(qint64 nowMs) const;
    // A pass has made the generator hold the settled paths as they are now.
    void PassDone(qint64 nowMs);

private:
    qint64 m_nSettleMs;
    Snapshot m_current;
    Snapshot m_passed;
    QHash<QString, qint64> m_changedAt; // path -> when it last changed
};
