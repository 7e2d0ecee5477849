#pragma once

#include <QLabel>
#include <QString>
#include <QStyledItemDelegate>

// Text from an instrument, a file or the network is shown as it reads: never as markup, never
// over several lines where one is shown, never with control characters.

// One line to show: a line break (CR LF, CR or LF), a tab or a line or paragraph separator
// becomes a blank, any other control or format character (C0, DEL, C1, bidirectional marks)
// the replacement character U+FFFD.
QString PlainLine(const QString& text);

// The same for text of several lines: line breaks stay, as LF.
QString PlainLines(const QString& text);

// A tool tip that shows `text` as one plain line. Tool tips take markup, so the line goes in
// escaped; an empty text gives no tool tip.
QString PlainToolTip(const QString& text);

// A window title showing `text` as one plain line ("[*]" in it is not the modified mark).
QString PlainTitle(const QString& text);

// A one-line pane for such text: what it is given is shown as one plain line (text() holds
// that line), elided at the right to the width it gets, with the whole line in its tool tip
// and as its accessible name, so a screen reader hears the text. `role` says what the pane is:
// its accessible description, and its name while it shows nothing. It asks for one line of
// height and never grows with its text.
class CPlainLabel : public QLabel {
    Q_OBJECT
  public:
    explicit CPlainLabel(const QString& role, QWidget* parent = nullptr);

    // Deliberately hides QLabel::setText and clear, which would take the text as it is.
    void setText(const QString& text);
    void clear() { setText(QString()); }
    // The line as painted, elided to the current width.
    QString ShownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QRect TextArea() const;
    QSize HintFor(int textWidth) const;

    QString role_;
};

// Shows every cell of an item view as one plain line with the whole line in its tool tip; the
// model keeps the text as it is (and an editor gets it so).
class CPlainItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QString displayText(const QVariant& value, const QLocale& locale) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};
