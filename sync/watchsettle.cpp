#include "sync/watchsettle.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

bool CWatchSettle::IsTemporaryName(const QString& name)
{
    static const QRegularExpression kTemporary(
        u"^(?:"
        // emacs: lock and auto-save files; office programs' owner files and locks
        "\\.#.*|#.*#|~\\$.*|\\.~lock\\..*#|"
        // vim's swap files and its probe of a folder
        ".*\\.sw[a-px]|4913|"
        // backups and partial saves: "name~", "name.tmp", a browser's download
        ".*~|.*\\.(?:tmp|temp|part|partial|crdownload|download|kate-swp)|"
        // GLib's save files
        "\\.goutputstream-.*"
        ")$"_s,
        QRegularExpression::CaseInsensitiveOption);
    return kTemporary.match(name).hasMatch();
}

void CWatchSettle::Start(const Snapshot& snapshot)
{
    m_current = snapshot;
    m_passed = snapshot;
    m_changedAt.clear();
}

void CWatchSettle::Observe(const Snapshot& snapshot, qint64 nowMs)
{
    for (auto it = snapshot.cbegin(); it != snapshot.cend(); ++it) {
        const auto before = m_current.constFind(it.key());
        if (before == m_current.cend() || !(before.value() == it.value()))
            m_changedAt.insert(it.key(), nowMs);
    }
    for (auto it = m_current.cbegin(); it != m_current.cend(); ++it) {
        if (!snapshot.contains(it.key()))
            m_changedAt.insert(it.key(), nowMs);
    }
    m_current = snapshot;
}

QSet<QString> CWatchSettle::Unsettled(qint64 nowMs) const
{
    QSet<QString> unsettled;
    for (auto it = m_changedAt.cbegin(); it != m_changedAt.cend(); ++it) {
        if (nowMs - it.value() < m_nSettleMs)
            unsettled.insert(it.key());
    }
    return unsettled;
}

bool CWatchSettle::PassDue(qint64 nowMs) const
{
    const QSet<QString> unsettled = Unsettled(nowMs);
    for (auto it = m_current.cbegin(); it != m_current.cend(); ++it) {
        if (unsettled.contains(it.key()))
            continue;
        const auto passed = m_passed.constFind(it.key());
        if (passed == m_passed.cend() || !(passed.value() == it.value()))
            return true;
    }
    for (auto it = m_passed.cbegin(); it != m_passed.cend(); ++it) {
        if (!m_current.contains(it.key()) && !unsettled.contains(it.key()))
            return true;
    }
    return false;
}

void CWatchSettle::PassDone(qint64 nowMs)
{
    // What is still settling stays as the pass before left it.
    const QSet<QString> unsettled = Unsettled(nowMs);
    Snapshot passed;
    for (auto it = m_current.cbegin(); it != m_current.cend(); ++it) {
        if (!unsettled.contains(it.key()))
            passed.insert(it.key(), it.value());
    }
    for (const QString& path : unsettled) {
        if (const auto before = m_passed.constFind(path); before != m_passed.cend())
            passed.insert(path, before.value());
    }
    m_passed = passed;
    // Changes long settled need no time any more.
    m_changedAt.removeIf([&](const auto& entry) { return nowMs - entry.value() >= m_nSettleMs; });
}
