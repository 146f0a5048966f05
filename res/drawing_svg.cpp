#include "res/drawing.h"

#include <QFile>
#include <QSvgRenderer>

struct CDrawing::CImpl
{
    QSvgRenderer m_renderer;
    QStringList m_ids;
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
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    auto impl = std::make_unique<CImpl>();
    const QByteArray svg = file.readAll();
    if (!impl->m_renderer.load(svg))
        return false;
    impl->m_ids = TopLevelIds(svg);
    m_pImpl = std::move(impl);
    return true;
}

bool CDrawing::IsValid() const
{
    return m_pImpl != nullptr;
}

QRectF CDrawing::ViewBox() const
{
    return m_pImpl ? m_pImpl->m_renderer.viewBoxF() : QRectF();
}

bool CDrawing::HasElement(const QString& id) const
{
    return m_pImpl && m_pImpl->m_ids.contains(id);
}

QRectF CDrawing::BoundsOf(const QString& id) const
{
    return HasElement(id) ? m_pImpl->m_renderer.boundsOnElement(id) : QRectF();
}

void CDrawing::Render(QPainter* painter, const QRectF& target) const
{
    if (m_pImpl)
        m_pImpl->m_renderer.render(painter, target);
}

void CDrawing::Render(QPainter* painter, const QString& id, const QRectF& target) const
{
    if (HasElement(id))
        m_pImpl->m_renderer.render(painter, id, target);
}
