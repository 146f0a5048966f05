#pragma once

#include "console/console.h"

#include <QIODevice>

// Standard output or error as a device. Opened with QIODevice::Text, what is
// written is UTF-8 text: a console shows its characters, a pipe or a file
// gets the bytes (on Windows with CR LF line ends, as Qt's text mode makes
// them). Without Text the bytes go as they are everywhere (a file's content).
class CConsoleStream final : public QIODevice
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CConsoleStream)

public:
    explicit CConsoleStream(CConsole::Stream stream, QObject* parent = nullptr);
    ~CConsoleStream() override;

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    CConsole::Stream m_eStream;
};
