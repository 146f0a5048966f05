// vq8ctl backup: a generator folder, or all the generator holds, copied into a
// PC folder with a manifest that can prove it later.

#include "cli/consolehost.h"
#include "cli/ctlargs.h"
#include "cli/ctlcommand.h"
#include "cli/ctlcopyplan.h"
#include "cli/ctlreport.h"
#include "cli/ctlsession.h"
#include "cli/ctlsync.h"
#include "console/console.h"
#include "link/devicepath.h"
#include "sync/backupmanifest.h"
#include "sync/filehash.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

class CCmdBackup final : public CCtlCommand
{
public:
    CCmdBackup()
        : CCtlCommand({
              .name = "backup"_L1,
              .minArgs = 1,
              .maxArgs = 2,
              .synopsis = "backup [--dry-run] [--verify] [--no-pacing] [FOLDER] PCDIR"_L1,
              .summary = "copy a generator folder (all of it by default) to a PC folder with a manifest"_L1,
              .details = "Makes the PC folder PCDIR hold what the generator FOLDER holds (without\n"
                         "FOLDER: /F0:/, everything, each first-level folder a folder of PCDIR), as\n"
                         "sync -r --delete FOLDER PCDIR does, then writes vq8-backup.json beside the\n"
                         "files: the generator (address, maker, model, serial, firmware), the folder,\n"
                         "the time, the tool, every folder, and every file with its size and SHA-256.\n"
                         "PCDIR is made when missing; one that holds anything and no manifest is\n"
                         "refused (a backup replaces what a backup folder holds: deletions are asked\n"
                         "about, --yes answers). A file the record cannot prove already in place is\n"
                         "fetched again. With several generators each goes to a folder named after its\n"
                         "address inside PCDIR. restore puts a backup back; backup from one generator\n"
                         "and restore to several clones it.\n"
                         "\n--json: as for sync, and \"manifest\" (its path).\n"_L1,
              .options =
                  {
                      {&CTL_OPTION_DRY_RUN, "print what would be fetched; change nothing"_L1},
                      {&CTL_OPTION_VERIFY, "read every file fetched once more and compare it"_L1},
                      {&CTL_OPTION_NO_PACING, "do not pause 100 ms before each 32 KiB chunk fetched"_L1},
                  },
              .examples = "vq8ctl --yes backup backups/line3\n"
                          "vq8ctl --yes backup USER/patterns backups/patterns\n"
                          "vq8ctl --yes --hosts generators.txt backup backups\n"_L1,
              .identifies = true,
              .completion = Completion::GeneratorThenPc,
              .reportKeys = REPORT_FILES | REPORT_OPERATIONS,
          })
    {
    }

    QString CheckUsage(const CCtlArgs& args) const override
    {
        return args.Arguments().constLast().isEmpty() ? CTL_EMPTY_PC_PATH_TEXT : QString();
    }

    bool FleetArguments(const CCtlArgs& args, CConsoleHost&, CCtlFleetArguments& fleet) const override
    {
        // Each generator's backup in a folder of its own, which the run makes.
        fleet.arguments = args.Arguments();
        fleet.pcParent = QFileInfo(args.Arguments().constLast()).absoluteFilePath();
        fleet.pcIndex = fleet.arguments.size() - 1;
        return true;
    }

    int Run(CCtlSession& session) override
    {
        const CCtlArgs& args = session.Args();
        const QStringList arguments = args.Arguments();
        const QString folder = arguments.size() > 1 ? ToDevicePath(arguments.constFirst()) : DEVICE_ROOT_PATH;
        const QString pcFolder = QDir::cleanPath(QFileInfo(arguments.constLast()).absoluteFilePath());
        const QString taken = QDateTime::currentDateTime()
                                  .toOffsetFromUtc(QDateTime::currentDateTime().offsetFromUtc())
                                  .toString(Qt::ISODateWithMs);
        const QFileInfo there(pcFolder);
        // Only a folder of the tool's own is made to hold the generator's files.
        if (there.isDir() && !QFileInfo::exists(CBackupManifest::PathIn(pcFolder)) &&
            !QDir(pcFolder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
            return session.Fail(u"pc"_s,
                                CCtlSession::PcPathMessage(u"Not a backup folder (it holds files and no "
                                                           "vq8-backup.json): give a new or empty folder"_s,
                                                           pcFolder),
                                {});
        CCtlSyncOptions options;
        options.recursive = true;
        options.deleteExtra = true;
        options.sendUnproven = true;
        options.dryRun = args.IsSet(CTL_OPTION_DRY_RUN);
        options.verify = args.IsSet(CTL_OPTION_VERIFY);
        const int status = CCtlSync(session, options).ToPc(folder, pcFolder);
        if (status != CTL_OK || options.dryRun)
            return status;
        return WriteManifest(session, folder, pcFolder, taken);
    }

private:
    static int WriteManifest(CCtlSession& session, const QString& folder, const QString& pcFolder,
                             const QString& taken)
    {
        CBackupManifest manifest;
        manifest.m_generator = session.Generator();
        manifest.m_strFolder = folder;
        manifest.m_taken = QDateTime::fromString(taken, Qt::ISODateWithMs);
        manifest.m_strTool = u"vq8ctl "_s + QCoreApplication::applicationVersion();
        QList<CSyncEntry> entries;
        QStringList problems;
        CCtlCopyPlanner::ListPcTree(pcFolder, true, CCtlCopyPlanner::Links::Itself, entries, problems);
        for (const CSyncEntry& entry : std::as_const(entries)) {
            if (CCtlSync::IsLeftOut(entry.m_strPath, false))
                continue;
            if (entry.m_bFolder) {
                manifest.m_folders.append(entry.m_strPath);
                continue;
            }
            // The backup's files are the generator's now: what they hold is what it held.
            QString error;
            const QByteArray sha = CFileHash::OfFile(QDir(pcFolder).filePath(entry.m_strPath), &error);
            if (sha.isEmpty())
                problems.append(CCtlSession::PcPathMessage(u"Cannot read the backup's file"_s,
                                                           QDir(pcFolder).filePath(entry.m_strPath)) +
                                u": "_s + error);
            manifest.m_files.append({entry.m_strPath, entry.m_nSize, sha});
        }
        std::sort(manifest.m_files.begin(), manifest.m_files.end(),
                  [](const CBackupManifest::CFile& a, const CBackupManifest::CFile& b) {
                      return a.m_strPath < b.m_strPath;
                  });
        manifest.m_folders.sort();
        QString error;
        if (problems.isEmpty() && !manifest.Write(pcFolder, &error))
            problems.append(CCtlSession::PcPathMessage(u"Cannot write the manifest"_s,
                                                       CBackupManifest::PathIn(pcFolder)) +
                            u": "_s + error);
        if (!problems.isEmpty()) {
            for (const QString& problem : std::as_const(problems))
                session.Fail(u"pc"_s, problem, {});
            return CTL_FAILED;
        }
        session.Report().Set(u"manifest"_s, CBackupManifest::PathIn(pcFolder));
        session.Host().Note(
            u"backup of %1: %2 files, manifest %3"_s.arg(CCtlSession::Quoted(folder))
                .arg(manifest.m_files.size())
                .arg(CCtlSession::Quoted(CCtlSession::ShownPcPath(CBackupManifest::PathIn(pcFolder)))));
        return CTL_OK;
    }
};

} // namespace

std::unique_ptr<CCtlCommand> MakeBackupCommand()
{
    return std::make_unique<CCmdBackup>();
}
