// vq8ctl: the command-line tool; everything but the process set-up is in CCtlTool.

#include "cli/consolehost.h"
#include "cli/ctltool.h"
#include "console/consolestream.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vq8ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VQ_VERSION));

    CConsole::PrepareStreams();
    CConsoleStream out(CConsole::Stream::Out);
    CConsoleStream err(CConsole::Stream::Err);
    QFile in;
    out.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Unbuffered);
    err.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Unbuffered);
    in.open(stdin, QIODevice::ReadOnly);
    CConsoleHost host(&out, &err, &in);
    const bool inputIsTerminal = CConsole::IsTerminal(CConsole::Stream::In);
    host.SetInputIsTerminal(inputIsTerminal);
    // A question on the terminal is read with a look at Ctrl+C.
    host.SetConsoleInput(inputIsTerminal);
    host.SetOutputIsTerminal(CConsole::IsTerminal(CConsole::Stream::Out));
    host.SetErrorIsTerminal(CConsole::IsTerminal(CConsole::Stream::Err));
    host.WatchErrorWidth();

    CCtlTool tool(host);
    return tool.Run(QCoreApplication::arguments());
}
