#include "cli/syncplan.h"

#include "link/devicename.h"

#include <QHash>
#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QString Parent(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QString() : path.first(slash);
}

QString Name(const QString& path)
{
    return path.sliced(path.lastIndexOf(u'/') + 1);
}

QString Join(const QString& folder, const QString& name)
{
    return folder.isEmpty() ? name : folder + u'/' + name;
}

// True when a folder above `key` (upper case) is in `folders`.
bool Below(const QString& key, const QSet<QString>& folders)
{
    for (QString parent = Parent(key); !parent.isEmpty(); parent = Parent(parent)) {
        if (folders.contains(parent))
            return true;
    }
    return false;
}

void SortByKey(QList<CSyncEntry>& entries)
{
    // Upper case, as the names compare; a folder comes before what it holds.
    std::stable_sort(entries.begin(), entries.end(), [](const CSyncEntry& a, const CSyncEntry& b) {
        return a.m_strPath.toUpper() < b.m_strPath.toUpper();
    });
}

} // namespace

CSyncPlan::Direction CSyncPlan::DirectionOf(const QString& first, const QString& second, bool firstIsPcFolder,
                                            bool secondIsPcFolder)
{
    const auto written = [](const QString& argument) {
        return argument.startsWith(DEVICE_ROOT_PATH, Qt::CaseInsensitive) ||
               argument.startsWith(DEVICE_ROOT_PATH.sliced(1), Qt::CaseInsensitive);
    };
    if (written(first) != written(second))
        return written(first) ? Direction::ToPc : Direction::ToGenerator;
    if (written(first) || firstIsPcFolder == secondIsPcFolder)
        return Direction::Unclear;
    return firstIsPcFolder ? Direction::ToGenerator : Direction::ToPc;
}

QList<CSyncStep> CSyncPlan::Compare(QList<CSyncEntry> sending, QList<CSyncEntry> receiving, bool deleteExtra)
{
    SortByKey(sending);
    SortByKey(receiving);
    QHash<QString, const CSyncEntry*> there;
    QHash<QString, QList<const CSyncEntry*>> twice; // receiving names that are one for the generator
    for (const CSyncEntry& entry : std::as_const(receiving)) {
        const QString key = entry.m_strPath.toUpper();
        if (const CSyncEntry* first = there.value(key)) {
            QList<const CSyncEntry*>& all = twice[key];
            if (all.isEmpty())
                all.append(first);
            all.append(&entry);
        } else {
            there.insert(key, &entry);
        }
    }

    QList<CSyncStep> clashes;
    QList<CSyncStep> folders;
    QList<CSyncStep> sends;
    QSet<QString> wanted;           // upper-case paths the sending side holds
    QSet<QString> clashed;          // upper-case paths of clashes: nothing below them is touched
    QHash<QString, QString> placed; // a sending folder's upper path -> its path on the receiving side
    for (const CSyncEntry& entry : std::as_const(sending)) {
        const QString key = entry.m_strPath.toUpper();
        if (Below(key, clashed))
            continue;
        if (wanted.contains(key)) {
            clashes.append({CSyncStep::Action::NameClash, entry.m_strPath, entry.m_strPath, entry.m_bFolder});
            continue;
        }
        wanted.insert(key);
        const CSyncEntry* match = there.value(key);
        const QString target = Join(placed.value(Parent(key)), Name(entry.m_strPath));
        if (const auto all = twice.constFind(key); all != twice.cend()) {
            for (const CSyncEntry* each : *all)
                clashes.append(
                    {CSyncStep::Action::CaseClash, each->m_strPath, entry.m_strPath, each->m_bFolder});
            clashed.insert(key);
        } else if (match && match->m_bFolder != entry.m_bFolder) {
            CSyncStep clash{CSyncStep::Action::TypeClash, match->m_strPath, entry.m_strPath, entry.m_bFolder};
            clash.m_bLink = match->m_bLink;
            clashes.append(clash);
            clashed.insert(key);
        } else if (entry.m_bFolder) {
            placed.insert(key, match ? match->m_strPath : target);
            if (!match)
                folders.append({CSyncStep::Action::MakeFolder, target, entry.m_strPath, true});
        } else if (!match) {
            sends.append({CSyncStep::Action::SendNew, target, entry.m_strPath, false, entry.m_nSize});
        } else if (match->m_nSize != entry.m_nSize || match->m_bLink) {
            CSyncStep send{CSyncStep::Action::SendChanged,
                           match->m_strPath,
                           entry.m_strPath,
                           false,
                           entry.m_nSize,
                           match->m_nSize};
            send.m_bLink = match->m_bLink;
            sends.append(send);
        }
    }

    QList<CSyncStep> steps = clashes;
    if (deleteExtra) {
        QSet<QString> deleted;
        for (const CSyncEntry& entry : std::as_const(receiving)) {
            const QString key = entry.m_strPath.toUpper();
            if (wanted.contains(key) || Below(key, deleted) || Below(key, clashed))
                continue;
            steps.append({CSyncStep::Action::Delete, entry.m_strPath, QString(), entry.m_bFolder});
            if (entry.m_bFolder)
                deleted.insert(key);
        }
    }
    // One batch per folder: the files of a folder go together.
    std::stable_sort(sends.begin(), sends.end(), [](const CSyncStep& a, const CSyncStep& b) {
        return Parent(a.m_strPath).toUpper() < Parent(b.m_strPath).toUpper();
    });
    return steps + folders + sends;
}

QString CSyncPlan::ItemLine(const CSyncStep& step, bool toGenerator)
{
    const QString path = step.m_strPath.isEmpty() ? u"."_s : step.m_strPath;
    const QString arrow = toGenerator ? u"<"_s : u">"_s;
    switch (step.m_eAction) {
    case CSyncStep::Action::Delete:
        return u"*deleting   "_s + path + (step.m_bFolder ? u"/"_s : QString());
    case CSyncStep::Action::MakeFolder:
        return u"cd+++++++++ "_s + path + u'/';
    case CSyncStep::Action::SendNew:
        return arrow + u"f+++++++++ %1 (%2 bytes)"_s.arg(path).arg(step.m_nSize);
    case CSyncStep::Action::SendChanged:
        return arrow + u"f.s....... %1 (%2 -> %3 bytes)"_s.arg(path)
                           .arg(step.m_bLink ? u"link"_s : QString::number(step.m_nOldSize))
                           .arg(step.m_nSize);
    case CSyncStep::Action::TypeClash:
    case CSyncStep::Action::NameClash:
    case CSyncStep::Action::CaseClash:
        break;
    }
    return QString();
}
