// vq8ctl restore: a backup put back onto a generator (or several: a clone),
// every file checked against the manifest first and read back after.

#include "cli/consolehost.h"
#include "cli/ctlargs.h"
#include "cli/ctlcommand.h"
#include "cli/ctlsession.h"
#include "cli/ctlsync.h"
#include "link/devicepath.h"
#include "sync/backupmanifest.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

class CCmdRestore final : public CCtlCommand
{
public:
    CCmdRestore()
        : CCtlCommand({
              .name = "restore"_L1,
              .minArgs = 1,
              .maxArgs = 2,
              .synopsis = "restore [--delete] [--dry-run] [-c] [--no-pacing] PCDIR [FOLDER]"_L1,
              .summary = "put a backup back onto a generator folder (by default the one backed up)"_L1,
              .details = "Makes the generator FOLDER (by default the folder the backup was taken of,\n"
                         "/F0:/ for all of it) hold the files that the backup in PCDIR lists in its\n"
                         "manifest, as sync -r does: every file is first checked against the manifest\n"
                         "(size and SHA-256; a backup that is not as it was taken is refused before\n"
                         "the first change), the room is checked, then each file missing or not\n"
                         "proven in place is sent and every file sent is read back and compared.\n"
                         "With --delete what FOLDER holds and the backup lacks is deleted (a\n"
                         "question; --yes answers). Packages come back in /F0:/DOWNLOAD under names\n"
                         "of the generator's own and compare by content, so a --dry-run after a\n"
                         "restore lists nothing. With several generators each gets the backup: a\n"
                         "clone.\n"
                         "\n--json: as for sync.\n"_L1,
              .options =
                  {
                      {&CTL_OPTION_DELETE, "delete what the backup lacks"_L1},
                      {&CTL_OPTION_DRY_RUN, "print the actions; change nothing"_L1},
                      {&CTL_OPTION_CHECKSUM,
                       "read back the generator's files of a backup file's size first"_L1},
                      {&CTL_OPTION_NO_PACING, "do not pause 100 ms before each 32 KiB chunk read back"_L1},
                  },
              .examples = "vq8ctl --yes restore backups/line3\n"
                          "vq8ctl --yes --hosts generators.txt restore --delete backups/line3\n"_L1,
              .identifies = true,
              .completion = Completion::PcThenGenerator,
              .reportKeys = REPORT_FILES | REPORT_OPERATIONS,
          })
    {
    }

    QString CheckUsage(const CCtlArgs& args) const override
    {
        return args.Arguments().constFirst().isEmpty() ? CTL_EMPTY_PC_PATH_TEXT : QString();
    }

    bool FleetArguments(const CCtlArgs& args, CConsoleHost&, CCtlFleetArguments& fleet) const override
    {
        fleet.arguments = args.Arguments();
        fleet.arguments[0] = QFileInfo(args.Arguments().constFirst()).absoluteFilePath();
        return true;
    }

    int Run(CCtlSession& session) override
    {
        const CCtlArgs& args = session.Args();
        const QString pcFolder = QDir::cleanPath(QFileInfo(args.Arguments().constFirst()).absoluteFilePath());
        CBackupManifest manifest;
        QString error;
        if (!CBackupManifest::Read(pcFolder, manifest, &error))
            return session.Fail(u"pc"_s,
                                CCtlSession::PcPathMessage(u"Not a backup (its manifest cannot be read)"_s,
                                                           CBackupManifest::PathIn(pcFolder)) +
                                    u": "_s + error,
                                {});
        const QString folder = args.Arguments().size() > 1 ? ToDevicePath(args.Arguments().at(1))
                                                           : ToDevicePath(manifest.m_strFolder);
        session.Host().Note(u"restoring %1 files of %2 (%3, %4) taken %5"_s.arg(manifest.m_files.size())
                                .arg(CCtlSession::Quoted(manifest.m_strFolder),
                                     manifest.m_generator.m_strHost, manifest.m_generator.m_strSerial,
                                     manifest.m_taken.toString(Qt::ISODate)));
        CCtlSyncOptions options;
        options.recursive = true;
        options.deleteExtra = args.IsSet(CTL_OPTION_DELETE);
        options.dryRun = args.IsSet(CTL_OPTION_DRY_RUN);
        options.checksum = args.IsSet(CTL_OPTION_CHECKSUM);
        options.verify = true;
        options.sendUnproven = true;
        options.manifest = &manifest;
        return CCtlSync(session, options).ToGenerator(pcFolder, folder);
    }
};

} // namespace

std::unique_ptr<CCtlCommand> MakeRestoreCommand()
{
    return std::make_unique<CCmdRestore>();
}
