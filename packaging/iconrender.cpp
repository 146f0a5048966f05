// vq-icon-render: writes the application icon at given pixel sizes, from the
// drawings the program itself shows (MakeIcon), so installed icons cannot drift
// from the window's. Not installed; the build runs it.
//
//   vq-icon-render FILE.png SIZE            one PNG
//   vq-icon-render FILE.ico SIZE [SIZE...]  one Windows icon holding every size

#include "icons.h"

#include <QBuffer>
#include <QDataStream>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QList>
#include <QPixmap>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

QByteArray PngOf(int side)
{
    const QImage image = MakeIcon(ICON_APP).pixmap(QSize(side, side)).toImage();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (image.width() != side || !image.save(&buffer, "PNG"))
        return {};
    return png;
}

// An icon file whose images are PNG streams, which Windows reads since Vista:
// a 6-byte header, a 16-byte entry per image, then the images.
QByteArray IcoOf(const QList<int>& sides)
{
    QList<QByteArray> images;
    for (const int side : sides) {
        images.append(PngOf(side));
        if (images.last().isEmpty())
            return {};
    }
    QByteArray ico;
    QDataStream out(&ico, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(images.size());
    quint32 offset = 6 + 16 * quint32(images.size());
    for (qsizetype i = 0; i < images.size(); ++i) {
        const quint8 side = sides[i] >= 256 ? 0 : quint8(sides[i]); // 0 stands for 256
        out << side << side << quint8(0) << quint8(0) << quint16(1) << quint16(32)
            << quint32(images[i].size()) << offset;
        offset += quint32(images[i].size());
    }
    for (const QByteArray& image : images)
        out.writeRawData(image.constData(), int(image.size()));
    return ico;
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    QList<int> sides;
    for (const QString& argument : arguments.mid(1)) {
        bool ok = false;
        const int side = argument.toInt(&ok);
        if (!ok || side < 1 || side > 256) {
            std::fprintf(stderr, "vq-icon-render: not a size from 1 to 256: %s\n", qPrintable(argument));
            return 2;
        }
        sides.append(side);
    }
    const QString target = arguments.value(0);
    const bool ico = target.endsWith(u".ico"_s, Qt::CaseInsensitive);
    if (target.isEmpty() || sides.isEmpty() || (!ico && sides.size() != 1)) {
        std::fputs("usage: vq-icon-render FILE.png SIZE | FILE.ico SIZE...\n", stderr);
        return 2;
    }

    const QByteArray data = ico ? IcoOf(sides) : PngOf(sides.first());
    QFile file(target);
    if (data.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(data) != data.size() ||
        !file.flush()) {
        std::fprintf(stderr, "vq-icon-render: cannot write %s\n", qPrintable(target));
        file.remove();
        return 1;
    }
    return 0;
}
