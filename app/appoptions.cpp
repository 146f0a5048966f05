#include "app/appoptions.h"

#include <QCommandLineParser>
#include <QFileInfo>

using namespace Qt::StringLiterals;

int CAppOptions::Parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Moves files between this PC and a VQ820 signal generator."_s);
    const QCommandLineOption help({u"h"_s, u"help"_s}, u"Show this help and exit."_s);
    const QCommandLineOption version({u"v"_s, u"version"_s}, u"Show the version and exit."_s);
    const QCommandLineOption demo(u"demo"_s, u"Run against a built-in generator emulator."_s);
    const QCommandLineOption port(u"port"_s, u"TCP port of the generator (default 5000)."_s, u"N"_s,
                                  u"5000"_s);
    parser.addOptions({help, version, demo, port});

    if (!parser.parse(arguments)) {
        m_strOutput = parser.errorText() + u'\n';
        m_nExitCode = 2;
        return 0;
    }
    if (parser.isSet(help)) {
        // Read before the application object exists, which would name the program.
        const QString program = arguments.isEmpty() ? u"vq8comm"_s : QFileInfo(arguments.first()).fileName();
        m_strOutput = parser.helpText().replace(u"<executable_name>"_s, program);
        return 0;
    }
    if (parser.isSet(version)) {
        m_strOutput = VERSION_TEXT;
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        m_strOutput = u"Unexpected argument: %1\n"_s.arg(parser.positionalArguments().first());
        m_nExitCode = 2;
        return 0;
    }
    m_bDemo = parser.isSet(demo);
    bool ok = false;
    const uint value = parser.value(port).toUInt(&ok);
    if (!ok || value == 0 || value > 65535) {
        m_strOutput = u"Invalid port: %1 (expected 1 to 65535)\n"_s.arg(parser.value(port));
        m_nExitCode = 2;
        return 0;
    }
    m_nPort = quint16(value);
    return 1;
}
