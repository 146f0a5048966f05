#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

// SHA-256 of files, as a sync's record and a backup's manifest keep them.
class CFileHash final
{
public:
    // The SHA-256 (32 bytes) of a PC file's bytes; empty, with the reason in
    // `error`, when it cannot be read whole.
    static QByteArray OfFile(const QString& path, QString* error = nullptr);
    // The same of what a device gives up to its end.
    static QByteArray OfDevice(QIODevice& device, QString* error = nullptr);
    // 64 lower-case hex digits; empty for an empty hash.
    static QString Hex(const QByteArray& sha256);
    // The hash that Hex wrote; empty when `hex` is not 64 hex digits.
    static QByteArray FromHex(const QString& hex);
    // True when both files can be read and hold the same bytes.
    static bool SameContent(const QString& one, const QString& two);
};
