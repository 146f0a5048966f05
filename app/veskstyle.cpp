#include "app/veskstyle.h"

CVeskStyle::CVeskStyle(QStyle* base) : QProxyStyle(base) {}

CVeskStyle::~CVeskStyle() = default;

int CVeskStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                          QStyleHintReturn* returnData) const
{
    if (hint == SH_DialogButtonBox_ButtonsHaveIcons)
        return 0;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}
