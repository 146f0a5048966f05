#include "link/downloadfile.h"

#include "link/pcpath.h"

int CDownloadFile::SetPath(const QString& path)
{
    m_localPath = path;
    const qsizetype sep = LastPcSeparator(path);
    // A name needs a folder part before it.
    if (sep <= 0)
        return 0;
    m_fileName = path.mid(sep + 1);
    return 1;
}
