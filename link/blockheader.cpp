#include "link/blockheader.h"

int BlockHeaderSize(QByteArrayView prefix)
{
    if (prefix.isEmpty())
        return 1;
    if (prefix.front() != '#')
        return -1;
    if (prefix.size() == 1)
        return 2;
    const char count = prefix.at(1);
    if (count < '1' || count > '9')
        return -1;
    const int size = 2 + (count - '0');
    for (qsizetype i = 2; i < prefix.size() && i < size; ++i) {
        if (prefix.at(i) < '0' || prefix.at(i) > '9')
            return -1;
    }
    return size;
}

qint64 BlockHeaderLength(QByteArrayView header)
{
    if (BlockHeaderSize(header) != header.size())
        return -1;
    qint64 length = 0;
    for (qsizetype i = 2; i < header.size(); ++i)
        length = length * 10 + (header.at(i) - '0');
    return length;
}
