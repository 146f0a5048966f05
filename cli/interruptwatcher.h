#pragma once

#include <atomic>
#include <functional>
#include <thread>

// Turns Ctrl+C (SIGINT) into calls of a handler on a thread of its own, for
// as long as it lives, so that an interruption reaches the device link even
// while the main thread sits in a blocking wait (its event loop does not run
// then). The signal handler only writes a byte to a socket pair, the one thing
// it may safely do. The handler returns true to be called again, unsignalled,
// after TICK_MS (to cut waits that start later). One instance at a time; the
// previous handling of SIGINT comes back afterwards.
class CInterruptWatcher final
{
public:
    // `signalled`: true for a Ctrl+C, false for a repeat the handler asked for.
    using Handler = std::function<bool(bool signalled)>;
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
    int m_stopPipe[2] = {-1, -1};
    std::thread m_thread;
};
