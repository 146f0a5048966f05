#include "views/iconcache.h"

#include "res/icons.h"

#include <QGuiApplication>
#include <QScreen>

QIcon CachedIcon(const CIconSet& set)
{
    const QIcon source = MakeIcon(set);
    qreal ratio = 1.0;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        ratio = qMax<qreal>(1.0, screen->devicePixelRatio());
    QIcon icon;
    for (const int side : {16, 32}) {
        icon.addPixmap(source.pixmap(QSize(side, side), 1.0));
        if (ratio > 1.0)
            icon.addPixmap(source.pixmap(QSize(side, side), ratio));
    }
    return icon;
}
