// vq-bench soak: the emulator as a process of its own (../sim/vq820-sim next
// to vq-bench) under a crowd of connections at once and then a long run of
// short sessions; its resident size and open descriptors before, between and
// after say whether a server left running for days would keep growing.

#include "benchcommands.h"
#include "simprocess.h"

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

// What the emulator holds: its resident size and its open descriptors, read
// from /proc; -1 each when they cannot be read.
struct CUsage
{
    qint64 rss = -1;
    qint64 descriptors = -1;
};

CUsage UsageOf(qint64 pid)
{
    CUsage usage;
    const QString proc = u"/proc/%1/"_s.arg(pid);
    QFile status(proc + u"status"_s);
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                usage.rss = line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
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
    while (!socket.canReadLine()) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime())))
            return {};
    }
    const QByteArray line = socket.readLine();
    return line.endsWith('\n') && !line.trimmed().isEmpty() ? line : QByteArray();
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

// All connections open at once, each asked *idn?, then all closed.
bool RunCrowd(const CSimProcess& sim, int connections, CIdentity& identity)
{
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    sockets.reserve(size_t(connections));
    for (int i = 0; i < connections; ++i) {
        sockets.push_back(std::make_unique<QTcpSocket>());
        sockets.back()->connectToHost(sim.m_address, sim.m_port);
    }
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

} // namespace

int RunSoakBench(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"The emulator as a process under a crowd of connections at once, then a long run of short "
        "sessions, then the crowd again: its resident size and descriptors at each step. Ends with "
        "\"flat\" (exit 0) when the size grew under 5 MiB past the first crowd and the descriptors are "
        "back, else \"growing\" (exit 1)."_s);
    parser.addHelpOption();
    const QCommandLineOption connectionsOption(u"connections"_s, u"Connections open at once."_s, u"N"_s,
                                               u"1000"_s);
    const QCommandLineOption sessionsOption(u"sessions"_s, u"Short sessions one after another."_s, u"N"_s,
                                            u"100000"_s);
    parser.addOption(connectionsOption);
    parser.addOption(sessionsOption);
    parser.process(arguments);
    bool connectionsOk = false;
    bool sessionsOk = false;
    const int connections = parser.value(connectionsOption).toInt(&connectionsOk);
    const long long sessions = parser.value(sessionsOption).toLongLong(&sessionsOk);
    if (!connectionsOk || !sessionsOk || connections < 0 || connections > 100000 || sessions < 0) {
        std::fprintf(stderr, "vq-bench soak: --connections 0..100000, --sessions 0 or more\n");
        return 2;
    }
    // Before the emulator starts, so that it has the raised limit too.
    if (!RaiseDescriptorLimit(connections))
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
    return flat ? 0 : 1;
}
