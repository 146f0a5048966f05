// vq8ctl cp: an entry copied on the generator.

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

class CCmdCp final : public CCtlCommand
{
public:
    CCmdCp()
        : CCtlCommand({
              .name = "cp"_L1,
              .minArgs = 2,
              .maxArgs = 2,
              .synopsis = "cp SRC DST"_L1,
              .summary = "copy an entry"_L1,
              .details = "Copies SRC to DST on the generator, with the same rules for DST as mv.\n"
                         "\n--json: as for mv.\n"_L1,
              .examples = "vq8ctl cp USER/A.SEQ SEQUENCE\n"_L1,
              .identifies = true,
              .reportKeys = REPORT_OPERATIONS,
          })
    {
    }

    int Run(CCtlSession& session) override
    {
        const QString source = ToDevicePath(session.Args().Arguments().at(0));
        QString target = ToDevicePath(session.Args().Arguments().at(1));
        if (IsDeviceRoot(source))
            return session.Refuse(LoadStringResource(IDS_CANNOT_RENAME_FOLDER));
        if (const int result = session.Catalog().Landing(source, target); result != CTL_OK)
            return result;
        return session.Queue().Change(u"copy"_s, source, target,
                                      [&] { return session.Link().CopyEntry(source, target); });
    }
};

} // namespace

std::unique_ptr<CCtlCommand> MakeCpCommand()
{
    return std::make_unique<CCmdCp>();
}
