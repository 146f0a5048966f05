#pragma once

#include <functional>

class QObject;

// While the command channel waits for the generator, the host may let the
// window paint (CLinkHost::ChannelWaiting runs between the slices of the
// wait, inside one of these). Nothing of the link, the transfer chain or the
// views may run then: they would use the channel in the middle of an
// exchange. What arrives for them meanwhile is held back until the wait is
// over, never dropped.
class CChannelWait final
{
public:
    // Marks the calling thread as inside a wait for as long as it lives.
    CChannelWait();
    ~CChannelWait();
    CChannelWait(const CChannelWait&) = delete;
    CChannelWait& operator=(const CChannelWait&) = delete;

    // The calling thread is inside a wait of the command channel.
    static bool Active();
    // Runs `call` from the event loop of `context`'s thread, once no wait is
    // in progress there: while one is, the call is posted again.
    static void Post(QObject* context, std::function<void()> call);
};
