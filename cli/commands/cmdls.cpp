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

#include <QJsonArray>
#include <QJsonObject>

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
              .synopsis = "ls [FOLDER|PATTERN]"_L1,
              .summary = "list a folder (default /F0:/)"_L1,
              .details = "Lists the entries of FOLDER (default /F0:/) in the generator's order, one\n"
                         "line each on standard output:\n"
                         "  d 0 NAME        a folder\n"
                         "  f SIZE NAME     a file of SIZE bytes\n"
                         "The name is the rest of the line after the second blank. A PATTERN such as\n"
                         "'USER/*.CMP' lists the entries of its folder whose names match (letter case\n"
                         "ignored); a pattern that matches nothing fails. Then the desktop program's\n"
                         "two status texts go to standard error (not with --quiet).\n"
                         "\n--json: {\"path\", \"pattern\", \"entries\": [{\"name\", \"path\", \"type\", "
                         "\"size\"}],\n"
                         "\"count\", \"bytes\", \"memory\": {\"used\", \"free\", \"total\"}}.\n"_L1,
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
        CCtlListing listing;
        QList<CCtlMatch> matches;
        const bool pattern = IsDevicePattern(path);
        if (HasPatternInFolder(path))
            return session.Refuse(PathMessage(u"A pattern may stand only in the last name"_s, path));
        if (pattern) {
            if (!catalog.Resolve(argument, matches, false) || !catalog.Read(DeviceParent(path), listing))
                return CTL_FAILED;
        } else {
            if (!catalog.Read(path, listing))
                return CTL_FAILED;
            for (const CFileInfo& info : std::as_const(listing.entries))
                matches.append({JoinDevicePath(path, info.GetName()), info});
        }
        QJsonArray entries;
        qint64 bytes = 0;
        for (const CCtlMatch& match : std::as_const(matches)) {
            entries.append(EntryObject(match.path, match.entry));
            if (!match.entry.IsFolder())
                bytes += match.entry.GetSize();
            if (!args.Json())
                host.Out(EntryLine(match.entry));
        }
        report.Set(u"path"_s, listing.folder);
        report.Set(u"pattern"_s, pattern ? QJsonValue(DeviceName(path)) : QJsonValue());
        report.Set(u"entries"_s, entries);
        report.Set(u"count"_s, int(matches.size()));
        report.Set(u"bytes"_s, double(bytes));
        report.Set(u"memory"_s, CCtlReport::MemoryObject(listing.used, listing.freeBytes));
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
