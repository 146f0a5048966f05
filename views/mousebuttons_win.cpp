#include "views/mousebuttons.h"

#include <windows.h>

#include <initializer_list>

bool MouseButtonHeld()
{
    // The physical buttons: the drag's loop (DoDragDrop) takes the release
    // before Qt sees it.
    for (const int button : {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON}) {
        if (GetAsyncKeyState(button) & 0x8000)
            return true;
    }
    return false;
}
