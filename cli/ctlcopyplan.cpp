#include "cli/ctlcopyplan.h"

#include "cli/ctlsession.h"
#include "link/devicename.h"
#include "link/devicepath.h"
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
    const QFileInfoList entries = QDir(pcFolder).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name | QDir::DirsLast);
    for (const QFileInfo& entry : entries) {
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
        // A listed name becomes a PC path: ".." or a separator would leave the target.
        if (!IsSafePcName(entry.GetName())) {
            plan.problems.append(PathMessage(u"Not a name the PC can take"_s, source));
            continue;
        }
        const QString target = QDir(pcFolder).filePath(entry.GetName());
        const QFileInfo there(target);
        if (entry.IsFolder()) {
            if (there.exists() && !there.isDir())
                plan.problems.append(
                    CCtlSession::PcPathMessage(u"A file is in the way of a folder"_s, target));
            else if (!there.exists())
                plan.folders.append(target);
            PlanGetFolder(source, target, depth + 1, plan);
            continue;
        }
        if (there.isDir()) {
            plan.problems.append(CCtlSession::PcPathMessage(u"A folder is in the way of a file"_s, target));
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
    bool tree = false;
    for (const CCtlMatch& match : sources) {
        const QString destination = intoFolder ? QDir(target).filePath(match.entry.GetName()) : target;
        if (intoFolder && !IsSafePcName(match.entry.GetName())) {
            plan.problems.append(PathMessage(u"Not a name the PC can take"_s, match.path));
            continue;
        }
        if (match.entry.IsFolder()) {
            tree = true;
            const QFileInfo there(destination);
            if (there.exists() && !there.isDir())
                plan.problems.append(
                    CCtlSession::PcPathMessage(u"A file is in the way of a folder"_s, destination));
            else if (!there.exists())
                plan.folders.append(QDir::cleanPath(destination));
            PlanGetFolder(match.path, QDir::cleanPath(destination), DeviceDepth(match.path), plan);
            continue;
        }
        CCopyFile file;
        file.source = match.path;
        file.target = QDir::cleanPath(destination);
        file.folder = DeviceParent(match.path);
        file.size = match.entry.GetSize();
        file.entry = match.entry;
        plan.files.append(file);
    }
    // Letter case counts on some PC file systems and not on others: two names
    // that differ only in it would overwrite one another there.
    QSet<QString> targets;
    for (const CCopyFile& file : std::as_const(plan.files)) {
        const QString key = file.target.toLower();
        if (targets.contains(key))
            plan.problems.append(CCtlSession::PcPathMessage(u"Two files would be written to"_s, file.target));
        targets.insert(key);
    }
    if (tree && plan.problems.isEmpty()) {
        qint64 total = 0;
        for (const CCopyFile& file : std::as_const(plan.files))
            total += file.size;
        if (const QString problem = PcRoomProblem(target, total); !problem.isEmpty())
            plan.problems.append(problem);
    }
    return ShowProblems(plan);
}

QString CCtlCopyPlanner::PcRoomProblem(const QString& target, qint64 bytes)
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
        return CCtlSession::PcPathMessage(u"Insufficient disk free space in PC"_s, existing);
    return QString();
}

void CCtlCopyPlanner::ListPcTree(const QString& root, bool recursive, bool follow, QList<CSyncEntry>& entries,
                                 QStringList& problems)
{
    struct Pending
    {
        QString pc;
        QString relative;
        int depth;
    };
    QList<Pending> pending{{root, QString(), 0}};
    QStringList seen; // a link back up the tree would never end
    while (!pending.isEmpty()) {
        const Pending folder = pending.takeFirst();
        const QString canonical = QFileInfo(folder.pc).canonicalFilePath();
        if (seen.contains(canonical)) {
            problems.append(CCtlSession::PcPathMessage(u"Folder inside itself (a link)"_s, folder.pc));
            continue;
        }
        seen.append(canonical);
        const QFileInfoList infos = QDir(folder.pc).entryInfoList(
            QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
        for (const QFileInfo& info : infos) {
            const QString relative = JoinRelative(folder.relative, info.fileName());
            if (!follow && info.isSymLink()) {
                // Never equal to anything: a file fetched replaces the link itself.
                entries.append({relative, -1, false});
            } else if (info.isDir()) {
                if (!recursive)
                    continue;
                if (folder.depth + 1 > MAX_DEVICE_DEPTH) {
                    problems.append(
                        CCtlSession::PcPathMessage(u"Too deep for the generator"_s, info.filePath()));
                    continue;
                }
                entries.append({relative, 0, true});
                pending.append({info.filePath(), relative, folder.depth + 1});
            } else if (info.isFile()) {
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
