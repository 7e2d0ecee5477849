#include "ui/PlainText.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>
#include <algorithm>

namespace {

// A line is never asked to be wider than this many average characters.
constexpr int kHintChars = 40;

QString Plain(const QString& text, bool keepBreaks) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const QChar::Category category = c.category();
        if (c == u'\r' || c == u'\n' || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator) {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
                ++i;
            }
            out += keepBreaks ? u'\n' : u' ';
        } else if (c == u'\t') {
            out += u' ';
        } else if (category == QChar::Other_Control ||
                   (category == QChar::Other_Format && c != QChar(0xAD))) {
            out += QChar(QChar::ReplacementCharacter);  // the soft hyphen above is Latin-1 text
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

QString PlainLine(const QString& text) {
    return Plain(text, false);
}

QString PlainLines(const QString& text) {
    return Plain(text, true);
}

QString PlainToolTip(const QString& text) {
    if (text.isEmpty()) {
        return QString();
    }
    return QStringLiteral("<p style=\"white-space:pre-wrap\">") + PlainLine(text).toHtmlEscaped() +
           QStringLiteral("</p>");
}

QString PlainTitle(const QString& text) {
    // "[*][*]" shows as a literal "[*]".
    return PlainLine(text).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
}

CPlainLabel::CPlainLabel(const QString& role, QWidget* parent) : QLabel(parent), role_(role) {
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setAccessibleName(role_);
    setAccessibleDescription(role_);
}

void CPlainLabel::setText(const QString& text) {
    const QString line = PlainLine(text);
    QLabel::setText(line);
    setToolTip(PlainToolTip(line));
    setAccessibleName(line.isEmpty() ? role_ : line);
}

QRect CPlainLabel::TextArea() const {
    const int m = margin();
    return contentsRect().adjusted(m, m, -m, -m);
}

QString CPlainLabel::ShownText() const {
    return fontMetrics().elidedText(text(), Qt::ElideRight, TextArea().width());
}

QSize CPlainLabel::HintFor(int textWidth) const {
    const QMargins frame = contentsMargins();
    return QSize(textWidth + frame.left() + frame.right() + 2 * margin(),
                 fontMetrics().height() + frame.top() + frame.bottom() + 2 * margin());
}

QSize CPlainLabel::sizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    return HintFor(
        std::min(metrics.horizontalAdvance(text()), kHintChars * metrics.averageCharWidth()));
}

QSize CPlainLabel::minimumSizeHint() const {
    // Room for the ellipsis alone.
    const QFontMetrics metrics = fontMetrics();
    return HintFor(
        std::min(metrics.horizontalAdvance(text()), metrics.horizontalAdvance(QChar(0x2026))));
}

void CPlainLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(&painter);
    style()->drawItemText(&painter, TextArea(),
                          static_cast<int>(QStyle::visualAlignment(layoutDirection(), alignment())),
                          palette(), isEnabled(), ShownText(), foregroundRole());
}

QString CPlainItemDelegate::displayText(const QVariant& value, const QLocale& locale) const {
    // Before the base class, which would turn a line break into a line separator.
    if (value.typeId() == QMetaType::QString) {
        return QStyledItemDelegate::displayText(PlainLine(value.toString()), locale);
    }
    return PlainLine(QStyledItemDelegate::displayText(value, locale));
}

bool CPlainItemDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                   const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event == nullptr || view == nullptr || event->type() != QEvent::ToolTip) {
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
    const QString tip = PlainToolTip(index.data(Qt::DisplayRole).toString());
    if (tip.isEmpty()) {
        QToolTip::hideText();
    } else {
        QToolTip::showText(event->globalPos(), tip, view->viewport(), option.rect);
    }
    return true;
}
