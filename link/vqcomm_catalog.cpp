// CVQComm: the catalog cursor, memory figures and status texts.

#include "link/vqcomm.h"

#include "link/realscan.h"

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

QString g_catalogText;
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
    return BeginCatalog(ReadReply(), first);
}

int CVQComm::BeginCatalog(const QString& reply, CFileInfo& first)
{
    m_eCatalogEnd = CatalogEnd::NoReply;
    m_dLastCatalogUsed = 0.0;
    m_dLastCatalogFree = 0.0;
    // Whatever was pending is gone from here on.
    g_catalogText = reply;
    g_catalogPos = 0;
    if (g_catalogText.isEmpty())
        return 0;
    g_catalogCount = 0;
    g_catalogBytes = 0;
    m_eCatalogEnd = CatalogEnd::Unreadable;

    const QStringView text(g_catalogText);
    const qsizetype quote = text.indexOf(u'"');
    // The figures end one character (the comma) before the first entry.
    const QStringView memory = quote < 0 ? text : text.first(std::max<qsizetype>(quote - 1, 0));
    double used = 0.0;
    double freeBytes = 0.0;
    if (!ScanRealPair(memory, used, freeBytes)) {
        EndCatalog();
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

    g_catalogPos = quote < 0 ? 0 : quote;
    return NextCatalogEntry(first);
}

int CVQComm::NextCatalogEntry(CFileInfo& entry)
{
    // The cursor walks the reply in place; each entry costs only its own length.
    const QStringView text(g_catalogText);
    qsizetype pos = std::clamp<qsizetype>(g_catalogPos, 0, text.size());

    const qsizetype open = text.indexOf(u'"', pos);
    if (open >= 0)
        pos = open + 1;
    const qsizetype close = text.indexOf(u'"', pos);
    if (close < 0) {
        // An entry whose name never ends is a reply cut short, not the end.
        if (open >= 0)
            m_eCatalogEnd = CatalogEnd::CutShort;
        EndCatalog();
        return 0;
    }

    // Assemble "name,type,size" as the entry parser expects it.
    QString assembled = text.sliced(pos, close - pos).toString();
    pos = close + 1;
    const qsizetype typeComma = text.indexOf(u',', pos);
    const qsizetype sizeComma = typeComma < 0 ? -1 : text.indexOf(u',', typeComma + 1);
    if (sizeComma >= 0) {
        assembled += text.sliced(pos, sizeComma + 1 - pos);
        pos = sizeComma + 1;
    }
    const qsizetype endComma = text.indexOf(u',', pos);
    if (endComma >= 0) {
        assembled += text.sliced(pos, endComma - pos);
        pos = endComma + 1;
    } else {
        assembled += text.sliced(pos);
        pos = text.size();
    }
    g_catalogPos = pos;

    CFileInfo info = ParseCatalogEntry(assembled);
    if (!info.IsValid()) {
        // The listing ends at an entry it cannot read, even when more follow.
        m_eCatalogEnd = CatalogEnd::CutShort;
        EndCatalog();
        return 0;
    }
    ++g_catalogCount;
    if (!info.IsFolder())
        g_catalogBytes = SaturatingAdd(g_catalogBytes, info.GetSize());
    entry = std::move(info);
    return 1;
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

CFileInfo CVQComm::ParseCatalogEntry(QStringView text)
{
    const qsizetype nameEnd = text.indexOf(u',');
    if (nameEnd <= 0)
        return CFileInfo();
    QStringView name = text.first(nameEnd);
    int isFolder = 0;
    const qsizetype slash = name.indexOf(u'/');
    if (slash >= 0) {
        name = name.first(slash);
        isFolder = 1;
        // "/" alone would make an entry without a name, whose path is its folder's.
        if (name.isEmpty())
            return CFileInfo();
    }
    // Bytes a broken reply puts after a name's closing quote join the name;
    // a quote or a control character there makes a name no command can carry.
    for (const QChar c : name) {
        if (c == u'"' || c.unicode() < 0x20)
            return CFileInfo();
    }
    // After the type field: "," then the size, which must be a byte count
    // and nothing else: "0x64" read as 0 would fetch an empty file.
    const qsizetype sizeComma = text.indexOf(u',', nameEnd + 1);
    if (sizeComma < 0)
        return CFileInfo();
    qint64 size = 0;
    if (!ScanCount(text.sliced(sizeComma + 1), size))
        return CFileInfo();
    return CFileInfo(name.toString(), size, quint32(0), isFolder);
}

QString CVQComm::QueryCatalogText(const QString& path)
{
    QString reply;
    RetryLostRead([&] {
        reply = QueryCatalogTextOnce(path);
        return reply.isEmpty() ? 0 : 1;
    });
    return reply;
}

QString CVQComm::QueryCatalogTextOnce(const QString& path)
{
    CWaitCursor wait(LinkHost());
    const QString quoted = QuotedPath(path);
    if (quoted.isEmpty())
        return QString();
    if (!SendCommand(u"mmem:cdir "_s + quoted))
        return QString();
    if (!SendCommand(u"mmem:cat?"_s))
        return QString();
    return ReadReply();
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
