#include "console/console.h"

#include <QProcess>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace {

int Descriptor(CConsole::Stream stream)
{
    switch (stream) {
    case CConsole::Stream::In:
        return STDIN_FILENO;
    case CConsole::Stream::Out:
        return STDOUT_FILENO;
    case CConsole::Stream::Err:
        break;
    }
    return STDERR_FILENO;
}

// --- requests ------------------------------------------------------------

constexpr std::array kRequestSignals = {SIGINT, SIGTERM, SIGHUP};
// Written by the signal handlers (the one thing they may safely do), read by WaitRequest.
int g_requestPair[2] = {-1, -1};
// Ends a WaitRequest early.
int g_wakePair[2] = {-1, -1};
struct sigaction g_previousActions[kRequestSignals.size()] = {};

void OnRequestSignal(int signal)
{
    const int saved = errno;
    const char byte = signal == SIGINT ? 'i' : 't';
    [[maybe_unused]] const ssize_t written = ::write(g_requestPair[1], &byte, 1);
    errno = saved;
}

void ClosePair(int (&pair)[2])
{
    for (int& fd : pair) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

bool OpenPair(int (&pair)[2])
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return false;
    // A signal handler never blocks on a full pair.
    ::fcntl(pair[1], F_SETFL, ::fcntl(pair[1], F_GETFL) | O_NONBLOCK);
    return true;
}

// --- resizes -------------------------------------------------------------

volatile sig_atomic_t g_resizes = 0;
int g_resizeWatches = 0; // the handler is in place while this is above 0
struct sigaction g_previousResize = {};

void OnResize(int)
{
    g_resizes = g_resizes + 1;
}

} // namespace

bool CConsole::IsTerminal(Stream stream)
{
    return ::isatty(Descriptor(stream)) != 0;
}

int CConsole::Columns(Stream stream)
{
    winsize size = {};
    const int fd = Descriptor(stream);
    if (::isatty(fd) && ::ioctl(fd, TIOCGWINSZ, &size) == 0)
        return size.ws_col;
    return 0;
}

bool CConsole::WatchResizes()
{
    // Counted, not owned: whichever watch ends last puts the old handling back.
    if (g_resizeWatches++ == 0) {
        struct sigaction action = {};
        action.sa_handler = OnResize;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGWINCH, &action, &g_previousResize);
    }
    return true;
}

void CConsole::UnwatchResizes()
{
    if (g_resizeWatches > 0 && --g_resizeWatches == 0)
        ::sigaction(SIGWINCH, &g_previousResize, nullptr);
}

unsigned CConsole::Resizes()
{
    return unsigned(g_resizes);
}

QString CConsole::ReadLine(const std::atomic<bool>& stop)
{
    QByteArray typed;
    for (;;) {
        if (stop)
            return QString();
        pollfd entry = {STDIN_FILENO, POLLIN, 0};
        const int n = ::poll(&entry, 1, 50);
        if (n < 0 && errno != EINTR)
            return QString();
        if (n <= 0)
            continue;
        char c = 0;
        if (::read(STDIN_FILENO, &c, 1) != 1 || c == '\n')
            return QString::fromUtf8(typed);
        typed.append(c);
    }
}

void CConsole::PrepareStreams()
{
    // Unix streams carry bytes as they are, and terminals take the escapes.
    // A reader gone (vq8ctl ... | head) makes a write fail with EPIPE, which
    // the program handles as the end of its run, rather than SIGPIPE killing
    // it with its workers left to go on.
    ::signal(SIGPIPE, SIG_IGN);
}

bool CConsole::Write(Stream stream, QByteArrayView bytes, bool text)
{
    Q_UNUSED(text);
    const int fd = Descriptor(stream);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

bool CConsole::CatchRequests()
{
    if (g_requestPair[0] >= 0)
        return false;
    if (!OpenPair(g_requestPair))
        return false;
    if (!OpenPair(g_wakePair)) {
        ClosePair(g_requestPair);
        return false;
    }
    struct sigaction action = {};
    action.sa_handler = OnRequestSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < kRequestSignals.size(); ++i)
        ::sigaction(kRequestSignals[i], &action, &g_previousActions[i]);
    return true;
}

void CConsole::ReleaseRequests()
{
    if (g_requestPair[0] < 0)
        return;
    for (size_t i = 0; i < kRequestSignals.size(); ++i)
        ::sigaction(kRequestSignals[i], &g_previousActions[i], nullptr);
    ClosePair(g_wakePair);
    ClosePair(g_requestPair);
}

CConsole::Request CConsole::WaitRequest(int ms)
{
    if (g_requestPair[0] < 0)
        return Request::None;
    for (;;) {
        pollfd fds[2] = {{g_requestPair[0], POLLIN, 0}, {g_wakePair[0], POLLIN, 0}};
        const int n = ::poll(fds, 2, ms);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Request::None;
        if (fds[0].revents & POLLIN) {
            char byte = 0;
            if (::read(g_requestPair[0], &byte, 1) == 1)
                return byte == 'i' ? Request::Interrupt : Request::Terminate;
        }
        if (fds[1].revents & POLLIN) {
            char bytes[16];
            [[maybe_unused]] const ssize_t taken = ::read(g_wakePair[0], bytes, sizeof bytes);
        }
        return Request::None;
    }
}

void CConsole::PostRequest(Request request)
{
    if (g_requestPair[1] < 0 || request == Request::None)
        return;
    const char byte = request == Request::Interrupt ? 'i' : 't';
    [[maybe_unused]] const ssize_t written = ::write(g_requestPair[1], &byte, 1);
}

void CConsole::WakeRequestWait()
{
    if (g_wakePair[1] < 0)
        return;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_wakePair[1], &byte, 1);
}

void CConsole::PrepareWorker(QProcess& process)
{
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent] {
        // A process group of its own: Ctrl+C on the terminal reaches the
        // parent only, which hands each press on.
        ::setpgid(0, 0);
#ifdef __linux__
        // The parent's end, however it comes, is the worker's SIGTERM; a
        // parent gone before this line is noticed by the look after it.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif
        if (::getppid() != parent)
            ::_exit(1);
    });
}

void CConsole::InterruptWorker(QProcess& process)
{
    if (process.state() == QProcess::Running && process.processId() > 0)
        ::kill(pid_t(process.processId()), SIGINT);
}

void CConsole::RaiseDescriptorLimit(int descriptors)
{
    // The soft limit is often 1024 where the hard one allows far more.
    const auto wanted = rlim_t(descriptors);
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
        limit.rlim_cur >= wanted)
        return;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, limit.rlim_max);
    ::setrlimit(RLIMIT_NOFILE, &limit);
}
