// vq8ctl idn: the generator's identity line.

#include "cli/consolehost.h"
#include "cli/ctlargs.h"
#include "cli/ctlcommand.h"
#include "cli/ctlreport.h"
#include "cli/ctlsession.h"
#include "link/vqcomm.h"

using namespace Qt::StringLiterals;

namespace {

class CCmdIdn final : public CCtlCommand
{
public:
    CCmdIdn()
        : CCtlCommand({
              .name = "idn"_L1,
              .minArgs = 0,
              .maxArgs = 0,
              .synopsis = "idn"_L1,
              .summary = "print the generator's identity line"_L1,
              .details = "Prints the generator's answer to the identity query (*idn?).\n"
                         "\n--json: {\"identity\"}.\n"_L1,
              .examples = "vq8ctl --host 192.168.0.10 idn\n"_L1,
              .drainsQueue = false,
              .completion = Completion::None,
          })
    {
    }

    int Run(CCtlSession& session) override
    {
        CVQComm& link = session.Link();
        if (!link.QueryIdentity())
            return CTL_FAILED;
        session.Report().Set(u"identity"_s, link.LastReply());
        if (!session.Args().Json())
            session.Host().Out(link.LastReply());
        return CTL_OK;
    }
};

} // namespace

std::unique_ptr<CCtlCommand> MakeIdnCommand()
{
    return std::make_unique<CCmdIdn>();
}
