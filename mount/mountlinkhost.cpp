#include "mount/mountlinkhost.h"

#include "mount/mountprogresssink.h"

CMountLinkHost::CMountLinkHost(std::function<void()> progressed) : m_progressed(std::move(progressed)) {}

int CMountLinkHost::ShowMessageBox(const QString& text, int style, const QString&)
{
    {
        const std::lock_guard lock(m_mutex);
        m_messages.append(text);
    }
    // Nobody is there to agree: a question stops what asked it.
    return (style & MB_BUTTONMASK) == MB_OKCANCEL ? IDCANCEL : IDOK;
}

CProgressSink* CMountLinkHost::CreateProgressSink()
{
    return new CMountProgressSink(*this);
}

QString CMountLinkHost::TakeMessages()
{
    const std::lock_guard lock(m_mutex);
    const QString text = m_messages.join(u'\n');
    m_messages.clear();
    return text;
}
