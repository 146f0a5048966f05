#pragma once

#include "res/iconnames.h"

#include <QIcon>

// An icon whose drawings are rendered once, at the small and the large list
// sizes and the screen's pixel ratio, so that painting thousands of rows
// never renders a drawing again.
QIcon CachedIcon(const CIconSet& set);
