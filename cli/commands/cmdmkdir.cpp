// vq8ctl mkdir: folders, with -p their parents too.

#include "cli/ctlargs.h"
#include "cli/ctlcatalog.h"
#include "cli/ctlcommand.h"
#include "cli/ctlerrorqueue.h"
#include "cli/ctlreport.h"
#include "cli/ctlsession.h"
#include "link/devicename.h"
#include "link/devicepath.h"
#include "link/stringtable.h"
#include "link/vqcomm.h"

using namespace Qt::StringLiterals;

namespace {

const CCtlOption kParents{"p"_L1, "parents"_L1, {}};

class CCmdMkdir final : public CCtlCommand
{
public:
    CCmdMkdir()
        : CCtlCommand({
              .name = "mkdir"_L1,
              .minArgs = 1,
              .maxArgs = -1,
              .synopsis = "mkdir [-p] PATH..."_L1,
              .summary = "make folders"_L1,
              .details = "Makes each folder PATH, in order. Not directly in the root /F0:/, and not\n"
                         "over an existing name; with -p missing parents are made too and a folder\n"
                         "that exists already is no error.\n"
                         "\n--json: {\"operations\": [{\"action\", \"path\", \"outcome\"}]}.\n"_L1,
              .options =
                  {
                      {&kParents, "make missing parents; an existing folder is fine"_L1},
                  },
              .examples = "vq8ctl mkdir -p USER/A/B/C\n"_L1,
              .reportKeys = REPORT_OPERATIONS,
          })
    {
    }

    int Run(CCtlSession& session) override
    {
        const bool parents = session.Args().IsSet(kParents);
        CCtlCatalog& catalog = session.Catalog();
        for (const QString& argument : session.Args().Arguments()) {
            if (session.Interrupted())
                return CTL_FAILED;
            const QString path = ToDevicePath(argument);
            // The folders from the first level down to the path; the root's own
            // (the first level) are never made.
            QStringList chain;
            for (QString step = path; !IsDeviceRoot(step); step = DeviceParent(step))
                chain.prepend(step);
            if (!parents && IsFixedDeviceFolder(path))
                return session.Refuse(TEXT_CANNOT_CREATE_FOLDER_HERE);
            if (!parents)
                chain = QStringList{path};
            bool madeOne = false; // below a folder just made nothing exists yet
            for (const QString& folder : std::as_const(chain)) {
                CFileInfo existing;
                const CCtlCatalog::Found found =
                    madeOne ? CCtlCatalog::Found::No : catalog.LookUp(folder, &existing);
                if (found == CCtlCatalog::Found::Failed)
                    return CTL_FAILED;
                if (found == CCtlCatalog::Found::Yes) {
                    if (!parents)
                        return session.Refuse(TEXT_NAME_TAKEN);
                    if (!existing.IsFolder())
                        return session.Refuse(PathMessage(u"Not a folder"_s, folder));
                    if (folder == path)
                        session.Report().AddOperation(u"mkdir"_s, folder, QString(), u"existed"_s);
                    continue;
                }
                if (IsFixedDeviceFolder(folder))
                    return session.Refuse(TEXT_CANNOT_CREATE_FOLDER_HERE);
                if (!session.Link().CheckNewName(DeviceName(folder)))
                    return CTL_FAILED;
                if (session.Queue().Change(u"mkdir"_s, folder, QString(),
                                           [&] { return session.Link().MakeFolder(folder); }) != CTL_OK)
                    return CTL_FAILED;
                madeOne = true;
            }
        }
        return CTL_OK;
    }
};

} // namespace

std::unique_ptr<CCtlCommand> MakeMkdirCommand()
{
    return std::make_unique<CCmdMkdir>();
}
