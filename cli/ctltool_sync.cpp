// CCtlTool: sync, either way. Both sides are listed and compared whole
// before anything changes; the transfers then go through the plans of put
// and get, so a sync sends and fetches exactly as they do.

#include "cli/ctltool.h"

#include "cli/consolehost.h"
#include "cli/syncplan.h"
#include "link/devicename.h"
#include "link/devicepath.h"
#include "link/stringtable.h"
#include "link/vqcomm.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

QString JoinRelative(const QString& folder, const QString& name)
{
    return folder.isEmpty() ? name : folder + u'/' + name;
}

// A path below a synced generator folder; empty: the folder itself.
QString DeviceBelow(const QString& folder, const QString& relative)
{
    return relative.isEmpty() ? folder : JoinDevicePath(folder, relative);
}

QString PcBelow(const QString& folder, const QString& relative)
{
    return relative.isEmpty() ? folder : QDir(folder).filePath(relative);
}

// The files (with `recursive` the folders too) below the PC folder `root`.
// `follow`: a link is taken as what it names, as put -r takes it (the
// sending side); otherwise as an entry of its own that is never followed
// (the receiving side: nothing is written or deleted through a link).
void ListPcTree(const QString& root, bool recursive, bool follow, QList<CSyncEntry>& entries,
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
            problems.append(PathMessage(u"Folder inside itself (a link)"_s, folder.pc));
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
                    problems.append(PathMessage(u"Too deep for the generator"_s, info.filePath()));
                    continue;
                }
                entries.append({relative, 0, true});
                pending.append({info.filePath(), relative, folder.depth + 1});
            } else if (info.isFile()) {
                entries.append({relative, info.size(), false});
            } else if (follow) {
                problems.append(PathMessage(u"Neither a file nor a folder"_s, info.filePath()));
            } else {
                entries.append({relative, -1, false});
            }
        }
    }
}

// True when the two files hold the same bytes.
bool SameContent(const QString& one, const QString& two)
{
    QFile a(one);
    QFile b(two);
    if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly) || a.size() != b.size())
        return false;
    while (!a.atEnd()) {
        const QByteArray chunk = a.read(1 << 20);
        if (chunk.isEmpty() || chunk != b.read(chunk.size()))
            return false;
    }
    return true;
}

} // namespace

bool CCtlTool::ListDeviceTree(const QString& folder, QList<CSyncEntry>& entries,
                              QHash<QString, CFileInfo>& files)
{
    struct Pending
    {
        QString device;
        QString relative;
    };
    QList<Pending> pending{{folder, QString()}};
    while (!pending.isEmpty()) {
        const Pending next = pending.takeFirst();
        Listing listing;
        if (!ReadListing(next.device, listing))
            return false;
        for (const CFileInfo& entry : std::as_const(listing.entries)) {
            const QString device = JoinDevicePath(next.device, entry.GetName());
            // The path of a deletion or of a PC file is made of this name.
            if (!IsSafePcName(entry.GetName())) {
                Refuse(PathMessage(u"Not a name a sync can take"_s, device));
                return false;
            }
            const QString relative = JoinRelative(next.relative, entry.GetName());
            if (!entry.IsFolder()) {
                entries.append({relative, entry.GetSize(), false});
                files.insert(relative, entry);
            } else if (m_args.Recursive()) {
                if (DeviceDepth(device) > MAX_DEVICE_DEPTH) {
                    Refuse(PathMessage(u"Too deep"_s, device));
                    return false;
                }
                entries.append({relative, 0, true});
                pending.append({device, relative});
            }
        }
    }
    return true;
}

int CCtlTool::CmdSync()
{
    const QString first = m_args.Arguments().at(0);
    const QString second = m_args.Arguments().at(1);
    switch (CSyncPlan::DirectionOf(first, second, QFileInfo(first).isDir(), QFileInfo(second).isDir())) {
    case CSyncPlan::Direction::ToGenerator:
        return SyncToGenerator(QDir::cleanPath(QFileInfo(first).absoluteFilePath()), ToDevicePath(second));
    case CSyncPlan::Direction::ToPc:
        return SyncToPc(ToDevicePath(first), QDir::cleanPath(QFileInfo(second).absoluteFilePath()));
    case CSyncPlan::Direction::Unclear:
        break;
    }
    m_host.Error(
        u"which is the generator's folder? Write it as /F0:/... : \"%1\", \"%2\""_s.arg(first, second));
    return CTL_USAGE;
}

bool CCtlTool::CheckSyncSteps(const QList<CSyncStep>& steps, const QString& sendingRoot, bool toGenerator)
{
    QStringList problems;
    for (const CSyncStep& step : steps) {
        const QString source =
            toGenerator ? PcBelow(sendingRoot, step.m_strSource) : DeviceBelow(sendingRoot, step.m_strSource);
        switch (step.m_eAction) {
        case CSyncStep::Action::TypeClash:
            problems.append(PathMessage(step.m_bFolder ? u"A file of this name is on the other side"_s
                                                       : u"A folder of this name is on the other side"_s,
                                        source));
            break;
        case CSyncStep::Action::NameClash:
            problems.append(PathMessage(u"Two entries for one name on the generator"_s, source));
            break;
        case CSyncStep::Action::SendNew:
        case CSyncStep::Action::SendChanged:
            if (step.m_nSize > MAX_DOWNLOAD_SIZE && toGenerator)
                problems.append(
                    PathMessage(u"File too large to send (1,000,000,000 bytes or more)"_s, source));
            [[fallthrough]];
        case CSyncStep::Action::MakeFolder: {
            // A name new to the generator must be one it takes.
            const QString name = step.m_strPath.sliced(step.m_strPath.lastIndexOf(u'/') + 1);
            if (toGenerator && !step.m_strPath.isEmpty() &&
                (!IsValidNewName(name) || name.size() > MAX_DEVICE_NAME_LENGTH))
                problems.append(InvalidNameMessage(source));
            break;
        }
        case CSyncStep::Action::Delete:
            break;
        }
    }
    for (const QString& problem : std::as_const(problems))
        m_pComm->ShowError(problem);
    return problems.isEmpty();
}

int CCtlTool::PrintSyncPlan(const QList<CSyncStep>& steps, CopyPlan& plan, const QString& receivingRoot,
                            bool toGenerator)
{
    for (const CSyncStep& step : steps) {
        if (!m_args.Json())
            m_host.Out(CSyncPlan::ItemLine(step, toGenerator));
        if (step.m_eAction == CSyncStep::Action::Delete) {
            m_report.AddOperation(u"delete"_s,
                                  toGenerator ? DeviceBelow(receivingRoot, step.m_strPath)
                                              : PcBelow(receivingRoot, step.m_strPath),
                                  QString(), u"planned"_s);
        }
    }
    for (const QString& folder : std::as_const(plan.folders))
        m_report.AddFolder(folder, u"planned"_s);
    for (CopyFile& file : plan.files)
        file.outcome = u"planned"_s;
    return ReportFiles(plan.files, u"planned"_s, CTL_OK);
}

CCtlTool::CopyPlan CCtlTool::SyncCopyPlan(const QList<CSyncStep>& steps, const QString& pcFolder,
                                          const QString& folder, bool toGenerator,
                                          const QHash<QString, CFileInfo>& files)
{
    const auto sending = [&](const QString& relative) {
        return toGenerator ? PcBelow(pcFolder, relative) : DeviceBelow(folder, relative);
    };
    const auto receiving = [&](const QString& relative) {
        return toGenerator ? DeviceBelow(folder, relative) : PcBelow(pcFolder, relative);
    };
    CopyPlan plan;
    for (const CSyncStep& step : steps) {
        if (step.m_eAction == CSyncStep::Action::MakeFolder)
            plan.folders.append(receiving(step.m_strPath));
        if (step.m_eAction != CSyncStep::Action::SendNew && step.m_eAction != CSyncStep::Action::SendChanged)
            continue;
        CopyFile file;
        file.source = sending(step.m_strSource);
        file.target = receiving(step.m_strPath);
        // The generator folder of the batch the file goes in.
        file.folder = DeviceParent(toGenerator ? file.target : file.source);
        file.size = step.m_nSize;
        file.existed = step.m_eAction == CSyncStep::Action::SendChanged;
        file.existingSize = step.m_nOldSize;
        file.entry = files.value(step.m_strSource);
        plan.files.append(file);
    }
    return plan;
}

int CCtlTool::EndSync(const QList<CSyncStep>& steps, CopyPlan& plan, int status, bool toGenerator)
{
    for (CopyFile& file : plan.files) {
        if (file.outcome.isEmpty())
            file.outcome = u"not-sent"_s;
    }
    const QString done = toGenerator ? u"sent"_s : u"received"_s;
    if (!m_args.Json()) {
        // The lines of what was done, as the plan would have listed them.
        int folder = 0;
        qsizetype file = 0;
        for (const CSyncStep& step : steps) {
            if (step.m_eAction == CSyncStep::Action::MakeFolder && folder++ < plan.madeFolders)
                m_host.Out(CSyncPlan::ItemLine(step, toGenerator));
            if ((step.m_eAction == CSyncStep::Action::SendNew ||
                 step.m_eAction == CSyncStep::Action::SendChanged) &&
                plan.files.at(file++).outcome == done)
                m_host.Out(CSyncPlan::ItemLine(step, toGenerator));
        }
    }
    if (m_args.Verify() && !Interrupted() && VerifyCopies(plan.files, toGenerator) != CTL_OK)
        status = CTL_FAILED;
    return ReportFiles(plan.files, done, status);
}

int CCtlTool::SyncToGenerator(const QString& pcFolder, const QString& folder)
{
    if (IsDeviceRoot(folder))
        return Refuse(CTL_ROOT_TARGET_TEXT);
    if (!QFileInfo(pcFolder).isDir())
        return Refuse(PathMessage(u"No such PC folder"_s, pcFolder));
    CFileInfo existing;
    const Found found = LookUp(folder, &existing);
    if (found == Found::Failed)
        return CTL_FAILED;
    if (found == Found::Yes && !existing.IsFolder())
        return Refuse(PathMessage(u"Not a folder"_s, folder));
    if (found == Found::No && IsFixedDeviceFolder(folder))
        return Refuse(CTL_ROOT_TARGET_TEXT);

    QList<CSyncEntry> source;
    QList<CSyncEntry> target;
    QHash<QString, CFileInfo> files;
    QStringList problems;
    ListPcTree(pcFolder, m_args.Recursive(), true, source, problems);
    for (const QString& problem : std::as_const(problems))
        m_pComm->ShowError(problem);
    if (!problems.isEmpty() || (found == Found::Yes && !ListDeviceTree(folder, target, files)))
        return CTL_FAILED;
    QList<CSyncStep> steps = CSyncPlan::Compare(source, target, m_args.Delete());
    if (found == Found::No)
        steps.prepend({CSyncStep::Action::MakeFolder, QString(), QString(), true});
    if (!CheckSyncSteps(steps, pcFolder, true))
        return CTL_FAILED;

    CopyPlan plan = SyncCopyPlan(steps, pcFolder, folder, true, files);
    if (m_args.DryRun())
        return PrintSyncPlan(steps, plan, folder, true);
    if (ConfirmKinds(plan.files) != CTL_OK) {
        for (CopyFile& file : plan.files)
            file.outcome = u"not-sent"_s;
        m_host.Error(u"nothing sent"_s);
        return ReportFiles(plan.files, u"sent"_s, CTL_FAILED);
    }
    // Deletions first: they make room for what comes.
    int status = CTL_OK;
    for (const CSyncStep& step : std::as_const(steps)) {
        if (step.m_eAction != CSyncStep::Action::Delete)
            continue;
        const QString path = DeviceBelow(folder, step.m_strPath);
        if (step.m_bFolder && !m_pComm->IsFolderEmpty(path) &&
            Change(u"delete-all"_s, path, QString(), [&] { return m_pComm->DeleteAll(path); }) != CTL_OK) {
            status = CTL_FAILED;
            break;
        }
        if (Change(u"delete"_s, path, QString(), [&] { return m_pComm->DeleteEntry(path); }) != CTL_OK) {
            status = CTL_FAILED;
            break;
        }
        if (!m_args.Json())
            m_host.Out(CSyncPlan::ItemLine(step, true));
    }
    if (status == CTL_OK && (!plan.files.isEmpty() || !plan.folders.isEmpty()))
        status = SendPlan(plan, true);
    return EndSync(steps, plan, status, true);
}

int CCtlTool::SyncToPc(const QString& folder, const QString& pcFolder)
{
    CFileInfo existing;
    if (!IsDeviceRoot(folder)) {
        if (const int result = RequireEntry(folder, &existing); result != CTL_OK)
            return result;
        if (!existing.IsFolder())
            return Refuse(PathMessage(u"Not a folder"_s, folder));
    }
    const QFileInfo there(pcFolder);
    if (there.exists() && !there.isDir())
        return Refuse(PathMessage(u"Not a PC folder"_s, pcFolder));

    QList<CSyncEntry> source;
    QList<CSyncEntry> target;
    QHash<QString, CFileInfo> files;
    QStringList problems;
    if (!ListDeviceTree(folder, source, files))
        return CTL_FAILED;
    if (there.exists())
        ListPcTree(pcFolder, m_args.Recursive(), false, target, problems);
    for (const QString& problem : std::as_const(problems))
        m_pComm->ShowError(problem);
    if (!problems.isEmpty())
        return CTL_FAILED;
    QList<CSyncStep> steps = CSyncPlan::Compare(source, target, m_args.Delete());
    if (!there.exists())
        steps.prepend({CSyncStep::Action::MakeFolder, QString(), QString(), true});
    if (!CheckSyncSteps(steps, folder, false))
        return CTL_FAILED;

    CopyPlan plan = SyncCopyPlan(steps, pcFolder, folder, false, files);
    qint64 total = 0;
    for (const CopyFile& file : std::as_const(plan.files))
        total += file.size;
    if (const QString problem = PcRoomProblem(pcFolder, total); !problem.isEmpty())
        return Refuse(problem);
    if (m_args.DryRun())
        return PrintSyncPlan(steps, plan, pcFolder, false);

    int status = CTL_OK;
    for (const CSyncStep& step : std::as_const(steps)) {
        if (step.m_eAction != CSyncStep::Action::Delete)
            continue;
        // The entry itself: a link goes, never what it names.
        const QString path = PcBelow(pcFolder, step.m_strPath);
        const QFileInfo info(path);
        const bool deleted =
            info.isDir() && !info.isSymLink() ? QDir(path).removeRecursively() : QFile::remove(path);
        m_report.AddOperation(u"delete"_s, path, QString(), deleted ? u"done"_s : u"failed"_s);
        if (!deleted) {
            status = Refuse(PathMessage(u"Cannot delete the PC entry"_s, path));
            break;
        }
        if (!m_args.Json())
            m_host.Out(CSyncPlan::ItemLine(step, false));
    }
    if (status == CTL_OK)
        status = FetchPlan(plan, false);
    return EndSync(steps, plan, status, false);
}

int CCtlTool::VerifyCopies(QList<CopyFile>& files, bool sent)
{
    const QString done = sent ? u"sent"_s : u"received"_s;
    QTemporaryDir spool;
    if (!spool.isValid())
        return Refuse(u"Cannot make a temporary folder"_s);
    // Each file copied is fetched once more, into the spool.
    CopyPlan back;
    QList<qsizetype> checked;
    QHash<QString, Listing> listings;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const CopyFile& file = files.at(i);
        if (file.outcome != done)
            continue;
        CopyFile again;
        again.source = sent ? file.target : file.source;
        again.folder = DeviceParent(again.source);
        again.target = spool.filePath(QString::number(i));
        again.size = file.size;
        if (sent) {
            // The entry as the generator lists it now.
            if (!listings.contains(again.folder)) {
                Listing listing;
                if (!ReadListing(again.folder, listing))
                    return CTL_FAILED;
                listings.insert(again.folder, listing);
            }
            const CFileInfo* entry = listings[again.folder].Find(DeviceName(again.source));
            if (!entry)
                return Refuse(PathMessage(u"Could not be read back to verify"_s, again.source));
            again.entry = *entry;
        } else {
            again.entry = file.entry;
        }
        back.files.append(again);
        checked.append(i);
    }
    if (back.files.isEmpty())
        return CTL_OK;
    int status = FetchPlan(back, false);
    for (qsizetype k = 0; k < checked.size(); ++k) {
        CopyFile& file = files[checked.at(k)];
        const CopyFile& again = back.files.at(k);
        const QString pc = sent ? file.source : file.target;
        if (again.outcome != u"received") {
            status = Refuse(PathMessage(u"Could not be read back to verify"_s, again.source));
        } else if (!SameContent(again.target, pc)) {
            file.outcome = u"differs"_s;
            status = Refuse(PathMessage(u"Differs from the PC file when read back"_s, again.source));
        }
    }
    return status;
}
