#include "sync/syncroom.h"

#include "link/vqcomm.h"

#include <algorithm>

using namespace Qt::StringLiterals;

qint64 CSyncRoom::Needed(const QList<CWrite>& writes, qint64 freed)
{
    qint64 grown = 0; // what the writes before this one added in all
    qint64 peak = 0;
    for (const CWrite& write : writes) {
        peak = std::max(peak, grown + write.m_nSize);
        grown += write.m_nSize - write.m_nReplaced;
    }
    return std::max<qint64>(peak - freed, 0);
}

QString CSyncRoom::Text(qint64 needed, double freeBytes)
{
    return u"needs %1, %2 free"_s.arg(CVQComm::FormatSize(double(needed)), CVQComm::FormatSize(freeBytes));
}
