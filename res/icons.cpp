#include "res/icons.h"

#include "res/drawing.h"

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>

#include <array>

using namespace Qt::StringLiterals;

namespace {

struct CGridDrawing
{
    QStringView m_strPath;
    int m_nGrid;
};

std::array<CGridDrawing, 3> Drawings(const CIconSet& set)
{
    return {CGridDrawing{set.m_strPx16, 16}, CGridDrawing{set.m_strPx24, 24},
            CGridDrawing{set.m_strMain, 32}};
}

// Disabled look: grey, half transparent.
void MakeDisabled(QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            const int a = qAlpha(p) / 2;
            const int g = qGray(p) / 2; // premultiplied: grey scales with alpha
            line[x] = qRgba(g, g, g, a);
        }
    }
}

class CDrawingSetEngine final : public QIconEngine
{
public:
    explicit CDrawingSetEngine(const CIconSet& set) : m_set(set) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap pm = pixmap(rect.size() * dpr, mode, state);
        pm.setDevicePixelRatio(dpr);
        painter->drawPixmap(rect, pm);
    }

    // size is in device pixels: for a high-DPI request QIcon passes the
    // scaled size here and sets the pixmap's ratio itself.
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override
    {
        const int side = qMin(size.width(), size.height());
        if (side <= 0)
            return {};
        QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        const CDrawing drawing(IconFileFor(m_set, side));
        QPainter painter(&image);
        drawing.Render(&painter, QRectF(0, 0, side, side));
        painter.end();
        if (mode == QIcon::Disabled)
            MakeDisabled(image);
        return QPixmap::fromImage(image);
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        const int side = qMin(size.width(), size.height());
        return {side, side};
    }

    QString key() const override { return u"vq-drawing-set"_s; }
    QIconEngine* clone() const override { return new CDrawingSetEngine(m_set); }
    QString iconName() override { return m_set.m_strName.toString(); }

private:
    CIconSet m_set;
};

} // namespace

QString IconFileFor(const CIconSet& set, int devicePixels)
{
    const auto all = Drawings(set);
    const CGridDrawing* pick = nullptr;
    for (const CGridDrawing& d : all) // grids ascend, so the last match is the largest
        if (!d.m_strPath.isEmpty() && devicePixels % d.m_nGrid == 0 && devicePixels / d.m_nGrid <= 2)
            pick = &d;
    if (!pick)
        for (const CGridDrawing& d : all)
            if (!d.m_strPath.isEmpty() && d.m_nGrid >= devicePixels) {
                pick = &d;
                break;
            }
    if (!pick)
        pick = &all.back();
    return pick->m_strPath.toString();
}

QIcon MakeIcon(const CIconSet& set)
{
    return QIcon(new CDrawingSetEngine(set));
}
