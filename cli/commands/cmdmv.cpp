// vq8ctl mv: an entry moved or renamed on the generator.

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

class CCmdMv final : public CCtlCommand
{
public:
    CCmdMv()
        : CCtlCommand({
              .name = "mv"_L1,
              .minArgs = 2,
              .maxArgs = 2,
              .synopsis = "mv SRC DST"_L1,
              .summary = "move or rename an entry"_L1,
              .details = "Moves SRC to DST. When DST is an existing folder, SRC moves into it under\n"
                         "its own name; otherwise DST is the new path. An existing name is refused.\n"
                         "\n--json: as for mkdir (\"path\" the source, \"target\" the new path).\n"_L1,
              .examples = "vq8ctl mv USER/A.SEQ USER/B.SEQ\n"_L1,
              .identifies = true,
              .reportKeys = REPORT_OPERATIONS,
          })
    {
    }

    int Run(CCtlSession& session) override
    {
        const QString source = ToDevicePath(session.Args().Arguments().at(0));
        QString target = ToDevicePath(session.Args().Arguments().at(1));
        // The root's own folders keep their names.
        if (IsDeviceRoot(source) || IsFixedDeviceFolder(source))
            return session.Refuse(LoadStringResource(IDS_CANNOT_RENAME_FOLDER));
        if (const int result = session.Catalog().Landing(source, target); result != CTL_OK)
            return result;
        return session.Queue().Change(u"move"_s, source, target,
                                      [&] { return session.Link().MoveEntry(source, target); });
    }
};

} // namespace

std::unique_ptr<CCtlCommand> MakeMvCommand()
{
    return std::make_unique<CCmdMv>();
}
