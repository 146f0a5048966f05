#include "res/drawing.h"

#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QMap>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace {

// The rectangle a rendered picture shows, in the drawing's units.
QRectF RectOf(const QString& file)
{
    const QStringList parts = QImageReader(file).text(CDrawing::RECT_KEY).split(u' ');
    if (parts.size() != 4)
        return {};
    std::array<double, 4> values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        bool ok = false;
        values[i] = parts.at(qsizetype(i)).toDouble(&ok);
        if (!ok)
            return {};
    }
    return {values[0], values[1], values[2], values[3]};
}

void Draw(QPainter* painter, const QString& file, const QRectF& target)
{
    const QImage image(file);
    if (image.isNull())
        return;
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawImage(target, image);
    painter->restore();
}

} // namespace

struct CDrawing::CImpl
{
    QRectF m_viewBox;
    QMap<int, QString> m_wholeByWidth;
    QMap<QString, std::pair<QString, QRectF>> m_elements; // file and bounds by id
};

CDrawing::CDrawing() = default;

CDrawing::CDrawing(const QString& path)
{
    Load(path);
}

CDrawing::~CDrawing() = default;

bool CDrawing::Load(const QString& path)
{
    m_pImpl.reset();
    const QDir folder(path);
    auto impl = std::make_unique<CImpl>();
    for (const int width : RENDERED_WIDTHS) {
        const QString file = folder.filePath(RenderedWholeName(width));
        if (QFile::exists(file))
            impl->m_wholeByWidth.insert(width, file);
    }
    if (impl->m_wholeByWidth.isEmpty())
        return false;
    impl->m_viewBox = RectOf(impl->m_wholeByWidth.first());
    if (impl->m_viewBox.isEmpty())
        return false;
    const QString prefix = RenderedElementName(QString()).chopped(4);
    for (const QString& name : folder.entryList({prefix + u"*.png"_s}, QDir::Files)) {
        const QString file = folder.filePath(name);
        impl->m_elements.insert(name.mid(prefix.size()).chopped(4), {file, RectOf(file)});
    }
    m_pImpl = std::move(impl);
    return true;
}

bool CDrawing::IsValid() const
{
    return m_pImpl != nullptr;
}

QRectF CDrawing::ViewBox() const
{
    return m_pImpl ? m_pImpl->m_viewBox : QRectF();
}

bool CDrawing::HasElement(const QString& id) const
{
    return m_pImpl && m_pImpl->m_elements.contains(id);
}

QRectF CDrawing::BoundsOf(const QString& id) const
{
    return HasElement(id) ? m_pImpl->m_elements.value(id).second : QRectF();
}

void CDrawing::Render(QPainter* painter, const QRectF& target) const
{
    if (!m_pImpl)
        return;
    // The picture made for the width drawn at, or else the next larger one.
    const qreal pixels = painter->deviceTransform().mapRect(target).width();
    auto pick = m_pImpl->m_wholeByWidth.lowerBound(qCeil(pixels - 0.01));
    if (pick == m_pImpl->m_wholeByWidth.end())
        --pick;
    Draw(painter, pick.value(), target);
}

void CDrawing::Render(QPainter* painter, const QString& id, const QRectF& target) const
{
    if (HasElement(id))
        Draw(painter, m_pImpl->m_elements.value(id).first, target);
}
