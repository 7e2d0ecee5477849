#pragma once

class QApplication;
class QIcon;
class QString;

// The console's flat look: Qt's Fusion style, a light palette and a short style sheet for the
// tool bars, buttons and status bar. Call once, before the first window is made.
void ApplyFlatLook(QApplication& app);

// The program's icon, drawn in code: the letters "RZ" on a rounded square.
QIcon RzAppIcon();

// A small tool-bar icon drawn in code: `glyph` (one or two characters) on the look's button face.
QIcon GlyphIcon(const QString& glyph);
