// CCtlTool: put and get, of single files and of folder trees. Every tree is
// planned and checked whole before the first byte moves; the engines then
// carry it one generator folder at a time.

#include "cli/ctltool.h"

#include "cli/consolehost.h"
#include "link/devicename.h"
#include "link/devicepath.h"
#include "link/pcpath.h"
#include "link/stringtable.h"
#include "link/vqcomm.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QMap>
#include <QSet>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <vector>

using namespace Qt::StringLiterals;

namespace {

QString Quoted(const QString& path)
{
    return u'"' + path + u'"';
}

bool EndsWithSeparator(const QString& path)
{
    return !path.isEmpty() && LastPcSeparator(path) == path.size() - 1;
}

// The consecutive runs of files that share a generator folder: one batch each.
QList<std::pair<qsizetype, qsizetype>> FolderRuns(const QList<qsizetype>& indexes, const QStringList& folders)
{
    QList<std::pair<qsizetype, qsizetype>> runs; // (first position in indexes, count)
    for (qsizetype i = 0; i < indexes.size(); ++i) {
        if (runs.isEmpty() || folders.at(i) != folders.at(runs.last().first))
            runs.append({i, 0});
        ++runs.last().second;
    }
    return runs;
}

} // namespace

// --- put ---------------------------------------------------------------------

void CCtlTool::PlanPutFile(const QString& pcPath, const QString& deviceFolder, const Listing* listing,
                           CopyPlan& plan)
{
    const QFileInfo info(pcPath);
    const QString name = info.fileName();
    CopyFile file;
    file.source = pcPath;
    file.target = JoinDevicePath(deviceFolder, name);
    file.folder = deviceFolder;
    file.size = info.size();
    if (!IsValidNewName(name))
        plan.problems.append(InvalidNameMessage(pcPath));
    else if (name.size() > MAX_DEVICE_NAME_LENGTH)
        plan.problems.append(PathMessage(u"Name too long for the generator"_s, pcPath));
    else if (DeviceDepth(file.target) > MAX_DEVICE_DEPTH)
        plan.problems.append(PathMessage(u"Too deep for the generator"_s, file.target));
    if (file.size > MAX_DOWNLOAD_SIZE)
        plan.problems.append(PathMessage(u"File too large to send (1,000,000,000 bytes or more)"_s, pcPath));
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

void CCtlTool::PlanPutFolder(const QString& pcFolder, const QString& deviceFolder, bool exists, int depth,
                             QStringList& seen, CopyPlan& plan)
{
    // A link back up the tree would never end.
    const QString canonical = QFileInfo(pcFolder).canonicalFilePath();
    if (seen.contains(canonical)) {
        plan.problems.append(PathMessage(u"Folder inside itself (a link)"_s, pcFolder));
        return;
    }
    seen.append(canonical);
    if (depth > MAX_DEVICE_DEPTH) {
        plan.problems.append(PathMessage(u"Too deep for the generator"_s, deviceFolder));
        return;
    }
    const Listing* listing = nullptr;
    if (exists) {
        listing = CachedListing(deviceFolder);
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
            plan.problems.append(PathMessage(u"Neither a file nor a folder"_s, pcPath));
            continue;
        }
        const QString name = entry.fileName();
        const QString child = JoinDevicePath(deviceFolder, name);
        if (!IsValidNewName(name) || name.size() > MAX_DEVICE_NAME_LENGTH) {
            plan.problems.append(InvalidNameMessage(pcPath));
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

bool CCtlTool::PlanPut(const QStringList& sources, const QString& folder, CopyPlan& plan)
{
    const Listing* target = CachedListing(folder);
    if (!target)
        return false;
    QStringList seen;
    for (const QString& source : sources) {
        const QFileInfo info(source);
        const QString pcPath = QDir::cleanPath(info.absoluteFilePath());
        if (!info.exists()) {
            plan.problems.append(PathMessage(LoadStringResource(IDS_FILE_NOT_FOUND), pcPath));
        } else if (!info.isDir()) {
            PlanPutFile(pcPath, folder, target, plan);
        } else if (!m_args.Recursive()) {
            plan.problems.append(PathMessage(u"A folder (put -r sends folders)"_s, pcPath));
        } else {
            const QString name = info.fileName();
            const CFileInfo* existing = target->Find(name);
            if (!IsValidNewName(name) || name.size() > MAX_DEVICE_NAME_LENGTH) {
                plan.problems.append(InvalidNameMessage(pcPath));
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
    for (const CopyFile& file : std::as_const(plan.files)) {
        const QString key = file.target.toUpper();
        if (targets.contains(key))
            plan.problems.append(PathMessage(u"Two files for one name on the generator"_s, file.target));
        targets.insert(key);
    }
    for (const QString& problem : std::as_const(plan.problems))
        m_pComm->ShowError(problem);
    return plan.problems.isEmpty();
}

int CCtlTool::ConfirmKinds(const QList<CopyFile>& files)
{
    // One question per kind for the whole command, in the order the kinds come.
    QList<FileKind> kinds;
    QMap<int, std::pair<QString, int>> first; // kind -> (first file, count)
    for (const CopyFile& file : files) {
        const FileKind kind = FileKindFromName(file.target);
        if (!first.contains(int(kind))) {
            kinds.append(kind);
            first.insert(int(kind), {file.source, 0});
        }
        ++first[int(kind)].second;
    }
    for (const FileKind kind : std::as_const(kinds)) {
        const auto& [path, count] = first.value(int(kind));
        if (m_host.ConfirmKind(kind, path, count) != IDOK)
            return CTL_FAILED;
    }
    return CTL_OK;
}

void CCtlTool::PrintPlan(const CopyPlan& plan, bool put)
{
    for (const QString& folder : plan.folders) {
        m_report.AddFolder(folder, u"planned"_s);
        if (!m_args.Json())
            m_host.Out(u"mkdir "_s + Quoted(folder));
    }
    for (const CopyFile& file : plan.files) {
        if (!file.outcome.isEmpty())
            continue;
        if (!m_args.Json()) {
            m_host.Out(u"%1 %2 -> %3 (%4 bytes)%5"_s
                           .arg(put ? u"send"_s : u"fetch"_s, Quoted(file.source), Quoted(file.target))
                           .arg(file.size)
                           .arg(file.existed ? u", replacing"_s : QString()));
        }
    }
}

void CCtlTool::ApplyRecords(QList<CopyFile>& files, const QList<qsizetype>& run,
                            const QList<CTransferRecord>& records)
{
    // The engines start the files of a batch in the order they were given.
    for (qsizetype k = 0; k < run.size() && k < records.size(); ++k) {
        CopyFile& file = files[run.at(k)];
        file.started = true;
        file.transferred = qint64(records.at(k).done);
        file.complete = records.at(k).complete;
    }
}

int CCtlTool::ReportFiles(const QList<CopyFile>& files, const QString& success, int status)
{
    qint64 bytes = 0;
    int done = 0;
    bool allDone = true;
    for (const CopyFile& file : files) {
        m_report.AddFile(file.source, file.target, file.size, file.transferred, file.outcome);
        if (file.outcome == success) {
            ++done;
            bytes += file.size;
        } else if (file.outcome != u"skipped") {
            allDone = false;
        }
    }
    const double seconds = double(m_transferMs) / 1000.0;
    m_report.Set(u"summary"_s,
                 QJsonObject{{u"files"_s, done}, {u"bytes"_s, double(bytes)}, {u"seconds"_s, seconds}});
    if (!allDone)
        status = CTL_FAILED;
    // Which files arrived, when not all did.
    if (!allDone || Interrupted()) {
        for (const CopyFile& file : files) {
            QString text;
            if (file.outcome == success)
                text = (success == u"sent" ? u"sent complete"_s : u"received complete"_s);
            else if (file.outcome == u"cut-short")
                text = u"cut short after %1 of %2 bytes"_s.arg(file.transferred).arg(file.size) +
                       (success == u"sent" ? u" (what the generator keeps of it is listed)"_s
                                           : u", nothing written"_s);
            else if (file.outcome == u"not-sent")
                text = success == u"sent" ? u"not sent"_s : u"not fetched"_s;
            else if (file.outcome == u"failed")
                text = success == u"sent" ? u"failed"_s : u"failed, nothing written"_s;
            if (!text.isEmpty())
                m_host.Note(PathMessage(text, success == u"sent" ? file.target : file.source));
        }
    }
    if (m_host.Progress() != ProgressMode::Off && done > 0) {
        m_host.Note(u"%1 file%2 %3, %4 in %5 s (%6/s)"_s.arg(done)
                        .arg(done == 1 ? QString() : u"s"_s)
                        .arg(success, CVQComm::FormatSize(double(bytes)))
                        .arg(seconds, 0, 'f', 1)
                        .arg(CVQComm::FormatSize(seconds > 0 ? double(bytes) / seconds : 0.0)));
    }
    return status;
}

int CCtlTool::SendPlan(CopyPlan& plan, bool replace)
{
    QList<qsizetype> sending;
    QStringList folders;
    for (qsizetype i = 0; i < plan.files.size(); ++i) {
        if (plan.files.at(i).outcome.isEmpty()) {
            sending.append(i);
            folders.append(plan.files.at(i).folder);
        }
    }
    m_host.PlanFiles(int(sending.size()));
    int status = CTL_OK;
    for (const QString& folder : std::as_const(plan.folders)) {
        if (Change(u"mkdir"_s, folder, QString(), [&] { return m_pComm->MakeFolder(folder); }) != CTL_OK) {
            status = CTL_FAILED;
            break;
        }
        m_report.AddFolder(folder, u"made"_s);
        ++plan.madeFolders;
    }
    m_pComm->SetReplaceExisting(replace);
    QSet<QString> touched;
    for (const auto& [first, count] : FolderRuns(sending, folders)) {
        if (status != CTL_OK || Interrupted())
            break;
        const QList<qsizetype> run = sending.mid(first, count);
        const QString folder = folders.at(first);
        QStringList paths;
        for (const qsizetype index : run)
            paths.append(plan.files.at(index).source);
        m_strSubject = m_args.Command() + (count == 1 ? u" "_s + Quoted(plan.files.at(run.first()).target)
                                                      : u" into "_s + Quoted(folder));
        status = RunBatch([&] { return m_pComm->PrepareDownload(paths, folder); });
        ApplyRecords(plan.files, run, m_host.TakeRecords());
        touched.insert(folder);
        // What the generator said of the batch belongs to it, also after a Cancel.
        if (!m_aborting && m_pComm->IsConnected() && CheckErrorQueue() != CTL_OK)
            status = CTL_FAILED;
    }

    // What the generator holds now decides each file's outcome.
    QHash<QString, Listing> after;
    for (const QString& folder : std::as_const(touched)) {
        Listing listing;
        if (!m_aborting && ReadListing(folder, listing))
            after.insert(folder, listing);
    }
    for (const qsizetype index : std::as_const(sending)) {
        CopyFile& file = plan.files[index];
        const auto listing = after.constFind(file.folder);
        const bool package = FileKindFromName(file.target) == KIND_DOWNLOAD;
        if (!file.started) {
            file.outcome = u"not-sent"_s;
        } else if (listing == after.cend() || package) {
            // A package is filed under a name of the generator's own.
            file.outcome = file.complete ? u"sent"_s : u"cut-short"_s;
        } else {
            const CFileInfo* entry = listing->Find(DeviceName(file.target));
            const bool listed = entry && !entry->IsFolder() && entry->GetSize() == file.size;
            // A Cancel while the last bytes were under way may still have let
            // them all arrive; an old file of the same size proves nothing.
            if (listed && (file.complete || !file.existed || file.existingSize != file.size)) {
                file.outcome = u"sent"_s;
                file.transferred = file.size;
            } else if (file.complete) {
                file.outcome = u"failed"_s;
                Refuse(PathMessage(u"Not listed with its size after sending"_s, file.target));
            } else {
                file.outcome = u"cut-short"_s;
            }
        }
    }
    return status;
}

int CCtlTool::CmdPut()
{
    QStringList sources = m_args.Arguments();
    const QString folder = ToDevicePath(sources.takeLast());
    if (IsDeviceRoot(folder))
        return Refuse(CTL_ROOT_TARGET_TEXT);
    CopyPlan plan;
    if (!PlanPut(sources, folder, plan))
        return CTL_FAILED;

    QStringList taken;
    for (CopyFile& file : plan.files) {
        if (!file.existed)
            continue;
        taken.append(Quoted(file.target));
        if (m_args.SkipExisting()) {
            file.outcome = u"skipped"_s;
            m_host.Note(PathMessage(u"skipped, already on the generator"_s, file.target));
        }
    }
    if (!taken.isEmpty() && !m_args.Force() && !m_args.SkipExisting()) {
        for (const CopyFile& file : std::as_const(plan.files))
            m_report.AddFile(file.source, file.target, file.size, 0, u"not-sent"_s);
        return Refuse(u"Already on the generator (--force replaces, --skip-existing keeps them) : "_s +
                      taken.join(u", "_s));
    }

    QList<CopyFile> sending;
    qint64 total = 0;
    for (const CopyFile& file : std::as_const(plan.files)) {
        if (file.outcome.isEmpty()) {
            sending.append(file);
            total += file.size;
        }
    }
    if (const Listing* target = CachedListing(folder); target && total > qint64(target->freeBytes))
        return Refuse(u"Insufficient memory free space in VQ."_s);

    if (m_args.DryRun()) {
        PrintPlan(plan, true);
        for (CopyFile& file : plan.files) {
            if (file.outcome.isEmpty())
                file.outcome = u"planned"_s;
        }
        return ReportFiles(plan.files, u"planned"_s, CTL_OK);
    }
    if (ConfirmKinds(sending) != CTL_OK) {
        for (CopyFile& file : plan.files) {
            if (file.outcome.isEmpty())
                file.outcome = u"not-sent"_s;
        }
        m_host.Error(u"nothing sent"_s);
        return ReportFiles(plan.files, u"sent"_s, CTL_FAILED);
    }
    if (sending.isEmpty() && plan.folders.isEmpty()) {
        m_host.Note(u"nothing to send"_s);
        return ReportFiles(plan.files, u"sent"_s, CTL_OK);
    }
    const int status = SendPlan(plan, m_args.Force());
    return ReportFiles(plan.files, u"sent"_s, status);
}

// --- get ---------------------------------------------------------------------

void CCtlTool::PlanGetFolder(const QString& deviceFolder, const QString& pcFolder, int depth, CopyPlan& plan)
{
    if (depth > MAX_DEVICE_DEPTH) {
        plan.problems.append(PathMessage(u"Too deep"_s, deviceFolder));
        return;
    }
    Listing listing;
    if (!ReadListing(deviceFolder, listing)) {
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
                plan.problems.append(PathMessage(u"A file is in the way of a folder"_s, target));
            else if (!there.exists())
                plan.folders.append(target);
            PlanGetFolder(source, target, depth + 1, plan);
            continue;
        }
        if (there.isDir()) {
            plan.problems.append(PathMessage(u"A folder is in the way of a file"_s, target));
            continue;
        }
        CopyFile file;
        file.source = source;
        file.target = target;
        file.folder = deviceFolder;
        file.size = entry.GetSize();
        file.entry = entry;
        plan.files.append(file);
    }
}

bool CCtlTool::PlanGet(const QList<Match>& sources, const QString& target, bool intoFolder, CopyPlan& plan)
{
    bool tree = false;
    for (const Match& match : sources) {
        const QString destination = intoFolder ? QDir(target).filePath(match.entry.GetName()) : target;
        if (intoFolder && !IsSafePcName(match.entry.GetName())) {
            plan.problems.append(PathMessage(u"Not a name the PC can take"_s, match.path));
            continue;
        }
        if (match.entry.IsFolder()) {
            tree = true;
            const QFileInfo there(destination);
            if (there.exists() && !there.isDir())
                plan.problems.append(PathMessage(u"A file is in the way of a folder"_s, destination));
            else if (!there.exists())
                plan.folders.append(QDir::cleanPath(destination));
            PlanGetFolder(match.path, QDir::cleanPath(destination), DeviceDepth(match.path), plan);
            continue;
        }
        CopyFile file;
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
    for (const CopyFile& file : std::as_const(plan.files)) {
        const QString key = file.target.toLower();
        if (targets.contains(key))
            plan.problems.append(PathMessage(u"Two files would be written to"_s, file.target));
        targets.insert(key);
    }
    if (tree && plan.problems.isEmpty()) {
        qint64 total = 0;
        for (const CopyFile& file : std::as_const(plan.files))
            total += file.size;
        if (const QString problem = PcRoomProblem(target, total); !problem.isEmpty())
            plan.problems.append(problem);
    }
    for (const QString& problem : std::as_const(plan.problems))
        m_pComm->ShowError(problem);
    return plan.problems.isEmpty();
}

QString CCtlTool::PcRoomProblem(const QString& target, qint64 bytes)
{
    // The disk of the nearest folder that exists: the target may be made yet.
    QString existing = QFileInfo(target).absoluteFilePath();
    while (!QFileInfo::exists(existing) && existing != QDir::rootPath())
        existing = QFileInfo(existing).absolutePath();
    const QStorageInfo storage(existing);
    if (storage.isValid() && storage.bytesAvailable() < bytes)
        return PathMessage(u"Insufficient disk free space in PC"_s, existing);
    return QString();
}

int CCtlTool::FetchPlan(CopyPlan& plan, bool toStandardOutput)
{
    for (const QString& folder : std::as_const(plan.folders)) {
        if (!QDir().mkpath(folder)) {
            Refuse(PathMessage(u"Cannot make the PC folder"_s, folder));
            return CTL_FAILED;
        }
        m_report.AddFolder(folder, u"made"_s);
        ++plan.madeFolders;
    }
    QList<qsizetype> fetching;
    QStringList folders;
    for (qsizetype i = 0; i < plan.files.size(); ++i) {
        fetching.append(i);
        folders.append(plan.files.at(i).folder);
    }
    m_host.PlanFiles(int(fetching.size()));
    m_pComm->SetUploadPacing(!m_args.NoPacing());
    int status = CTL_OK;
    for (const auto& [first, count] : FolderRuns(fetching, folders)) {
        if (status != CTL_OK || Interrupted())
            break;
        const QList<qsizetype> run = fetching.mid(first, count);
        const QString folder = folders.at(first);
        // The engine keeps pointers to the entries until the batch has ended.
        std::vector<CFileInfo> entries;
        for (const qsizetype index : run)
            entries.push_back(plan.files.at(index).entry);
        const int errorsBefore = m_host.ErrorCount();
        status = RunBatch([&] {
            m_pComm->ClearUploadQueue();
            m_pComm->SetUploadFolder(folder);
            for (qsizetype k = 0; k < run.size(); ++k)
                m_pComm->QueueUpload(&entries[size_t(k)], plan.files.at(run.at(k)).target);
            return m_pComm->StartUpload();
        });
        ApplyRecords(plan.files, run, m_host.TakeRecords());
        if (m_host.ErrorCount() != errorsBefore)
            status = CTL_FAILED;
    }
    for (CopyFile& file : plan.files) {
        const QFileInfo written(file.target);
        if (file.complete && written.isFile() && written.size() == file.size) {
            file.outcome = u"received"_s;
        } else if (file.started && !file.complete && !Interrupted() &&
                   (file.transferred == 0 || file.transferred == file.size)) {
            // Not broken off on the way: refused before a data byte came (the
            // block was not the file listed, its header was not one, the
            // generator fell silent), or every byte came and the PC could not
            // keep the file.
            file.outcome = u"failed"_s;
        } else if (file.started) {
            file.outcome = u"cut-short"_s;
            // A file the engine did not complete is missing or has another size.
            if (!Interrupted() && file.complete)
                Refuse(PathMessage(u"Not received completely"_s, file.target));
        } else {
            file.outcome = u"not-sent"_s;
        }
    }
    if (toStandardOutput && !plan.files.isEmpty() && plan.files.first().outcome == u"received") {
        QFile file(plan.files.first().target);
        if (!file.open(QIODevice::ReadOnly) || !m_host.OutBytes(file.readAll()))
            return Refuse(u"Cannot write to standard output"_s);
        plan.files.first().target = u"-"_s;
    }
    return status;
}

int CCtlTool::CmdGet()
{
    QStringList sources = m_args.Arguments();
    const QString target = sources.size() > 1 ? sources.takeLast() : QDir::currentPath();
    const bool toStandardOutput = target == u"-";

    QList<Match> matches;
    for (const QString& source : std::as_const(sources)) {
        if (!Resolve(source, matches, false))
            return CTL_FAILED;
    }
    for (const Match& match : std::as_const(matches)) {
        if (IsDeviceRoot(match.path) || (match.entry.IsFolder() && !m_args.Recursive()))
            return Refuse(PathMessage(u"Not a file"_s, match.path));
    }

    std::unique_ptr<QTemporaryDir> spool;
    QString destination = target;
    bool intoFolder = false;
    if (toStandardOutput) {
        if (m_args.Json()) {
            m_host.Error(u"\"-\" (standard output) and --json exclude each other"_s);
            return CTL_USAGE;
        }
        if (matches.size() != 1 || matches.first().entry.IsFolder()) {
            m_host.Error(u"\"-\" (standard output) takes exactly one file"_s);
            return CTL_USAGE;
        }
        // Written to standard output only once it has arrived whole.
        spool = std::make_unique<QTemporaryDir>();
        if (!spool->isValid())
            return Refuse(u"Cannot make a temporary folder"_s);
        destination = spool->filePath(u"file"_s);
    } else {
        const QFileInfo info(target);
        intoFolder = info.isDir();
        if (!intoFolder && EndsWithSeparator(target))
            return Refuse(PathMessage(u"No such PC folder"_s, target));
        if (!intoFolder && matches.size() > 1) {
            m_host.Error(u"the target of several files must be a folder : \""_s + target + u'"');
            return CTL_USAGE;
        }
        destination = info.absoluteFilePath();
    }

    CopyPlan plan;
    if (!PlanGet(matches, destination, intoFolder, plan))
        return CTL_FAILED;
    if (m_args.DryRun()) {
        PrintPlan(plan, false);
        for (CopyFile& file : plan.files)
            file.outcome = u"planned"_s;
        return ReportFiles(plan.files, u"planned"_s, CTL_OK);
    }
    const int status = FetchPlan(plan, toStandardOutput);
    return ReportFiles(plan.files, u"received"_s, status);
}
