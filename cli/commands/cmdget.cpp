// vq8ctl get: generator files and folder trees to the PC.

#include "cli/consolehost.h"
#include "cli/ctlargs.h"
#include "cli/ctlcatalog.h"
#include "cli/ctlcommand.h"
#include "cli/ctlcopier.h"
#include "cli/ctlcopyplan.h"
#include "cli/ctlsession.h"
#include "link/devicepath.h"
#include "link/pcpath.h"
#include "link/stringtable.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

bool EndsWithSeparator(const QString& path)
{
    return !path.isEmpty() && LastPcSeparator(path) == path.size() - 1;
}

class CCmdGet final : public CCtlCommand
{
public:
    CCmdGet()
        : CCtlCommand({
              .name = "get"_L1,
              .minArgs = 1,
              .maxArgs = -1,
              .synopsis = "get [-r] [--dry-run] [--no-pacing] [--literal] PATH... [TARGET|-]"_L1,
              .summary = "fetch generator files (and with -r folder trees) to the PC"_L1,
              .details = "Copies generator files to the PC through the desktop program's upload\n"
                         "engine. With two or more arguments the last one is the TARGET: a PC folder\n"
                         "(it must exist; a name ending in \"/\" always means a folder), or a file name\n"
                         "when one file is fetched; \"-\" writes the one file to standard output. With\n"
                         "one argument the file goes to the current folder. A PATH may be a pattern\n"
                         "such as 'USER/*.CMP' (letter case ignored; one that matches nothing fails);\n"
                         "an entry named exactly PATH (\"A[1].TXT\") is that entry, and --literal takes\n"
                         "every PATH as a name.\n"
                         "Two files of the same name into one folder are refused before anything is\n"
                         "fetched. Each file is written under a temporary name and renamed over the\n"
                         "target only when complete: a failed or cancelled copy leaves no partial file\n"
                         "and an existing target untouched. A link at a target's name is replaced by\n"
                         "the file, never written through; one where a folder would go is refused.\n"
                         "What is written is exactly the block the\n"
                         "generator sends: a block that is not the size the listing gave (the file\n"
                         "changed since) fails that file, naming both sizes. A listed name becomes the\n"
                         "PC name as it is (bytes 0x80 to 0x9F too); one that is \".\" or \"..\" or holds\n"
                         "\"/\", \"\\\", a C0 control character or DEL is refused. Ctrl+C ends the batch at\n"
                         "once: the file under way is dropped, the files before it are kept.\n"
                         "\nWith -r a PATH may be a generator folder:\n"
                         "it is made in TARGET under its own name (or, for one folder, as TARGET when\n"
                         "that does not exist yet) with everything in it; /F0:/ is everything the\n"
                         "generator holds, its first-level folders made in TARGET (made when missing).\n"
                         "\nThe engine reads the generator at one 32 KiB chunk per 100 ms, about\n"
                         "320 KB/s, as the desktop program always has; --no-pacing drops that pause\n"
                         "for generators that do not need it (TCP keeps a fast sender from overrunning\n"
                         "the PC either way).\n"
                         "\n--json: as for put.\n"_L1,
              .options =
                  {
                      {&CTL_OPTION_RECURSIVE, "fetch generator folders with everything in them"_L1},
                      {&CTL_OPTION_DRY_RUN, "print what would be made and fetched; fetch nothing"_L1},
                      {&CTL_OPTION_NO_PACING, "do not pause 100 ms before each 32 KiB chunk"_L1},
                      {&CTL_OPTION_LITERAL, "every PATH is a name as it stands, never a pattern"_L1},
                  },
              .examples = "vq8ctl get SIGNAL/1080P60.CMP .\n"
                          "vq8ctl get 'SIGNAL/*.cmp' backup/\n"
                          "vq8ctl get -r --no-pacing USER backup\n"
                          "vq8ctl get USER/README.TXT - | head\n"_L1,
              .identifies = true,
              .completion = Completion::GeneratorThenPc,
              .reportKeys = REPORT_FILES,
          })
    {
    }

    QString CheckUsage(const CCtlArgs& args) const override
    {
        // An empty PC path names no folder: refused, not guessed.
        if (args.Arguments().size() > 1 && args.Arguments().constLast().isEmpty())
            return CTL_EMPTY_PC_PATH_TEXT;
        return QString();
    }

    bool FleetArguments(const CCtlArgs& args, CConsoleHost& host, CCtlFleetArguments& fleet) const override
    {
        // Each generator's files go to a PC folder of its own, named after it.
        fleet.arguments = args.Arguments();
        const QString target = fleet.arguments.size() > 1 ? fleet.arguments.takeLast() : QDir::currentPath();
        if (target == u"-") {
            host.Error(u"\"-\" (standard output) takes one generator"_s);
            return false;
        }
        if (!QFileInfo(target).isDir()) {
            host.Error(u"with several generators the target of get must be a PC folder : \"%1\""_s.arg(
                CCtlSession::ShownPcPath(target)));
            return false;
        }
        fleet.pcParent = QFileInfo(target).absoluteFilePath();
        fleet.pcIndex = fleet.arguments.size();
        fleet.arguments.append(QString());
        // get takes an existing folder.
        fleet.madeBefore = true;
        return true;
    }

    int Run(CCtlSession& session) override
    {
        const CCtlArgs& args = session.Args();
        CConsoleHost& host = session.Host();
        QStringList sources = args.Arguments();
        const QString target = sources.size() > 1 ? sources.takeLast() : QDir::currentPath();
        const bool toStandardOutput = target == u"-";

        QList<CCtlMatch> matches;
        bool wholeRoot = false;
        for (const QString& source : std::as_const(sources)) {
            // With -r the root is everything in it: its first-level folders.
            if (IsDeviceRoot(ToDevicePath(source)) && args.IsSet(CTL_OPTION_RECURSIVE)) {
                CCtlListing root;
                if (!session.Catalog().Read(DEVICE_ROOT_PATH, root))
                    return CTL_FAILED;
                for (const CFileInfo& entry : std::as_const(root.entries))
                    matches.append({JoinDevicePath(DEVICE_ROOT_PATH, entry.GetName()), entry});
                wholeRoot = true;
                continue;
            }
            if (!session.Catalog().Resolve(source, matches, false))
                return CTL_FAILED;
        }
        for (const CCtlMatch& match : std::as_const(matches)) {
            if (IsDeviceRoot(match.path) || (match.entry.IsFolder() && !args.IsSet(CTL_OPTION_RECURSIVE)))
                return session.Refuse(PathMessage(u"Not a file"_s, match.path));
        }

        std::unique_ptr<QTemporaryDir> spool;
        QString destination = target;
        bool intoFolder = false;
        if (toStandardOutput) {
            if (args.Json()) {
                host.Error(u"\"-\" (standard output) and --json exclude each other"_s);
                return CTL_USAGE;
            }
            if (matches.size() != 1 || matches.first().entry.IsFolder()) {
                host.Error(u"\"-\" (standard output) takes exactly one file"_s);
                return CTL_USAGE;
            }
            // Written to standard output only once it has arrived whole.
            spool = std::make_unique<QTemporaryDir>();
            if (!spool->isValid())
                return session.Refuse(u"Cannot make a temporary folder"_s);
            destination = spool->filePath(u"file"_s);
        } else {
            const QFileInfo info(target);
            intoFolder = info.isDir() || (wholeRoot && !info.exists());
            if (!intoFolder && EndsWithSeparator(target))
                return session.Refuse(CCtlSession::PcPathMessage(u"No such PC folder"_s, target));
            if (!intoFolder && matches.size() > 1) {
                host.Error(u"the target of several files must be a folder : \""_s +
                           CCtlSession::ShownPcPath(target) + u'"');
                return CTL_USAGE;
            }
            destination = info.absoluteFilePath();
        }

        CCopyPlan plan;
        if (!CCtlCopyPlanner(session).PlanGet(matches, destination, intoFolder, plan))
            return CTL_FAILED;
        // The root's folders go into a target made for them.
        if (wholeRoot && !QFileInfo::exists(destination))
            plan.folders.prepend(QDir::cleanPath(destination));
        // A tree's room is asked about once, before the first file.
        const bool tree = std::any_of(matches.cbegin(), matches.cend(),
                                      [](const CCtlMatch& match) { return match.entry.IsFolder(); });
        qint64 total = 0;
        for (const CCopyFile& file : std::as_const(plan.files))
            total += tree ? file.size : 0;
        CCtlCopier copier(session);
        if (args.IsSet(CTL_OPTION_DRY_RUN)) {
            copier.NotePcRoom(destination, total);
            copier.PrintPlan(plan, false);
            for (CCopyFile& file : plan.files)
                file.outcome = u"planned"_s;
            return copier.ReportFiles(plan.files, u"planned"_s, CTL_OK);
        }
        if (copier.ConfirmPcRoom(destination, total) != CTL_OK) {
            for (CCopyFile& file : plan.files)
                file.outcome = u"not-started"_s;
            host.Error(u"nothing fetched"_s);
            return copier.ReportFiles(plan.files, u"received"_s, CTL_FAILED);
        }
        const int status = copier.Fetch(plan, toStandardOutput);
        return copier.ReportFiles(plan.files, u"received"_s, status);
    }
};

} // namespace

std::unique_ptr<CCtlCommand> MakeGetCommand()
{
    return std::make_unique<CCmdGet>();
}
