#include "cli/ctlcopier.h"

#include "cli/consolehost.h"
#include "cli/ctlargs.h"
#include "cli/ctlcommand.h"
#include "cli/ctlerrorqueue.h"
#include "cli/ctlreport.h"
#include "cli/ctlsession.h"
#include "cli/ctltransfers.h"
#include "cli/pcfolder.h"
#include "link/devicename.h"
#include "link/devicepath.h"
#include "link/stringtable.h"
#include "link/vqcomm.h"
#include "sync/filehash.h"
#include "sync/syncrecord.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <vector>

using namespace Qt::StringLiterals;

namespace {

// The consecutive runs of files that share a generator folder: one batch
// each. A package (its folder empty here) is a batch of its own: the name the
// generator gives it is then the one new name in DOWNLOAD.
QList<std::pair<qsizetype, qsizetype>> FolderRuns(const QList<qsizetype>& indexes, const QStringList& folders)
{
    QList<std::pair<qsizetype, qsizetype>> runs; // (first position in indexes, count)
    for (qsizetype i = 0; i < indexes.size(); ++i) {
        if (runs.isEmpty() || folders.at(i).isEmpty() || folders.at(i) != folders.at(runs.last().first))
            runs.append({i, 0});
        ++runs.last().second;
    }
    return runs;
}

bool IsPackage(const CCopyFile& file)
{
    return FileKindFromName(DeviceName(file.target)) == KIND_DOWNLOAD;
}

const QString PACKAGE_FOLDER = u"/F0:/DOWNLOAD"_s;

} // namespace

CCtlCopier::CCtlCopier(CCtlSession& session) : m_session(session) {}

int CCtlCopier::ConfirmKinds(const QList<CCopyFile>& files)
{
    CConsoleHost& host = m_session.Host();
    // One question per kind for the whole command, in the order the kinds come.
    QList<FileKind> kinds;
    QMap<int, std::pair<QString, int>> first; // kind -> (first file, count)
    for (const CCopyFile& file : files) {
        const FileKind kind = FileKindFromName(file.target);
        if (!first.contains(int(kind))) {
            kinds.append(kind);
            first.insert(int(kind), {CCtlSession::ShownPcPath(file.source), 0});
        }
        ++first[int(kind)].second;
    }
    for (const FileKind kind : std::as_const(kinds)) {
        const auto& [path, count] = first.value(int(kind));
        if (host.ConfirmKind(kind, path, count) != IDOK)
            return CTL_FAILED;
    }
    return CTL_OK;
}

int CCtlCopier::ConfirmPcRoom(const QString& target, qint64 bytes)
{
    const QString question = CCtlCopyPlanner::PcRoomProblem(target, bytes, true);
    if (question.isEmpty())
        return CTL_OK;
    return m_session.Host().ShowMessageBox(question, MB_OKCANCEL | MB_ICONQUESTION) == IDOK ? CTL_OK
                                                                                            : CTL_FAILED;
}

void CCtlCopier::NotePcRoom(const QString& target, qint64 bytes)
{
    if (const QString problem = CCtlCopyPlanner::PcRoomProblem(target, bytes, false); !problem.isEmpty())
        m_session.Host().Note(problem);
}

void CCtlCopier::PrintPlan(const CCopyPlan& plan, bool put)
{
    CConsoleHost& host = m_session.Host();
    CCtlReport& report = m_session.Report();
    const CCtlArgs& args = m_session.Args();
    for (const QString& folder : plan.folders) {
        report.AddFolder(folder, u"planned"_s);
        if (!args.Json())
            host.Out(u"mkdir "_s + CCtlSession::Quoted(put ? folder : CCtlSession::ShownPcPath(folder)));
    }
    for (const CCopyFile& file : plan.files) {
        if (!file.outcome.isEmpty())
            continue;
        if (!args.Json()) {
            host.Out(u"%1 %2 -> %3 (%4 bytes)%5"_s
                         .arg(put ? u"send"_s : u"fetch"_s,
                              CCtlSession::Quoted(put ? CCtlSession::ShownPcPath(file.source) : file.source),
                              CCtlSession::Quoted(put ? file.target : CCtlSession::ShownPcPath(file.target)))
                         .arg(file.size)
                         .arg(file.existed ? u", replacing"_s : QString()));
        }
    }
}

void CCtlCopier::ApplyRecords(QList<CCopyFile>& files, const QList<qsizetype>& run,
                              const QList<CTransferRecord>& records)
{
    // The engines start the files of a batch in the order they were given.
    for (qsizetype k = 0; k < run.size() && k < records.size(); ++k) {
        CCopyFile& file = files[run.at(k)];
        file.started = true;
        file.transferred = qint64(records.at(k).done);
        file.complete = records.at(k).complete;
    }
}

int CCtlCopier::ReportFiles(const QList<CCopyFile>& files, const QString& success, int status, bool notes)
{
    CConsoleHost& host = m_session.Host();
    CCtlReport& report = m_session.Report();
    qint64 bytes = 0;
    int done = 0;
    bool allDone = true;
    for (const CCopyFile& file : files) {
        report.AddFile(file.source, file.target, file.size, file.transferred, file.outcome,
                       {file.sha256, file.verified, file.judged});
        if (file.outcome == success) {
            ++done;
            bytes += file.size;
        } else if (file.outcome != u"skipped" && file.outcome != u"unchanged") {
            allDone = false;
        }
    }
    const double seconds = double(m_session.Transfers().Ms()) / 1000.0;
    report.Set(u"summary"_s,
               QJsonObject{{u"files"_s, done}, {u"bytes"_s, double(bytes)}, {u"seconds"_s, seconds}});
    if (!allDone)
        status = CTL_FAILED;
    // Which files arrived, when not all did: a line per state, naming its
    // files (the first few of a long list; the report has them all).
    if (notes && (!allDone || m_session.Interrupted())) {
        QStringList texts;
        QHash<QString, QStringList> named;
        for (const CCopyFile& file : files) {
            QString text;
            if (file.outcome == success)
                text = (success == u"sent" ? u"sent complete"_s : u"received complete"_s);
            else if (file.outcome == u"cut-short" && file.transferred == 0)
                text = u"not sent: broken off before its first byte"_s;
            else if (file.outcome == u"cut-short")
                text = u"cut short after %1 of %2 bytes"_s.arg(file.transferred).arg(file.size) +
                       (success == u"sent" ? u" (what the generator keeps of it is listed)"_s
                                           : u", nothing written"_s);
            else if (file.outcome == u"not-started")
                text = u"not started"_s;
            else if (file.outcome == u"not-sent")
                text = u"not sent ("_s + file.reason + u')';
            else if (file.outcome == u"failed")
                text = success == u"sent" ? u"failed"_s : u"failed, nothing written"_s;
            if (text.isEmpty())
                continue;
            if (!named.contains(text))
                texts.append(text);
            named[text].append(CCtlSession::Quoted(success == u"sent" ? file.target : file.source));
        }
        constexpr qsizetype kNamed = 3;
        for (const QString& text : std::as_const(texts)) {
            const QStringList& paths = named.value(text);
            if (paths.size() <= kNamed) {
                for (const QString& path : paths)
                    host.Note(text + u" : "_s + path);
            } else {
                host.Note(u"%1 (%2 files) : %3 and %4 more"_s.arg(text)
                              .arg(paths.size())
                              .arg(paths.first(kNamed).join(u", "_s))
                              .arg(paths.size() - kNamed));
            }
        }
    }
    if (host.Progress() != ProgressMode::Off && done > 0) {
        host.Note(u"%1 file%2 %3, %4 in %5 s (%6/s)"_s.arg(done)
                      .arg(done == 1 ? QString() : u"s"_s)
                      .arg(success, CVQComm::FormatSize(double(bytes)))
                      .arg(seconds, 0, 'f', 1)
                      .arg(CVQComm::FormatSize(seconds > 0 ? double(bytes) / seconds : 0.0)));
    }
    return status;
}

void CCtlCopier::HashPcFile(CCopyFile& file)
{
    const QFileInfo info(file.source);
    file.hashedSize = info.size();
    file.hashedModified = info.lastModified().toMSecsSinceEpoch();
    file.sha256 = CFileHash::OfFile(file.source);
}

bool CCtlCopier::IsAsHashed(const CCopyFile& file)
{
    const QFileInfo info(file.source);
    return info.isFile() && info.size() == file.hashedSize &&
           info.lastModified().toMSecsSinceEpoch() == file.hashedModified;
}

int CCtlCopier::Send(CCopyPlan& plan, bool replace)
{
    CConsoleHost& host = m_session.Host();
    CCtlReport& report = m_session.Report();
    CVQComm& link = m_session.Link();
    const CCtlArgs& args = m_session.Args();
    CSyncRecord* record = m_session.Record();
    QList<qsizetype> sending;
    QStringList folders;
    for (qsizetype i = 0; i < plan.files.size(); ++i) {
        if (plan.files.at(i).outcome.isEmpty()) {
            sending.append(i);
            folders.append(IsPackage(plan.files.at(i)) ? QString() : plan.files.at(i).folder);
        }
    }
    host.PlanFiles(int(sending.size()));
    int status = CTL_OK;
    for (const QString& folder : std::as_const(plan.folders)) {
        if (m_session.Queue().Change(u"mkdir"_s, folder, QString(),
                                     [&] { return link.MakeFolder(folder); }) != CTL_OK) {
            status = CTL_FAILED;
            break;
        }
        report.AddFolder(folder, u"made"_s);
        ++plan.madeFolders;
    }
    link.SetReplaceExisting(replace);
    link.SetEndBatchOnConnectFailure(true);
    QSet<QString> touched;
    for (const auto& [first, count] : FolderRuns(sending, folders)) {
        if (status != CTL_OK || m_session.Interrupted())
            break;
        const QList<qsizetype> run = sending.mid(first, count);
        const bool package = folders.at(first).isEmpty();
        const QString folder = plan.files.at(run.first()).folder;
        QStringList paths;
        for (const qsizetype index : run) {
            CCopyFile& file = plan.files[index];
            paths.append(CCtlSession::ShownPcPath(file.source));
            // The content the record will hold once the file is in place; what
            // the generator holds there meanwhile is not known, and stays so
            // in the record if the send never ends.
            if (record) {
                if (file.sha256.isEmpty())
                    HashPcFile(file);
                if (package) // filed under a name of the generator's
                    record->Forget(file.target);
                else
                    record->SetUnconfirmed(file.target, file.size);
            }
        }
        m_session.SaveRecord();
        CCtlListing packagesBefore;
        if (package && !m_session.Catalog().Read(PACKAGE_FOLDER, packagesBefore)) {
            status = CTL_FAILED;
            break;
        }
        m_session.Queue().SetSubject(
            args.Command() + (count == 1 ? u" "_s + CCtlSession::Quoted(plan.files.at(run.first()).target)
                                         : u" into "_s + CCtlSession::Quoted(folder)));
        status = m_session.Transfers().RunBatch([&] { return link.PrepareDownload(paths, folder); });
        ApplyRecords(plan.files, run, host.TakeRecords());
        touched.insert(package ? PACKAGE_FOLDER : folder);
        // What the generator said of the batch belongs to it, also after a Cancel.
        if (!m_session.Aborting() && link.IsConnected() && m_session.Queue().Check() != CTL_OK)
            status = CTL_FAILED;
        CCtlListing packagesAfter;
        CCopyFile& sent = plan.files[run.first()];
        if (package && sent.complete && !m_session.Aborting() && link.IsConnected() &&
            m_session.Catalog().Read(PACKAGE_FOLDER, packagesAfter)) {
            // The new name of that size is the package's.
            QStringList named;
            for (const CFileInfo& entry : std::as_const(packagesAfter.entries)) {
                if (!entry.IsFolder() && entry.GetSize() == sent.size &&
                    !packagesBefore.Find(entry.GetName()))
                    named.append(JoinDevicePath(PACKAGE_FOLDER, entry.GetName()));
            }
            if (named.size() == 1)
                sent.placedAs = named.first();
        }
    }

    // What the generator holds now decides each file's outcome.
    QHash<QString, CCtlListing> after;
    for (const QString& folder : std::as_const(touched)) {
        CCtlListing listing;
        if (!m_session.Aborting() && link.IsConnected() && m_session.Catalog().Read(folder, listing))
            after.insert(folder.toUpper(), listing);
    }
    for (const qsizetype index : std::as_const(sending)) {
        CCopyFile& file = plan.files[index];
        const bool package = IsPackage(file);
        const auto listing = after.constFind((package ? PACKAGE_FOLDER : file.folder).toUpper());
        bool confirmed = false;
        if (!file.started) {
            file.outcome = u"not-started"_s;
        } else if (!file.complete && file.transferred == 0 &&
                   !CPcFolder::Readable(file.source, file.reason)) {
            // The engine opens a file before it connects: one that does not
            // open never sent a byte.
            file.outcome = u"not-sent"_s;
            file.reason = u"could not be opened: "_s + file.reason;
        } else if (package) {
            // Filed under a name of the generator's own: the new one of its size.
            file.outcome = file.complete ? u"sent"_s : u"cut-short"_s;
            confirmed = file.complete && !file.placedAs.isEmpty() && listing != after.cend();
            if (file.complete && file.placedAs.isEmpty())
                host.Note(PathMessage(u"sent, but no new package of its size is listed in /F0:/DOWNLOAD"_s,
                                      CCtlSession::ShownPcPath(file.source)));
        } else if (listing == after.cend()) {
            file.outcome = file.complete ? u"sent"_s : u"cut-short"_s;
        } else {
            const CFileInfo* entry = listing->Find(DeviceName(file.target));
            const bool listed = entry && !entry->IsFolder() && entry->GetSize() == file.size;
            // A Cancel while the last bytes were under way may still have let
            // them all arrive; an old file of the same size proves nothing.
            if (listed && (file.complete || !file.existed || file.existingSize != file.size)) {
                file.outcome = u"sent"_s;
                file.transferred = file.size;
                confirmed = file.complete;
            } else if (file.complete) {
                file.outcome = u"failed"_s;
                m_session.Refuse(PathMessage(u"Not listed with its size after sending"_s, file.target));
            } else {
                file.outcome = u"cut-short"_s;
            }
        }
        // Only a file the generator lists whole, from a PC file that did not
        // change on the way, is recorded.
        if (record && confirmed && !file.sha256.isEmpty() && IsAsHashed(file))
            record->Set(file.placedAs.isEmpty() ? file.target : file.placedAs, file.size, file.sha256);
    }
    m_session.SaveRecord();
    return status;
}

int CCtlCopier::Fetch(CCopyPlan& plan, bool toStandardOutput)
{
    CConsoleHost& host = m_session.Host();
    CCtlReport& report = m_session.Report();
    CVQComm& link = m_session.Link();
    const CCtlArgs& args = m_session.Args();
    for (const QString& folder : std::as_const(plan.folders)) {
        if (!QDir().mkpath(folder)) {
            m_session.Refuse(CCtlSession::PcPathMessage(u"Cannot make the PC folder"_s, folder));
            return CTL_FAILED;
        }
        report.AddFolder(folder, u"made"_s);
        ++plan.madeFolders;
    }
    if (!toStandardOutput)
        NoteLeftovers(plan.files);
    QList<qsizetype> fetching;
    QStringList folders;
    for (qsizetype i = 0; i < plan.files.size(); ++i) {
        fetching.append(i);
        folders.append(plan.files.at(i).folder);
    }
    host.PlanFiles(int(fetching.size()));
    link.SetUploadPacing(!args.IsSet(CTL_OPTION_NO_PACING));
    int status = CTL_OK;
    for (const auto& [first, count] : FolderRuns(fetching, folders)) {
        if (status != CTL_OK || m_session.Interrupted())
            break;
        const QList<qsizetype> run = fetching.mid(first, count);
        const QString folder = folders.at(first);
        // The engine keeps pointers to the entries until the batch has ended.
        std::vector<CFileInfo> entries;
        for (const qsizetype index : run)
            entries.push_back(plan.files.at(index).entry);
        const int errorsBefore = host.ErrorCount();
        status = m_session.Transfers().RunBatch([&] {
            link.ClearUploadQueue();
            link.SetUploadFolder(folder);
            for (qsizetype k = 0; k < run.size(); ++k)
                link.QueueUpload(&entries[size_t(k)],
                                 CCtlSession::ShownPcPath(plan.files.at(run.at(k)).target));
            return link.StartUpload();
        });
        ApplyRecords(plan.files, run, host.TakeRecords());
        if (host.ErrorCount() != errorsBefore)
            status = CTL_FAILED;
    }
    for (CCopyFile& file : plan.files) {
        const QFileInfo written(file.target);
        if (file.complete && written.isFile() && written.size() == file.size) {
            file.outcome = u"received"_s;
            // What was read from the generator is what it holds there.
            if (CSyncRecord* record = m_session.Record()) {
                file.sha256 = CFileHash::OfFile(file.target);
                if (!file.sha256.isEmpty())
                    record->Set(file.source, file.size, file.sha256);
            }
        } else if (file.started && !file.complete && !m_session.Interrupted() &&
                   (file.transferred == 0 || file.transferred == file.size)) {
            // Not broken off on the way: refused before a data byte came (the
            // block was not the file listed, its header was not one, the
            // generator fell silent), or every byte came and the PC could not
            // keep the file.
            file.outcome = u"failed"_s;
        } else if (file.started) {
            file.outcome = u"cut-short"_s;
            // A file the engine did not complete is missing or has another size.
            if (!m_session.Interrupted() && file.complete)
                m_session.Refuse(CCtlSession::PcPathMessage(u"Not received completely"_s, file.target));
        } else {
            file.outcome = u"not-started"_s;
        }
    }
    m_session.SaveRecord();
    if (toStandardOutput && !plan.files.isEmpty() && plan.files.first().outcome == u"received") {
        QFile file(plan.files.first().target);
        if (!file.open(QIODevice::ReadOnly) || !host.OutBytes(file.readAll()))
            return m_session.Refuse(u"Cannot write to standard output"_s);
        plan.files.first().target = u"-"_s;
    }
    return status;
}

void CCtlCopier::NoteLeftovers(const QList<CCopyFile>& files)
{
    // Each file is written as TARGET.XXXXXX beside its target and renamed
    // when complete; a run killed on the way leaves that file behind. Only
    // names of that form beside this run's own targets are named, and none
    // is deleted: the name alone cannot prove whose file it is.
    QHash<QString, QStringList> targets; // folder -> names written there
    for (const CCopyFile& file : files) {
        const QFileInfo info(file.target);
        targets[info.absolutePath()].append(info.fileName());
    }
    for (auto it = targets.cbegin(); it != targets.cend(); ++it) {
        const QDir folder(it.key());
        const QStringList present = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
        for (const QString& name : it.value()) {
            const QRegularExpression left(u"^"_s + QRegularExpression::escape(name) +
                                          u"\\.[A-Za-z0-9]{6}$"_s);
            for (const QString& entry : present) {
                if (left.match(entry).hasMatch() && !it.value().contains(entry))
                    m_session.Host().Note(CCtlSession::PcPathMessage(
                        u"Left by a copy that was ended from outside (delete it if no copy is running)"_s,
                        folder.filePath(entry)));
            }
        }
    }
}

int CCtlCopier::ReadBack(QList<CReadBack>& files)
{
    QTemporaryDir spool;
    if (!spool.isValid())
        return m_session.Refuse(u"Cannot make a temporary folder"_s);
    CCopyPlan back;
    for (qsizetype i = 0; i < files.size(); ++i) {
        CCopyFile again;
        again.source = files.at(i).path;
        again.folder = DeviceParent(again.source);
        again.target = spool.filePath(QString::number(i));
        again.size = files.at(i).entry.GetSize();
        again.entry = files.at(i).entry;
        back.files.append(again);
    }
    if (back.files.isEmpty())
        return CTL_OK;
    // Fetched as any file is, and recorded as read: the bytes the generator holds.
    const bool hadRecord = m_session.Record() != nullptr;
    int status = Fetch(back, false);
    for (qsizetype i = 0; i < files.size(); ++i) {
        CReadBack& file = files[i];
        const CCopyFile& again = back.files.at(i);
        file.sha256 = again.outcome != u"received"           ? QByteArray()
                      : hadRecord && !again.sha256.isEmpty() ? again.sha256
                                                             : CFileHash::OfFile(again.target);
        if (file.sha256.isEmpty())
            status = m_session.Refuse(PathMessage(u"Could not be read back"_s, file.path));
        QFile::remove(again.target);
    }
    return status;
}

int CCtlCopier::Verify(QList<CCopyFile>& files, bool sent)
{
    const QString done = sent ? u"sent"_s : u"received"_s;
    // Each file copied is read once more, every one of them, and its bytes
    // compared with the PC's.
    QList<CReadBack> back;
    QList<qsizetype> checked;
    QHash<QString, CCtlListing> listings;
    int status = CTL_OK;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const CCopyFile& file = files.at(i);
        if (file.outcome != done)
            continue;
        CReadBack again;
        again.path = sent ? (file.placedAs.isEmpty() ? file.target : file.placedAs) : file.source;
        if (sent) {
            // The entry as the generator lists it now.
            const QString folder = DeviceParent(again.path);
            if (!listings.contains(folder.toUpper())) {
                CCtlListing listing;
                if (!m_session.Catalog().Read(folder, listing))
                    return CTL_FAILED;
                listings.insert(folder.toUpper(), listing);
            }
            const CFileInfo* entry = listings[folder.toUpper()].Find(DeviceName(again.path));
            if (!entry) {
                status = m_session.Refuse(PathMessage(u"Could not be read back to verify"_s, again.path));
                continue;
            }
            again.entry = *entry;
        } else {
            again.entry = file.entry;
        }
        back.append(again);
        checked.append(i);
    }
    if (back.isEmpty())
        return status;
    if (ReadBack(back) != CTL_OK)
        status = CTL_FAILED;
    QStringList differ;
    for (qsizetype k = 0; k < checked.size(); ++k) {
        CCopyFile& file = files[checked.at(k)];
        const CReadBack& again = back.at(k);
        const QString pc = sent ? file.source : file.target;
        const QByteArray expected = !file.sha256.isEmpty() ? file.sha256 : CFileHash::OfFile(pc);
        if (again.sha256.isEmpty())
            continue;
        if (again.sha256 == expected) {
            file.verified = true;
            file.sha256 = expected;
            continue;
        }
        file.outcome = u"differs"_s;
        differ.append(again.path);
        status = m_session.Refuse(PathMessage(u"Differs from the PC file when read back"_s, again.path));
    }
    if (!differ.isEmpty())
        m_session.Report().SetFailure(u"differs"_s, DiffersText(differ, u"when read back"_s),
                                      QJsonObject{{u"files"_s, QJsonArray::fromStringList(differ)}});
    return status;
}

QString CCtlCopier::DiffersText(const QStringList& paths, const QString& how)
{
    return u"%1 file%2 differ%3 %4 : %5"_s.arg(paths.size())
        .arg(paths.size() == 1 ? QString() : u"s"_s)
        .arg(paths.size() == 1 ? u"s"_s : QString())
        .arg(how, CCtlSession::Quoted(paths.first()) +
                      (paths.size() > 1 ? u" and %1 more"_s.arg(paths.size() - 1) : QString()));
}
