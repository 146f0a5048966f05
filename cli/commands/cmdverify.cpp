// vq8ctl verify: does the generator hold what a PC folder holds? Every file
// is read back and compared byte for byte.

#include "cli/consolehost.h"
#include "cli/ctlargs.h"
#include "cli/ctlcommand.h"
#include "cli/ctlsession.h"
#include "cli/ctlsync.h"
#include "link/devicepath.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

class CCmdVerify final : public CCtlCommand
{
public:
    CCmdVerify()
        : CCtlCommand({
              .name = "verify"_L1,
              .minArgs = 2,
              .maxArgs = 2,
              .synopsis = "verify [--links] [--no-pacing] PCDIR FOLDER"_L1,
              .summary = "read a generator folder back and compare it with a PC folder"_L1,
              .details =
                  "Compares the generator FOLDER with the PC folder PCDIR, sub-folders too:\n"
                  "every generator file of the size of its PC file is read back and compared\n"
                  "byte for byte, and the rest is compared by name and size. Each difference is\n"
                  "a line on standard output, NAME relative to the folders:\n"
                  "  missing     NAME (SIZE bytes)        on the PC, not on the generator\n"
                  "  differs     NAME (SIZE bytes, other content)\n"
                  "  differs     NAME (OLD bytes on the generator, NEW on the PC)\n"
                  "  extra       NAME                     on the generator, not on the PC\n"
                  "Exit status 0 when the generator holds exactly what PCDIR holds, 1 when\n"
                  "anything differs. Nothing is changed; what was read back is recorded (see\n"
                  "sync). Packages compare as sync compares them; links are left out unless\n"
                  "--links. With several generators each is compared with PCDIR.\n"
                  "\n--json: \"files\" with the outcome \"unchanged\" (\"judged\": \"checksum\"),\n"
                  "\"differs\", \"missing\" or \"extra\"; \"summary\": {\"same\", \"differences\"}.\n"_L1,
              .options =
                  {
                      {&CTL_OPTION_LINKS, "compare what the PC's links name"_L1},
                      {&CTL_OPTION_NO_PACING, "do not pause 100 ms before each 32 KiB chunk read back"_L1},
                  },
              .examples = "vq8ctl verify patterns USER/patterns\n"
                          "vq8ctl --hosts generators.txt verify patterns USER/patterns\n"_L1,
              .identifies = true,
              .completion = Completion::PcThenGenerator,
              .reportKeys = REPORT_FILES,
          })
    {
    }

    QString CheckUsage(const CCtlArgs& args) const override
    {
        return args.Arguments().constFirst().isEmpty() ? CTL_EMPTY_PC_PATH_TEXT : QString();
    }

    bool FleetArguments(const CCtlArgs& args, CConsoleHost&, CCtlFleetArguments& fleet) const override
    {
        // Every run compares its generator with the one PC folder.
        fleet.arguments = {QFileInfo(args.Arguments().at(0)).absoluteFilePath(),
                           ToDevicePath(args.Arguments().at(1))};
        return true;
    }

    int Run(CCtlSession& session) override
    {
        const CCtlArgs& args = session.Args();
        CCtlSyncOptions options;
        options.recursive = true;
        options.compareOnly = true;
        options.followLinks = args.IsSet(CTL_OPTION_LINKS);
        return CCtlSync(session, options)
            .ToGenerator(QDir::cleanPath(QFileInfo(args.Arguments().at(0)).absoluteFilePath()),
                         ToDevicePath(args.Arguments().at(1)));
    }
};

} // namespace

std::unique_ptr<CCtlCommand> MakeVerifyCommand()
{
    return std::make_unique<CCmdVerify>();
}
