#include "mount/mountlog.h"

CMountLog::CMountLog(Writer writer, bool verbose) : m_writer(std::move(writer)), m_bVerbose(verbose) {}

void CMountLog::Line(const QString& text)
{
    const std::lock_guard lock(m_mutex);
    if (m_writer)
        m_writer(text);
}

void CMountLog::Detail(const QString& text)
{
    if (m_bVerbose)
        Line(text);
}
