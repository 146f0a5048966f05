#include "link/pcpath.h"

#include <algorithm>

bool IsRootedPcPath(QStringView path, PcPathStyle style)
{
    return style == PcPathStyle::Windows ? path.contains(u':') : path.startsWith(u'/');
}

qsizetype LastPcSeparator(QStringView path, PcPathStyle style)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return style == PcPathStyle::Windows ? std::max(slash, path.lastIndexOf(u'\\')) : slash;
}
