#include "sync/filehash.h"

#include <QCryptographicHash>
#include <QFile>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kChunk = 1 << 20;
constexpr qsizetype kHashBytes = 32;

} // namespace

QByteArray CFileHash::OfDevice(QIODevice& device, QString* error)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray chunk(kChunk, Qt::Uninitialized);
    for (;;) {
        const qint64 n = device.read(chunk.data(), kChunk);
        if (n < 0) {
            if (error)
                *error = device.errorString();
            return QByteArray();
        }
        if (n == 0)
            break;
        hash.addData(QByteArrayView(chunk.constData(), n));
    }
    return hash.result();
}

QByteArray CFileHash::OfFile(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return QByteArray();
    }
    return OfDevice(file, error);
}

QString CFileHash::Hex(const QByteArray& sha256)
{
    return QString::fromLatin1(sha256.toHex());
}

QByteArray CFileHash::FromHex(const QString& hex)
{
    if (hex.size() != kHashBytes * 2)
        return QByteArray();
    for (const QChar c : hex) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')))
            return QByteArray();
    }
    return QByteArray::fromHex(hex.toLatin1());
}

bool CFileHash::SameContent(const QString& one, const QString& two)
{
    QFile a(one);
    QFile b(two);
    if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly) || a.size() != b.size())
        return false;
    for (;;) {
        const QByteArray chunk = a.read(kChunk);
        const QByteArray other = b.read(kChunk);
        if (chunk != other)
            return false;
        if (chunk.isEmpty())
            return a.atEnd() && b.atEnd();
    }
}
