// vq8ctl ls: the entries of a folder, or those a pattern matches.

#include "cli/consolehost.h"
#include "cli/ctlargs.h"
#include "cli/ctlcatalog.h"
#include "cli/ctlcommand.h"
#include "cli/ctlreport.h"
#include "cli/ctlsession.h"
#include "link/devicepath.h"
#include "link/stringtable.h"
#include "link/vqcomm.h"

#include <QJsonObject>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QJsonObject EntryObject(const QString& path, const CFileInfo& info)
{
    return QJsonObject{{u"name"_s, info.GetName()},
                       {u"path"_s, path},
                       {u"type"_s, info.IsFolder() ? u"folder"_s : u"file"_s},
                       {u"size"_s, double(info.GetSize())}};
}

QString EntryLine(const CFileInfo& info)
{
    return info.IsFolder() ? u"d 0 "_s + info.GetName()
                           : u"f %1 %2"_s.arg(QString::number(info.GetSize()), info.GetName());
}

class CCmdLs final : public CCtlCommand
{
public:
    CCmdLs()
        : CCtlCommand({
              .name = "ls"_L1,
              .minArgs = 0,
              .maxArgs = 1,
              .synopsis = "ls [--literal] [FOLDER|PATTERN]"_L1,
              .summary = "list a folder (default /F0:/)"_L1,
              .details = "Lists the entries of FOLDER (default /F0:/) in the generator's order, one\n"
                         "line each on standard output:\n"
                         "  d 0 NAME        a folder\n"
                         "  f SIZE NAME     a file of SIZE bytes\n"
                         "The name is the rest of the line after the second blank. A PATTERN such as\n"
                         "'USER/*.CMP' lists the entries of its folder whose names match (letter case\n"
                         "ignored); a pattern that matches nothing fails. A folder whose name only\n"
                         "looks like a pattern (\"B[2]\") is that folder. Then the desktop program's\n"
                         "two status texts go to standard error (not with --quiet).\n"
                         "\n--json: {\"path\", \"pattern\", \"entries\": [{\"name\", \"path\", \"type\", "
                         "\"size\"}],\n"
                         "\"count\", \"bytes\", \"memory\": {\"used\", \"free\", \"total\"}}.\n"_L1,
              .options = {{&CTL_OPTION_LITERAL, "FOLDER is a name as it stands, never a pattern"_L1}},
              .examples = "vq8ctl ls USER\nvq8ctl ls 'SIGNAL/*.cmp'\n"_L1,
          })
    {
    }

    int Run(CCtlSession& session) override
    {
        const CCtlArgs& args = session.Args();
        CConsoleHost& host = session.Host();
        CCtlReport& report = session.Report();
        CCtlCatalog& catalog = session.Catalog();
        const QString argument = args.Arguments().value(0);
        const QString path = ToDevicePath(argument);
        // A pattern lists the entries it matches; anything else is the folder
        // it names (also one whose name only looks like a pattern).
        bool pattern = false;
        QList<CCtlMatch> matches;
        if (!args.IsSet(CTL_OPTION_LITERAL) && (IsDevicePattern(path) || HasPatternInFolder(path)) &&
            !catalog.Resolve(argument, matches, false, &pattern))
            return CTL_FAILED;
        // Kept until the document is written: its entries are made from it then.
        const auto listing = std::make_shared<CCtlListing>();
        if (!catalog.Read(pattern ? DeviceParent(path) : path, *listing))
            return CTL_FAILED;
        if (pattern) {
            listing->entries.clear();
            for (const CCtlMatch& match : std::as_const(matches))
                listing->entries.append(match.entry);
        }
        qint64 bytes = 0;
        for (const CFileInfo& info : std::as_const(listing->entries)) {
            if (!info.IsFolder())
                bytes += info.GetSize();
            if (!args.Json())
                host.Out(EntryLine(info));
        }
        report.Set(u"path"_s, listing->folder);
        report.Set(u"pattern"_s, pattern ? QJsonValue(DeviceName(path)) : QJsonValue());
        report.SetStreamed(u"entries"_s, listing->entries.size(), [listing](qsizetype i) {
            const CFileInfo& info = listing->entries.at(i);
            return EntryObject(JoinDevicePath(listing->folder, info.GetName()), info);
        });
        report.Set(u"count"_s, int(listing->entries.size()));
        report.Set(u"bytes"_s, double(bytes));
        report.Set(u"memory"_s, CCtlReport::MemoryObject(listing->used, listing->freeBytes));
        if (!args.Json() && !pattern) {
            host.Status(host.ObjectsText());
            host.Status(host.MemoryText());
        }
        return CTL_OK;
    }
};

} // namespace

std::unique_ptr<CCtlCommand> MakeLsCommand()
{
    return std::make_unique<CCmdLs>();
}
