#include "views/mousebuttons.h"

#include <QGuiApplication>

bool MouseButtonHeld()
{
    // The drag of X11 and Wayland lets Qt see the release before the drop.
    return QGuiApplication::mouseButtons() != Qt::NoButton;
}
