#include "blockheader.h"

int BlockHeaderSize(QByteArrayView prefix)
{
    if (prefix.isEmpty())
        return 1;
    if (prefix.front() != '#')
        return -1;
    if (prefix.size() == 1)
        return 2;
    const char digit = prefix.at(1);
    if (digit < '0' || digit > '9')
        return -1;
    return 2 + (digit - '0');
}
