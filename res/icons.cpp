#include "icons.h"

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include <array>

using namespace Qt::StringLiterals;

namespace vq {

namespace {

struct Drawing
{
    QStringView path;
    int grid;
};

std::array<Drawing, 3> drawings(const icons::IconSet &set)
{
    return {Drawing{set.px16, 16}, Drawing{set.px24, 24}, Drawing{set.main, 32}};
}

// Disabled look: grey, half transparent.
void makeDisabled(QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            const int a = qAlpha(p) / 2;
            const int g = qGray(p) / 2;   // premultiplied: grey scales with alpha
            line[x] = qRgba(g, g, g, a);
        }
    }
}

class SvgSetEngine final : public QIconEngine
{
public:
    explicit SvgSetEngine(const icons::IconSet &set) : m_set(set) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap pm = pixmap(rect.size() * dpr, mode, state);
        pm.setDevicePixelRatio(dpr);
        painter->drawPixmap(rect, pm);
    }

    // size is in device pixels: for a high-DPI request QIcon passes the
    // scaled size here and sets the pixmap's ratio itself.
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State) override
    {
        const int side = qMin(size.width(), size.height());
        if (side <= 0)
            return {};
        QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QSvgRenderer renderer(iconFileFor(m_set, side));
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        if (mode == QIcon::Disabled)
            makeDisabled(image);
        return QPixmap::fromImage(image);
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        const int side = qMin(size.width(), size.height());
        return {side, side};
    }

    QString key() const override { return u"vq-svg-set"_s; }
    QIconEngine *clone() const override { return new SvgSetEngine(m_set); }
    QString iconName() override { return m_set.name.toString(); }

private:
    icons::IconSet m_set;
};

} // namespace

QString iconFileFor(const icons::IconSet &set, int devicePixels)
{
    const auto all = drawings(set);
    const Drawing *pick = nullptr;
    for (const Drawing &d : all)   // grids ascend, so the last match is the largest
        if (!d.path.isEmpty() && devicePixels % d.grid == 0 && devicePixels / d.grid <= 2)
            pick = &d;
    if (!pick)
        for (const Drawing &d : all)
            if (!d.path.isEmpty() && d.grid >= devicePixels) {
                pick = &d;
                break;
            }
    if (!pick)
        pick = &all.back();
    return pick->path.toString();
}

QIcon icon(const icons::IconSet &set)
{
    return QIcon(new SvgSetEngine(set));
}

} // namespace vq
