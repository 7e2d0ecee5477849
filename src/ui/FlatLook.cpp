#include "ui/FlatLook.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QStyle>
#include <QStyleFactory>

namespace {

constexpr QRgb kWindow = 0xF3F3F3;
constexpr QRgb kBase = 0xFFFFFF;
constexpr QRgb kText = 0x1E1E1E;
constexpr QRgb kHighlight = 0x3874C8;
constexpr QRgb kButton = 0xECECEC;
constexpr QRgb kDisabledText = 0x9A9A9A;

// Tool buttons without frames until hovered, a thin line between the bars and the status bar.
constexpr const char* kStyleSheet = R"(
QToolBar { border: none; spacing: 2px; padding: 1px; }
QToolButton { border: 1px solid transparent; border-radius: 2px; padding: 2px; }
QToolButton:hover { border-color: #9cb7dd; background: #dde8f6; }
QToolButton:pressed, QToolButton:checked { border-color: #3874c8; background: #c4d7f1; }
QStatusBar { border-top: 1px solid #d0d0d0; }
QStatusBar::item { border: none; }
QStatusBar QLabel { padding: 0 4px; }
)";

QPixmap Canvas(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

}  // namespace

void ApplyFlatLook(QApplication& app) {
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette palette = app.style()->standardPalette();
    palette.setColor(QPalette::Window, QColor(kWindow));
    palette.setColor(QPalette::Base, QColor(kBase));
    palette.setColor(QPalette::AlternateBase, QColor(kWindow));
    palette.setColor(QPalette::Button, QColor(kButton));
    palette.setColor(QPalette::WindowText, QColor(kText));
    palette.setColor(QPalette::Text, QColor(kText));
    palette.setColor(QPalette::ButtonText, QColor(kText));
    palette.setColor(QPalette::Highlight, QColor(kHighlight));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::ToolTipBase, QColor(0xFFFFE1));
    palette.setColor(QPalette::ToolTipText, QColor(kText));
    // setColor above set every group; disabled controls must still look disabled.
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, QColor(kDisabledText));
    }
    app.setPalette(palette);
    app.setStyleSheet(QString::fromLatin1(kStyleSheet));
    app.setWindowIcon(RzAppIcon());
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
    QIcon icon;
    for (int size : {16, 24}) {
        QPixmap pixmap = Canvas(size);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        QFont font;
        font.setBold(true);
        font.setPixelSize(glyph.size() > 1 ? size / 2 : size * 3 / 4);
        painter.setFont(font);
        painter.setPen(QColor(kHighlight).darker(130));
        painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, glyph);
        icon.addPixmap(pixmap);
    }
    return icon;
}
