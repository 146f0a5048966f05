// vq8ctl df: the generator's memory figures.

#include "cli/consolehost.h"
#include "cli/ctlargs.h"
#include "cli/ctlcatalog.h"
#include "cli/ctlcommand.h"
#include "cli/ctlreport.h"
#include "cli/ctlsession.h"
#include "link/devicepath.h"
#include "link/vqcomm.h"

using namespace Qt::StringLiterals;

namespace {

QString SizeLine(const QString& label, double bytes)
{
    return u"%1 %2 %3"_s.arg(label, QString::number(qint64(bytes)), CVQComm::FormatSize(bytes));
}

class CCmdDf final : public CCtlCommand
{
public:
    CCmdDf()
        : CCtlCommand({
              .name = "df"_L1,
              .minArgs = 0,
              .maxArgs = 0,
              .synopsis = "df"_L1,
              .summary = "memory used, free and total"_L1,
              .details = "Prints the generator's memory figures, in bytes and as the desktop program\n"
                         "shows sizes:\n"
                         "  used BYTES TEXT\n"
                         "  free BYTES TEXT\n"
                         "  total BYTES TEXT\n"
                         "\n--json: {\"memory\": {\"used\", \"free\", \"total\"}}.\n"_L1,
              .examples = "vq8ctl df\n"_L1,
              .completion = Completion::None,
          })
    {
    }

    int Run(CCtlSession& session) override
    {
        CConsoleHost& host = session.Host();
        CCtlListing listing;
        if (!session.Catalog().Read(DEVICE_ROOT_PATH, listing))
            return CTL_FAILED;
        session.Report().Set(u"memory"_s, CCtlReport::MemoryObject(listing.used, listing.freeBytes));
        if (!session.Args().Json()) {
            host.Out(SizeLine(u"used"_s, listing.used));
            host.Out(SizeLine(u"free"_s, listing.freeBytes));
            host.Out(SizeLine(u"total"_s, listing.used + listing.freeBytes));
        }
        return CTL_OK;
    }
};

} // namespace

std::unique_ptr<CCtlCommand> MakeDfCommand()
{
    return std::make_unique<CCmdDf>();
}
