#include "console/consolestream.h"

CConsoleStream::CConsoleStream(CConsole::Stream stream, QObject* parent)
    : QIODevice(parent), m_eStream(stream)
{
}

CConsoleStream::~CConsoleStream() = default;

qint64 CConsoleStream::readData(char* data, qint64 maxSize)
{
    Q_UNUSED(data);
    Q_UNUSED(maxSize);
    return -1;
}

qint64 CConsoleStream::writeData(const char* data, qint64 size)
{
    return CConsole::Write(m_eStream, QByteArrayView(data, size), isTextModeEnabled()) ? size : -1;
}
