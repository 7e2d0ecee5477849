#pragma once

#include <QSize>

// Pixels of a window laid out in dialog units, with the base units of the console's dialogs:
// 6 x 13 pixels per 4 x 8 units, rounded half up.
constexpr QSize DialogUnitsToPixels(int cx, int cy) {
    return QSize((cx * 6 + 2) / 4, (cy * 13 + 4) / 8);
}
