#include "sync/syncplan.h"

#include "link/devicename.h"
#include "link/devicepath.h"
#include "link/fileinfo.h"

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

bool IsPackage(const CSyncEntry& entry)
{
    return !entry.m_bFolder && FileKindFromName(Name(entry.m_strPath)) == KIND_DOWNLOAD;
}

// Two files at one path: what is known of both contents decides.
CSyncStep Judge(const CSyncEntry& sending, const CSyncEntry& receiving)
{
    CSyncStep step;
    step.m_strPath = receiving.m_strPath;
    step.m_strSource = sending.m_strPath;
    step.m_nSize = sending.m_nSize;
    step.m_nOldSize = receiving.m_nSize;
    step.m_sha256 = sending.m_sha256;
    step.m_bLink = receiving.m_bLink;
    if (sending.m_nSize != receiving.m_nSize || sending.m_nSize < 0 || receiving.m_bLink) {
        step.m_eAction = CSyncStep::Action::SendChanged;
    } else if (receiving.m_bUnconfirmed) {
        // Sent again: which of two contents of one size is there nobody knows.
        step.m_eAction = CSyncStep::Action::SendChanged;
        step.m_eJudged = SyncKnown::Record;
        step.m_bUnconfirmed = true;
    } else if (sending.m_sha256.isEmpty() || receiving.m_sha256.isEmpty()) {
        step.m_eAction = CSyncStep::Action::SizeOnly;
    } else {
        step.m_eJudged = std::max(sending.m_eKnown, receiving.m_eKnown);
        step.m_eAction =
            sending.m_sha256 == receiving.m_sha256 ? CSyncStep::Action::Same : CSyncStep::Action::SendChanged;
    }
    return step;
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

QString CSyncPlan::PackageFolderBelow(const QString& deviceFolder)
{
    static const QString kPackages = u"DOWNLOAD"_s;
    if (IsDeviceRoot(deviceFolder))
        return kPackages;
    if (DeviceDepth(deviceFolder) == 1 &&
        DeviceName(deviceFolder).compare(kPackages, Qt::CaseInsensitive) == 0)
        return u""_s;
    return QString();
}

QList<CSyncStep> CSyncPlan::Compare(QList<CSyncEntry> sending, QList<CSyncEntry> receiving,
                                    const COptions& options)
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
    const bool packages = options.m_bToGenerator && !options.m_strPackageFolder.isNull();
    const QString packageKey = options.m_strPackageFolder.toUpper();

    QList<CSyncStep> clashes;
    QList<CSyncStep> folders;
    QList<CSyncStep> sends;
    QList<CSyncStep> found;         // in place, size only, left out
    QSet<QString> sent;             // upper-case paths the sending side holds
    QSet<QString> wanted;           // upper-case receiving paths that stay
    QSet<QString> clashed;          // upper-case paths of clashes: nothing below them is touched
    QHash<QString, QString> placed; // a sending folder's upper path -> its path on the receiving side
    QList<const CSyncEntry*> pendingPackages;
    const auto refuse = [&](CSyncStep::Action action, const CSyncEntry& entry, const QString& path,
                            CSyncStep::Why why = CSyncStep::Why::None) {
        CSyncStep step{action, path, entry.m_strPath, entry.m_bFolder};
        step.m_eWhy = why;
        clashes.append(step);
        clashed.insert(entry.m_strPath.toUpper());
    };
    for (const CSyncEntry& entry : std::as_const(sending)) {
        const QString key = entry.m_strPath.toUpper();
        if (Below(key, clashed))
            continue;
        if (sent.contains(key)) {
            clashes.append({CSyncStep::Action::NameClash, entry.m_strPath, entry.m_strPath, entry.m_bFolder});
            continue;
        }
        sent.insert(key);
        const CSyncEntry* match = there.value(key);
        const QString target = Join(placed.value(Parent(key)), Name(entry.m_strPath));
        if (options.m_bRoot && Parent(key).isEmpty() && (!entry.m_bFolder || !match || !match->m_bFolder)) {
            refuse(CSyncStep::Action::Unplaceable, entry, target,
                   entry.m_bFolder ? CSyncStep::Why::RootFolder : CSyncStep::Why::RootFile);
            wanted.insert(key);
            continue;
        }
        if (const auto all = twice.constFind(key); all != twice.cend()) {
            for (const CSyncEntry* each : *all)
                clashes.append(
                    {CSyncStep::Action::CaseClash, each->m_strPath, entry.m_strPath, each->m_bFolder});
            clashed.insert(key);
            wanted.insert(key);
        } else if (match && match->m_bFolder != entry.m_bFolder) {
            refuse(CSyncStep::Action::TypeClash, entry, match->m_strPath);
            clashes.last().m_bLink = match->m_bLink;
            wanted.insert(key);
        } else if (entry.m_bFolder) {
            wanted.insert(key);
            placed.insert(key, match ? match->m_strPath : target);
            if (!match)
                folders.append({CSyncStep::Action::MakeFolder, target, entry.m_strPath, true});
        } else if (packages && IsPackage(entry) && Parent(key) == packageKey) {
            // Matched by content below, once every other name has claimed its file.
            pendingPackages.append(&entry);
        } else if (options.m_bToGenerator && IsPackage(entry)) {
            // Sent, it would land in DOWNLOAD under another name: never settled here.
            CSyncStep step = match ? Judge(entry, *match) : CSyncStep{};
            if (match)
                wanted.insert(key);
            if (!match || step.IsSend()) {
                step = {CSyncStep::Action::Skip, match ? match->m_strPath : target, entry.m_strPath, false,
                        entry.m_nSize};
                step.m_eWhy = CSyncStep::Why::PackageElsewhere;
            }
            found.append(step);
        } else {
            wanted.insert(key);
            if (!match) {
                CSyncStep step{CSyncStep::Action::SendNew, target, entry.m_strPath, false, entry.m_nSize};
                step.m_sha256 = entry.m_sha256;
                sends.append(step);
            } else {
                const CSyncStep step = Judge(entry, *match);
                (step.IsSend() ? sends : found).append(step);
            }
        }
    }

    // Packages: by name when the content there is not known to differ, else
    // any package of the generator's that holds the same bytes.
    QList<const CSyncEntry*> pool;
    for (const CSyncEntry& entry : std::as_const(receiving)) {
        if (packages && !entry.m_bFolder && Parent(entry.m_strPath.toUpper()) == packageKey)
            pool.append(&entry);
    }
    for (const CSyncEntry* package : std::as_const(pendingPackages)) {
        const QString key = package->m_strPath.toUpper();
        const CSyncEntry* match = there.value(key);
        if (match && !match->m_bFolder && !wanted.contains(key)) {
            const CSyncStep step = Judge(*package, *match);
            if (!step.IsSend()) {
                wanted.insert(key);
                found.append(step);
                continue;
            }
        }
        const CSyncEntry* same = nullptr;
        const CSyncEntry* unknown = nullptr;
        for (const CSyncEntry* candidate : std::as_const(pool)) {
            if (wanted.contains(candidate->m_strPath.toUpper()) || candidate->m_nSize != package->m_nSize)
                continue;
            if (!package->m_sha256.isEmpty() && !candidate->m_sha256.isEmpty()) {
                if (candidate->m_sha256 == package->m_sha256) {
                    same = candidate;
                    break;
                }
            } else if (!unknown) {
                unknown = candidate;
            }
        }
        if (const CSyncEntry* claimed = same ? same : unknown) {
            wanted.insert(claimed->m_strPath.toUpper());
            found.append(Judge(*package, *claimed));
            continue;
        }
        CSyncStep step{CSyncStep::Action::SendNew, Join(placed.value(Parent(key)), Name(package->m_strPath)),
                       package->m_strPath, false, package->m_nSize};
        step.m_sha256 = package->m_sha256;
        step.m_bPackage = true;
        sends.append(step);
    }

    QList<CSyncStep> steps = clashes;
    if (options.m_bDelete) {
        // The bytes each folder holds, for the room its deletion gives back.
        QHash<QString, qint64> held;
        for (const CSyncEntry& entry : std::as_const(receiving)) {
            if (entry.m_bFolder)
                continue;
            for (QString parent = Parent(entry.m_strPath.toUpper()); !parent.isEmpty();
                 parent = Parent(parent))
                held[parent] += std::max<qint64>(entry.m_nSize, 0);
        }
        QSet<QString> deleted; // and the first-level folders kept whole
        for (const CSyncEntry& entry : std::as_const(receiving)) {
            const QString key = entry.m_strPath.toUpper();
            if (wanted.contains(key) || Below(key, deleted) || Below(key, clashed))
                continue;
            if (options.m_bRoot && Parent(key).isEmpty()) {
                deleted.insert(key);
                if (entry.m_bFolder) {
                    CSyncStep step{CSyncStep::Action::Skip, entry.m_strPath, QString(), true};
                    step.m_eWhy = CSyncStep::Why::FirstLevelKept;
                    found.append(step);
                }
                continue;
            }
            CSyncStep step{CSyncStep::Action::Delete, entry.m_strPath, QString(), entry.m_bFolder};
            step.m_nOldSize = entry.m_bFolder ? held.value(key) : std::max<qint64>(entry.m_nSize, 0);
            steps.append(step);
            if (entry.m_bFolder)
                deleted.insert(key);
        }
    }
    // One batch per folder: the files of a folder go together.
    std::stable_sort(sends.begin(), sends.end(), [](const CSyncStep& a, const CSyncStep& b) {
        return Parent(a.m_strPath).toUpper() < Parent(b.m_strPath).toUpper();
    });
    return steps + folders + sends + found;
}

QStringList CSyncPlan::ContentWanted(const QList<CSyncEntry>& sending, const QList<CSyncEntry>& receiving,
                                     const COptions& options)
{
    const QList<CSyncEntry>& pc = options.m_bToGenerator ? sending : receiving;
    const QList<CSyncEntry>& generator = options.m_bToGenerator ? receiving : sending;
    QHash<QString, qint64> pcSizes;
    QSet<qint64> packageSizes;
    const bool packages = options.m_bToGenerator && !options.m_strPackageFolder.isNull();
    const QString packageKey = options.m_strPackageFolder.toUpper();
    for (const CSyncEntry& entry : pc) {
        if (entry.m_bFolder)
            continue;
        pcSizes.insert(entry.m_strPath.toUpper(), entry.m_nSize);
        if (packages && IsPackage(entry) && Parent(entry.m_strPath.toUpper()) == packageKey)
            packageSizes.insert(entry.m_nSize);
    }
    QStringList wanted;
    for (const CSyncEntry& entry : generator) {
        if (entry.m_bFolder)
            continue;
        const QString key = entry.m_strPath.toUpper();
        const auto size = pcSizes.constFind(key);
        const bool samePlace = size != pcSizes.cend() && size.value() == entry.m_nSize;
        const bool package = packages && Parent(key) == packageKey && packageSizes.contains(entry.m_nSize);
        if (samePlace || package)
            wanted.append(entry.m_strPath);
    }
    return wanted;
}

QString CSyncPlan::JudgedName(SyncKnown known)
{
    switch (known) {
    case SyncKnown::Record:
        return u"record"_s;
    case SyncKnown::ReadBack:
        return u"checksum"_s;
    case SyncKnown::None:
    case SyncKnown::Hashed:
        break;
    }
    return u"size-only"_s;
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
        return arrow + u"f+++++++++ %1 (%2 bytes%3)"_s.arg(path)
                           .arg(step.m_nSize)
                           .arg(step.m_bPackage ? u", a package: the generator names it"_s : QString());
    case CSyncStep::Action::SendChanged:
        if (step.IsContentChange() && step.m_bUnconfirmed)
            return arrow +
                   u"fc........ %1 (%2 bytes, an earlier send not confirmed)"_s.arg(path).arg(step.m_nSize);
        if (step.IsContentChange())
            return arrow + u"fc........ %1 (%2 bytes, other content by %3)"_s.arg(path)
                               .arg(step.m_nSize)
                               .arg(JudgedName(step.m_eJudged));
        return arrow + u"f.s....... %1 (%2 -> %3 bytes)"_s.arg(path)
                           .arg(step.m_bLink ? u"link"_s : QString::number(step.m_nOldSize))
                           .arg(step.m_nSize);
    case CSyncStep::Action::Same:
    case CSyncStep::Action::SizeOnly:
    case CSyncStep::Action::Skip:
    case CSyncStep::Action::TypeClash:
    case CSyncStep::Action::NameClash:
    case CSyncStep::Action::CaseClash:
    case CSyncStep::Action::Unplaceable:
        break;
    }
    return QString();
}
