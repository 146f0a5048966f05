// CVQComm: the catalog cursor, memory figures and status texts.

#include "link/vqcomm.h"

#include "link/catalogreply.h"

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

QByteArray g_catalogText;
qsizetype g_catalogPos = 0;
double g_catalogUsed = 0.0;
double g_catalogFree = 0.0;
int g_catalogCount = 0;
qint64 g_catalogBytes = 0;

namespace {

qint64 SaturatingAdd(qint64 a, qint64 b)
{
    constexpr qint64 hi = std::numeric_limits<qint64>::max();
    constexpr qint64 lo = std::numeric_limits<qint64>::min();
    if (b > 0 && a > hi - b)
        return hi;
    if (b < 0 && a < lo - b)
        return lo;
    return a + b;
}

} // namespace

int CVQComm::ReadCatalog(const QString& path, CFileInfo& first)
{
    return RetryLostRead([&] { return ReadCatalogOnce(path, first); });
}

int CVQComm::ReadCatalogOnce(const QString& path, CFileInfo& first)
{
    m_eCatalogEnd = CatalogEnd::NoReply;
    if (!path.isEmpty()) {
        const QString quoted = QuotedPath(path);
        if (quoted.isEmpty())
            return 0;
        if (!SendCommand(u"mmem:cdir "_s + quoted))
            return 0;
    }
    if (!SendCommand(u"mmem:cat?"_s))
        return 0;
    // The reply stays in the bytes it came in: a large folder's catalog is
    // held once, and each entry is read from it in place.
    QByteArray reply;
    ReadReplyLine(reply);
    return BeginCatalog(reply, first);
}

int CVQComm::BeginCatalog(const QByteArray& reply, CFileInfo& first)
{
    m_eCatalogEnd = CatalogEnd::NoReply;
    m_dLastCatalogUsed = 0.0;
    m_dLastCatalogFree = 0.0;
    m_unreadCatalog.clear();
    // Whatever was pending is gone from here on.
    g_catalogText = reply;
    g_catalogPos = 0;
    if (g_catalogText.isEmpty())
        return 0;
    g_catalogCount = 0;
    g_catalogBytes = 0;

    double used = 0.0;
    double freeBytes = 0.0;
    qsizetype pos = 0;
    if (!ReadCatalogFigures(g_catalogText, used, freeBytes, pos)) {
        EndUnread(CatalogEnd::Unreadable);
        return 0;
    }
    m_eCatalogEnd = CatalogEnd::Complete;
    m_dLastCatalogUsed = used;
    m_dLastCatalogFree = freeBytes;
    // A pair with a zero in it says nothing; keep the last good one.
    if (used > 0 && freeBytes > 0) {
        m_memoryUsed = used;
        m_memoryFree = freeBytes;
    }
    g_catalogUsed = m_memoryUsed;
    g_catalogFree = m_memoryFree;

    g_catalogPos = pos;
    return NextCatalogEntry(first);
}

int CVQComm::NextCatalogEntry(CFileInfo& entry)
{
    if (g_catalogText.isEmpty())
        return 0;
    qsizetype pos = std::clamp<qsizetype>(g_catalogPos, 0, g_catalogText.size());
    CFileInfo info;
    switch (ReadCatalogEntry(g_catalogText, pos, info)) {
    case CatalogStep::End:
        EndCatalog();
        return 0;
    case CatalogStep::NotAnEntry:
        // What is not a whole entry ends the listing, and makes it one that
        // is not the folder, even when entries came before it.
        EndUnread(CatalogEnd::CutShort);
        return 0;
    case CatalogStep::Entry:
        break;
    }
    g_catalogPos = pos;
    ++g_catalogCount;
    if (!info.IsFolder())
        g_catalogBytes = SaturatingAdd(g_catalogBytes, info.GetSize());
    entry = std::move(info);
    return 1;
}

void CVQComm::EndUnread(CatalogEnd end)
{
    m_eCatalogEnd = end;
    // Kept to be shown (LastReply), without a copy.
    m_unreadCatalog = g_catalogText;
    EndCatalog();
}

QString CVQComm::LastReply() const
{
    return m_unreadCatalog.isNull() ? g_replyLine : QString::fromLatin1(m_unreadCatalog);
}

qint64 CVQComm::LastCatalogBytes() const
{
    return g_catalogBytes;
}

qsizetype CVQComm::EstimatedCatalogEntries() const
{
    // `"NAME.EXT",TYPE,SIZE,` is about this long for a generator's names.
    constexpr qsizetype typicalEntry = 24;
    return (g_catalogText.size() - g_catalogPos) / typicalEntry + 1;
}

void CVQComm::EndCatalog()
{
    g_catalogText.clear();
    g_catalogPos = 0;
}

QByteArray CVQComm::QueryCatalogReply(const QString& path)
{
    QByteArray reply;
    RetryLostRead([&] {
        reply = QueryCatalogReplyOnce(path);
        return reply.isEmpty() ? 0 : 1;
    });
    return reply;
}

QByteArray CVQComm::QueryCatalogReplyOnce(const QString& path)
{
    CWaitCursor wait(LinkHost());
    const QString quoted = QuotedPath(path);
    if (quoted.isEmpty())
        return QByteArray();
    if (!SendCommand(u"mmem:cdir "_s + quoted))
        return QByteArray();
    if (!SendCommand(u"mmem:cat?"_s))
        return QByteArray();
    QByteArray reply;
    ReadReplyLine(reply);
    return reply;
}

QString CVQComm::FormatSize(double bytes)
{
    const char* unit = nullptr;
    double value = bytes;
    if (bytes >= 1073741824.0) {
        value = bytes / 1073741824.0;
        unit = "GB";
    } else if (bytes >= 1048576.0) {
        value = bytes / 1048576.0;
        unit = "MB";
    } else if (bytes >= 1024.0) {
        value = bytes / 1024.0;
        unit = "KB";
    } else {
        return QString::asprintf("%.0f bytes", bytes);
    }
    if (value >= 100)
        return QString::asprintf("%.0f%s", value, unit);
    if (value >= 10)
        return QString::asprintf("%.1f%s", value, unit);
    return QString::asprintf("%.2f%s", value, unit);
}

QString CVQComm::GetRootLabel() const
{
    return u"VQ820 ["_s + m_host + u']';
}

void CVQComm::UpdateStatusText()
{
    const QString objects = QString::asprintf("%d object[s]", g_catalogCount);
    QString memory = FormatSize(double(g_catalogBytes));
    if (g_catalogUsed > 0 && g_catalogFree > 0)
        memory += u" [Memory free: "_s + FormatSize(g_catalogFree) + u']';
    if (CLinkHost* host = LinkHost())
        host->SetStatusTexts(objects, memory);
}
