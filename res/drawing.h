#pragma once
// A drawing of the program's resources (icons, the copy animation), whole or
// one of its named elements. Where the Qt at hand has its Svg module the SVG
// file itself is drawn (drawing_svg.cpp); where it has none, the build puts
// pictures of it in its place, rendered beforehand by vq-icon-render of a
// build that has Svg, and those are drawn (drawing_png.cpp). The resource
// path is the same either way.

#include <QRectF>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>

class QPainter;

class CDrawing final
{
public:
    // Widths in pixels at which a drawing is rendered whole for a build
    // without Svg: every size an icon is drawn at, up to twice the 32 px grid.
    static constexpr std::array RENDERED_WIDTHS{16, 24, 32, 48, 64};
    // Pixels per unit of the drawing at which its elements are rendered.
    static constexpr int RENDERED_ELEMENT_SCALE = 2;
    // The pictures of a drawing for a build without Svg: a folder under the
    // drawing's own path holding these files, each carrying the rectangle it
    // shows, in the drawing's units, as the text RECT_KEY ("x y w h").
    static QString RenderedWholeName(int width);
    static QString RenderedElementName(const QString& id);
    static inline const QString RECT_KEY = QStringLiteral("VQRect");

    CDrawing();
    explicit CDrawing(const QString& path);
    ~CDrawing();
    CDrawing(const CDrawing&) = delete;
    CDrawing& operator=(const CDrawing&) = delete;

    // False when the drawing cannot be read.
    bool Load(const QString& path);
    bool IsValid() const;
    // The drawing's own coordinates.
    QRectF ViewBox() const;
    // Elements named by an id directly under the drawing's root.
    bool HasElement(const QString& id) const;
    QRectF BoundsOf(const QString& id) const;

    void Render(QPainter* painter, const QRectF& target) const;
    void Render(QPainter* painter, const QString& id, const QRectF& target) const;

    // The ids of the elements directly under the root of the SVG text `svg`,
    // in order: what a build without Svg gets pictures of.
    static QStringList TopLevelIds(const QByteArray& svg);

private:
    struct CImpl;
    std::unique_ptr<CImpl> m_pImpl;
};
