// vq8ctl: the command-line tool; everything but the process set-up is in CCtlTool.

#include "cli/consolehost.h"
#include "cli/ctltool.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vq8ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VQ_VERSION));

    QFile out;
    QFile err;
    QFile in;
    out.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
    err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    in.open(stdin, QIODevice::ReadOnly);
    CConsoleHost host(&out, &err, &in);
#ifdef Q_OS_UNIX
    const bool inputIsTerminal = ::isatty(STDIN_FILENO) != 0;
    host.SetInputIsTerminal(inputIsTerminal);
    // A question on the terminal is read with a look at Ctrl+C.
    if (inputIsTerminal)
        host.SetInputDescriptor(STDIN_FILENO);
    host.SetOutputIsTerminal(::isatty(STDOUT_FILENO) != 0);
    host.SetErrorIsTerminal(::isatty(STDERR_FILENO) != 0);
    host.SetErrorDescriptor(STDERR_FILENO);
#endif

    CCtlTool tool(host);
    return tool.Run(QCoreApplication::arguments());
}
