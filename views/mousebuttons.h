#pragma once

// Whether a mouse button is held down now, as the system knows it: Qt's own
// record stays "pressed" for the whole of a Windows drag, whose loop eats the
// release.
bool MouseButtonHeld();
