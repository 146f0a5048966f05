#include "interruptwatcher.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
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
#endif

} // namespace

CInterruptWatcher::CInterruptWatcher(QObject* parent) : QObject(parent)
{
#ifdef Q_OS_UNIX
    if (g_interruptPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_interruptPipe) != 0)
        return;
    m_ownsPipe = true;
    m_pNotifier = std::make_unique<QSocketNotifier>(g_interruptPipe[0], QSocketNotifier::Read);
    connect(m_pNotifier.get(), &QSocketNotifier::activated, this, &CInterruptWatcher::OnActivated);
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    m_active = ::sigaction(SIGINT, &action, &g_previousAction) == 0;
#endif
}

CInterruptWatcher::~CInterruptWatcher()
{
#ifdef Q_OS_UNIX
    if (m_active)
        ::sigaction(SIGINT, &g_previousAction, nullptr);
    m_pNotifier.reset();
    if (m_ownsPipe) {
        ::close(g_interruptPipe[0]);
        ::close(g_interruptPipe[1]);
        g_interruptPipe[0] = g_interruptPipe[1] = -1;
    }
#endif
}

void CInterruptWatcher::OnActivated()
{
#ifdef Q_OS_UNIX
    char bytes[16];
    [[maybe_unused]] const ssize_t taken = ::read(g_interruptPipe[0], bytes, sizeof bytes);
#endif
    Q_EMIT Interrupted();
}
