#include "cli/interruptwatcher.h"

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
int g_interruptPipe[2] = {-1, -1};
struct sigaction g_previousAction = {};

void OnInterrupt(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_interruptPipe[1], &byte, 1);
}

void ClosePair(int (&pair)[2])
{
    for (int& fd : pair) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}
#endif

} // namespace

CInterruptWatcher::CInterruptWatcher(Handler handler) : m_handler(std::move(handler))
{
#ifdef Q_OS_UNIX
    if (g_interruptPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_interruptPipe) != 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, m_stopPipe) != 0) {
        ClosePair(g_interruptPipe);
        return;
    }
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    m_active = ::sigaction(SIGINT, &action, &g_previousAction) == 0;
    m_thread = std::thread([this] { Watch(); });
#endif
}

CInterruptWatcher::~CInterruptWatcher()
{
#ifdef Q_OS_UNIX
    if (m_active)
        ::sigaction(SIGINT, &g_previousAction, nullptr);
    if (m_thread.joinable()) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_stopPipe[1], &byte, 1);
        m_thread.join();
    }
    ClosePair(m_stopPipe);
    ClosePair(g_interruptPipe);
#endif
}

void CInterruptWatcher::Watch()
{
#ifdef Q_OS_UNIX
    bool repeat = false;
    for (;;) {
        pollfd fds[2] = {{g_interruptPipe[0], POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
        const int n = ::poll(fds, 2, repeat ? TICK_MS : -1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || (fds[1].revents & (POLLIN | POLLHUP)))
            return;
        if (n == 0) {
            repeat = m_handler(false);
            continue;
        }
        char bytes[16];
        const ssize_t taken = ::read(g_interruptPipe[0], bytes, sizeof bytes);
        for (ssize_t i = 0; i < taken; ++i)
            repeat = m_handler(true);
    }
#endif
}
