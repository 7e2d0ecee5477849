#pragma once

#include <QRect>

// `window` (a frame rectangle, title bar and borders included) brought within `area`, a screen's
// available geometry: no larger than the area, and moved only as far as it takes to lie inside
// it. An empty area (no screen) leaves the window as it is.
QRect FitWithin(const QRect& window, const QRect& area);
