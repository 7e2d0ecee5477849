#include "views/ImageWindow.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <utility>

#include "image/PngCodec.h"
#include "views/DialogUnits.h"

QSize CImageWindow::TemplateSize() {
    return DialogUnitsToPixels(219, 200);
}

QSize CImageWindow::CreationSize(char accessLevel, int32_t modelClass) {
    if (accessLevel == 'A' && modelClass != 3100) {
        return QSize(640, 482);
    }
    return TemplateSize();
}

CImageWindow::CImageWindow(QWidget* parent) : QWidget(parent) {
    resize(TemplateSize());
}

bool CImageWindow::SetImageBytes(const uint8_t* data, uint32_t length, uint64_t generation) {
    if (generation != 0 && generation == generation_) {
        return false;
    }
    generation_ = generation;
    if (DecodePng(data, length, decoded_) != RZ_OK || decoded_.IsEmpty()) {
        return false;
    }
    std::swap(shown_, decoded_);
    // Screens are opaque; drawn as RGB32 they are plain copies.
    picture_ = shown_.View().convertToFormat(
        shown_.IsOpaque() ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    update();
    return true;
}

void CImageWindow::SetCopyEnabled(bool enabled) {
    if (copyEnabled_ && !enabled) {
        saved_.CopyFrom(shown_);
    }
    copyEnabled_ = enabled;
}

void CImageWindow::SetStaleText(const QString& text) {
    if (text != staleText_) {
        staleText_ = text;
        update();
    }
}

void CImageWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!picture_.isNull()) {
        DrawPicture(painter);
    }
    if (!staleText_.isEmpty()) {
        painter.fillRect(rect(), QColor(128, 128, 128, 150));
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(22);
        painter.setFont(font);
        QRect centred = painter.fontMetrics().boundingRect(staleText_).adjusted(-12, -8, 12, 8);
        centred.moveCenter(rect().center());
        painter.fillRect(centred, QColor(30, 30, 30, 220));
        painter.setPen(Qt::white);
        painter.drawText(centred, Qt::AlignCenter, staleText_);
    }
}

void CImageWindow::DrawPicture(QPainter& painter) {
    const int cw = width();
    const int ch = height();
    const int w = picture_.width();
    const int h = picture_.height();
    if (w > cw || h > ch) {
        painter.drawImage(QRect(0, 0, cw - 1, ch - 1), picture_);
    } else {
        painter.drawImage(QPoint((cw - w) / 2 - 1, (ch - h) / 2 - 1), picture_);
    }
}
