#include "link/catalogreply.h"

#include "link/realscan.h"

#include <cstring>

namespace {

// Where `c` stands in [from, end), or -1.
qsizetype Find(QByteArrayView text, char c, qsizetype from, qsizetype end)
{
    if (from >= end)
        return -1;
    const void* at = std::memchr(text.data() + from, c, size_t(end - from));
    return at ? static_cast<const char*>(at) - text.data() : -1;
}

bool IsControl(char c)
{
    return uchar(c) < 0x20;
}

} // namespace

bool ReadCatalogFigures(QByteArrayView reply, double& used, double& freeBytes, qsizetype& pos)
{
    qsizetype at = 0;
    double first = 0.0;
    double second = 0.0;
    if (!ScanReal(reply, at, first) || at >= reply.size() || reply[at] != ',')
        return false;
    ++at;
    if (!ScanReal(reply, at, second))
        return false;
    used = first;
    freeBytes = second;
    pos = at;
    return true;
}

CatalogStep ReadCatalogEntry(QByteArrayView reply, qsizetype& pos, CFileInfo& entry)
{
    const qsizetype n = reply.size();
    const qsizetype at = pos;
    if (at >= n || reply[at] != ',') {
        qsizetype rest = at;
        while (rest < n && IsScanBlank(reply[rest]))
            ++rest;
        if (rest < n)
            return CatalogStep::NotAnEntry;
        pos = n;
        return CatalogStep::End;
    }
    if (at + 1 >= n || reply[at + 1] != '"')
        return CatalogStep::NotAnEntry;

    const qsizetype nameStart = at + 2;
    const qsizetype nameEnd = Find(reply, '"', nameStart, n);
    if (nameEnd <= nameStart || nameEnd + 1 >= n || reply[nameEnd + 1] != ',')
        return CatalogStep::NotAnEntry;
    qsizetype nameLength = nameEnd - nameStart;
    int isFolder = 0;
    for (qsizetype i = nameStart; i < nameEnd; ++i) {
        const char c = reply[i];
        if (c == ',' || IsControl(c))
            return CatalogStep::NotAnEntry;
        if (c == '/' && !isFolder) {
            nameLength = i - nameStart;
            isFolder = 1;
        }
    }
    // "/" alone would make an entry without a name, whose path is its folder's.
    if (nameLength == 0)
        return CatalogStep::NotAnEntry;

    const qsizetype typeStart = nameEnd + 2;
    const qsizetype typeEnd = Find(reply, ',', typeStart, n);
    if (typeEnd < 0)
        return CatalogStep::NotAnEntry;
    for (qsizetype i = typeStart; i < typeEnd; ++i) {
        if (reply[i] == '"' || IsControl(reply[i]))
            return CatalogStep::NotAnEntry;
    }
    const qsizetype sizeStart = typeEnd + 1;
    qsizetype sizeEnd = Find(reply, ',', sizeStart, n);
    if (sizeEnd < 0)
        sizeEnd = n;
    qint64 size = 0;
    if (!ScanCount(reply.sliced(sizeStart, sizeEnd - sizeStart), size))
        return CatalogStep::NotAnEntry;

    entry = CFileInfo(QString::fromLatin1(reply.sliced(nameStart, nameLength)), size, quint32(0), isFolder);
    pos = sizeEnd;
    return CatalogStep::Entry;
}
