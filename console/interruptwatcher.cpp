#include "console/interruptwatcher.h"

CInterruptWatcher::CInterruptWatcher(Handler handler) : m_handler(std::move(handler))
{
    m_active = CConsole::CatchRequests();
    if (m_active)
        m_thread = std::thread([this] { Watch(); });
}

CInterruptWatcher::~CInterruptWatcher()
{
    // Only what this one caught is given back: a refused one owns nothing.
    if (!m_active)
        return;
    m_stopping = true;
    CConsole::WakeRequestWait();
    m_thread.join();
    CConsole::ReleaseRequests();
}

void CInterruptWatcher::Watch()
{
    bool repeat = false;
    for (;;) {
        const CConsole::Request request = CConsole::WaitRequest(repeat ? TICK_MS : -1);
        if (m_stopping)
            return;
        if (request == CConsole::Request::None && !repeat)
            continue;
        repeat = m_handler(request);
    }
}
