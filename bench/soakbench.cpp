// vq-bench soak: the emulator as a process of its own (../sim/vq820-sim next
// to vq-bench) under a crowd of connections at once and then a long run of
// short sessions; its resident size and open descriptors before, between and
// after say whether a server left running for days would keep growing. Then
// two clients that would deny it to others: one that holds more idle
// connections than it serves, and slow readers of a catalog far larger than
// what it sends at once; another client's answer time says whether it still
// serves.

#include "bench/benchcommands.h"
#include "bench/simprocess.h"

#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

using namespace Qt::StringLiterals;

namespace {

constexpr int kWaitMs = 5000;                // any one connect, write or reply of a session
constexpr int kCrowdMs = 30000;              // the whole crowd connected and answered
constexpr int kSettleMs = 5000;              // the emulator closing its side of them all
constexpr qint64 kFlatRss = 5 * 1024 * 1024; // growth under this is flat
constexpr int kSpareDescriptors = 64;        // this process's own besides the crowd
constexpr int kNameLength = 235;             // a catalog entry of about 250 bytes
constexpr int kFirstBytesMs = 30000;         // every slow reader's reply begun

// What the emulator holds: its resident size (now and at its peak) and its
// open descriptors, read from /proc; -1 each when they cannot be read.
struct CUsage
{
    qint64 rss = -1;
    qint64 peakRss = -1;
    qint64 descriptors = -1;
};

CUsage UsageOf(qint64 pid)
{
    CUsage usage;
    const QString proc = u"/proc/%1/"_s.arg(pid);
    QFile status(proc + u"status"_s);
    if (status.open(QIODevice::ReadOnly)) {
        const auto bytesOf = [](const QByteArray& line) { // "VmRSS:   1234 kB"
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
        };
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                usage.rss = bytesOf(line);
            else if (line.startsWith("VmHWM:"))
                usage.peakRss = bytesOf(line);
        }
    }
    std::error_code error;
    qint64 count = 0;
    for (std::filesystem::directory_iterator it(std::filesystem::path((proc + u"fd"_s).toStdString()), error),
         end;
         !error && it != end; it.increment(error))
        ++count;
    if (!error)
        usage.descriptors = count;
    return usage;
}

void PrintUsage(const char* when, const CUsage& usage)
{
    std::printf("RESULT soak_%s_rss_kib %lld KiB\n", when, usage.rss / 1024);
    std::printf("RESULT soak_%s_fds %lld fds\n", when, usage.descriptors);
    std::fflush(stdout);
}

// Polls until the emulator holds `descriptors` again (it closes its side of
// a connection when it sees the end), or kSettleMs have passed.
CUsage SettledUsage(qint64 pid, qint64 descriptors)
{
    QDeadlineTimer deadline(kSettleMs);
    CUsage usage = UsageOf(pid);
    while (usage.descriptors != descriptors && !deadline.hasExpired()) {
        QThread::msleep(20);
        usage = UsageOf(pid);
    }
    return usage;
}

// A crowd needs a descriptor a connection here and in the emulator, which
// inherits this limit; false after saying so when the hard limit is too low.
bool RaiseDescriptorLimit(int connections)
{
#ifdef Q_OS_UNIX
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        std::perror("vq-bench soak: getrlimit");
        return false;
    }
    const rlim_t wanted = rlim_t(connections) + kSpareDescriptors;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        const rlim_t soft = limit.rlim_cur;
        limit.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
            std::fprintf(stderr, "vq-bench soak: cannot raise the open file limit from %llu\n",
                         static_cast<unsigned long long>(soft));
            return false;
        }
        std::fprintf(stderr, "vq-bench soak: open file limit raised from %llu to %llu\n",
                     static_cast<unsigned long long>(soft), static_cast<unsigned long long>(limit.rlim_cur));
    }
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        std::fprintf(stderr,
                     "vq-bench soak: the open file limit %llu is short of the %llu %d connections need\n",
                     static_cast<unsigned long long>(limit.rlim_cur), static_cast<unsigned long long>(wanted),
                     connections);
        return false;
    }
#else
    Q_UNUSED(connections);
#endif
    return true;
}

// One reply line: non-empty and ending in LF, by `deadline`; empty when
// none came.
QByteArray ReadReply(QTcpSocket& socket, QDeadlineTimer deadline)
{
    QByteArray line;
    // Each piece is searched once for the LF: a catalog line may be 25 MB.
    while (!line.endsWith('\n')) {
        if (socket.bytesAvailable() == 0 &&
            (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime()))))
            return {};
        line += socket.readLine();
    }
    return line.trimmed().isEmpty() ? QByteArray() : line;
}

bool Send(QTcpSocket& socket, const QByteArray& command)
{
    if (socket.write(command) != command.size())
        return false;
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(kWaitMs))
            return false;
    }
    return true;
}

// The identity every connection must answer with: the first one's.
class CIdentity
{
public:
    // False after saying why, with `what` naming the connection.
    bool Check(const QByteArray& line, const char* what, long long number, int waitMs)
    {
        if (line.isEmpty()) {
            std::fprintf(stderr, "vq-bench soak: %s %lld: no identity line within %d ms\n", what, number,
                         waitMs);
            return false;
        }
        if (m_line.isEmpty())
            m_line = line;
        if (line != m_line) {
            std::fprintf(stderr, "vq-bench soak: %s %lld: identity \"%s\" after \"%s\"\n", what, number,
                         line.trimmed().constData(), m_line.trimmed().constData());
            return false;
        }
        return true;
    }

private:
    QByteArray m_line;
};

// `count` connects started at once.
std::vector<std::unique_ptr<QTcpSocket>> StartConnections(const CSimProcess& sim, int count)
{
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    sockets.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        sockets.push_back(std::make_unique<QTcpSocket>());
        sockets.back()->connectToHost(sim.m_address, sim.m_port);
    }
    return sockets;
}

// All connections open at once, each asked *idn?, then all closed.
bool RunCrowd(const CSimProcess& sim, int connections, CIdentity& identity)
{
    const std::vector<std::unique_ptr<QTcpSocket>> sockets = StartConnections(sim, connections);
    // The emulator's accept queue is far shorter than the crowd: the kernel
    // drops what does not fit and the client side retries after 1 s, 3 s,
    // 7 s..., so one wait covers the crowd, not each connection.
    const QDeadlineTimer deadline(kCrowdMs);
    for (int i = 0; i < connections; ++i) {
        QTcpSocket& socket = *sockets[size_t(i)];
        if (!socket.waitForConnected(int(deadline.remainingTime()))) {
            std::fprintf(stderr, "vq-bench soak: connection %d of %d: %s\n", i + 1, connections,
                         qPrintable(socket.errorString()));
            return false;
        }
    }
    for (int i = 0; i < connections; ++i) {
        QTcpSocket& socket = *sockets[size_t(i)];
        if (!Send(socket, "*idn?\r\n")) {
            std::fprintf(stderr, "vq-bench soak: connection %d: cannot send: %s\n", i + 1,
                         qPrintable(socket.errorString()));
            return false;
        }
    }
    for (int i = 0; i < connections; ++i) {
        if (!identity.Check(ReadReply(*sockets[size_t(i)], deadline), "connection", i + 1, kCrowdMs))
            return false;
    }
    for (const std::unique_ptr<QTcpSocket>& socket : sockets)
        socket->close();
    return true;
}

// One short session as a client would have it: connect, identity, a small
// query, close.
bool RunSession(const CSimProcess& sim, long long number, CIdentity& identity)
{
    QTcpSocket socket;
    socket.connectToHost(sim.m_address, sim.m_port);
    if (!socket.waitForConnected(kWaitMs)) {
        std::fprintf(stderr, "vq-bench soak: session %lld: %s\n", number, qPrintable(socket.errorString()));
        return false;
    }
    if (!Send(socket, "*idn?\r\n") ||
        !identity.Check(ReadReply(socket, QDeadlineTimer(kWaitMs)), "session", number, kWaitMs))
        return false;
    if (!Send(socket, "mmem:cat?\r\n") || ReadReply(socket, QDeadlineTimer(kWaitMs)).isEmpty()) {
        std::fprintf(stderr, "vq-bench soak: session %lld: no catalog line within %d ms\n", number, kWaitMs);
        return false;
    }
    socket.close();
    return true;
}

// A new client's connect, *idn? and answer in milliseconds; -1 after saying
// why when no identity came within kWaitMs.
double IdentityTime(const CSimProcess& sim, CIdentity& identity, const char* what)
{
    QElapsedTimer clock;
    clock.start();
    QTcpSocket socket;
    socket.connectToHost(sim.m_address, sim.m_port);
    const QDeadlineTimer deadline(kWaitMs);
    const bool sent = socket.waitForConnected(int(deadline.remainingTime())) && Send(socket, "*idn?\r\n");
    if (!identity.Check(sent ? ReadReply(socket, deadline) : QByteArray(), what, 1, kWaitMs))
        return -1;
    return double(clock.nsecsElapsed()) / 1e6;
}

// `idle` connections from this one client that never send a byte, more than
// the emulator serves at once, then another client's *idn?: the emulator
// must make room by closing idle ones rather than leave the newcomer waiting.
bool RunIdleCrowd(const CSimProcess& sim, int idle, CIdentity& identity)
{
    const std::vector<std::unique_ptr<QTcpSocket>> sockets = StartConnections(sim, idle);
    const QDeadlineTimer deadline(kCrowdMs);
    int connected = 0;
    for (const std::unique_ptr<QTcpSocket>& socket : sockets)
        connected += socket->waitForConnected(int(deadline.remainingTime())) ? 1 : 0;
    const double idnMs = IdentityTime(sim, identity, "a client besides the idle crowd");
    // What the emulator closed to make room has ended by now.
    int kept = 0;
    for (const std::unique_ptr<QTcpSocket>& socket : sockets) {
        socket->waitForReadyRead(0);
        kept += socket->state() == QAbstractSocket::ConnectedState ? 1 : 0;
    }
    std::fprintf(stderr, "vq-bench soak: %d idle connections, %d connected, %d still open\n", idle, connected,
                 kept);
    std::printf("RESULT soak_idle_crowd_idn_ms %.1f ms\n", idnMs);
    std::printf("RESULT soak_idle_crowd_kept %d connections\n", kept);
    std::printf("RESULT soak_idle_crowd_fds %lld fds\n", UsageOf(sim.Pid()).descriptors);
    std::fflush(stdout);
    return idnMs >= 0;
}

QByteArray EntryName(int number)
{
    QByteArray name = "Slow reader soak entry " + QByteArray::number(number).rightJustified(6, '0') + ' ';
    return name.leftJustified(kNameLength - 4, 'x') + ".SEQ";
}

// A folder of `entries` empty files with long names, made over one connection.
bool FillFolder(const CSimProcess& sim, const QByteArray& folder, int entries)
{
    QTcpSocket socket;
    socket.connectToHost(sim.m_address, sim.m_port);
    if (!socket.waitForConnected(kWaitMs) || !Send(socket, "mmem:mdir \"" + folder + "\"\r\n"))
        return false;
    QByteArray commands;
    for (int i = 0; i < entries; ++i) {
        commands += "mmem:data \"" + folder + '/' + EntryName(i) + "\",#10\r\n";
        if (commands.size() > 1024 * 1024 || i + 1 == entries) {
            if (!Send(socket, commands))
                return false;
            commands.clear();
        }
    }
    const QByteArray error =
        Send(socket, "stat:que:next?\r\n") ? ReadReply(socket, QDeadlineTimer(kCrowdMs)) : QByteArray();
    if (error != "0,\"No error\"\n") {
        std::fprintf(stderr, "vq-bench soak: filling %s: %s\n", folder.constData(),
                     error.trimmed().constData());
        return false;
    }
    return true;
}

// Every entry FillFolder made, the last one last, and the line's end.
bool CatalogIsWhole(const QByteArray& line, int entries)
{
    return line.count(",SEQ,0") == entries && line.endsWith(EntryName(entries - 1) + "\",SEQ,0\n");
}

// `readers` clients that ask for the catalog of a folder of `entries` files
// with long names (about 250 bytes an entry) and do not read it, then
// another client's *idn?, and the emulator's resident size once every
// reader's reply has begun.
bool RunSlowReaders(const CSimProcess& sim, int readers, int entries, CIdentity& identity)
{
    const QByteArray folder = "/F0:/USER/SOAK";
    QElapsedTimer clock;
    clock.start();
    if (!FillFolder(sim, folder, entries))
        return false;
    std::fprintf(stderr, "vq-bench soak: %d entries made in %.1f s\n", entries,
                 double(clock.nsecsElapsed()) / 1e9);
    const QByteArray query = "mmem:cdir \"" + folder + "\"\r\nmmem:cat?\r\n";

    // One reader that reads: the line's size and how long it takes.
    QTcpSocket reader;
    reader.connectToHost(sim.m_address, sim.m_port);
    clock.restart();
    const QByteArray line = reader.waitForConnected(kWaitMs) && Send(reader, query)
                                ? ReadReply(reader, QDeadlineTimer(kCrowdMs))
                                : QByteArray();
    const double readMs = double(clock.nsecsElapsed()) / 1e6;
    if (!CatalogIsWhole(line, entries)) {
        std::fprintf(stderr, "vq-bench soak: the catalog of %s is not whole (%lld bytes)\n",
                     folder.constData(), static_cast<long long>(line.size()));
        return false;
    }
    reader.close();
    const CUsage before = UsageOf(sim.Pid());
    std::printf("RESULT soak_catalog_bytes %lld bytes\n", static_cast<long long>(line.size()));
    std::printf("RESULT soak_catalog_read_ms %.0f ms\n", readMs);
    std::printf("RESULT soak_catalog_rss_kib %lld KiB\n", before.rss / 1024);

    const std::vector<std::unique_ptr<QTcpSocket>> sockets = StartConnections(sim, readers);
    for (const std::unique_ptr<QTcpSocket>& socket : sockets) {
        // Qt reads no more for them than this.
        socket->setReadBufferSize(4096);
        if (!socket->waitForConnected(kWaitMs) || !Send(*socket, query)) {
            std::fprintf(stderr, "vq-bench soak: a slow reader: %s\n", qPrintable(socket->errorString()));
            return false;
        }
    }
    const double idnMs = IdentityTime(sim, identity, "a client besides the slow readers");
    const QDeadlineTimer begun(kFirstBytesMs);
    for (const std::unique_ptr<QTcpSocket>& socket : sockets) {
        if (socket->bytesAvailable() == 0 && !socket->waitForReadyRead(int(begun.remainingTime()))) {
            std::fprintf(stderr, "vq-bench soak: a slow reader's reply did not begin within %d ms\n",
                         kFirstBytesMs);
            return false;
        }
    }
    const CUsage held = UsageOf(sim.Pid());
    std::printf("RESULT soak_slow_readers_idn_ms %.1f ms\n", idnMs);
    std::printf("RESULT soak_slow_readers_rss_kib %lld KiB\n", held.rss / 1024);
    std::printf("RESULT soak_slow_readers_rss_growth_kib %lld KiB\n", (held.rss - before.rss) / 1024);
    std::printf("RESULT soak_slow_readers_peak_rss_kib %lld KiB\n", held.peakRss / 1024);
    std::fflush(stdout);

    // A reply held back this long is still one whole line.
    QTcpSocket& last = *sockets.back();
    last.setReadBufferSize(0);
    if (!CatalogIsWhole(ReadReply(last, QDeadlineTimer(kCrowdMs)), entries)) {
        std::fprintf(stderr, "vq-bench soak: a slow reader's catalog is not whole\n");
        return false;
    }
    return idnMs >= 0;
}

} // namespace

int RunSoakBench(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"The emulator as a process under a crowd of connections at once, then a long run of short "
        "sessions, then the crowd again: its resident size and descriptors at each step. Ends with "
        "\"flat\" when the size grew under 5 MiB past the first crowd and the descriptors are back, "
        "else \"growing\". Then a crowd of idle connections and slow readers of a large catalog, each "
        "with another client's *idn? answer time (exit 1 when one was not answered or the size grew)."_s);
    parser.addHelpOption();
    const QCommandLineOption connectionsOption(u"connections"_s, u"Connections open at once."_s, u"N"_s,
                                               u"1000"_s);
    const QCommandLineOption sessionsOption(u"sessions"_s, u"Short sessions one after another."_s, u"N"_s,
                                            u"100000"_s);
    const QCommandLineOption idleOption(u"idle"_s, u"Idle connections from one client (0: none)."_s, u"N"_s,
                                        u"2000"_s);
    const QCommandLineOption readersOption(
        u"slow-readers"_s, u"Clients that ask for the large catalog and do not read it (0: none)."_s, u"N"_s,
        u"40"_s);
    // The emulator takes 100,000 entries in all, its sample content included.
    const QCommandLineOption entriesOption(u"entries"_s, u"Entries of the large catalog's folder."_s, u"N"_s,
                                           u"99900"_s);
    parser.addOptions({connectionsOption, sessionsOption, idleOption, readersOption, entriesOption});
    parser.process(arguments);
    bool valid = true;
    const auto number = [&](const QCommandLineOption& option) {
        bool ok = false;
        const long long value = parser.value(option).toLongLong(&ok);
        valid = valid && ok;
        return value;
    };
    const int connections = int(std::min(number(connectionsOption), 100001LL));
    const long long sessions = number(sessionsOption);
    const int idle = int(std::min(number(idleOption), 100001LL));
    const int readers = int(std::min(number(readersOption), 1001LL));
    const int entries = int(std::min(number(entriesOption), 100001LL));
    if (!valid || connections < 0 || connections > 100000 || sessions < 0 || idle < 0 || idle > 100000 ||
        readers < 0 || readers > 1000 || entries < 1 || entries > 100000) {
        std::fprintf(stderr, "vq-bench soak: --connections and --idle 0..100000, --sessions 0 or more, "
                             "--slow-readers 0..1000, --entries 1..100000\n");
        return 2;
    }
    // Before the emulator starts, so that it has the raised limit too.
    if (!RaiseDescriptorLimit(std::max(connections, idle + readers)))
        return 1;

    CSimProcess sim;
    sim.StopWithParent();
    if (!sim.Start(64 * 1024 * 1024))
        return 1;
    const qint64 pid = sim.Pid();
    const CUsage start = UsageOf(pid);
    if (start.rss < 0 || start.descriptors < 0) {
        std::fprintf(stderr, "vq-bench soak: cannot read /proc/%lld\n", pid);
        return 1;
    }
    PrintUsage("start", start);

    CIdentity identity;
    QElapsedTimer clock;
    clock.start();
    if (!RunCrowd(sim, connections, identity))
        return 1;
    const CUsage crowd = SettledUsage(pid, start.descriptors);
    std::fprintf(stderr, "vq-bench soak: %d connections at once in %.2f s\n", connections,
                 double(clock.nsecsElapsed()) / 1e9);
    PrintUsage("crowd", crowd);

    clock.restart();
    const long long step = std::max(1LL, sessions / 10);
    for (long long i = 1; i <= sessions; ++i) {
        if (!RunSession(sim, i, identity))
            return 1;
        if (i % step == 0)
            std::fprintf(stderr, "vq-bench soak: %lld of %lld sessions\n", i, sessions);
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    PrintUsage("sessions", SettledUsage(pid, start.descriptors));

    // The same crowd again: what a busy moment costs once the heap has met it.
    if (!RunCrowd(sim, connections, identity))
        return 1;
    const CUsage end = SettledUsage(pid, start.descriptors);
    PrintUsage("end", end);

    const qint64 descriptorGrowth = end.descriptors - start.descriptors;
    // The first crowd takes the heap to its high-water mark, which the
    // allocator keeps; growth past that mark is what would go on for days.
    const qint64 rssGrowth = end.rss - crowd.rss;
    std::printf("RESULT soak_rss_growth_kib %lld KiB\n", (end.rss - start.rss) / 1024);
    std::printf("RESULT soak_rss_growth_after_crowd_kib %lld KiB\n", rssGrowth / 1024);
    std::printf("RESULT soak_fds_growth %lld fds\n", descriptorGrowth);
    std::printf("RESULT soak_sessions_s %.0f sessions/s\n", seconds > 0 ? double(sessions) / seconds : 0.0);
    const bool flat = rssGrowth < kFlatRss && descriptorGrowth == 0;
    std::printf("%s: RSS %+.2f MiB after the first crowd (flat under 5), descriptors %+lld\n",
                flat ? "flat" : "growing", double(rssGrowth) / (1024.0 * 1024.0), descriptorGrowth);
    std::fflush(stdout);

    const bool served = (idle == 0 || RunIdleCrowd(sim, idle, identity)) &&
                        (readers == 0 || RunSlowReaders(sim, readers, entries, identity));
    return flat && served ? 0 : 1;
}
