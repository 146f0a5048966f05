// vq8ctl errors: the generator's error queue, read to its end.

#include "cli/consolehost.h"
#include "cli/ctlargs.h"
#include "cli/ctlcommand.h"
#include "cli/ctlerrorqueue.h"
#include "cli/ctlreport.h"
#include "cli/ctlsession.h"

#include <QJsonArray>

using namespace Qt::StringLiterals;

namespace {

class CCmdErrors final : public CCtlCommand
{
public:
    CCmdErrors()
        : CCtlCommand({
              .name = "errors"_L1,
              .minArgs = 0,
              .maxArgs = 0,
              .synopsis = "errors"_L1,
              .summary = "read the generator's error queue"_L1,
              .details = "Reads the generator's error queue until its \"0,...\" entry and prints every\n"
                         "entry as it came, that one included. Exit status 1 when the queue held an\n"
                         "error.\n"
                         "\n--json: {\"errors\": [{\"code\", \"text\"}]} without the closing entry.\n"_L1,
              .examples = "vq8ctl errors\n"_L1,
              .drainsQueue = false,
              .completion = Completion::None,
          })
    {
    }

    int Run(CCtlSession& session) override
    {
        CConsoleHost& host = session.Host();
        CCtlReport& report = session.Report();
        const bool json = session.Args().Json();
        QStringList errors;
        QString last;
        const bool read = session.Queue().Read(errors, &last);
        QJsonArray entries;
        for (const QString& error : std::as_const(errors)) {
            entries.append(CCtlReport::QueueEntry(error));
            report.AddGeneratorError(error);
            if (!json)
                host.Out(error);
        }
        report.Set(u"errors"_s, entries);
        if (!read)
            return CTL_FAILED;
        if (!json)
            host.Out(last);
        return errors.isEmpty() ? CTL_OK : CTL_FAILED;
    }
};

} // namespace

std::unique_ptr<CCtlCommand> MakeErrorsCommand()
{
    return std::make_unique<CCmdErrors>();
}
