#include "link/channelwait.h"

#include <QMetaObject>
#include <QObject>

namespace {
thread_local int t_nWaitDepth = 0;
} // namespace

CChannelWait::CChannelWait()
{
    ++t_nWaitDepth;
}

CChannelWait::~CChannelWait()
{
    --t_nWaitDepth;
}

bool CChannelWait::Active()
{
    return t_nWaitDepth > 0;
}

void CChannelWait::Post(QObject* context, std::function<void()> call)
{
    // Posted again, it comes after what the wait let through, once per slice
    // of the wait, and runs from the event loop once the wait is over.
    QMetaObject::invokeMethod(
        context,
        [context, call = std::move(call)]() mutable {
            if (Active())
                Post(context, std::move(call));
            else
                call();
        },
        Qt::QueuedConnection);
}
