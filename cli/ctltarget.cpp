#include "cli/ctltarget.h"

#include "cli/consolehost.h"
#include "cli/ctlargs.h"
#include "link/settingsnames.h"
#include "link/vqcomm.h"
#include "sim/simserver.h"

#include <QSettings>

#include <memory>

using namespace Qt::StringLiterals;

QString CCtlTarget::StoredHost()
{
    const std::unique_ptr<QSettings> settings = vqsettings::OpenStore();
    settings->beginGroup(vqsettings::GROUP);
    return vqsettings::ReadTargetHost(*settings);
}

QString CCtlTarget::ResolveHost(const CCtlArgs& args, const QProcessEnvironment& environment, QString* from)
{
    QString host = args.Host();
    *from = u"--host"_s;
    if (host.isEmpty()) {
        host = environment.value(u"VQ8_HOST"_s).trimmed();
        *from = u"VQ8_HOST"_s;
    }
    if (host.isEmpty()) {
        host = StoredHost();
        *from = u"the desktop program's setting"_s;
    }
    if (host.isEmpty()) {
        host = vqsettings::DEFAULT_TARGET_HOST;
        *from = u"the default"_s;
    }
    return host;
}

quint16 CCtlTarget::ResolvePort(const CCtlArgs& args, const QProcessEnvironment& environment,
                                CConsoleHost& host, QString* from)
{
    if (args.Port() != 0) {
        *from = u"--port"_s;
        return args.Port();
    }
    if (environment.contains(u"VQ8_PORT"_s)) {
        *from = u"VQ8_PORT"_s;
        const quint16 port = CCtlArgs::ParsePort(environment.value(u"VQ8_PORT"_s));
        if (port == 0)
            host.Error(u"not a port in VQ8_PORT: \""_s + environment.value(u"VQ8_PORT"_s) + u'"');
        return port;
    }
    *from = u"the default"_s;
    return COMMAND_PORT;
}

std::unique_ptr<CSimServer> CCtlTarget::StartDemo(CConsoleHost& host)
{
    auto demo = std::make_unique<CSimServer>();
    CSimOptions options;
    options.m_nPort = 0;
    if (!demo->Start(options)) {
        host.Error(u"cannot start the emulator: "_s + demo->ErrorString());
        return nullptr;
    }
    return demo;
}
