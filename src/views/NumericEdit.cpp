#include "views/NumericEdit.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <charconv>
#include <memory>

namespace {

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

}  // namespace

bool NumericFieldAccepts(const QString& text, int at, int selected, QChar c) {
    // No second leading zero: the caret follows only zeros (after a leading '-').
    if (c == u'0' && at > 0) {
        const int first = text.startsWith(u'-') ? 1 : 0;
        bool zeros = at > first;
        for (int i = first; i < at && zeros; ++i) {
            zeros = text[i] == u'0';
        }
        if (zeros) {
            return false;
        }
    }
    if (text.size() >= CNumericEdit::kMaxLength) {
        return false;
    }
    if (at == 0 && !text.isEmpty()) {
        if (c == u'0' && IsDigit(text[0]) && selected == 0) {
            return false;
        }
        if (text[0] == u'-' && (selected == 0 || !IsDigit(c))) {
            return false;
        }
    }
    if (c == u'.') {
        const QString outside = text.left(at) + text.mid(at + selected);
        return !outside.contains(u'.');
    }
    if (c == u'-') {
        return at == 0 && !text.startsWith(u'-');
    }
    return IsDigit(c);
}

std::optional<double> NumericFieldNumber(const QString& text) {
    if (text.size() > CNumericEdit::kMaxLength) {
        return std::nullopt;
    }
    for (const QChar c : text) {
        if (!IsDigit(c) && c != u'.' && c != u'-') {
            return std::nullopt;
        }
    }
    // Within these characters from_chars reads exactly what strtod reads, and 19 of them never
    // leave a double's range.
    const QByteArray bytes = text.toLatin1();
    const char* end = bytes.constData() + bytes.size();
    double value = 0;
    const auto [stop, error] = std::from_chars(bytes.constData(), end, value);
    if (error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

QString NumericFieldText(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

CNumericEdit::CNumericEdit(QWidget* parent) : QLineEdit(parent) {
    // Text comes in only through the checked paths below.
    setAcceptDrops(false);
    setInputMethodHints(Qt::ImhFormattedNumbersOnly);
}

void CNumericEdit::SetDecimals(int d) {
    decimals_ =
        d < 0 ? (d < -kMaxDecimals ? kMaxDecimals : -d) : (d > kMaxDecimals ? kMaxDecimals : d);
    Reformat();
}

void CNumericEdit::ShowValue(double value) {
    setText(NumericFieldText(value, decimals_));
    modified_ = false;
}

void CNumericEdit::Reformat() {
    const std::optional<double> value = Value();
    if (!value) {
        return;
    }
    const QString formatted = NumericFieldText(*value, decimals_);
    if (formatted != text()) {
        setText(formatted);
    }
}

bool CNumericEdit::InsertChecked(const QString& typed) {
    QString after = text();
    int at = hasSelectedText() ? selectionStart() : cursorPosition();
    int selected = static_cast<int>(selectedText().size());
    for (const QChar c : typed) {
        if (!NumericFieldAccepts(after, at, selected, c)) {
            return false;
        }
        after.replace(at, selected, c);
        ++at;
        selected = 0;
    }
    insert(typed);
    return true;
}

void CNumericEdit::PasteChecked(QClipboard::Mode mode) {
    if (isReadOnly()) {
        return;
    }
    const QString before = text();
    InsertChecked(QGuiApplication::clipboard()->text(mode));
    NoteChange(before);
}

void CNumericEdit::NoteChange(const QString& before) {
    if (text() != before) {
        modified_ = true;
    }
}

void CNumericEdit::keyPressEvent(QKeyEvent* event) {
    const QString before = text();
    if (event->matches(QKeySequence::Paste)) {
        PasteChecked(QClipboard::Clipboard);
        event->accept();
        return;
    }
    const QString typed = event->text();
    bool printable = !typed.isEmpty();
    for (const QChar c : typed) {
        printable = printable && c.isPrint();
    }
    if (printable && !isReadOnly()) {
        if (!InsertChecked(typed)) {
            // Dropped; a shortcut-like chord is left to the window.
            const auto chord = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
            event->setAccepted((event->modifiers() & chord) == 0);
            return;
        }
        NoteChange(before);
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
    NoteChange(before);
}

void CNumericEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // A context menu of the field's own takes the focus only for a moment.
    if (event->reason() == Qt::PopupFocusReason) {
        return;
    }
    Reformat();
    if (modified_) {
        emit Changed();
    }
}

void CNumericEdit::contextMenuEvent(QContextMenuEvent* event) {
    const std::unique_ptr<QMenu> menu(createStandardContextMenu());
    // The menu's own Paste is replaced by the checked one. Newer Qt names the action; older
    // versions are matched by the caption they give it.
    for (QAction* action : menu->actions()) {
        if (action->objectName() == QLatin1String("edit-paste") ||
            (action->objectName().isEmpty() &&
             action->text().startsWith(QLineEdit::tr("&Paste")))) {
            disconnect(action, &QAction::triggered, nullptr, nullptr);
            connect(action, &QAction::triggered, this,
                    [this] { PasteChecked(QClipboard::Clipboard); });
        }
    }
    const QString before = text();
    menu->exec(event->globalPos());
    NoteChange(before);
}

void CNumericEdit::mouseReleaseEvent(QMouseEvent* event) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (event->button() == Qt::MiddleButton && clipboard->supportsSelection()) {
        if (rect().contains(event->position().toPoint()) && !isReadOnly()) {
            deselect();
            PasteChecked(QClipboard::Selection);
        }
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void CNumericEdit::inputMethodEvent(QInputMethodEvent* event) {
    // Composed text is taken as typed; what is still being composed is not shown.
    if (!event->commitString().isEmpty() && !isReadOnly()) {
        const QString before = text();
        InsertChecked(event->commitString());
        NoteChange(before);
    }
    event->accept();
}
