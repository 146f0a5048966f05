// vq-icon-render: writes the application icon at given pixel sizes, from the
// drawings the program itself shows (MakeIcon), so installed icons cannot drift
// from the window's; and, for a build whose Qt has no Svg module, the pictures
// that stand in for the drawings (res/drawing.h). Not installed; builds run it.
//
//   vq-icon-render FILE.png SIZE            one PNG
//   vq-icon-render FILE.ico SIZE [SIZE...]  one Windows icon holding every size
//   vq-icon-render --drawings IN.qrc OUT.qrc
//       the pictures of every SVG drawing of IN.qrc, beside OUT.qrc, which
//       lists them under the drawings' own resource paths (and the other files
//       of IN.qrc as they are)

#include "res/drawing.h"
#include "res/icons.h"

#include <QBuffer>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QPixmap>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

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

QString RectText(const QRectF& rect)
{
    return u"%1 %2 %3 %4"_s.arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
}

bool SavePicture(const CDrawing& drawing, const QString& id, QSize size, const QRectF& shows,
                 const QString& file)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    if (id.isEmpty())
        drawing.Render(&painter, QRectF(QPointF(), size));
    else
        drawing.Render(&painter, id, QRectF(QPointF(), size));
    painter.end();
    image.setText(CDrawing::RECT_KEY, RectText(shows));
    return QDir().mkpath(QFileInfo(file).path()) && image.save(file, "PNG");
}

// The pictures of one drawing under `folder`: their names relative to it.
QStringList SavePictures(const QString& svgFile, const QString& folder)
{
    QFile file(svgFile);
    const CDrawing drawing(svgFile);
    const QRectF box = drawing.ViewBox();
    if (!drawing.IsValid() || box.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    QStringList names;
    for (const int width : CDrawing::RENDERED_WIDTHS) {
        const QSize size(width, qMax(1, qRound(width * box.height() / box.width())));
        names.append(CDrawing::RenderedWholeName(width));
        if (!SavePicture(drawing, {}, size, box, folder + u'/' + names.last()))
            return {};
    }
    for (const QString& id : CDrawing::TopLevelIds(file.readAll())) {
        const QRectF bounds = drawing.BoundsOf(id);
        const QSize size = (bounds.size() * CDrawing::RENDERED_ELEMENT_SCALE).toSize().expandedTo({1, 1});
        names.append(CDrawing::RenderedElementName(id));
        if (!SavePicture(drawing, id, size, bounds, folder + u'/' + names.last()))
            return {};
    }
    return names;
}

// The --drawings form: false, with a message, when anything fails.
bool RenderDrawings(const QString& inQrc, const QString& outQrc)
{
    QFile in(inQrc);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "vq-icon-render: cannot read %s\n", qPrintable(inQrc));
        return false;
    }
    const QDir inDir = QFileInfo(inQrc).absoluteDir();
    const QDir outDir = QFileInfo(outQrc).absoluteDir();
    QByteArray out;
    QXmlStreamWriter writer(&out);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    writer.writeStartElement(u"RCC"_s);
    QXmlStreamReader reader(&in);
    QString prefix; // of the resources being read, with no "/" at either end
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isEndElement() && reader.name() == u"qresource") {
            writer.writeEndElement();
            continue;
        }
        if (!reader.isStartElement())
            continue;
        if (reader.name() == u"qresource") {
            const QString given = reader.attributes().value(u"prefix"_s).toString();
            prefix = QDir::cleanPath(u'/' + given).mid(1);
            writer.writeStartElement(u"qresource"_s);
            writer.writeAttribute(u"prefix"_s, u'/' + prefix);
            continue;
        }
        if (reader.name() != u"file")
            continue;
        const QString alias = reader.attributes().value(u"alias"_s).toString();
        const QString source = inDir.absoluteFilePath(reader.readElementText().trimmed());
        const QString name = alias.isEmpty() ? QFileInfo(source).fileName() : alias;
        if (!name.endsWith(u".svg"_s, Qt::CaseInsensitive)) {
            writer.writeStartElement(u"file"_s);
            writer.writeAttribute(u"alias"_s, name);
            writer.writeCharacters(source);
            writer.writeEndElement();
            continue;
        }
        const QString folder = prefix.isEmpty() ? name : prefix + u'/' + name;
        const QStringList pictures = SavePictures(source, outDir.filePath(folder));
        if (pictures.isEmpty()) {
            std::fprintf(stderr, "vq-icon-render: cannot render %s\n", qPrintable(source));
            return false;
        }
        for (const QString& picture : pictures) {
            writer.writeStartElement(u"file"_s);
            writer.writeAttribute(u"alias"_s, name + u'/' + picture);
            writer.writeCharacters(folder + u'/' + picture);
            writer.writeEndElement();
        }
    }
    writer.writeEndDocument();
    if (reader.hasError()) {
        std::fprintf(stderr, "vq-icon-render: %s: %s\n", qPrintable(inQrc), qPrintable(reader.errorString()));
        return false;
    }
    QFile file(outQrc);
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size() || !file.flush()) {
        std::fprintf(stderr, "vq-icon-render: cannot write %s\n", qPrintable(outQrc));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.value(0) == u"--drawings"_s) {
        if (arguments.size() != 3) {
            std::fputs("usage: vq-icon-render --drawings IN.qrc OUT.qrc\n", stderr);
            return 2;
        }
        return RenderDrawings(arguments.at(1), arguments.at(2)) ? 0 : 1;
    }
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
