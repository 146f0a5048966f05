// vq820-sim: the generator emulator as a program of its own.

#include "console/interruptwatcher.h"
#include "sim/simserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"vq820-sim"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"A VQ820 video signal generator emulator: a TCP server that speaks the\n"
        "generator's side of its protocol (SCPI-style command lines, IEEE 488.2\n"
        "definite-length blocks for file contents) with a file system under /F0:/,\n"
        "memory figures and an error queue, for tests, demos and anyone without a\n"
        "generator at hand.\n"
        "\n"
        "Its first line on standard output is \"listening on ADDR:PORT\". Files are\n"
        "kept in memory, seeded with the first-level folders DOWNLOAD, LOGO,\n"
        "PATTERN, PICTURE, PRESET, SEQUENCE, SIGNAL, USER and a sample file of every\n"
        "kind, unless --root keeps them in a host folder (loaded at start, every\n"
        "change written through, nothing outside it touched). A write that does not\n"
        "fit the capacity is refused whole; every refused or malformed command goes\n"
        "to the error queue (stat:que:next?). A file sent again under a name that\n"
        "exists replaces its content and keeps the stored name; a package sent with\n"
        "mmem:load:download is kept as /F0:/DOWNLOAD/PKGnnnn.DNL. A block is cut\n"
        "short, and stores nothing, when no byte of it comes for 30 s or when it has\n"
        "received fewer than 64 KiB for every second past its first 30 s. It stops\n"
        "on SIGINT or SIGTERM."_s);
    const QCommandLineOption helpOption(QStringList{u"h"_s, u"help"_s}, u"Displays this help."_s);
    const QCommandLineOption versionOption(u"version"_s, u"Displays the version."_s);
    const QCommandLineOption listenOption(u"listen"_s, u"Address to listen on (default 127.0.0.1)."_s,
                                          u"addr"_s, u"127.0.0.1"_s);
    const QCommandLineOption portOption(u"port"_s, u"Port (default 5000, 0 picks a free one)."_s, u"n"_s,
                                        u"5000"_s);
    const QCommandLineOption rootOption(u"root"_s, u"Keep the files in this host folder."_s, u"dir"_s);
    const QCommandLineOption capacityOption(u"capacity"_s, u"Memory size in bytes (default 67108864)."_s,
                                            u"bytes"_s);
    const QCommandLineOption noSeedOption(u"no-seed"_s, u"Start without the sample folders and files."_s);
    const QCommandLineOption emptyOption(
        u"empty"_s, u"Start with the first-level folders only, as a generator emptied."_s);
    const QCommandLineOption transcriptOption(
        u"transcript"_s, u"Append what each connection sent to this file when it closes."_s, u"file"_s);
    const QCommandLineOption transcriptLimitOption(
        u"transcript-limit"_s, u"Transcript bytes held at once, all connections together (default 1 MiB)."_s,
        u"bytes"_s, u"1048576"_s);
    const QCommandLineOption identityOption(
        u"identity"_s, u"The answer to *idn? (default \"VELTRANE,VQ820,0,5.60\"), to tell emulators apart."_s,
        u"text"_s);
    parser.addOptions({helpOption, versionOption, listenOption, portOption, rootOption, capacityOption,
                       noSeedOption, emptyOption, transcriptOption, transcriptLimitOption, identityOption});
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "vq820-sim: %s\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(helpOption)) {
        // The program's own name, wherever it was started from: the manual page is made of this text.
        QString help = parser.helpText();
        help.replace(0, help.indexOf(u'\n'), u"Usage: vq820-sim [options]"_s);
        std::printf("%s\n%s", qPrintable(help),
                    "Exit status:\n"
                    "  0  stopped by SIGINT or SIGTERM\n"
                    "  1  the address could not be listened on\n"
                    "  2  bad usage\n"
                    "\n"
                    "Examples:\n"
                    "  vq820-sim --port 0 &\n"
                    "  printf '*idn?\\r\\nmmem:cat?\\r\\n' | nc -q1 127.0.0.1 PORT\n"
                    "  vq820-sim --root /srv/vq820 --capacity 268435456\n"
                    "  vq820-sim --listen 127.0.0.2 --identity 'VELTRANE,VQ820,1002,5.60' &\n"
                    "  VQ8_HOST=127.0.0.1 VQ8_PORT=PORT vq8ctl ls USER\n");
        return 0;
    }
    if (parser.isSet(versionOption)) {
        std::printf("vq820-sim %s\n", VQ_VERSION);
        return 0;
    }

    CSimOptions options;
    if (!options.m_address.setAddress(parser.value(listenOption))) {
        std::fprintf(stderr, "vq820-sim: not an address: %s\n", qPrintable(parser.value(listenOption)));
        return 2;
    }
    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        std::fprintf(stderr, "vq820-sim: not a port: %s\n", qPrintable(parser.value(portOption)));
        return 2;
    }
    options.m_nPort = quint16(port);
    if (parser.isSet(capacityOption)) {
        options.m_nCapacity = parser.value(capacityOption).toLongLong(&ok);
        if (!ok || options.m_nCapacity < 0) {
            std::fprintf(stderr, "vq820-sim: not a size: %s\n", qPrintable(parser.value(capacityOption)));
            return 2;
        }
    }
    if (parser.isSet(identityOption)) {
        // One reply line: nothing that would end it or steer the client's terminal.
        options.m_strIdentity = parser.value(identityOption);
        const auto control = [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; };
        if (options.m_strIdentity.isEmpty() ||
            std::any_of(options.m_strIdentity.cbegin(), options.m_strIdentity.cend(), control)) {
            std::fprintf(stderr, "vq820-sim: not an identity line: %s\n", qPrintable(options.m_strIdentity));
            return 2;
        }
    }
    options.m_strRootDir = parser.value(rootOption);
    options.m_bSeed = !parser.isSet(noSeedOption);
    options.m_bSeedFiles = !parser.isSet(emptyOption);
    // A server that runs for days keeps no transcript unless asked to.
    options.m_nTranscriptLimit = 0;
    if (parser.isSet(transcriptOption)) {
        options.m_strTranscriptFile = parser.value(transcriptOption);
        options.m_nTranscriptLimit = parser.value(transcriptLimitOption).toLongLong(&ok);
        if (!ok || options.m_nTranscriptLimit <= 0) {
            std::fprintf(stderr, "vq820-sim: not a size: %s\n",
                         qPrintable(parser.value(transcriptLimitOption)));
            return 2;
        }
    }

    // A descriptor for every connection served besides the program's own.
    CConsole::RaiseDescriptorLimit(CSimOptions::MAX_CONNECTIONS + 64);
    // Ctrl+C, SIGTERM and the like stop the server through the event loop.
    const CInterruptWatcher watcher([&app](CConsole::Request request) {
        if (request != CConsole::Request::None)
            QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
        return false;
    });

    CSimServer server;
    if (!server.Start(options)) {
        std::fprintf(stderr, "vq820-sim: cannot listen on %s:%u: %s\n",
                     qPrintable(options.m_address.toString()), port, qPrintable(server.ErrorString()));
        return 1;
    }
    std::printf("listening on %s:%u\n", qPrintable(server.Address().toString()), unsigned(server.Port()));
    std::fflush(stdout);

    const int code = app.exec();
    server.Stop();
    return code;
}
