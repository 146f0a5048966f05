// vq8ctl help: the manual, or one command's part of it.

#include "cli/consolehost.h"
#include "cli/ctlargs.h"
#include "cli/ctlcommand.h"
#include "cli/ctlsession.h"

using namespace Qt::StringLiterals;

namespace {

class CCmdHelp final : public CCtlCommand
{
public:
    CCmdHelp()
        : CCtlCommand({
              .name = "help"_L1,
              .minArgs = 0,
              .maxArgs = 1,
              .synopsis = "help [COMMAND]"_L1,
              .summary = "this manual, or a command's part of it"_L1,
              .kind = Kind::Help,
              .drainsQueue = false,
              .completion = Completion::Command,
          })
    {
    }

    int Run(CCtlSession& session) override
    {
        session.Host().Out(CCtlArgs::HelpText(session.Args().HelpTopic()).chopped(1));
        return CTL_OK;
    }
};

} // namespace

std::unique_ptr<CCtlCommand> MakeHelpCommand()
{
    return std::make_unique<CCmdHelp>();
}
