// vq8ctl put: PC files and folder trees to a generator folder.

#include "cli/consolehost.h"
#include "cli/ctlargs.h"
#include "cli/ctlcatalog.h"
#include "cli/ctlcommand.h"
#include "cli/ctlcopier.h"
#include "cli/ctlcopyplan.h"
#include "cli/ctlreport.h"
#include "cli/ctlsession.h"
#include "link/devicename.h"
#include "link/devicepath.h"
#include "link/fileinfo.h"
#include "link/stringtable.h"
#include "sync/syncroom.h"

#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace {

const CCtlOption kSkipExisting{{}, "skip-existing"_L1, {}};

class CCmdPut final : public CCtlCommand
{
public:
    CCmdPut()
        : CCtlCommand({
              .name = "put"_L1,
              .minArgs = 2,
              .maxArgs = -1,
              .synopsis = "put [-r] [-f|--skip-existing] [--dry-run] FILE... FOLDER"_L1,
              .summary = "send PC files (and with -r folder trees) to a generator folder"_L1,
              .details = "Sends the PC files to the existing generator FOLDER through the desktop\n"
                         "program's download engine. Everything is checked before the first byte\n"
                         "moves: names the generator can take, the block-size limit (999,999,999\n"
                         "bytes), the generator's free memory (a file replaced gives its room back\n"
                         "once the new one is in; refused with both figures), names already there,\n"
                         "and the confirmation of each file's kind (one question per kind; --yes\n"
                         "answers it).\n"
                         "A name already in FOLDER (letter case ignored) is refused, naming the files,\n"
                         "unless --force or --skip-existing says what to do. Afterwards every file\n"
                         "sent must be listed with its size (a .DNL package, which the generator files\n"
                         "in /F0:/DOWNLOAD under a name of its own, is looked for there: the new name\n"
                         "of its size).\n"
                         "\nWith -r a FILE may be a PC folder: it is made in FOLDER under its own name\n"
                         "(mmem:mdir, parents first; an existing folder is used as it is) and its\n"
                         "files follow, one batch per folder, to any depth the generator takes.\n"
                         "\nCtrl+C cancels after the file under way; the report then says for each file\n"
                         "what the generator holds: sent complete, cut short after N bytes, or not\n"
                         "sent. Each file sent costs about 1.1 s of fixed pauses of the engine.\n"
                         "\n--json: {\"files\": [{\"source\", \"target\", \"bytes\", \"transferred\",\n"
                         "\"outcome\"}], \"folders\": [{\"path\", \"outcome\"}], \"summary\"}.\n"_L1,
              .options =
                  {
                      {&CTL_OPTION_RECURSIVE, "send PC folders with everything in them"_L1},
                      {&CTL_OPTION_FORCE,
                       "replace files of the same name: they are sent again and the generator keeps the new content under the name it had"_L1},
                      {&kSkipExisting, "leave files of the same name as they are (said on stderr)"_L1},
                      {&CTL_OPTION_DRY_RUN, "print what would be made and sent; send nothing"_L1},
                  },
              .examples = "vq8ctl --yes put 1080p.cmp SIGNAL\n"
                          "vq8ctl --yes --force put 1080p.cmp SIGNAL\n"
                          "vq8ctl --yes put -r --dry-run patterns USER\n"_L1,
              .identifies = true,
              .completion = Completion::PcThenGenerator,
              .reportKeys = REPORT_FILES,
          })
    {
    }

    QString CheckUsage(const CCtlArgs& args) const override
    {
        if (args.IsSet(CTL_OPTION_FORCE) && args.IsSet(kSkipExisting))
            return u"--force and --skip-existing exclude each other"_s;
        if (args.Arguments().first(args.Arguments().size() - 1).contains(QString()))
            return CTL_EMPTY_PC_PATH_TEXT;
        return QString();
    }

    int Run(CCtlSession& session) override
    {
        const CCtlArgs& args = session.Args();
        CConsoleHost& host = session.Host();
        const bool force = args.IsSet(CTL_OPTION_FORCE);
        const bool skip = args.IsSet(kSkipExisting);
        QStringList sources = args.Arguments();
        const QString folder = ToDevicePath(sources.takeLast());
        if (IsDeviceRoot(folder))
            return session.Refuse(CTL_ROOT_TARGET_TEXT);
        CCopyPlan plan;
        if (!CCtlCopyPlanner(session).PlanPut(sources, folder, args.IsSet(CTL_OPTION_RECURSIVE), plan))
            return CTL_FAILED;

        QStringList taken;
        for (CCopyFile& file : plan.files) {
            if (!file.existed)
                continue;
            taken.append(CCtlSession::Quoted(file.target));
            if (skip) {
                file.outcome = u"skipped"_s;
                host.Note(PathMessage(u"skipped, already on the generator"_s, file.target));
            }
        }
        if (!taken.isEmpty() && !force && !skip) {
            for (const CCopyFile& file : std::as_const(plan.files))
                session.Report().AddFile(file.source, file.target, file.size, 0, u"not-started"_s);
            return session.Refuse(
                u"Already on the generator (--force replaces, --skip-existing keeps them) : "_s +
                taken.join(u", "_s));
        }

        // The room of the whole plan before the first byte, a replaced file's counted.
        QList<CCopyFile> sending;
        QList<CSyncRoom::CWrite> writes;
        for (const CCopyFile& file : std::as_const(plan.files)) {
            if (file.outcome.isEmpty()) {
                sending.append(file);
                const bool package = FileKindFromName(DeviceName(file.target)) == KIND_DOWNLOAD;
                writes.append(
                    {file.size, file.existed && !package ? std::max<qint64>(file.existingSize, 0) : 0});
            }
        }
        const qint64 needed = CSyncRoom::Needed(writes);
        if (const CCtlListing* target = session.Catalog().Cached(folder);
            target && double(needed) > target->freeBytes)
            return session.Fail(u"no-room"_s,
                                u"Insufficient memory free space in VQ. : "_s +
                                    CSyncRoom::Text(needed, target->freeBytes),
                                QJsonObject{{u"needed"_s, double(needed)}, {u"free"_s, target->freeBytes}});

        CCtlCopier copier(session);
        if (args.IsSet(CTL_OPTION_DRY_RUN)) {
            copier.PrintPlan(plan, true);
            for (CCopyFile& file : plan.files) {
                if (file.outcome.isEmpty())
                    file.outcome = u"planned"_s;
            }
            return copier.ReportFiles(plan.files, u"planned"_s, CTL_OK);
        }
        if (copier.ConfirmKinds(sending) != CTL_OK) {
            for (CCopyFile& file : plan.files) {
                if (file.outcome.isEmpty())
                    file.outcome = u"not-started"_s;
            }
            host.Error(u"nothing sent"_s);
            return copier.ReportFiles(plan.files, u"sent"_s, CTL_FAILED);
        }
        if (sending.isEmpty() && plan.folders.isEmpty()) {
            host.Note(u"nothing to send"_s);
            return copier.ReportFiles(plan.files, u"sent"_s, CTL_OK);
        }
        const int status = copier.Send(plan, force);
        return copier.ReportFiles(plan.files, u"sent"_s, status);
    }
};

} // namespace

std::unique_ptr<CCtlCommand> MakePutCommand()
{
    return std::make_unique<CCmdPut>();
}
