#include "mount/mountprogresssink.h"

#include "mount/mountlinkhost.h"

CMountProgressSink::CMountProgressSink(CMountLinkHost& host) : m_host(host) {}

CMountProgressSink::~CMountProgressSink() = default;

void CMountProgressSink::StartFile(const QString&, quint64, const QString&, int)
{
    m_host.FileStarted();
    m_host.Progressed();
}

void CMountProgressSink::UpdateProgress(quint64)
{
    m_host.Progressed();
}

void CMountProgressSink::SetComplete()
{
    m_host.FileComplete();
    m_host.Progressed();
}
