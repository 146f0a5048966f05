#pragma once

#include "console/console.h"

#include <atomic>
#include <functional>
#include <thread>

// Turns the requests to stop (Ctrl+C, SIGTERM, ... : CConsole::Request) into
// calls of a handler on a thread of its own, for as long as it lives, so that
// a request reaches the program even while its main thread sits in a blocking
// wait (its event loop does not run then). The handler returns true to be
// called again with Request::None after TICK_MS (to cut waits that start
// later). One instance at a time is active: another one made meanwhile gets
// nothing and leaves the first one's handling alone. The handling from
// before comes back afterwards.
class CInterruptWatcher final
{
public:
    using Handler = std::function<bool(CConsole::Request request)>;
    static constexpr int TICK_MS = 20;

    explicit CInterruptWatcher(Handler handler);
    ~CInterruptWatcher();
    CInterruptWatcher(const CInterruptWatcher&) = delete;
    CInterruptWatcher& operator=(const CInterruptWatcher&) = delete;

    bool IsActive() const { return m_active; }

private:
    void Watch();

    Handler m_handler;
    bool m_active = false;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};
