#include "cli/ctlcopyplan.h"

#include "cli/ctlsession.h"
#include "cli/pcfolder.h"
#include "link/devicename.h"
#include "link/devicepath.h"
#include "link/pcname.h"
#include "link/stringtable.h"
#include "link/vqcomm.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStorageInfo>

using namespace Qt::StringLiterals;

namespace {

QString JoinRelative(const QString& folder, const QString& name)
{
    return folder.isEmpty() ? name : folder + u'/' + name;
}

} // namespace

CCtlCopyPlanner::CCtlCopyPlanner(CCtlSession& session) : m_session(session) {}

bool CCtlCopyPlanner::ShowProblems(const CCopyPlan& plan) const
{
    for (const QString& problem : std::as_const(plan.problems))
        m_session.Link().ShowError(problem);
    return plan.problems.isEmpty();
}

// --- put ---------------------------------------------------------------------

void CCtlCopyPlanner::PlanPutFile(const QString& pcPath, const QString& deviceFolder,
                                  const CCtlListing* listing, CCopyPlan& plan)
{
    const QFileInfo info(pcPath);
    const QString name = info.fileName();
    CCopyFile file;
    file.source = pcPath;
    file.target = JoinDevicePath(deviceFolder, name);
    file.folder = deviceFolder;
    file.size = info.size();
    QString reason;
    if (!info.isFile())
        plan.problems.append(CCtlSession::PcPathMessage(u"Neither a file nor a folder"_s, pcPath));
    else if (!CPcFolder::Readable(pcPath, reason))
        plan.problems.append(
            PathMessage(u"Cannot read the PC file"_s, CCtlSession::ShownPcPath(pcPath), reason));
    if (!IsValidNewName(name))
        plan.problems.append(InvalidNameMessage(CCtlSession::ShownPcPath(pcPath)));
    else if (name.size() > MAX_DEVICE_NAME_LENGTH)
        plan.problems.append(CCtlSession::PcPathMessage(u"Name too long for the generator"_s, pcPath));
    else if (DeviceDepth(file.target) > MAX_DEVICE_DEPTH)
        plan.problems.append(PathMessage(u"Too deep for the generator"_s, file.target));
    if (file.size > MAX_DOWNLOAD_SIZE)
        plan.problems.append(
            CCtlSession::PcPathMessage(u"File too large to send (1,000,000,000 bytes or more)"_s, pcPath));
    if (const CFileInfo* existing = listing ? listing->Find(name) : nullptr) {
        if (existing->IsFolder()) {
            plan.problems.append(PathMessage(u"A folder of this name is on the generator"_s, file.target));
        } else {
            file.existed = true;
            file.existingSize = existing->GetSize();
        }
    }
    plan.files.append(file);
}

void CCtlCopyPlanner::PlanPutFolder(const QString& pcFolder, const QString& deviceFolder, bool exists,
                                    int depth, QStringList& seen, CCopyPlan& plan)
{
    // A link back up the tree would never end.
    const QString canonical = QFileInfo(pcFolder).canonicalFilePath();
    if (seen.contains(canonical)) {
        plan.problems.append(CCtlSession::PcPathMessage(u"Folder inside itself (a link)"_s, pcFolder));
        return;
    }
    seen.append(canonical);
    if (depth > MAX_DEVICE_DEPTH) {
        plan.problems.append(PathMessage(u"Too deep for the generator"_s, deviceFolder));
        return;
    }
    const CCtlListing* listing = nullptr;
    if (exists) {
        listing = m_session.Catalog().Cached(deviceFolder);
        if (!listing) {
            plan.problems.append(PathMessage(u"Cannot read the generator folder"_s, deviceFolder));
            return;
        }
    }
    // Nothing is planned from a folder that cannot be read: its files would
    // be missing from the plan without a word.
    QFileInfoList entries;
    QString reason;
    if (!CPcFolder::List(pcFolder, entries, reason)) {
        plan.problems.append(
            PathMessage(u"Cannot read the PC folder"_s, CCtlSession::ShownPcPath(pcFolder), reason));
        return;
    }
    // The files of a folder before its sub-folders, as they are sent.
    std::stable_partition(entries.begin(), entries.end(),
                          [](const QFileInfo& entry) { return !entry.isDir(); });
    for (const QFileInfo& entry : std::as_const(entries)) {
        const QString pcPath = QDir::cleanPath(entry.absoluteFilePath());
        if (entry.isFile()) {
            PlanPutFile(pcPath, deviceFolder, listing, plan);
            continue;
        }
        if (!entry.isDir()) {
            plan.problems.append(CCtlSession::PcPathMessage(u"Neither a file nor a folder"_s, pcPath));
            continue;
        }
        const QString name = entry.fileName();
        const QString child = JoinDevicePath(deviceFolder, name);
        if (!IsValidNewName(name) || name.size() > MAX_DEVICE_NAME_LENGTH) {
            plan.problems.append(InvalidNameMessage(CCtlSession::ShownPcPath(pcPath)));
            continue;
        }
        const CFileInfo* existing = listing ? listing->Find(name) : nullptr;
        if (existing && !existing->IsFolder()) {
            plan.problems.append(PathMessage(u"A file of this name is on the generator"_s, child));
            continue;
        }
        if (!existing)
            plan.folders.append(child);
        PlanPutFolder(pcPath, existing ? JoinDevicePath(deviceFolder, existing->GetName()) : child,
                      existing != nullptr, depth + 1, seen, plan);
    }
}

bool CCtlCopyPlanner::PlanPut(const QStringList& sources, const QString& folder, bool recursive,
                              CCopyPlan& plan)
{
    const CCtlListing* target = m_session.Catalog().Cached(folder);
    if (!target)
        return false;
    QStringList seen;
    for (const QString& source : sources) {
        const QFileInfo info(source);
        const QString pcPath = QDir::cleanPath(info.absoluteFilePath());
        if (!info.exists()) {
            plan.problems.append(CCtlSession::PcPathMessage(LoadStringResource(IDS_FILE_NOT_FOUND), pcPath));
        } else if (!info.isDir()) {
            PlanPutFile(pcPath, folder, target, plan);
        } else if (!recursive) {
            plan.problems.append(CCtlSession::PcPathMessage(u"A folder (put -r sends folders)"_s, pcPath));
        } else {
            const QString name = info.fileName();
            const CFileInfo* existing = target->Find(name);
            if (!IsValidNewName(name) || name.size() > MAX_DEVICE_NAME_LENGTH) {
                plan.problems.append(InvalidNameMessage(CCtlSession::ShownPcPath(pcPath)));
            } else if (existing && !existing->IsFolder()) {
                plan.problems.append(
                    PathMessage(u"A file of this name is on the generator"_s, JoinDevicePath(folder, name)));
            } else {
                const QString device = JoinDevicePath(folder, existing ? existing->GetName() : name);
                if (!existing)
                    plan.folders.append(device);
                PlanPutFolder(pcPath, device, existing != nullptr, DeviceDepth(device), seen, plan);
            }
        }
    }
    // Names on the generator ignore case: "a.seq" and "A.SEQ" are one file there.
    QSet<QString> targets;
    for (const CCopyFile& file : std::as_const(plan.files)) {
        const QString key = file.target.toUpper();
        if (targets.contains(key))
            plan.problems.append(PathMessage(u"Two files for one name on the generator"_s, file.target));
        targets.insert(key);
    }
    return ShowProblems(plan);
}

// --- get ---------------------------------------------------------------------

QString CCtlCopyPlanner::PcTarget(const QString& pcFolder, const QString& name, const QString& devicePath,
                                  QStringList& problems)
{
    // A listed name becomes a PC path: it must be one the PC takes as it is,
    // and the joined path must lie directly inside the folder.
    const QString joined = JoinPcPath(pcFolder, name);
    if (joined.isEmpty())
        problems.append(
            PathMessage(u"Not a name the PC can take"_s, devicePath, PcNameRule(CheckPcName(name))));
    return joined;
}

QString CCtlCopyPlanner::PcBelow(const QString& pcFolder, const QString& relative)
{
    QString path = pcFolder;
    for (const QString& name : relative.split(u'/', Qt::SkipEmptyParts)) {
        path = JoinPcPath(path, name);
        if (path.isEmpty())
            break;
    }
    return path;
}

bool CCtlCopyPlanner::CheckPcTarget(const QFileInfo& there, bool folder, QStringList& problems)
{
    const QString path = there.filePath();
    if (folder) {
        // A link is never followed into: what it names lies outside the target.
        if (there.isSymLink())
            problems.append(CCtlSession::PcPathMessage(u"A link is in the way of a folder"_s, path));
        else if (there.exists() && !there.isDir())
            problems.append(CCtlSession::PcPathMessage(u"A file is in the way of a folder"_s, path));
        else
            return true;
        return false;
    }
    // A link at a file's name is replaced by the file, never written through.
    if (there.isDir() && !there.isSymLink()) {
        problems.append(CCtlSession::PcPathMessage(u"A folder is in the way of a file"_s, path));
        return false;
    }
    return true;
}

void CCtlCopyPlanner::PlanGetFolder(const QString& deviceFolder, const QString& pcFolder, int depth,
                                    CCopyPlan& plan)
{
    if (depth > MAX_DEVICE_DEPTH) {
        plan.problems.append(PathMessage(u"Too deep"_s, deviceFolder));
        return;
    }
    CCtlListing listing;
    if (!m_session.Catalog().Read(deviceFolder, listing)) {
        plan.problems.append(PathMessage(u"Cannot read the generator folder"_s, deviceFolder));
        return;
    }
    for (const CFileInfo& entry : std::as_const(listing.entries)) {
        const QString source = JoinDevicePath(deviceFolder, entry.GetName());
        const QString target = PcTarget(pcFolder, entry.GetName(), source, plan.problems);
        if (target.isEmpty())
            continue;
        const QFileInfo there(target);
        if (!CheckPcTarget(there, entry.IsFolder(), plan.problems))
            continue;
        if (entry.IsFolder()) {
            if (!there.exists())
                plan.folders.append(target);
            PlanGetFolder(source, target, depth + 1, plan);
            continue;
        }
        CCopyFile file;
        file.source = source;
        file.target = target;
        file.folder = deviceFolder;
        file.size = entry.GetSize();
        file.entry = entry;
        plan.files.append(file);
    }
}

bool CCtlCopyPlanner::PlanGet(const QList<CCtlMatch>& sources, const QString& target, bool intoFolder,
                              CCopyPlan& plan)
{
    for (const CCtlMatch& match : sources) {
        QString destination = QDir::cleanPath(target);
        if (intoFolder) {
            destination = PcTarget(destination, match.entry.GetName(), match.path, plan.problems);
            if (destination.isEmpty())
                continue;
        }
        const QFileInfo there(destination);
        if (match.entry.IsFolder()) {
            if (!CheckPcTarget(there, true, plan.problems))
                continue;
            if (!there.exists())
                plan.folders.append(destination);
            PlanGetFolder(match.path, destination, DeviceDepth(match.path), plan);
            continue;
        }
        if (!CheckPcTarget(there, false, plan.problems))
            continue;
        CCopyFile file;
        file.source = match.path;
        file.target = destination;
        file.folder = DeviceParent(match.path);
        file.size = match.entry.GetSize();
        file.entry = match.entry;
        plan.files.append(file);
    }
    // Letter case counts on some PC file systems and not on others (and
    // Windows drops a trailing dot or space): two names that are one file
    // there would overwrite one another.
    QSet<QString> targets;
    for (const CCopyFile& file : std::as_const(plan.files)) {
        const QString key = PcPathKey(file.target);
        if (targets.contains(key))
            plan.problems.append(CCtlSession::PcPathMessage(u"Two files would be written to"_s, file.target));
        targets.insert(key);
    }
    return ShowProblems(plan);
}

QString CCtlCopyPlanner::PcRoomProblem(const QString& target, qint64 bytes, bool question)
{
    // The disk of the nearest folder that exists: the target may be made yet.
    // The walk ends where a path is its own parent (a root, a drive that is
    // not there, an empty path).
    QString existing = QFileInfo(target).absoluteFilePath();
    while (!QFileInfo::exists(existing)) {
        const QString parent = QFileInfo(existing).absolutePath();
        if (parent == existing)
            break;
        existing = parent;
    }
    const QStorageInfo storage(existing);
    if (storage.isValid() && storage.bytesAvailable() < bytes)
        return PathMessage(
            question ? u"Insufficient disk free space in PC, continue ?"_s
                     : u"Insufficient disk free space in PC"_s,
            CCtlSession::ShownPcPath(existing),
            u"%1 to write, %2 free"_s.arg(CVQComm::FormatSize(double(bytes)),
                                          CVQComm::FormatSize(double(storage.bytesAvailable()))));
    return QString();
}

void CCtlCopyPlanner::ListPcTree(const QString& root, bool recursive, Links links, QList<CSyncEntry>& entries,
                                 QStringList& problems, QStringList* skipped)
{
    const bool follow = links != Links::Itself;
    struct Pending
    {
        QString pc;
        QString relative;
        int depth;
        QStringList above; // the folders it lies in, as the system names them
    };
    QList<Pending> pending{{root, QString(), 0, {}}};
    while (!pending.isEmpty()) {
        Pending folder = pending.takeFirst();
        // A link back up the tree would never end; one to a folder beside it
        // only gives that folder's files twice.
        const QString canonical = QFileInfo(folder.pc).canonicalFilePath();
        if (folder.above.contains(canonical)) {
            problems.append(CCtlSession::PcPathMessage(u"Folder inside itself (a link)"_s, folder.pc));
            continue;
        }
        folder.above.append(canonical);
        // A folder that cannot be read is no empty folder: the sync fails
        // before anything is deleted on the strength of it.
        QFileInfoList infos;
        QString reason;
        if (!CPcFolder::List(folder.pc, infos, reason)) {
            problems.append(
                PathMessage(u"Cannot read the PC folder"_s, CCtlSession::ShownPcPath(folder.pc), reason));
            continue;
        }
        for (const QFileInfo& info : std::as_const(infos)) {
            const QString relative = JoinRelative(folder.relative, info.fileName());
            if (links == Links::Skip && info.isSymLink()) {
                // What a link names may lie anywhere: it goes only when asked for.
                if (skipped)
                    skipped->append(info.filePath());
            } else if (!follow && info.isSymLink()) {
                // The link itself, never what it names: a file fetched replaces it.
                CSyncEntry link{relative, -1, false};
                link.m_bLink = true;
                entries.append(link);
            } else if (info.isDir()) {
                if (!recursive)
                    continue;
                if (folder.depth + 1 > MAX_DEVICE_DEPTH) {
                    problems.append(
                        CCtlSession::PcPathMessage(u"Too deep for the generator"_s, info.filePath()));
                    continue;
                }
                entries.append({relative, 0, true});
                pending.append({info.filePath(), relative, folder.depth + 1, folder.above});
            } else if (info.isFile()) {
                if (follow && !CPcFolder::Readable(info.filePath(), reason))
                    problems.append(PathMessage(u"Cannot read the PC file"_s,
                                                CCtlSession::ShownPcPath(info.filePath()), reason));
                entries.append({relative, info.size(), false});
            } else if (follow) {
                problems.append(
                    CCtlSession::PcPathMessage(u"Neither a file nor a folder"_s, info.filePath()));
            } else {
                entries.append({relative, -1, false});
            }
        }
    }
}
