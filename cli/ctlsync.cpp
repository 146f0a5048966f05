#include "cli/ctlsync.h"

#include "cli/consolehost.h"
#include "cli/ctlargs.h"
#include "cli/ctlcatalog.h"
#include "cli/ctlcommand.h"
#include "cli/ctlcopier.h"
#include "cli/ctlerrorqueue.h"
#include "cli/ctlreport.h"
#include "cli/ctlsession.h"
#include "link/devicename.h"
#include "link/devicepath.h"
#include "link/fileinfo.h"
#include "link/pcname.h"
#include "link/stringtable.h"
#include "link/vqcomm.h"
#include "sync/backupmanifest.h"
#include "sync/filehash.h"
#include "sync/syncrecord.h"
#include "sync/syncroom.h"
#include "sync/watchsettle.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace {

// The deletions are asked about as every other question: the count and the
// first names; --yes answers, and without a terminal nothing is deleted.
constexpr qsizetype kDeletionsNamed = 5;
// Notes name this many paths of a kind, then count the rest.
constexpr qsizetype kNamed = 5;

// A path below a synced generator folder; empty: the folder itself.
QString DeviceBelow(const QString& folder, const QString& relative)
{
    return relative.isEmpty() ? folder : JoinDevicePath(folder, relative);
}

// A path below a synced PC folder that a name of the generator's is part
// of, joined as the PC takes names (a name it refuses gives an empty path);
// empty `relative`: the folder itself.
QString PcBelow(const QString& folder, const QString& relative)
{
    return relative.isEmpty() ? folder : CCtlCopyPlanner::PcBelow(folder, relative);
}

// A path below a synced PC folder made of names the PC listed there itself.
QString PcListedBelow(const QString& folder, const QString& relative)
{
    return relative.isEmpty() ? folder : QDir(folder).filePath(relative);
}

QString ParentOf(const QString& relative)
{
    const qsizetype slash = relative.lastIndexOf(u'/');
    return slash < 0 ? QString() : relative.first(slash);
}

// "TEXT : "a", "b" and 3 more"
QString Naming(const QString& text, const QStringList& paths)
{
    QStringList quoted;
    for (const QString& path : paths.first(std::min(paths.size(), kNamed)))
        quoted.append(CCtlSession::Quoted(path));
    return text + u" : "_s + quoted.join(u", "_s) +
           (paths.size() > kNamed ? u" and %1 more"_s.arg(paths.size() - kNamed) : QString());
}

} // namespace

CCtlSync::CCtlSync(CCtlSession& session, const CCtlSyncOptions& options)
    : m_session(session), m_options(options)
{
}

bool CCtlSync::IsLeftOut(const QString& relative, bool skipTemporary)
{
    if (relative.compare(CBackupManifest::FILE_NAME, Qt::CaseInsensitive) == 0)
        return true;
    return skipTemporary && CWatchSettle::IsTemporaryName(relative.sliced(relative.lastIndexOf(u'/') + 1));
}

void CCtlSync::LeaveOut(QList<CSyncEntry>& entries) const
{
    entries.removeIf([this](const CSyncEntry& entry) {
        if (IsLeftOut(entry.m_strPath, m_options.skipTemporary))
            return true;
        for (QString path = entry.m_strPath.toUpper(); !path.isEmpty(); path = ParentOf(path)) {
            if (m_options.leaveAlone.contains(path))
                return true;
        }
        return false;
    });
}

QString CCtlSync::Sending(const QString& relative) const
{
    return m_bToGenerator ? PcListedBelow(m_strPcFolder, relative) : DeviceBelow(m_strFolder, relative);
}

QString CCtlSync::Receiving(const QString& relative) const
{
    return m_bToGenerator ? DeviceBelow(m_strFolder, relative) : PcBelow(m_strPcFolder, relative);
}

QString CCtlSync::Listed(const QString& relative) const
{
    return m_bToGenerator ? DeviceBelow(m_strFolder, relative) : PcListedBelow(m_strPcFolder, relative);
}

QString CCtlSync::ShownSending() const
{
    return m_bToGenerator ? CCtlSession::ShownPcPath(m_strPcFolder) : m_strFolder;
}

QString CCtlSync::ShownReceiving() const
{
    return m_bToGenerator ? m_strFolder : CCtlSession::ShownPcPath(m_strPcFolder);
}

// --- what is known of the contents -----------------------------------------

bool CCtlSync::ManifestEntries(QList<CSyncEntry>& entries, QStringList& problems)
{
    const CBackupManifest& manifest = *m_options.manifest;
    QSet<QString> folders;
    const auto addFolder = [&](const QString& folder) {
        for (QString path = folder; !path.isEmpty(); path = ParentOf(path)) {
            if (folders.contains(path.toUpper()))
                break;
            folders.insert(path.toUpper());
            entries.append({path, 0, true});
        }
    };
    for (const QString& folder : manifest.m_folders)
        addFolder(folder);
    for (const CBackupManifest::CFile& file : manifest.m_files) {
        addFolder(ParentOf(file.m_strPath));
        const QString pc = PcBelow(m_strPcFolder, file.m_strPath);
        const QFileInfo info(pc);
        // The backup restores what it held when it was taken, or nothing.
        if (pc.isEmpty() || !info.isFile()) {
            problems.append(
                PathMessage(u"A file of the backup is missing"_s,
                            CCtlSession::ShownPcPath(QDir(m_strPcFolder).filePath(file.m_strPath))));
            continue;
        }
        CHashed hashed{CFileHash::OfFile(pc), info.size(), info.lastModified().toMSecsSinceEpoch()};
        if (info.size() != file.m_nSize || hashed.sha256 != file.m_sha256) {
            problems.append(
                CCtlSession::PcPathMessage(u"A file of the backup is not as its manifest says"_s, pc));
            continue;
        }
        m_hashed.insert(file.m_strPath, hashed);
        CSyncEntry entry{file.m_strPath, file.m_nSize, false};
        entry.m_sha256 = file.m_sha256;
        entry.m_eKnown = SyncKnown::Hashed;
        entries.append(entry);
    }
    return problems.isEmpty();
}

bool CCtlSync::Know(QList<CSyncEntry>& sending, QList<CSyncEntry>& receiving, const CSyncPlan::COptions& plan,
                    const QHash<QString, CFileInfo>& files)
{
    QList<CSyncEntry>& generator = m_bToGenerator ? receiving : sending;
    QList<CSyncEntry>& pc = m_bToGenerator ? sending : receiving;
    QHash<QString, CSyncEntry*> byPath;
    for (CSyncEntry& entry : generator)
        byPath.insert(entry.m_strPath.toUpper(), &entry);
    const QStringList wanted = CSyncPlan::ContentWanted(sending, receiving, plan);

    // What this PC confirmed there, while the generator lists the same size.
    if (CSyncRecord* record = m_session.Record()) {
        for (const QString& relative : wanted) {
            CSyncEntry* entry = byPath.value(relative.toUpper());
            const auto known = record->Find(DeviceBelow(m_strFolder, relative));
            if (entry && known && known->m_nSize == entry->m_nSize) {
                entry->m_sha256 = known->m_sha256;
                entry->m_eKnown = SyncKnown::Record;
                entry->m_bUnconfirmed = known->m_bUnconfirmed;
            }
        }
    }
    // What the generator holds, read back.
    if (m_options.checksum || m_options.compareOnly) {
        QList<CCtlCopier::CReadBack> back;
        for (const QString& relative : wanted)
            back.append({DeviceBelow(m_strFolder, relative), files.value(relative), QByteArray()});
        if (CCtlCopier(m_session).ReadBack(back) != CTL_OK)
            return false;
        for (qsizetype i = 0; i < back.size(); ++i) {
            CSyncEntry* entry = byPath.value(wanted.at(i).toUpper());
            entry->m_sha256 = back.at(i).sha256;
            entry->m_eKnown = SyncKnown::ReadBack;
            entry->m_bUnconfirmed = false;
        }
    }
    // The PC's side of each file whose other side is known.
    QHash<QString, qint64> knownAt; // upper path -> size
    QSet<qint64> knownPackageSizes;
    for (const CSyncEntry& entry : std::as_const(generator)) {
        if (entry.m_sha256.isEmpty())
            continue;
        knownAt.insert(entry.m_strPath.toUpper(), entry.m_nSize);
        if (!plan.m_strPackageFolder.isNull() &&
            ParentOf(entry.m_strPath.toUpper()) == plan.m_strPackageFolder.toUpper())
            knownPackageSizes.insert(entry.m_nSize);
    }
    for (CSyncEntry& entry : pc) {
        if (entry.m_bFolder || entry.m_bLink || !entry.m_sha256.isEmpty())
            continue;
        const auto at = knownAt.constFind(entry.m_strPath.toUpper());
        const bool samePlace = at != knownAt.cend() && at.value() == entry.m_nSize;
        const bool package = m_bToGenerator && knownPackageSizes.contains(entry.m_nSize) &&
                             ParentOf(entry.m_strPath.toUpper()) == plan.m_strPackageFolder.toUpper();
        if (!samePlace && !package)
            continue;
        const QString path = PcListedBelow(m_strPcFolder, entry.m_strPath);
        const QFileInfo info(path);
        CHashed hashed{CFileHash::OfFile(path), info.size(), info.lastModified().toMSecsSinceEpoch()};
        if (hashed.sha256.isEmpty())
            continue;
        entry.m_sha256 = hashed.sha256;
        entry.m_eKnown = SyncKnown::Hashed;
        m_hashed.insert(entry.m_strPath, hashed);
    }
    return true;
}

QList<CSyncStep> CCtlSync::Plan(QList<CSyncEntry> sending, QList<CSyncEntry> receiving,
                                const CSyncPlan::COptions& plan) const
{
    QList<CSyncStep> steps = CSyncPlan::Compare(std::move(sending), std::move(receiving), plan);
    if (!m_options.sendUnproven)
        return steps;
    // Not known to be the same is not good enough for a backup or a restore.
    QList<CSyncStep> before;
    QList<CSyncStep> sends;
    QList<CSyncStep> after;
    for (CSyncStep& step : steps) {
        if (step.m_eAction == CSyncStep::Action::SizeOnly) {
            step.m_eAction = CSyncStep::Action::SendChanged;
            step.m_bPackage = m_bToGenerator && FileKindFromName(step.m_strPath) == KIND_DOWNLOAD;
        }
        (step.IsSend() ? sends
         : step.IsClash() || step.m_eAction == CSyncStep::Action::Delete ||
                 step.m_eAction == CSyncStep::Action::MakeFolder
             ? before
             : after)
            .append(step);
    }
    // One batch per folder, as the comparison orders them.
    std::stable_sort(sends.begin(), sends.end(), [](const CSyncStep& a, const CSyncStep& b) {
        return ParentOf(a.m_strPath).toUpper() < ParentOf(b.m_strPath).toUpper();
    });
    return before + sends + after;
}

// --- checks and questions --------------------------------------------------

bool CCtlSync::CheckSteps(const QList<CSyncStep>& steps) const
{
    QStringList problems;
    QSet<QString> pcTargets; // towards the PC: what each path is on the PC's file system
    for (const CSyncStep& step : steps) {
        const QString source =
            m_bToGenerator ? CCtlSession::ShownPcPath(Sending(step.m_strSource)) : Sending(step.m_strSource);
        const QString receiving =
            m_bToGenerator ? Listed(step.m_strPath) : CCtlSession::ShownPcPath(Listed(step.m_strPath));
        switch (step.m_eAction) {
        case CSyncStep::Action::TypeClash:
            problems.append(PathMessage(step.m_bLink ? u"A link of this name is on the PC (never followed)"_s
                                        : step.m_bFolder ? u"A file of this name is on the other side"_s
                                                         : u"A folder of this name is on the other side"_s,
                                        source));
            break;
        case CSyncStep::Action::NameClash:
            problems.append(PathMessage(u"Two entries for one name on the generator"_s, source));
            break;
        case CSyncStep::Action::CaseClash:
            // Which of the two the other side's file would land on is anybody's guess.
            problems.append(PathMessage(m_bToGenerator
                                            ? u"Two entries for one name on the generator"_s
                                            : u"Another PC name differs from this one only in letter case"_s,
                                        receiving));
            break;
        case CSyncStep::Action::Unplaceable:
            problems.append(PathMessage(step.m_eWhy == CSyncStep::Why::RootFile
                                            ? CTL_ROOT_TARGET_TEXT.chopped(1)
                                            : u"Not a first-level folder of the generator (they are fixed)"_s,
                                        source));
            break;
        case CSyncStep::Action::SendNew:
        case CSyncStep::Action::SendChanged:
            if (step.m_nSize > MAX_DOWNLOAD_SIZE && m_bToGenerator)
                problems.append(
                    PathMessage(u"File too large to send (1,000,000,000 bytes or more)"_s, source));
            [[fallthrough]];
        case CSyncStep::Action::MakeFolder: {
            const QString name = step.m_strPath.sliced(step.m_strPath.lastIndexOf(u'/') + 1);
            if (m_bToGenerator) {
                // A name new to the generator must be one it takes.
                if (!step.m_strPath.isEmpty() &&
                    (!IsValidNewName(name) || name.size() > MAX_DEVICE_NAME_LENGTH))
                    problems.append(InvalidNameMessage(source));
                break;
            }
            // Towards the PC every path stays inside the folder, and no two
            // are one file on the PC's file system.
            const QString pcPath = Receiving(step.m_strPath);
            const QString key = PcPathKey(pcPath);
            if (pcPath.isEmpty())
                problems.append(
                    PathMessage(u"Not a name the PC can take"_s, source, PcNameRule(CheckPcName(name))));
            else if (!step.m_strPath.isEmpty() && pcTargets.contains(key))
                problems.append(CCtlSession::PcPathMessage(u"Two files would be written to"_s, pcPath));
            pcTargets.insert(key);
            break;
        }
        case CSyncStep::Action::Delete:
        case CSyncStep::Action::Same:
        case CSyncStep::Action::SizeOnly:
        case CSyncStep::Action::Skip:
            break;
        }
    }
    for (const QString& problem : std::as_const(problems))
        m_session.Link().ShowError(problem);
    return problems.isEmpty();
}

void CCtlSync::NoteFound(const QList<CSyncStep>& steps, const QStringList& skippedLinks) const
{
    CConsoleHost& host = m_session.Host();
    if (!skippedLinks.isEmpty()) {
        QStringList shown;
        for (const QString& link : skippedLinks)
            shown.append(CCtlSession::ShownPcPath(link));
        host.Note(Naming(u"left out, a link (--links follows links)"_s, shown));
    }
    QStringList packages;
    QStringList kept;
    QStringList unproven;
    for (const CSyncStep& step : steps) {
        if (step.m_eAction == CSyncStep::Action::Skip && step.m_eWhy == CSyncStep::Why::PackageElsewhere)
            packages.append(step.m_strSource);
        else if (step.m_eAction == CSyncStep::Action::Skip && step.m_eWhy == CSyncStep::Why::FirstLevelKept)
            kept.append(step.m_strPath);
        else if (step.m_eAction == CSyncStep::Action::SizeOnly)
            unproven.append(step.m_strPath);
    }
    if (!packages.isEmpty())
        host.Note(Naming(u"left out, a package (the generator files it in /F0:/DOWNLOAD under a name of its "
                         "own: sync it into /F0:/DOWNLOAD)"_s,
                         packages));
    if (!kept.isEmpty())
        host.Note(Naming(u"kept, a first-level folder (never deleted)"_s, kept));
    // Equal sizes prove nothing: said, never taken as the same.
    if (!unproven.isEmpty() && !m_options.quiet)
        host.Note(
            Naming(u"%1 file%2 of the same size on both sides, not proven the same (size only: no record; "
                   "--checksum reads them back)"_s.arg(unproven.size())
                       .arg(unproven.size() == 1 ? QString() : u"s"_s),
                   unproven));
}

int CCtlSync::CheckRoom(const QList<CSyncStep>& steps, bool folderExists)
{
    QList<CSyncRoom::CWrite> writes;
    qint64 freed = 0;
    for (const CSyncStep& step : steps) {
        if (step.m_eAction == CSyncStep::Action::Delete)
            freed += step.m_nOldSize;
        else if (step.IsSend())
            writes.append({step.m_nSize, step.m_eAction == CSyncStep::Action::SendChanged && !step.m_bPackage
                                             ? std::max<qint64>(step.m_nOldSize, 0)
                                             : 0});
    }
    if (writes.isEmpty())
        return CTL_OK;
    const CCtlListing* listing =
        m_session.Catalog().Cached(folderExists ? m_strFolder : DeviceParent(m_strFolder));
    if (!listing)
        return CTL_FAILED;
    const qint64 needed = CSyncRoom::Needed(writes, freed);
    if (double(needed) <= listing->freeBytes)
        return CTL_OK;
    // Refused before the first byte: a generator half-filled helps nobody.
    return m_session.Fail(u"no-room"_s,
                          u"Insufficient memory free space in VQ. : "_s +
                              CSyncRoom::Text(needed, listing->freeBytes),
                          QJsonObject{{u"needed"_s, double(needed)}, {u"free"_s, listing->freeBytes}});
}

int CCtlSync::ConfirmDeletions(const QList<CSyncStep>& steps) const
{
    QStringList names;
    for (const CSyncStep& step : steps) {
        if (step.m_eAction == CSyncStep::Action::Delete)
            names.append(CCtlSession::Quoted(step.m_strPath + (step.m_bFolder ? u"/"_s : QString())));
    }
    if (names.isEmpty())
        return CTL_OK;
    QString text = u"Delete %1 %2 in %3 that %4 lacks : "_s.arg(names.size())
                       .arg(names.size() == 1 ? u"entry"_s : u"entries"_s)
                       .arg(CCtlSession::Quoted(ShownReceiving()), CCtlSession::Quoted(ShownSending()));
    text += names.first(std::min(names.size(), kDeletionsNamed)).join(u", "_s);
    if (names.size() > kDeletionsNamed)
        text += u" and %1 more"_s.arg(names.size() - kDeletionsNamed);
    return m_session.Host().ShowMessageBox(text, MB_OKCANCEL | MB_ICONQUESTION) == IDOK ? CTL_OK : CTL_FAILED;
}

int CCtlSync::Cancelled(const QList<CSyncStep>& steps, CCopyPlan& plan) const
{
    for (const CSyncStep& step : steps) {
        if (step.m_eAction == CSyncStep::Action::Delete)
            m_session.Report().AddOperation(u"delete"_s, Listed(step.m_strPath), QString(), u"cancelled"_s);
    }
    for (CCopyFile& file : plan.files)
        file.outcome = u"not-started"_s;
    const QString text = m_bToGenerator ? u"nothing deleted or sent"_s : u"nothing deleted or fetched"_s;
    m_session.Report().SetFailure(u"cancelled"_s, text);
    m_session.Host().Error(text);
    AddUnchanged(steps, plan);
    return CCtlCopier(m_session).ReportFiles(plan.files, m_bToGenerator ? u"sent"_s : u"received"_s,
                                             CTL_FAILED);
}

// --- output -----------------------------------------------------------------

void CCtlSync::AddUnchanged(const QList<CSyncStep>& steps, CCopyPlan& plan) const
{
    for (const CSyncStep& step : steps) {
        if (step.m_eAction != CSyncStep::Action::Same && step.m_eAction != CSyncStep::Action::SizeOnly)
            continue;
        CCopyFile file;
        file.source = Sending(step.m_strSource);
        file.target = Receiving(step.m_strPath);
        file.size = step.m_nSize;
        file.outcome = u"unchanged"_s;
        file.judged = CSyncPlan::JudgedName(step.m_eAction == CSyncStep::Action::Same ? step.m_eJudged
                                                                                      : SyncKnown::None);
        if (step.m_eAction == CSyncStep::Action::Same)
            file.sha256 = step.m_sha256;
        file.verified = step.m_eJudged == SyncKnown::ReadBack;
        plan.files.append(file);
    }
}

int CCtlSync::PrintPlan(const QList<CSyncStep>& steps, CCopyPlan& plan)
{
    CCtlReport& report = m_session.Report();
    for (const CSyncStep& step : steps) {
        if (const QString line = CSyncPlan::ItemLine(step, m_bToGenerator);
            !line.isEmpty() && !m_session.Args().Json())
            m_session.Host().Out(line);
        if (step.m_eAction == CSyncStep::Action::Delete)
            report.AddOperation(u"delete"_s, Listed(step.m_strPath), QString(), u"planned"_s);
    }
    for (const QString& folder : std::as_const(plan.folders))
        report.AddFolder(folder, u"planned"_s);
    for (CCopyFile& file : plan.files)
        file.outcome = u"planned"_s;
    AddUnchanged(steps, plan);
    return CCtlCopier(m_session).ReportFiles(plan.files, u"planned"_s, CTL_OK);
}

int CCtlSync::Differences(const QList<CSyncStep>& steps)
{
    CConsoleHost& host = m_session.Host();
    CCtlReport& report = m_session.Report();
    const bool json = m_session.Args().Json();
    QList<std::pair<QString, QString>> lines; // (path, line)
    int same = 0;
    for (const CSyncStep& step : steps) {
        QString line;
        QString outcome;
        switch (step.m_eAction) {
        case CSyncStep::Action::SendNew:
            line = u"missing     %1 (%2 bytes)"_s.arg(step.m_strPath).arg(step.m_nSize);
            outcome = u"missing"_s;
            break;
        case CSyncStep::Action::SendChanged:
            line = step.IsContentChange()
                       ? u"differs     %1 (%2 bytes, other content)"_s.arg(step.m_strPath).arg(step.m_nSize)
                       : u"differs     %1 (%2 bytes on the generator, %3 on the PC)"_s.arg(step.m_strPath)
                             .arg(step.m_nOldSize)
                             .arg(step.m_nSize);
            outcome = u"differs"_s;
            break;
        case CSyncStep::Action::MakeFolder:
            line = u"missing     %1/"_s.arg(step.m_strPath.isEmpty() ? u"."_s : step.m_strPath);
            break;
        case CSyncStep::Action::Delete:
            line = u"extra       %1%2"_s.arg(step.m_strPath, step.m_bFolder ? u"/"_s : QString());
            outcome = step.m_bFolder ? QString() : u"extra"_s;
            break;
        case CSyncStep::Action::SizeOnly:
            line = u"unproven    %1 (%2 bytes)"_s.arg(step.m_strPath).arg(step.m_nSize);
            outcome = u"unproven"_s;
            break;
        case CSyncStep::Action::Same:
            ++same;
            report.AddFile(Sending(step.m_strSource), Receiving(step.m_strPath), step.m_nSize, step.m_nSize,
                           u"unchanged"_s, {step.m_sha256, true, CSyncPlan::JudgedName(step.m_eJudged)});
            break;
        default:
            break;
        }
        if (line.isEmpty())
            continue;
        lines.append({step.m_strPath, line});
        if (!outcome.isEmpty())
            report.AddFile(Sending(step.m_strSource), Receiving(step.m_strPath), step.m_nSize, 0, outcome,
                           {step.m_sha256, false, QString()});
    }
    // By name, as a listing reads.
    std::stable_sort(lines.begin(), lines.end(),
                     [](const auto& a, const auto& b) { return a.first.toUpper() < b.first.toUpper(); });
    QStringList differing;
    for (const auto& [path, line] : std::as_const(lines)) {
        differing.append(Receiving(path));
        if (!json)
            host.Out(line);
    }
    report.Set(u"summary"_s, QJsonObject{{u"same"_s, same}, {u"differences"_s, int(differing.size())}});
    if (differing.isEmpty()) {
        host.Note(u"%1 holds what %2 holds: %3 file%4 read back and the same"_s
                      .arg(CCtlSession::Quoted(m_strFolder), CCtlSession::Quoted(ShownSending()))
                      .arg(same)
                      .arg(same == 1 ? QString() : u"s"_s));
        return CTL_OK;
    }
    return m_session.Fail(u"differs"_s,
                          u"%1 difference%2 between %3 and %4"_s.arg(differing.size())
                              .arg(differing.size() == 1 ? QString() : u"s"_s)
                              .arg(CCtlSession::Quoted(m_strFolder), CCtlSession::Quoted(ShownSending())),
                          QJsonObject{{u"paths"_s, QJsonArray::fromStringList(differing)}});
}

// --- the run ----------------------------------------------------------------

CCopyPlan CCtlSync::CopyPlan(const QList<CSyncStep>& steps, const QHash<QString, CFileInfo>& files) const
{
    CCopyPlan plan;
    for (const CSyncStep& step : steps) {
        if (step.m_eAction == CSyncStep::Action::MakeFolder)
            plan.folders.append(Receiving(step.m_strPath));
        if (!step.IsSend())
            continue;
        CCopyFile file;
        file.source = Sending(step.m_strSource);
        file.target = Receiving(step.m_strPath);
        // The generator folder of the batch the file goes in.
        file.folder = DeviceParent(m_bToGenerator ? file.target : file.source);
        file.size = step.m_nSize;
        file.existed = step.m_eAction == CSyncStep::Action::SendChanged && !step.m_bPackage;
        file.existingSize = step.m_nOldSize;
        file.entry = files.value(step.m_strSource);
        if (m_bToGenerator) {
            if (const auto hashed = m_hashed.constFind(step.m_strSource); hashed != m_hashed.cend()) {
                file.sha256 = hashed->sha256;
                file.hashedSize = hashed->size;
                file.hashedModified = hashed->modified;
            }
        }
        plan.files.append(file);
    }
    return plan;
}

int CCtlSync::DeleteOnGenerator(const QList<CSyncStep>& steps)
{
    CVQComm& link = m_session.Link();
    CCtlErrorQueue& queue = m_session.Queue();
    for (const CSyncStep& step : steps) {
        if (step.m_eAction != CSyncStep::Action::Delete)
            continue;
        const QString path = Receiving(step.m_strPath);
        if (step.m_bFolder && !link.IsFolderEmpty(path) &&
            queue.Change(u"delete-all"_s, path, QString(), [&] { return link.DeleteAll(path); }) != CTL_OK)
            return CTL_FAILED;
        if (queue.Change(u"delete"_s, path, QString(), [&] { return link.DeleteEntry(path); }) != CTL_OK)
            return CTL_FAILED;
        ++m_nDeleted;
        if (!m_session.Args().Json())
            m_session.Host().Out(CSyncPlan::ItemLine(step, true));
    }
    return CTL_OK;
}

int CCtlSync::DeleteOnPc(const QList<CSyncStep>& steps)
{
    for (const CSyncStep& step : steps) {
        if (step.m_eAction != CSyncStep::Action::Delete)
            continue;
        // The entry itself: a link goes, never what it names.
        const QString path = Listed(step.m_strPath);
        const QFileInfo info(path);
        const bool deleted =
            info.isDir() && !info.isSymLink() ? QDir(path).removeRecursively() : QFile::remove(path);
        m_session.Report().AddOperation(u"delete"_s, path, QString(), deleted ? u"done"_s : u"failed"_s);
        if (!deleted)
            return m_session.Fail(u"pc"_s, CCtlSession::PcPathMessage(u"Cannot delete the PC entry"_s, path),
                                  QJsonObject());
        ++m_nDeleted;
        if (!m_session.Args().Json())
            m_session.Host().Out(CSyncPlan::ItemLine(step, false));
    }
    return CTL_OK;
}

int CCtlSync::End(const QList<CSyncStep>& steps, CCopyPlan& plan, int status)
{
    CConsoleHost& host = m_session.Host();
    for (CCopyFile& file : plan.files) {
        if (file.outcome.isEmpty())
            file.outcome = u"not-started"_s;
    }
    const QString done = m_bToGenerator ? u"sent"_s : u"received"_s;
    if (!m_session.Args().Json()) {
        // The lines of what was done, as the plan would have listed them.
        int folder = 0;
        qsizetype file = 0;
        for (const CSyncStep& step : steps) {
            if (step.m_eAction == CSyncStep::Action::MakeFolder && folder++ < plan.madeFolders)
                host.Out(CSyncPlan::ItemLine(step, m_bToGenerator));
            if (step.IsSend() && plan.files.at(file++).outcome == done)
                host.Out(CSyncPlan::ItemLine(step, m_bToGenerator));
        }
    }
    for (const CCopyFile& file : std::as_const(plan.files)) {
        if (!file.placedAs.isEmpty())
            host.Note(PathMessage(u"filed by the generator as "_s + CCtlSession::Quoted(file.placedAs),
                                  CCtlSession::ShownPcPath(file.source)));
    }
    CCtlCopier copier(m_session);
    if (m_options.verify && !m_session.Interrupted() && m_session.Link().IsConnected() &&
        copier.Verify(plan.files, m_bToGenerator) != CTL_OK)
        status = CTL_FAILED;

    // How many of the files the sending side holds are in place now, and the
    // one reason of a failure.
    const qsizetype copies = plan.files.size();
    int inPlace = 0;
    QString broken;
    for (const CCopyFile& file : std::as_const(plan.files)) {
        if (file.outcome == done)
            ++inPlace;
        else if (broken.isEmpty() && (file.started || file.outcome == u"not-started"))
            broken = m_bToGenerator ? file.source : file.target;
    }
    AddUnchanged(steps, plan);
    const qsizetype total = plan.files.size();
    inPlace += int(total - copies);
    m_session.Report().Set(u"deleted"_s, m_nDeleted);
    m_session.Report().Set(u"inPlace"_s, QJsonObject{{u"files"_s, inPlace}, {u"of"_s, int(total)}});
    const QString count = u"%1 of %2 files in place"_s.arg(inPlace).arg(total);
    const QJsonObject figures{{u"file"_s, broken}, {u"inPlace"_s, inPlace}, {u"files"_s, int(total)}};
    const QString name = QFileInfo(broken).fileName();
    if (m_session.Interrupted()) {
        m_session.Report().SetFailure(
            u"interrupted"_s,
            (name.isEmpty() ? u"interrupted"_s : u"interrupted at "_s + name) + u"; "_s + count, figures);
    } else if (status != CTL_OK && !m_session.Link().IsConnected()) {
        const QString text = (name.isEmpty() ? u"connection lost"_s
                                             : u"connection lost while %1 %2"_s.arg(
                                                   m_bToGenerator ? u"sending"_s : u"fetching"_s, name)) +
                             u"; "_s + count;
        m_session.Report().SetFailure(u"connection-lost"_s, text, figures);
        host.Error(text);
    }
    return copier.ReportFiles(plan.files, done, status);
}

void CCtlSync::Begin(bool toGenerator, const QString& pcFolder, const QString& folder)
{
    m_bToGenerator = toGenerator;
    m_strPcFolder = pcFolder;
    m_strFolder = folder;
    // Which way the run goes, from where to where: a production line files it.
    m_session.Report().Set(u"source"_s, toGenerator ? pcFolder : folder);
    m_session.Report().Set(u"target"_s, toGenerator ? folder : pcFolder);
}

int CCtlSync::ToGenerator(const QString& pcFolder, const QString& folder)
{
    Begin(true, pcFolder, folder);
    const bool root = IsDeviceRoot(folder);
    if (!QFileInfo(pcFolder).isDir())
        return m_session.Fail(u"pc"_s, CCtlSession::PcPathMessage(u"No such PC folder"_s, pcFolder), {});
    CFileInfo existing;
    const CCtlCatalog::Found found =
        root ? CCtlCatalog::Found::Yes : m_session.Catalog().LookUp(folder, &existing);
    if (found == CCtlCatalog::Found::Failed)
        return CTL_FAILED;
    if (found == CCtlCatalog::Found::Yes && !root && !existing.IsFolder())
        return m_session.Refuse(PathMessage(u"Not a folder"_s, folder));
    if (found == CCtlCatalog::Found::No && IsFixedDeviceFolder(folder))
        return m_session.Refuse(CTL_ROOT_TARGET_TEXT);

    QList<CSyncEntry> source;
    QList<CSyncEntry> target;
    QHash<QString, CFileInfo> files;
    QStringList problems;
    QStringList skippedLinks;
    if (m_options.manifest)
        ManifestEntries(source, problems);
    else
        CCtlCopyPlanner::ListPcTree(pcFolder, m_options.recursive,
                                    m_options.followLinks ? CCtlCopyPlanner::Links::Follow
                                                          : CCtlCopyPlanner::Links::Skip,
                                    source, problems, &skippedLinks);
    for (const QString& problem : std::as_const(problems))
        m_session.Link().ShowError(problem);
    if (!problems.isEmpty()) {
        m_session.Report().SetFailure(u"pc"_s, problems.constFirst());
        return CTL_FAILED;
    }
    if (found == CCtlCatalog::Found::Yes &&
        !m_session.Catalog().ListTree(folder, m_options.recursive, target, files))
        return CTL_FAILED;
    LeaveOut(source);
    LeaveOut(target);

    CSyncPlan::COptions options;
    options.m_bDelete = m_options.deleteExtra || m_options.compareOnly;
    options.m_bToGenerator = true;
    options.m_bRoot = root;
    options.m_strPackageFolder = CSyncPlan::PackageFolderBelow(folder);
    if (!Know(source, target, options, files))
        return CTL_FAILED;
    QList<CSyncStep> steps = Plan(source, target, options);
    if (found == CCtlCatalog::Found::No)
        steps.prepend({CSyncStep::Action::MakeFolder, QString(), QString(), true});
    if (!CheckSteps(steps))
        return CTL_FAILED;
    NoteFound(steps, skippedLinks);
    if (m_options.compareOnly)
        return Differences(steps);

    CCopyPlan plan = CopyPlan(steps, files);
    m_bHadWork = !plan.files.isEmpty() || !plan.folders.isEmpty() ||
                 std::any_of(steps.cbegin(), steps.cend(), [](const CSyncStep& step) {
                     return step.m_eAction == CSyncStep::Action::Delete;
                 });
    if (CheckRoom(steps, found == CCtlCatalog::Found::Yes) != CTL_OK) {
        for (CCopyFile& file : plan.files)
            file.outcome = u"not-started"_s;
        AddUnchanged(steps, plan);
        return CCtlCopier(m_session).ReportFiles(plan.files, u"sent"_s, CTL_FAILED, false);
    }
    if (m_options.dryRun)
        return PrintPlan(steps, plan);
    // Every question before the first change.
    CCtlCopier copier(m_session);
    if (ConfirmDeletions(steps) != CTL_OK || copier.ConfirmKinds(plan.files) != CTL_OK)
        return Cancelled(steps, plan);
    // Deletions first: they make room for what comes.
    int status = DeleteOnGenerator(steps);
    if (status == CTL_OK && (!plan.files.isEmpty() || !plan.folders.isEmpty()))
        status = copier.Send(plan, true);
    return End(steps, plan, status);
}

int CCtlSync::ToPc(const QString& folder, const QString& pcFolder)
{
    Begin(false, pcFolder, folder);
    CFileInfo existing;
    if (!IsDeviceRoot(folder)) {
        if (const int result = m_session.Catalog().Require(folder, &existing); result != CTL_OK)
            return result;
        if (!existing.IsFolder())
            return m_session.Refuse(PathMessage(u"Not a folder"_s, folder));
    }
    const QFileInfo there(pcFolder);
    if (there.exists() && !there.isDir())
        return m_session.Fail(u"pc"_s, CCtlSession::PcPathMessage(u"Not a PC folder"_s, pcFolder), {});

    QList<CSyncEntry> source;
    QList<CSyncEntry> target;
    QHash<QString, CFileInfo> files;
    QStringList problems;
    if (!m_session.Catalog().ListTree(folder, m_options.recursive, source, files))
        return CTL_FAILED;
    if (there.exists())
        CCtlCopyPlanner::ListPcTree(pcFolder, m_options.recursive, CCtlCopyPlanner::Links::Itself, target,
                                    problems);
    for (const QString& problem : std::as_const(problems))
        m_session.Link().ShowError(problem);
    if (!problems.isEmpty()) {
        m_session.Report().SetFailure(u"pc"_s, problems.constFirst());
        return CTL_FAILED;
    }
    LeaveOut(source);
    LeaveOut(target);
    CSyncPlan::COptions options;
    options.m_bDelete = m_options.deleteExtra;
    options.m_bToGenerator = false;
    if (!Know(source, target, options, files))
        return CTL_FAILED;
    QList<CSyncStep> steps = Plan(source, target, options);
    if (!there.exists())
        steps.prepend({CSyncStep::Action::MakeFolder, QString(), QString(), true});
    if (!CheckSteps(steps))
        return CTL_FAILED;
    NoteFound(steps, {});

    CCopyPlan plan = CopyPlan(steps, files);
    m_bHadWork = !plan.files.isEmpty() || !plan.folders.isEmpty();
    qint64 total = 0;
    for (const CCopyFile& file : std::as_const(plan.files))
        total += file.size;
    CCtlCopier copier(m_session);
    if (m_options.dryRun) {
        copier.NotePcRoom(pcFolder, total);
        return PrintPlan(steps, plan);
    }
    // Every question before the first change.
    if (ConfirmDeletions(steps) != CTL_OK || copier.ConfirmPcRoom(pcFolder, total) != CTL_OK)
        return Cancelled(steps, plan);
    int status = DeleteOnPc(steps);
    if (status == CTL_OK)
        status = copier.Fetch(plan, false);
    return End(steps, plan, status);
}
