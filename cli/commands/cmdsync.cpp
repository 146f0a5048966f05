// vq8ctl sync: a generator folder made to hold what a PC folder holds, or the other way
// (CCtlSync), and with --watch kept so (CCtlWatch).

#include "cli/consolehost.h"
#include "cli/ctlargs.h"
#include "cli/ctlcommand.h"
#include "cli/ctlsession.h"
#include "cli/ctlsync.h"
#include "cli/ctlwatch.h"
#include "link/devicepath.h"
#include "sync/syncplan.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

const CCtlOption kWatch{{}, "watch"_L1, {}};

const QString WHICH_FOLDER_TEXT = u"which is the generator's folder? Write it as /F0:/... : \"%1\", \"%2\""_s;

class CCmdSync final : public CCtlCommand
{
public:
    CCmdSync()
        : CCtlCommand({
              .name = "sync"_L1,
              .minArgs = 2,
              .maxArgs = 2,
              .synopsis = "sync [-rc] [--delete] [--dry-run] [--watch] PCDIR FOLDER|FOLDER PCDIR"_L1,
              .summary = "make a generator folder hold what a PC folder holds, or the other way"_L1,
              .details = "sync PCDIR FOLDER makes the generator FOLDER hold what the PC folder PCDIR\n"
                         "holds; sync FOLDER PCDIR makes PCDIR hold what FOLDER holds. A file missing\n"
                         "on the receiving side, there with another size, or with other content, is\n"
                         "sent (as put --force) or fetched (as get: never a partial file at a target\n"
                         "name); names compare as the generator compares them, letter case ignored.\n"
                         "The receiving folder is made when it is missing; FOLDER may be /F0:/ itself,\n"
                         "whose first-level folders are fixed (none is made or deleted, nothing is\n"
                         "placed beside them). With -r sub-folders too, missing ones made; with\n"
                         "--delete what the receiving folder holds and the other lacks is deleted,\n"
                         "folders with everything in them, never anything outside it. The deletions\n"
                         "are a question (their count and the first names; --yes answers it; without\n"
                         "a terminal nothing is deleted).\n"
                         "\nThe generator keeps no dates, so two files of one size are the same only\n"
                         "when their contents are known to be: by the record this PC keeps of what it\n"
                         "sent to or read from each generator (size and SHA-256 per file, in the\n"
                         "user's application data folder; VQ8_RECORD_DIR moves it), or by reading the\n"
                         "generator's file back (-c, --checksum: every file both sides hold, which\n"
                         "also finds a file someone else changed there). Otherwise such a file is\n"
                         "\"size only\": not sent, and said on stderr and in the report, never taken as\n"
                         "the same. A file whose send began and was never seen in place is\n"
                         "in the record as such and sent again. A missing or damaged record costs\n"
                         "only that knowledge.\n"
                         "\nBefore the first change the plan's room is checked against the\n"
                         "generator's free memory, counting what deletions and replaced files give\n"
                         "back; a plan that does not fit is refused with both figures, --dry-run\n"
                         "too.\n"
                         "\nNothing changes when the sync cannot be sure: a PC folder or file that\n"
                         "cannot be read, a file and a folder of one name, two names the other side\n"
                         "cannot tell apart (letter case; on Windows a trailing dot or space) fail it\n"
                         "before the first change. A link in PCDIR is left out with a note; --links\n"
                         "sends what it names (a folder inside itself is refused). Towards the PC a\n"
                         "link is taken as itself: a file fetched replaces it (never written through),\n"
                         "a folder is refused there, --delete deletes the link, never what it names.\n"
                         "A backup's manifest (vq8-backup.json at the top of PCDIR) is never synced.\n"
                         "\nPackages (.DNL): the generator files each one in /F0:/DOWNLOAD under a name\n"
                         "of its own. In a sync of /F0:/DOWNLOAD (or of /F0:/) a package compares by\n"
                         "content with the generator's packages, whatever their names, so the sync\n"
                         "settles; a package elsewhere in PCDIR is left out with a note.\n"
                         "\nThe generator's folder is the argument written as /F0:/...; otherwise the\n"
                         "argument that is an existing PC folder is the PC's. When both or neither are,\n"
                         "write the generator's as /F0:/...\n"
                         "\nEach action is a line on standard output in the style of rsync -i, NAME\n"
                         "relative to the synced folders:\n"
                         "  <f+++++++++ NAME (SIZE bytes)          send a new file\n"
                         "  <f.s....... NAME (OLD -> NEW bytes)    send a file of another size\n"
                         "  <fc........ NAME (SIZE bytes, other content by record|checksum)\n"
                         "                                         send a file of other content\n"
                         "  <fc........ NAME (SIZE bytes, an earlier send not confirmed)\n"
                         "                                         send it again\n"
                         "  >f+++++++++ NAME (SIZE bytes)          fetch a new file\n"
                         "  >f.s....... NAME (OLD -> NEW bytes)    fetch a file of another size\n"
                         "  >f.s....... NAME (link -> NEW bytes)   fetch a file in a link's place\n"
                         "  cd+++++++++ NAME/                      make a folder\n"
                         "  *deleting   NAME                       delete (a folder: NAME/)\n"
                         "--dry-run prints them and changes nothing; after a sync a --dry-run prints\n"
                         "none. --verify reads every file sent back from the generator (every file\n"
                         "fetched, again) and compares it byte for byte: a file that differs fails\n"
                         "the command. --no-pacing drops the 100 ms pause of every fetch and read\n"
                         "back. --no-record neither reads nor writes the record.\n"
                         "\n--watch (towards the generator): after the sync, PCDIR is watched and each\n"
                         "file that changes, once it has stayed as it is for a second, is sent (or,\n"
                         "with --delete, deleted) within a few seconds; files an editor is still\n"
                         "writing (a temporary name, a save under way) stay as they are on both sides.\n"
                         "Ctrl+C ends it. With --delete it needs --yes.\n"
                         "\n--json: as for put, and \"operations\" for the deletions (outcome\n"
                         "\"planned\" under --dry-run, \"cancelled\" when the question was answered\n"
                         "Cancel), \"deleted\" (their count), \"inPlace\" ({\"files\", \"of\"}); each file\n"
                         "has \"sha256\" and \"verified\"; the files already in place have the outcome\n"
                         "\"unchanged\" and \"judged\" (\"record\", \"checksum\" or \"size-only\"); a file\n"
                         "--verify found different has the outcome \"differs\".\n"_L1,
              .options =
                  {
                      {&CTL_OPTION_RECURSIVE, "sub-folders too"_L1},
                      {&CTL_OPTION_DELETE, "delete what the other side lacks"_L1},
                      {&CTL_OPTION_DRY_RUN, "print the actions; change nothing"_L1},
                      {&CTL_OPTION_VERIFY, "read every file moved back and compare it byte for byte"_L1},
                      {&CTL_OPTION_CHECKSUM,
                       "read back every generator file of the size of its PC file and compare the contents"_L1},
                      {&CTL_OPTION_LINKS, "send what the PC's links name (by default they are left out)"_L1},
                      {&CTL_OPTION_NO_RECORD,
                       "neither read nor write the record of what is on the generator"_L1},
                      {&kWatch, "then send each PC file that changes, until Ctrl+C"_L1},
                      {&CTL_OPTION_NO_PACING, "do not pause 100 ms before each 32 KiB chunk fetched"_L1},
                  },
              .examples = "vq8ctl --yes sync -r --delete patterns USER/patterns\n"
                          "vq8ctl sync -r --dry-run patterns USER/patterns\n"
                          "vq8ctl sync -r --checksum --dry-run patterns USER/patterns\n"
                          "vq8ctl sync -r /F0:/USER/patterns backup/patterns\n"
                          "vq8ctl --yes sync -r --delete --watch patterns USER/patterns\n"_L1,
              .identifies = true,
              .completion = Completion::PcOrGenerator,
              .reportKeys = REPORT_FILES | REPORT_OPERATIONS,
          })
    {
    }

    QString CheckUsage(const CCtlArgs& args) const override
    {
        // Either side may be the PC's: an empty one names no folder.
        if (args.Arguments().contains(QString()))
            return CTL_EMPTY_PC_PATH_TEXT;
        if (args.IsSet(kWatch) && args.IsSet(CTL_OPTION_DRY_RUN))
            return u"--watch and --dry-run exclude each other"_s;
        // A watch deletes as files go: nobody is there to be asked each time.
        if (args.IsSet(kWatch) && args.IsSet(CTL_OPTION_DELETE) && !args.Yes())
            return u"--watch with --delete needs --yes"_s;
        return QString();
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
        const CCtlArgs& args = session.Args();
        const QString first = args.Arguments().at(0);
        const QString second = args.Arguments().at(1);
        CCtlSyncOptions options;
        options.recursive = args.IsSet(CTL_OPTION_RECURSIVE);
        options.deleteExtra = args.IsSet(CTL_OPTION_DELETE);
        options.dryRun = args.IsSet(CTL_OPTION_DRY_RUN);
        options.verify = args.IsSet(CTL_OPTION_VERIFY);
        options.checksum = args.IsSet(CTL_OPTION_CHECKSUM);
        options.followLinks = args.IsSet(CTL_OPTION_LINKS);
        options.skipTemporary = args.IsSet(kWatch);
        switch (CSyncPlan::DirectionOf(first, second, QFileInfo(first).isDir(), QFileInfo(second).isDir())) {
        case CSyncPlan::Direction::ToGenerator: {
            const QString pcFolder = QDir::cleanPath(QFileInfo(first).absoluteFilePath());
            const QString folder = ToDevicePath(second);
            const int status = CCtlSync(session, options).ToGenerator(pcFolder, folder);
            if (status != CTL_OK || !args.IsSet(kWatch) || session.Interrupted())
                return status;
            return CCtlWatch(session, options).Run(pcFolder, folder);
        }
        case CSyncPlan::Direction::ToPc:
            if (args.IsSet(kWatch))
                return session.Refuse(u"--watch sends to the generator: give PCDIR first"_s);
            return CCtlSync(session, options)
                .ToPc(ToDevicePath(first), QDir::cleanPath(QFileInfo(second).absoluteFilePath()));
        case CSyncPlan::Direction::Unclear:
            break;
        }
        session.Host().Error(WHICH_FOLDER_TEXT.arg(first, second));
        return CTL_USAGE;
    }
};

} // namespace

std::unique_ptr<CCtlCommand> MakeSyncCommand()
{
    return std::make_unique<CCmdSync>();
}
