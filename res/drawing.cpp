#include "res/drawing.h"

#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

QString CDrawing::RenderedWholeName(int width)
{
    return u"size-%1.png"_s.arg(width);
}

QString CDrawing::RenderedElementName(const QString& id)
{
    return u"element-"_s + id + u".png"_s;
}

QStringList CDrawing::TopLevelIds(const QByteArray& svg)
{
    QStringList ids;
    QXmlStreamReader reader(svg);
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            const QString id = reader.attributes().value(u"id"_s).toString();
            if (depth == 2 && !id.isEmpty())
                ids.append(id);
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
        }
    }
    return reader.hasError() ? QStringList() : ids;
}
