#include "cli/ctlcommand.h"

#include "cli/ctlargs.h"

bool CCtlCommand::Takes(const CCtlOption& option) const
{
    for (const CCtlOptionUse& use : m_description.options) {
        if (use.option->longName == option.longName)
            return true;
    }
    return false;
}

QString CCtlCommand::CheckUsage(const CCtlArgs& args) const
{
    Q_UNUSED(args);
    return QString();
}

bool CCtlCommand::FleetArguments(const CCtlArgs& args, CConsoleHost& host, CCtlFleetArguments& fleet) const
{
    Q_UNUSED(host);
    fleet.arguments = args.Arguments();
    return true;
}
