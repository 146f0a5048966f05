#include "res/drawing.h"
#include "res/iconnames.h"
#include "res/icons.h"

#include <QDirIterator>
#include <QImage>
#include <QPainter>
#include <QSet>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QImage render(const CDrawing& drawing, int side)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    drawing.Render(&painter, QRectF(0, 0, side, side));
    return image;
}

} // namespace

class TestIcons : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void drawing_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("grid");
        for (const auto& set : ALL_ICONS) {
            const std::array<std::pair<QStringView, int>, 3> files{
                {{set.m_strMain, 32}, {set.m_strPx16, 16}, {set.m_strPx24, 24}}};
            for (const auto& [path, grid] : files)
                if (!path.isEmpty())
                    QTest::newRow(qPrintable(path.toString())) << path.toString() << grid;
        }
    }

    // Every indexed drawing is in the resources, parses, is drawn on the grid
    // it is indexed for, and shows a real picture at every size.
    void drawing()
    {
        QFETCH(QString, path);
        QFETCH(int, grid);
        QVERIFY(QFile::exists(path));
        const CDrawing drawing(path);
        QVERIFY(drawing.IsValid());
        QCOMPARE(drawing.ViewBox(), QRectF(0, 0, grid, grid));
        for (const int side : {16, 32, 64}) {
            const QImage image = render(drawing, side);
            int opaque = 0;
            QSet<QRgb> colours;
            for (int y = 0; y < side; ++y)
                for (int x = 0; x < side; ++x) {
                    const QRgb p = image.pixel(x, y);
                    opaque += qAlpha(p) > 128;
                    colours.insert(p);
                }
            QVERIFY2(opaque >= side * side / 10,
                     qPrintable(u"%1 px: only %2 opaque pixels"_s.arg(side).arg(opaque)));
            QVERIFY2(colours.size() > 1, qPrintable(u"%1 px: flat"_s.arg(side)));
        }
    }

    // Nothing in the icon resources is left out of the index (a drawing is a
    // folder of pictures in a build without Svg).
    void noOrphanFiles()
    {
        QSet<QString> indexed;
        for (const auto& set : ALL_ICONS)
            for (QStringView path : {set.m_strMain, set.m_strPx16, set.m_strPx24})
                if (!path.isEmpty())
                    indexed.insert(path.toString());
        QDirIterator it(u":/icons"_s, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
        int files = 0;
        while (it.hasNext()) {
            const QString file = it.next();
            QVERIFY2(indexed.contains(file), qPrintable(file));
            ++files;
        }
        QCOMPARE(files, indexed.size());
    }

    void fileForSize_data()
    {
        QTest::addColumn<int>("which"); // 0 all three drawings, 1 main and 16, 2 main only
        QTest::addColumn<int>("pixels");
        QTest::addColumn<QString>("expected");
        QTest::newRow("three, 16") << 0 << 16 << u":/icons/view_list_16.svg"_s;
        QTest::newRow("three, 24") << 0 << 24 << u":/icons/view_list_24.svg"_s;
        QTest::newRow("three, 32") << 0 << 32 << u":/icons/view_list.svg"_s;
        QTest::newRow("three, 48 (24 at 2x)") << 0 << 48 << u":/icons/view_list_24.svg"_s;
        QTest::newRow("three, 20 (shrink)") << 0 << 20 << u":/icons/view_list_24.svg"_s;
        QTest::newRow("three, 12") << 0 << 12 << u":/icons/view_list_16.svg"_s;
        QTest::newRow("three, 128") << 0 << 128 << u":/icons/view_list.svg"_s;
        QTest::newRow("two, 24") << 1 << 24 << u":/icons/generator.svg"_s;
        QTest::newRow("two, 48") << 1 << 48 << u":/icons/generator.svg"_s;
        QTest::newRow("two, 16") << 1 << 16 << u":/icons/generator_16.svg"_s;
        QTest::newRow("main only, 16") << 2 << 16 << u":/icons/page.svg"_s;
    }

    void fileForSize()
    {
        QFETCH(int, which);
        QFETCH(int, pixels);
        QFETCH(QString, expected);
        const std::array sets{ICON_VIEW_LIST, ICON_GENERATOR, ICON_PAGE};
        QCOMPARE(IconFileFor(sets[std::size_t(which)], pixels), expected);
    }

    void pixmapScale_data()
    {
        QTest::addColumn<int>("side");
        QTest::addColumn<qreal>("ratio");
        QTest::newRow("16") << 16 << 1.0;
        QTest::newRow("16 at 2x") << 16 << 2.0;
        QTest::newRow("24 at 1.5x") << 24 << 1.5;
    }

    // High-DPI pixmaps have device-sized pixels and carry the ratio.
    void pixmapScale()
    {
        QFETCH(int, side);
        QFETCH(qreal, ratio);
        const QIcon icon = MakeIcon(ICON_FOLDER_CLOSED);
        const QPixmap pm = icon.pixmap(QSize(side, side), ratio);
        QCOMPARE(pm.size(), QSize(qRound(side * ratio), qRound(side * ratio)));
        QCOMPARE(pm.devicePixelRatio(), ratio);
    }

    void disabledDiffers()
    {
        const QIcon icon = MakeIcon(ICON_FOLDER_CLOSED);
        const QImage normal = icon.pixmap(32, QIcon::Normal).toImage();
        const QImage disabled = icon.pixmap(32, QIcon::Disabled).toImage();
        QCOMPARE(disabled.size(), normal.size());
        QVERIFY(disabled != normal);
    }
};

QTEST_MAIN(TestIcons)
#include "tst_icons.moc"
