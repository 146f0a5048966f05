// vq8ctl sync: a generator folder made to hold what a PC folder holds, or the other way.
// Both sides are listed and compared whole before anything changes; the
// transfers then go through the plans of put and get, so a sync sends and
// fetches exactly as they do.

#include "cli/consolehost.h"
#include "cli/ctlargs.h"
#include "cli/ctlcatalog.h"
#include "cli/ctlcommand.h"
#include "cli/ctlcopier.h"
#include "cli/ctlcopyplan.h"
#include "cli/ctlerrorqueue.h"
#include "cli/ctlreport.h"
#include "cli/ctlsession.h"
#include "link/devicename.h"
#include "link/devicepath.h"
#include "link/pcname.h"
#include "link/stringtable.h"
#include "link/vqcomm.h"
#include "sync/syncplan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

using namespace Qt::StringLiterals;

namespace {

const CCtlOption kDelete{{}, "delete"_L1, {}};
const CCtlOption kVerify{{}, "verify"_L1, {}};

const QString WHICH_FOLDER_TEXT = u"which is the generator's folder? Write it as /F0:/... : \"%1\", \"%2\""_s;

// A path below a synced generator folder; empty: the folder itself.
QString DeviceBelow(const QString& folder, const QString& relative)
{
    return relative.isEmpty() ? folder : JoinDevicePath(folder, relative);
}

// A path below a synced PC folder, joined as the PC takes names (a name it
// refuses gives an empty path); empty `relative`: the folder itself.
QString PcBelow(const QString& folder, const QString& relative)
{
    return relative.isEmpty() ? folder : CCtlCopyPlanner::PcBelow(folder, relative);
}

// The deletions are asked about as every other question: the count and the
// first names; --yes answers, and without a terminal nothing is deleted.
constexpr qsizetype kDeletionsNamed = 5;

class CCmdSync final : public CCtlCommand
{
public:
    CCmdSync()
        : CCtlCommand({
              .name = "sync"_L1,
              .minArgs = 2,
              .maxArgs = 2,
              .synopsis = "sync [-r] [--delete] [--dry-run] [--verify] PCDIR FOLDER|FOLDER PCDIR"_L1,
              .summary = "make a generator folder hold what a PC folder holds, or the other way"_L1,
              .details = "sync PCDIR FOLDER makes the generator FOLDER hold what the PC folder PCDIR\n"
                         "holds; sync FOLDER PCDIR makes PCDIR hold what FOLDER holds. A file missing\n"
                         "on the receiving side, or there with another size, is sent (as put --force)\n"
                         "or fetched (as get: never a partial file at a target name); names compare as\n"
                         "the generator compares them, letter case ignored. The receiving folder is\n"
                         "made when it is missing (not directly in /F0:/). With -r sub-folders too,\n"
                         "missing ones made; with --delete what the receiving folder holds and the\n"
                         "other lacks is deleted, folders with everything in them, never anything\n"
                         "outside it. The deletions are a question (their count and the first names;\n"
                         "--yes answers it; without a terminal nothing is deleted).\n"
                         "\nNothing changes when the sync cannot be sure: a PC folder or file that\n"
                         "cannot be read, a file and a folder of one name, two names the other side\n"
                         "cannot tell apart (letter case; on Windows a trailing dot or space) fail it\n"
                         "before the first change. On the PC a link is taken as itself: a file fetched\n"
                         "replaces it (never written through), a folder is refused there, --delete\n"
                         "deletes the link, never what it names.\n"
                         "\nThe generator's folder is the argument written as /F0:/...; otherwise the\n"
                         "argument that is an existing PC folder is the PC's. When both or neither are,\n"
                         "write the generator's as /F0:/...\n"
                         "\nEach action is a line on standard output in the style of rsync -i, NAME\n"
                         "relative to the synced folders:\n"
                         "  <f+++++++++ NAME (SIZE bytes)          send a new file\n"
                         "  <f.s....... NAME (OLD -> NEW bytes)    send a file of another size\n"
                         "  >f+++++++++ NAME (SIZE bytes)          fetch a new file\n"
                         "  >f.s....... NAME (OLD -> NEW bytes)    fetch a file of another size\n"
                         "  >f.s....... NAME (link -> NEW bytes)   fetch a file in a link's place\n"
                         "  cd+++++++++ NAME/                      make a folder\n"
                         "  *deleting   NAME                       delete (a folder: NAME/)\n"
                         "--dry-run prints them and changes nothing; after a sync a --dry-run prints\n"
                         "none. --verify reads each file sent back from the generator (each file\n"
                         "fetched, again) and compares it byte for byte: a file that differs fails\n"
                         "the command. --no-pacing drops the 100 ms pause of every fetch.\n"
                         "\n--json: as for put, and \"operations\" for the deletions (outcome\n"
                         "\"planned\" under --dry-run, \"cancelled\" when the question was answered\n"
                         "Cancel); a file --verify found different has the outcome \"differs\".\n"_L1,
              .options =
                  {
                      {&CTL_OPTION_RECURSIVE, "sub-folders too"_L1},
                      {&kDelete, "delete what the other side lacks"_L1},
                      {&CTL_OPTION_DRY_RUN, "print the actions; change nothing"_L1},
                      {&kVerify, "read each file moved back and compare it byte for byte"_L1},
                      {&CTL_OPTION_NO_PACING, "do not pause 100 ms before each 32 KiB chunk fetched"_L1},
                  },
              .examples = "vq8ctl --yes sync -r --delete patterns USER/patterns\n"
                          "vq8ctl sync -r --dry-run patterns USER/patterns\n"
                          "vq8ctl sync -r /F0:/USER/patterns backup/patterns\n"_L1,
              .identifies = true,
              .completion = Completion::PcOrGenerator,
              .reportKeys = REPORT_FILES | REPORT_OPERATIONS,
          })
    {
    }

    QString CheckUsage(const CCtlArgs& args) const override
    {
        // Either side may be the PC's: an empty one names no folder.
        return args.Arguments().contains(QString()) ? CTL_EMPTY_PC_PATH_TEXT : QString();
    }

    bool FleetArguments(const CCtlArgs& args, CConsoleHost& host, CCtlFleetArguments& fleet) const override
    {
        const QString first = args.Arguments().at(0);
        const QString second = args.Arguments().at(1);
        switch (CSyncPlan::DirectionOf(first, second, QFileInfo(first).isDir(), QFileInfo(second).isDir())) {
        case CSyncPlan::Direction::ToGenerator:
            // Both sides as no run can take them otherwise.
            fleet.arguments = {QFileInfo(first).absoluteFilePath(), ToDevicePath(second)};
            return true;
        case CSyncPlan::Direction::ToPc:
            if (QFileInfo::exists(second) && !QFileInfo(second).isDir()) {
                host.Error(u"not a PC folder : \"%1\""_s.arg(CCtlSession::ShownPcPath(second)));
                return false;
            }
            // Each generator's files go to a PC folder of its own, which the run makes.
            fleet.pcParent = QFileInfo(second).absoluteFilePath();
            fleet.arguments = {ToDevicePath(first), QString()};
            fleet.pcIndex = 1;
            return true;
        case CSyncPlan::Direction::Unclear:
            break;
        }
        host.Error(WHICH_FOLDER_TEXT.arg(first, second));
        return false;
    }

    int Run(CCtlSession& session) override
    {
        const QString first = session.Args().Arguments().at(0);
        const QString second = session.Args().Arguments().at(1);
        switch (CSyncPlan::DirectionOf(first, second, QFileInfo(first).isDir(), QFileInfo(second).isDir())) {
        case CSyncPlan::Direction::ToGenerator:
            return ToGenerator(session, QDir::cleanPath(QFileInfo(first).absoluteFilePath()),
                               ToDevicePath(second));
        case CSyncPlan::Direction::ToPc:
            return ToPc(session, ToDevicePath(first), QDir::cleanPath(QFileInfo(second).absoluteFilePath()));
        case CSyncPlan::Direction::Unclear:
            break;
        }
        session.Host().Error(WHICH_FOLDER_TEXT.arg(first, second));
        return CTL_USAGE;
    }

private:
    int ToGenerator(CCtlSession& session, const QString& pcFolder, const QString& folder);
    int ToPc(CCtlSession& session, const QString& folder, const QString& pcFolder);
    // False after a message for each clash or name the receiving side would not take.
    static bool CheckSteps(CCtlSession& session, const QList<CSyncStep>& steps, const QString& sendingRoot,
                           const QString& receivingRoot, bool toGenerator);
    // CTL_OK when the deletions among `steps` (if any) may go ahead.
    static int ConfirmDeletions(CCtlSession& session, const QList<CSyncStep>& steps,
                                const QString& receivingRoot, const QString& sendingRoot, bool toGenerator);
    // Nothing is done: the files in the report as not copied, the deletions as cancelled.
    static int Cancelled(CCtlSession& session, const QList<CSyncStep>& steps, CCopyPlan& plan,
                         const QString& receivingRoot, bool toGenerator);
    static int PrintPlan(CCtlSession& session, const QList<CSyncStep>& steps, CCopyPlan& plan,
                         const QString& receivingRoot, bool toGenerator);
    // The copies of the steps; `files` are the generator's entries (towards the PC).
    static CCopyPlan CopyPlan(const QList<CSyncStep>& steps, const QString& pcFolder, const QString& folder,
                              bool toGenerator, const QHash<QString, CFileInfo>& files);
    // After the copies: the lines of what was done, --verify, the report.
    static int End(CCtlSession& session, const QList<CSyncStep>& steps, CCopyPlan& plan, int status,
                   bool toGenerator);
};

bool CCmdSync::CheckSteps(CCtlSession& session, const QList<CSyncStep>& steps, const QString& sendingRoot,
                          const QString& receivingRoot, bool toGenerator)
{
    QStringList problems;
    QSet<QString> pcTargets; // towards the PC: what each path is on the PC's file system
    for (const CSyncStep& step : steps) {
        const QString source = toGenerator ? CCtlSession::ShownPcPath(PcBelow(sendingRoot, step.m_strSource))
                                           : DeviceBelow(sendingRoot, step.m_strSource);
        const QString receiving = toGenerator
                                      ? DeviceBelow(receivingRoot, step.m_strPath)
                                      : CCtlSession::ShownPcPath(PcBelow(receivingRoot, step.m_strPath));
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
            problems.append(PathMessage(toGenerator
                                            ? u"Two entries for one name on the generator"_s
                                            : u"Another PC name differs from this one only in letter case"_s,
                                        receiving));
            break;
        case CSyncStep::Action::SendNew:
        case CSyncStep::Action::SendChanged:
            if (step.m_nSize > MAX_DOWNLOAD_SIZE && toGenerator)
                problems.append(
                    PathMessage(u"File too large to send (1,000,000,000 bytes or more)"_s, source));
            [[fallthrough]];
        case CSyncStep::Action::MakeFolder: {
            const QString name = step.m_strPath.sliced(step.m_strPath.lastIndexOf(u'/') + 1);
            if (toGenerator) {
                // A name new to the generator must be one it takes.
                if (!step.m_strPath.isEmpty() &&
                    (!IsValidNewName(name) || name.size() > MAX_DEVICE_NAME_LENGTH))
                    problems.append(InvalidNameMessage(source));
                break;
            }
            // Towards the PC every path stays inside the folder, and no two
            // are one file on the PC's file system.
            const QString pcPath = PcBelow(receivingRoot, step.m_strPath);
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
            if (!toGenerator && PcBelow(receivingRoot, step.m_strPath).isEmpty())
                problems.append(PathMessage(u"Not a name the PC can take"_s, receiving));
            break;
        case CSyncStep::Action::Same:
        case CSyncStep::Action::SizeOnly:
        case CSyncStep::Action::Skip:
        case CSyncStep::Action::Unplaceable:
            break;
        }
    }
    for (const QString& problem : std::as_const(problems))
        session.Link().ShowError(problem);
    return problems.isEmpty();
}

int CCmdSync::ConfirmDeletions(CCtlSession& session, const QList<CSyncStep>& steps,
                               const QString& receivingRoot, const QString& sendingRoot, bool toGenerator)
{
    QStringList names;
    for (const CSyncStep& step : steps) {
        if (step.m_eAction == CSyncStep::Action::Delete)
            names.append(CCtlSession::Quoted(step.m_strPath + (step.m_bFolder ? u"/"_s : QString())));
    }
    if (names.isEmpty())
        return CTL_OK;
    QString text =
        u"Delete %1 %2 in %3 that %4 lacks : "_s.arg(names.size())
            .arg(names.size() == 1 ? u"entry"_s : u"entries"_s)
            .arg(CCtlSession::Quoted(toGenerator ? receivingRoot : CCtlSession::ShownPcPath(receivingRoot)),
                 CCtlSession::Quoted(toGenerator ? CCtlSession::ShownPcPath(sendingRoot) : sendingRoot));
    text += names.first(std::min(names.size(), kDeletionsNamed)).join(u", "_s);
    if (names.size() > kDeletionsNamed)
        text += u" and %1 more"_s.arg(names.size() - kDeletionsNamed);
    return session.Host().ShowMessageBox(text, MB_OKCANCEL | MB_ICONQUESTION) == IDOK ? CTL_OK : CTL_FAILED;
}

int CCmdSync::Cancelled(CCtlSession& session, const QList<CSyncStep>& steps, CCopyPlan& plan,
                        const QString& receivingRoot, bool toGenerator)
{
    for (const CSyncStep& step : steps) {
        if (step.m_eAction == CSyncStep::Action::Delete)
            session.Report().AddOperation(u"delete"_s,
                                          toGenerator ? DeviceBelow(receivingRoot, step.m_strPath)
                                                      : PcBelow(receivingRoot, step.m_strPath),
                                          QString(), u"cancelled"_s);
    }
    for (CCopyFile& file : plan.files)
        file.outcome = u"not-started"_s;
    session.Host().Error(toGenerator ? u"nothing deleted or sent"_s : u"nothing deleted or fetched"_s);
    return CCtlCopier(session).ReportFiles(plan.files, toGenerator ? u"sent"_s : u"received"_s, CTL_FAILED);
}

int CCmdSync::PrintPlan(CCtlSession& session, const QList<CSyncStep>& steps, CCopyPlan& plan,
                        const QString& receivingRoot, bool toGenerator)
{
    CCtlReport& report = session.Report();
    for (const CSyncStep& step : steps) {
        if (const QString line = CSyncPlan::ItemLine(step, toGenerator); !line.isEmpty() && !session.Args().Json())
            session.Host().Out(line);
        if (step.m_eAction == CSyncStep::Action::Delete) {
            report.AddOperation(u"delete"_s,
                                toGenerator ? DeviceBelow(receivingRoot, step.m_strPath)
                                            : PcBelow(receivingRoot, step.m_strPath),
                                QString(), u"planned"_s);
        }
    }
    for (const QString& folder : std::as_const(plan.folders))
        report.AddFolder(folder, u"planned"_s);
    for (CCopyFile& file : plan.files)
        file.outcome = u"planned"_s;
    return CCtlCopier(session).ReportFiles(plan.files, u"planned"_s, CTL_OK);
}

CCopyPlan CCmdSync::CopyPlan(const QList<CSyncStep>& steps, const QString& pcFolder, const QString& folder,
                             bool toGenerator, const QHash<QString, CFileInfo>& files)
{
    const auto sending = [&](const QString& relative) {
        return toGenerator ? PcBelow(pcFolder, relative) : DeviceBelow(folder, relative);
    };
    const auto receiving = [&](const QString& relative) {
        return toGenerator ? DeviceBelow(folder, relative) : PcBelow(pcFolder, relative);
    };
    CCopyPlan plan;
    for (const CSyncStep& step : steps) {
        if (step.m_eAction == CSyncStep::Action::MakeFolder)
            plan.folders.append(receiving(step.m_strPath));
        if (step.m_eAction != CSyncStep::Action::SendNew && step.m_eAction != CSyncStep::Action::SendChanged)
            continue;
        CCopyFile file;
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

int CCmdSync::End(CCtlSession& session, const QList<CSyncStep>& steps, CCopyPlan& plan, int status,
                  bool toGenerator)
{
    for (CCopyFile& file : plan.files) {
        if (file.outcome.isEmpty())
            file.outcome = u"not-started"_s;
    }
    const QString done = toGenerator ? u"sent"_s : u"received"_s;
    if (!session.Args().Json()) {
        // The lines of what was done, as the plan would have listed them.
        int folder = 0;
        qsizetype file = 0;
        for (const CSyncStep& step : steps) {
            if (step.m_eAction == CSyncStep::Action::MakeFolder && folder++ < plan.madeFolders)
                session.Host().Out(CSyncPlan::ItemLine(step, toGenerator));
            if ((step.m_eAction == CSyncStep::Action::SendNew ||
                 step.m_eAction == CSyncStep::Action::SendChanged) &&
                plan.files.at(file++).outcome == done)
                session.Host().Out(CSyncPlan::ItemLine(step, toGenerator));
        }
    }
    CCtlCopier copier(session);
    if (session.Args().IsSet(kVerify) && !session.Interrupted() &&
        copier.Verify(plan.files, toGenerator) != CTL_OK)
        status = CTL_FAILED;
    return copier.ReportFiles(plan.files, done, status);
}

int CCmdSync::ToGenerator(CCtlSession& session, const QString& pcFolder, const QString& folder)
{
    const CCtlArgs& args = session.Args();
    CVQComm& link = session.Link();
    if (IsDeviceRoot(folder))
        return session.Refuse(CTL_ROOT_TARGET_TEXT);
    if (!QFileInfo(pcFolder).isDir())
        return session.Refuse(CCtlSession::PcPathMessage(u"No such PC folder"_s, pcFolder));
    CFileInfo existing;
    const CCtlCatalog::Found found = session.Catalog().LookUp(folder, &existing);
    if (found == CCtlCatalog::Found::Failed)
        return CTL_FAILED;
    if (found == CCtlCatalog::Found::Yes && !existing.IsFolder())
        return session.Refuse(PathMessage(u"Not a folder"_s, folder));
    if (found == CCtlCatalog::Found::No && IsFixedDeviceFolder(folder))
        return session.Refuse(CTL_ROOT_TARGET_TEXT);

    QList<CSyncEntry> source;
    QList<CSyncEntry> target;
    QHash<QString, CFileInfo> files;
    QStringList problems;
    const bool recursive = args.IsSet(CTL_OPTION_RECURSIVE);
    CCtlCopyPlanner::ListPcTree(pcFolder, recursive, true, source, problems);
    for (const QString& problem : std::as_const(problems))
        link.ShowError(problem);
    if (!problems.isEmpty() ||
        (found == CCtlCatalog::Found::Yes && !session.Catalog().ListTree(folder, recursive, target, files)))
        return CTL_FAILED;
    QList<CSyncStep> steps = CSyncPlan::Compare(source, target, args.IsSet(kDelete));
    if (found == CCtlCatalog::Found::No)
        steps.prepend({CSyncStep::Action::MakeFolder, QString(), QString(), true});
    if (!CheckSteps(session, steps, pcFolder, folder, true))
        return CTL_FAILED;

    CCopyPlan plan = CopyPlan(steps, pcFolder, folder, true, files);
    if (args.IsSet(CTL_OPTION_DRY_RUN))
        return PrintPlan(session, steps, plan, folder, true);
    // Every question before the first change.
    CCtlCopier copier(session);
    if (ConfirmDeletions(session, steps, folder, pcFolder, true) != CTL_OK ||
        copier.ConfirmKinds(plan.files) != CTL_OK)
        return Cancelled(session, steps, plan, folder, true);
    // Deletions first: they make room for what comes.
    int status = CTL_OK;
    CCtlErrorQueue& queue = session.Queue();
    for (const CSyncStep& step : std::as_const(steps)) {
        if (step.m_eAction != CSyncStep::Action::Delete)
            continue;
        const QString path = DeviceBelow(folder, step.m_strPath);
        if (step.m_bFolder && !link.IsFolderEmpty(path) &&
            queue.Change(u"delete-all"_s, path, QString(), [&] { return link.DeleteAll(path); }) != CTL_OK) {
            status = CTL_FAILED;
            break;
        }
        if (queue.Change(u"delete"_s, path, QString(), [&] { return link.DeleteEntry(path); }) != CTL_OK) {
            status = CTL_FAILED;
            break;
        }
        if (!args.Json())
            session.Host().Out(CSyncPlan::ItemLine(step, true));
    }
    if (status == CTL_OK && (!plan.files.isEmpty() || !plan.folders.isEmpty()))
        status = copier.Send(plan, true);
    return End(session, steps, plan, status, true);
}

int CCmdSync::ToPc(CCtlSession& session, const QString& folder, const QString& pcFolder)
{
    const CCtlArgs& args = session.Args();
    CFileInfo existing;
    if (!IsDeviceRoot(folder)) {
        if (const int result = session.Catalog().Require(folder, &existing); result != CTL_OK)
            return result;
        if (!existing.IsFolder())
            return session.Refuse(PathMessage(u"Not a folder"_s, folder));
    }
    const QFileInfo there(pcFolder);
    if (there.exists() && !there.isDir())
        return session.Refuse(CCtlSession::PcPathMessage(u"Not a PC folder"_s, pcFolder));

    QList<CSyncEntry> source;
    QList<CSyncEntry> target;
    QHash<QString, CFileInfo> files;
    QStringList problems;
    const bool recursive = args.IsSet(CTL_OPTION_RECURSIVE);
    if (!session.Catalog().ListTree(folder, recursive, source, files))
        return CTL_FAILED;
    if (there.exists())
        CCtlCopyPlanner::ListPcTree(pcFolder, recursive, false, target, problems);
    for (const QString& problem : std::as_const(problems))
        session.Link().ShowError(problem);
    if (!problems.isEmpty())
        return CTL_FAILED;
    QList<CSyncStep> steps = CSyncPlan::Compare(source, target, args.IsSet(kDelete));
    if (!there.exists())
        steps.prepend({CSyncStep::Action::MakeFolder, QString(), QString(), true});
    if (!CheckSteps(session, steps, folder, pcFolder, false))
        return CTL_FAILED;

    CCopyPlan plan = CopyPlan(steps, pcFolder, folder, false, files);
    qint64 total = 0;
    for (const CCopyFile& file : std::as_const(plan.files))
        total += file.size;
    CCtlCopier copier(session);
    if (args.IsSet(CTL_OPTION_DRY_RUN)) {
        copier.NotePcRoom(pcFolder, total);
        return PrintPlan(session, steps, plan, pcFolder, false);
    }
    // Every question before the first change.
    if (ConfirmDeletions(session, steps, pcFolder, folder, false) != CTL_OK ||
        copier.ConfirmPcRoom(pcFolder, total) != CTL_OK)
        return Cancelled(session, steps, plan, pcFolder, false);

    int status = CTL_OK;
    for (const CSyncStep& step : std::as_const(steps)) {
        if (step.m_eAction != CSyncStep::Action::Delete)
            continue;
        // The entry itself: a link goes, never what it names.
        const QString path = PcBelow(pcFolder, step.m_strPath);
        const QFileInfo info(path);
        const bool deleted =
            info.isDir() && !info.isSymLink() ? QDir(path).removeRecursively() : QFile::remove(path);
        session.Report().AddOperation(u"delete"_s, path, QString(), deleted ? u"done"_s : u"failed"_s);
        if (!deleted) {
            status = session.Refuse(CCtlSession::PcPathMessage(u"Cannot delete the PC entry"_s, path));
            break;
        }
        if (!args.Json())
            session.Host().Out(CSyncPlan::ItemLine(step, false));
    }
    if (status == CTL_OK)
        status = copier.Fetch(plan, false);
    return End(session, steps, plan, status, false);
}

} // namespace

std::unique_ptr<CCtlCommand> MakeSyncCommand()
{
    return std::make_unique<CCmdSync>();
}
