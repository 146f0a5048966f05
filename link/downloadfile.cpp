#include "downloadfile.h"

#include <algorithm>

int CDownloadFile::SetPath(const QString& path)
{
    m_localPath = path;
    // Qt hands out "/" paths on Windows too, where "\\" is the system's own.
#ifdef Q_OS_WIN
    const qsizetype sep = std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
#else
    const qsizetype sep = path.lastIndexOf(u'/');
#endif
    // A name needs a folder part before it.
    if (sep <= 0)
        return 0;
    m_fileName = path.mid(sep + 1);
    return 1;
}
