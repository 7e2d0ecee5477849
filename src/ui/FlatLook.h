#pragma once

#include <QString>

class QApplication;
class QColor;
class QIcon;
class QPalette;

// What decides the console's look at start and when the user switches View > Dark look.
struct LookRequest {
    QString commandLineStyle;  // -style NAME on the command line
    QString environmentStyle;  // QT_STYLE_OVERRIDE
    bool desktopDark = false;  // the desktop's palette (from the platform theme) is dark
    bool dark = false;         // the user chose the dark look
};

// The look to apply: the console's flat look (Qt's Fusion style with a short style sheet for the
// tool bars, buttons and status bar) or the style Qt chose, with one of three palettes.
struct Look {
    enum class Colours { kDesktop, kLight, kDark };
    bool flat = true;
    Colours colours = Colours::kLight;
    bool operator==(const Look&) const = default;
};

// A user who asked for a style (on the command line or in the environment) or whose desktop is
// dark keeps the desktop's style and palette; otherwise the console shows its own light flat
// look. The dark look the user chose is the console's dark palette: on the flat look, or on the
// style the user asked for.
Look LookFor(const LookRequest& request);

// Dark: the window's colour is darker than its text.
bool IsDarkPalette(const QPalette& palette);

// Applies `look` to the application and its windows, at start or at any time later. The first
// call notes the desktop's style and palette, which Colours::kDesktop and a look that is not
// flat return to.
void ApplyLook(QApplication& app, const Look& look);

// The light flat look. Call once, before the first window is made.
void ApplyFlatLook(QApplication& app);

// The program's icon, drawn in code: the letters "RZ" on a rounded square.
QIcon RzAppIcon();

// The colour that marks an alarm (with white text on it), the same in every look.
QColor AlarmColour();

// A small tool-bar icon drawn in code: `glyph` (one or two characters) in the highlight colour of
// the look in force when it is painted.
QIcon GlyphIcon(const QString& glyph);
