#include "ui/FlatLook.h"

#include <QApplication>
#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QStyle>
#include <QStyleFactory>
#include <algorithm>
#include <memory>
#include <utility>

namespace {

// One look's colours: the palette's and those of the style sheet.
struct Colours {
    QRgb window;
    QRgb base;
    QRgb text;
    QRgb button;
    QRgb disabledText;
    QRgb toolTip;
    QRgb hoverBorder;  // a tool button under the mouse
    QRgb hoverFace;
    QRgb pressedFace;  // a pressed or checked tool button
    QRgb statusLine;   // the line above the status bar
};

constexpr QRgb kHighlight = 0x3874C8;
constexpr Colours kLight{0xF3F3F3, 0xFFFFFF, 0x1E1E1E, 0xECECEC, 0x9A9A9A,
                         0xFFFFE1, 0x9CB7DD, 0xDDE8F6, 0xC4D7F1, 0xD0D0D0};
constexpr Colours kDark{0x2D2D2D, 0x1F1F1F, 0xE6E6E6, 0x3A3A3A, 0x7A7A7A,
                        0x3A3A3A, 0x5A7FB0, 0x3A4A5E, 0x2F4F78, 0x4A4A4A};

QString Name(QRgb rgb) {
    return QColor(rgb).name();
}

// Tool buttons without frames until hovered, a thin line between the bars and the status bar.
QString StyleSheet(const Colours& c) {
    return QStringLiteral(R"(
QToolBar { border: none; spacing: 2px; padding: 1px; }
QToolButton { border: 1px solid transparent; border-radius: 2px; padding: 2px; }
QToolButton:hover { border-color: %1; background: %2; }
QToolButton:pressed, QToolButton:checked { border-color: %3; background: %4; }
QStatusBar { border-top: 1px solid %5; }
QStatusBar::item { border: none; }
QStatusBar QLabel { padding: 0 4px; }
)")
        .arg(Name(c.hoverBorder), Name(c.hoverFace), Name(kHighlight), Name(c.pressedFace),
             Name(c.statusLine));
}

// `palette` (Fusion's own for the light look) with the look's colours.
QPalette PaletteOf(const Colours& c, QPalette palette) {
    palette.setColor(QPalette::Window, QColor(c.window));
    palette.setColor(QPalette::Base, QColor(c.base));
    palette.setColor(QPalette::AlternateBase, QColor(c.window));
    palette.setColor(QPalette::Button, QColor(c.button));
    palette.setColor(QPalette::WindowText, QColor(c.text));
    palette.setColor(QPalette::Text, QColor(c.text));
    palette.setColor(QPalette::ButtonText, QColor(c.text));
    palette.setColor(QPalette::Highlight, QColor(kHighlight));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::ToolTipBase, QColor(c.toolTip));
    palette.setColor(QPalette::ToolTipText, QColor(c.text));
    // setColor above set every group; disabled controls must still look disabled.
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, QColor(c.disabledText));
    }
    return palette;
}

QPalette DarkPalette() {
    // Bevels and shadows derived from the dark button and window colours.
    QPalette palette = PaletteOf(kDark, QPalette(QColor(kDark.button), QColor(kDark.window)));
    palette.setColor(QPalette::Link, QColor(kHighlight).lighter(150));
    palette.setColor(QPalette::PlaceholderText, QColor(kDark.disabledText));
    return palette;
}

// The desktop's own style and palette, as they were before the console changed anything.
struct DesktopLook {
    bool noted = false;
    QString style;
    QPalette palette;
};

DesktopLook& Desktop() {
    static DesktopLook desktop;
    return desktop;
}

QPixmap Canvas(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// Paints a glyph at any size, in the colours of the palette in force at the time, so that the
// tool bars follow a change of look.
class GlyphEngine : public QIconEngine {
  public:
    explicit GlyphEngine(QString glyph) : glyph_(std::move(glyph)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        const QPalette palette = QGuiApplication::palette();
        QColor colour = IsDarkPalette(palette) ? QColor(kHighlight).lighter(150)
                                               : QColor(kHighlight).darker(130);
        if (mode == QIcon::Disabled) {
            colour = palette.color(QPalette::Disabled, QPalette::ButtonText);
        }
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        QFont font;
        font.setBold(true);
        const int side = std::min(rect.width(), rect.height());
        font.setPixelSize(std::max(1, glyph_.size() > 1 ? side / 2 : side * 3 / 4));
        painter->setFont(font);
        painter->setPen(colour);
        painter->drawText(rect, Qt::AlignCenter, glyph_);
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(), size), mode, state);
        return pixmap;
    }

    QIconEngine* clone() const override { return new GlyphEngine(glyph_); }

  private:
    QString glyph_;
};

}  // namespace

Look LookFor(const LookRequest& request) {
    const bool styleAsked =
        !request.commandLineStyle.isEmpty() || !request.environmentStyle.isEmpty();
    if (request.dark) {
        return {!styleAsked, Look::Colours::kDark};
    }
    if (styleAsked || request.desktopDark) {
        return {false, Look::Colours::kDesktop};
    }
    return {true, Look::Colours::kLight};
}

bool IsDarkPalette(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() <
           palette.color(QPalette::WindowText).lightness();
}

void ApplyLook(QApplication& app, const Look& look) {
    DesktopLook& desktop = Desktop();
    if (!desktop.noted) {
        desktop.noted = true;
        desktop.style = app.style()->name();
        desktop.palette = app.palette();
    }
    const QString style = look.flat ? QStringLiteral("Fusion") : desktop.style;
    if (app.style()->name().compare(style, Qt::CaseInsensitive) != 0) {
        if (QStyle* made = QStyleFactory::create(style)) {
            app.setStyle(made);
        }
    }
    switch (look.colours) {
        case Look::Colours::kDesktop:
            // Untouched, the palette goes on following the desktop's theme.
            if (app.palette() != desktop.palette) {
                app.setPalette(desktop.palette);
            }
            break;
        case Look::Colours::kLight: {
            std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
            app.setPalette(PaletteOf(kLight, fusion->standardPalette()));
            break;
        }
        case Look::Colours::kDark:
            app.setPalette(DarkPalette());
            break;
    }
    const QString sheet =
        look.flat ? StyleSheet(IsDarkPalette(app.palette()) ? kDark : kLight) : QString();
    if (app.styleSheet() != sheet) {
        app.setStyleSheet(sheet);
    }
    app.setWindowIcon(RzAppIcon());
}

void ApplyFlatLook(QApplication& app) {
    ApplyLook(app, LookFor({}));
}

QColor AlarmColour() {
    return {0xC6, 0x28, 0x28};
}

QIcon RzAppIcon() {
    QIcon icon;
    for (int size : {16, 32, 48}) {
        QPixmap pixmap = Canvas(size);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(kHighlight));
        painter.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
        QFont font;
        font.setBold(true);
        font.setPixelSize(size * 9 / 16);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("RZ"));
        icon.addPixmap(pixmap);
    }
    return icon;
}

QIcon GlyphIcon(const QString& glyph) {
    return QIcon(new GlyphEngine(glyph));
}
