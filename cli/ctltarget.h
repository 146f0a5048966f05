#pragma once

#include <QProcessEnvironment>
#include <QString>

#include <memory>

class CConsoleHost;
class CCtlArgs;
class CSimServer;

// Where the generator is: --host, else VQ8_HOST, else the address the
// desktop program has stored, else its default; the port: --port, else
// VQ8_PORT, else the command port.
class CCtlTarget final
{
public:
    CCtlTarget() = delete;

    // The generator address the desktop program has stored; empty when none is.
    static QString StoredHost();
    // The address, and in `from` where it came from.
    static QString ResolveHost(const CCtlArgs& args, const QProcessEnvironment& environment, QString* from);
    // The port, and in `from` where it came from; 0 after a message when
    // VQ8_PORT is no port.
    static quint16 ResolvePort(const CCtlArgs& args, const QProcessEnvironment& environment,
                               CConsoleHost& host, QString* from);
    // --demo: an emulator with the sample content on a free loopback port;
    // null after the message when it could not start.
    static std::unique_ptr<CSimServer> StartDemo(CConsoleHost& host);
};
