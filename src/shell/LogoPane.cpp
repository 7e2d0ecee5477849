#include "shell/LogoPane.h"

#include <QFontMetrics>
#include <QPainter>

#include "ui/FlatLook.h"

namespace {

// The product line is set in Verdana and the maker's line in Arial Black where installed; on
// most Linux systems DejaVu Sans (drawn from the same Vera design as Verdana's wide, open
// letters) and a heavy weight of Liberation Sans or DejaVu Sans stand in.
QFont ProductFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans"),
                      QStringLiteral("Bitstream Vera Sans")});
    font.setPixelSize(28);
    font.setBold(true);
    font.setItalic(true);
    return font;
}

QFont MakerFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Arial Black"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("DejaVu Sans")});
    font.setPixelSize(16);
    font.setWeight(QFont::Black);
    return font;
}

constexpr int kMark = 32;

}  // namespace

CLogoPane::CLogoPane(QWidget* parent) : QWidget(parent), mark_(RzAppIcon().pixmap(kMark, kMark)) {
    setAttribute(Qt::WA_OpaquePaintEvent);  // the paint covers the whole pane
    setAutoFillBackground(false);
}

void CLogoPane::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    painter.setRenderHint(QPainter::TextAntialiasing);

    const QString product = tr("RZ Operator");
    painter.setFont(ProductFont());
    const QFontMetrics productMetrics(painter.font());
    const int productX = (width() - productMetrics.horizontalAdvance(product)) / 2;
    const int productY = height() / 4 + productMetrics.ascent();
    painter.setPen(QColor(0x80, 0x80, 0x80));  // the shadow
    painter.drawText(productX + 2, productY + 2, product);
    painter.setPen(QColor(0xE6, 0xE6, 0xE6));
    painter.drawText(productX, productY, product);

    const QString maker = tr("VELTRANO Electric Corporation");
    painter.setFont(MakerFont());
    const QFontMetrics makerMetrics(painter.font());
    constexpr int kGap = 8;
    const int makerWidth = makerMetrics.horizontalAdvance(maker);
    const int left = (width() - makerWidth - kMark - kGap) / 2;
    const int lineTop = productY + productMetrics.descent() + height() / 6;
    painter.drawPixmap(left, lineTop, mark_);
    // Dark on a light window; on a dark one the window's own text colour.
    painter.setPen(IsDarkPalette(palette()) ? palette().color(QPalette::WindowText)
                                            : QColor(0x1E, 0x1E, 0x1E));
    painter.drawText(left + kMark + kGap, lineTop + (kMark + makerMetrics.ascent()) / 2 - 2, maker);
}
