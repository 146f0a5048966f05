#pragma once
// Loading the program's icons (see iconnames.h for the index).
//
// A plain QIcon built from one SVG file renders that drawing at every size,
// and QIcon::addFile() keeps only one SVG per mode and state. MakeIcon()
// instead picks, for each requested pixel size, the drawing made for that
// pixel grid, so the 16 px and 24 px variants are really used.

#include "res/iconnames.h"

#include <QIcon>
#include <QString>

// The icon for the given set; renders on demand, any size, any device pixel ratio.
QIcon MakeIcon(const CIconSet& set);

// The resource path of the drawing used for a square of devicePixels pixels:
// a drawing whose grid divides the size at most twice over, the largest such;
// otherwise the smallest drawing not smaller than the size; otherwise the
// largest drawing.
QString IconFileFor(const CIconSet& set, int devicePixels);
