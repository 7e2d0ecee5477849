#pragma once

#include <QLayout>
#include <QSize>

// Pixels of a window laid out in dialog units, with the base units of the console's dialogs:
// 6 x 13 pixels per 4 x 8 units, rounded half up. The panels keep these sizes as their outer
// sizes at the default font; their controls are placed by layouts after the font in use.
constexpr QSize DialogUnitsToPixels(int cx, int cy) {
    return QSize((cx * 6 + 2) / 4, (cy * 13 + 4) / 8);
}

// The panels are narrow: their layouts leave the frames' own room and little more.
constexpr int kPanelSpacing = 2;
inline void TightLayout(QLayout* layout, int margin = 0) {
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(kPanelSpacing);
}
