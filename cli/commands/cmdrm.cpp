// vq8ctl rm: entries deleted, with -r folders with everything in them.

#include "cli/ctlargs.h"
#include "cli/ctlcatalog.h"
#include "cli/ctlcommand.h"
#include "cli/ctlerrorqueue.h"
#include "cli/ctlreport.h"
#include "cli/ctlsession.h"
#include "link/devicepath.h"
#include "link/stringtable.h"
#include "link/vqcomm.h"

using namespace Qt::StringLiterals;

namespace {

class CCmdRm final : public CCtlCommand
{
public:
    CCmdRm()
        : CCtlCommand({
              .name = "rm"_L1,
              .minArgs = 1,
              .maxArgs = -1,
              .synopsis = "rm [-r] [-f] [--literal] PATH..."_L1,
              .summary = "delete entries"_L1,
              .details = "Deletes files and empty folders, in order, stopping at the first failure.\n"
                         "A PATH may be a pattern such as 'USER/*.TMP'; an entry named exactly\n"
                         "PATH (\"A[1].TXT\") is that entry, never the files the pattern would match,\n"
                         "and --literal takes every PATH as a name. A folder with entries is\n"
                         "refused unless -r is given; with -r its entries go first, then the folder.\n"
                         "The root's own folders stay.\n"
                         "\n--json: as for mkdir.\n"_L1,
              .options =
                  {
                      {&CTL_OPTION_RECURSIVE, "also folders with everything in them"_L1},
                      {&CTL_OPTION_FORCE, "a missing entry (or a pattern matching nothing) is no error"_L1},
                      {&CTL_OPTION_LITERAL, "every PATH is a name as it stands, never a pattern"_L1},
                  },
              .examples = "vq8ctl rm -rf USER/OLD 'USER/*.TMP'\n"_L1,
              .identifies = true,
              .reportKeys = REPORT_OPERATIONS,
          })
    {
    }

    int Run(CCtlSession& session) override
    {
        const CCtlArgs& args = session.Args();
        CVQComm& link = session.Link();
        CCtlErrorQueue& queue = session.Queue();
        // In order, stopping at the first failure; what went before stays deleted.
        for (const QString& argument : args.Arguments()) {
            const QString named = ToDevicePath(argument);
            if (IsFixedDeviceFolder(named) && !IsDevicePattern(named))
                return session.Refuse(TEXT_CANNOT_REMOVE_FOLDER);
            QList<CCtlMatch> matches;
            if (!session.Catalog().Resolve(argument, matches, args.IsSet(CTL_OPTION_FORCE)))
                return CTL_FAILED;
            if (matches.isEmpty())
                session.Report().AddOperation(u"delete"_s, named, QString(), u"missing"_s);
            for (const CCtlMatch& match : std::as_const(matches)) {
                if (session.Interrupted())
                    return CTL_FAILED;
                const QString& path = match.path;
                if (IsFixedDeviceFolder(path))
                    return session.Refuse(TEXT_CANNOT_REMOVE_FOLDER);
                if (match.entry.IsFolder() && !link.IsFolderEmpty(path)) {
                    if (!args.IsSet(CTL_OPTION_RECURSIVE))
                        return session.Refuse(
                            PathMessage(u"Folder not empty (rm -r removes it with its entries)"_s, path));
                    // "mmem:del:all" empties the folder and keeps it.
                    if (queue.Change(u"delete-all"_s, path, QString(),
                                     [&] { return link.DeleteAll(path); }) != CTL_OK)
                        return CTL_FAILED;
                }
                if (queue.Change(u"delete"_s, path, QString(), [&] { return link.DeleteEntry(path); }) !=
                    CTL_OK)
                    return CTL_FAILED;
            }
        }
        return CTL_OK;
    }
};

} // namespace

std::unique_ptr<CCtlCommand> MakeRmCommand()
{
    return std::make_unique<CCmdRm>();
}
