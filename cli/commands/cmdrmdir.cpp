// vq8ctl rmdir: empty folders removed.

#include "cli/ctlargs.h"
#include "cli/ctlcatalog.h"
#include "cli/ctlcommand.h"
#include "cli/ctlerrorqueue.h"
#include "cli/ctlsession.h"
#include "link/devicepath.h"
#include "link/stringtable.h"
#include "link/vqcomm.h"

using namespace Qt::StringLiterals;

namespace {

class CCmdRmdir final : public CCtlCommand
{
public:
    CCmdRmdir()
        : CCtlCommand({
              .name = "rmdir"_L1,
              .minArgs = 1,
              .maxArgs = -1,
              .synopsis = "rmdir PATH..."_L1,
              .summary = "remove empty folders"_L1,
              .details = "Removes each empty folder PATH. The root's own folders stay.\n"
                         "\n--json: as for mkdir.\n"_L1,
              .examples = "vq8ctl rmdir USER/OLD\n"_L1,
              .identifies = true,
              .reportKeys = REPORT_OPERATIONS,
          })
    {
    }

    int Run(CCtlSession& session) override
    {
        for (const QString& argument : session.Args().Arguments()) {
            const QString path = ToDevicePath(argument);
            if (IsFixedDeviceFolder(path))
                return session.Refuse(TEXT_CANNOT_REMOVE_FOLDER);
            CFileInfo entry;
            if (const int result = session.Catalog().Require(path, &entry); result != CTL_OK)
                return result;
            if (!entry.IsFolder())
                return session.Refuse(PathMessage(u"Not a folder"_s, path));
            if (!session.Link().IsFolderEmpty(path))
                return session.Refuse(PathMessage(u"Folder not empty"_s, path));
            if (session.Queue().Change(u"rmdir"_s, path, QString(),
                                       [&] { return session.Link().RemoveFolder(path); }) != CTL_OK)
                return CTL_FAILED;
        }
        return CTL_OK;
    }
};

} // namespace

std::unique_ptr<CCtlCommand> MakeRmdirCommand()
{
    return std::make_unique<CCmdRmdir>();
}
