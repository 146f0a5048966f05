#include "cli/terminalwidth.h"

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {
#ifdef Q_OS_UNIX
volatile sig_atomic_t g_resized = 0;
struct sigaction g_previousResize = {};
int g_watchers = 0;

void OnResize(int)
{
    g_resized = 1;
}
#endif
} // namespace

CTerminalWidth::CTerminalWidth(int fd) : m_fd(fd)
{
#ifdef Q_OS_UNIX
    if (g_watchers++ == 0) {
        struct sigaction action = {};
        action.sa_handler = OnResize;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        m_watching = ::sigaction(SIGWINCH, &action, &g_previousResize) == 0;
    }
#endif
    m_columns = Read();
}

CTerminalWidth::~CTerminalWidth()
{
#ifdef Q_OS_UNIX
    if (m_watching)
        ::sigaction(SIGWINCH, &g_previousResize, nullptr);
    --g_watchers;
#endif
}

int CTerminalWidth::Columns()
{
#ifdef Q_OS_UNIX
    if (g_resized) {
        g_resized = 0;
        m_columns = Read();
    }
#endif
    return m_columns;
}

int CTerminalWidth::Read() const
{
#ifdef Q_OS_UNIX
    winsize size = {};
    if (::isatty(m_fd) && ::ioctl(m_fd, TIOCGWINSZ, &size) == 0)
        return size.ws_col;
#endif
    return 0;
}
