// vq820-sim: the generator emulator as a program of its own.

#include "simserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

#ifdef Q_OS_UNIX
int g_signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    // Only async-signal-safe work here: the event loop picks the byte up.
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}
#endif

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"vq820-sim"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(u"VQ820 generator emulator"_s);
    parser.addHelpOption();
    const QCommandLineOption listenOption(u"listen"_s, u"Address to listen on (default 127.0.0.1)."_s,
                                          u"addr"_s, u"127.0.0.1"_s);
    const QCommandLineOption portOption(u"port"_s, u"Port (default 5000, 0 picks a free one)."_s, u"n"_s,
                                        u"5000"_s);
    const QCommandLineOption rootOption(u"root"_s, u"Keep the files in this host folder."_s, u"dir"_s);
    const QCommandLineOption capacityOption(u"capacity"_s, u"Memory size in bytes."_s, u"bytes"_s);
    const QCommandLineOption noSeedOption(u"no-seed"_s, u"Start without the sample folders and files."_s);
    const QCommandLineOption transcriptOption(
        u"transcript"_s, u"Append what each connection sent to this file when it closes."_s, u"file"_s);
    const QCommandLineOption transcriptLimitOption(
        u"transcript-limit"_s, u"Transcript bytes held at once, all connections together (default 1 MiB)."_s,
        u"bytes"_s, u"1048576"_s);
    parser.addOptions({listenOption, portOption, rootOption, capacityOption, noSeedOption, transcriptOption,
                       transcriptLimitOption});
    parser.process(app);

    vqsim::SimOptions options;
    if (!options.address.setAddress(parser.value(listenOption))) {
        std::fprintf(stderr, "vq820-sim: not an address: %s\n", qPrintable(parser.value(listenOption)));
        return 2;
    }
    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        std::fprintf(stderr, "vq820-sim: not a port: %s\n", qPrintable(parser.value(portOption)));
        return 2;
    }
    options.port = quint16(port);
    if (parser.isSet(capacityOption)) {
        options.capacity = parser.value(capacityOption).toLongLong(&ok);
        if (!ok || options.capacity < 0) {
            std::fprintf(stderr, "vq820-sim: not a size: %s\n", qPrintable(parser.value(capacityOption)));
            return 2;
        }
    }
    options.rootDir = parser.value(rootOption);
    options.seed = !parser.isSet(noSeedOption);
    // A server that runs for days keeps no transcript unless asked to.
    options.transcriptLimit = 0;
    if (parser.isSet(transcriptOption)) {
        options.transcriptFile = parser.value(transcriptOption);
        options.transcriptLimit = parser.value(transcriptLimitOption).toLongLong(&ok);
        if (!ok || options.transcriptLimit <= 0) {
            std::fprintf(stderr, "vq820-sim: not a size: %s\n",
                         qPrintable(parser.value(transcriptLimitOption)));
            return 2;
        }
    }

#ifdef Q_OS_UNIX
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) {
        std::perror("vq820-sim: socketpair");
        return 1;
    }
    QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&notifier] {
        notifier.setEnabled(false);
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#endif

    vqsim::SimServer server;
    if (!server.Start(options)) {
        std::fprintf(stderr, "vq820-sim: cannot listen on %s:%u: %s\n",
                     qPrintable(options.address.toString()), port, qPrintable(server.ErrorString()));
        return 1;
    }
    std::printf("listening on %s:%u\n", qPrintable(server.Address().toString()), unsigned(server.Port()));
    std::fflush(stdout);

    const int code = app.exec();
    server.Stop();
    return code;
}
