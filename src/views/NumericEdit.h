#pragma once

#include <QClipboard>
#include <QLineEdit>
#include <QString>
#include <optional>

// Whether `c`, typed into `text` with the selection [at, at + selected) (selected 0: the caret at
// `at`), is accepted by the numeric field: digits, one '.', a '-' only at the start, no second
// leading zero, at most 19 characters, and at the start of the text nothing that would come
// before a leading digit's zero or before a '-' left in place.
bool NumericFieldAccepts(const QString& text, int at, int selected, QChar c);

// The number a numeric field's text stands for when the whole text is one: at most 19 characters
// of the field's own (digits, '.', '-') that read completely as a decimal number, such as "12",
// "-0.5", "12." or ".5", with the value strtod gives in the C locale. None for an empty text and
// for one that is not a complete number ("-", ".", "-.", "1-", "--1", "+1", "1e5"): such a text
// is never taken for a value. Locale-independent ('.' is the decimal point).
std::optional<double> NumericFieldNumber(const QString& text);

// `value` as the field shows it with `decimals` places ("%.*f" in the C locale).
QString NumericFieldText(double value, int decimals);

// The single-line field for set points and outputs. It takes only what can become a signed
// decimal number, typed or pasted (a paste is taken whole or refused whole, by the same rules as
// typing it character by character), shows its number with `Decimals()` places once the
// operator leaves it (a text that is not yet a complete number, such as "-", stays as typed),
// and reports a change the operator made when the focus leaves.
//
// `Modified()` is set whenever the operator changes the text (typing, Delete, Backspace, cut,
// paste, undo) and only then: a refused character or a Delete at the end leaves it alone. The
// owner clears it when it loads a value from the instrument. An emptied field stays empty and
// has no value, and so has one that is not a complete number: a Send never takes either for 0.
class CNumericEdit : public QLineEdit {
    Q_OBJECT
  public:
    static constexpr int kMaxLength = 19;
    // Instruments show at most four places; the cap keeps a bad setting harmless.
    static constexpr int kMaxDecimals = 9;

    explicit CNumericEdit(QWidget* parent = nullptr);

    int Decimals() const { return decimals_; }
    // Takes |d| (at most kMaxDecimals) and reformats the text.
    void SetDecimals(int d);

    // Shows `value` (with Decimals() places) as the instrument's, clearing Modified().
    void ShowValue(double value);
    // Rewrites a text that is a complete number as that number with Decimals() places; any
    // other text stays as it is.
    void Reformat();

    bool Modified() const { return modified_; }
    void ClearModified() { modified_ = false; }

    // The number the text stands for (the one the field shows once reformatted); none for an
    // empty field and for a text that is not a complete number.
    std::optional<double> Value() const { return NumericFieldNumber(text()); }

  signals:
    // The field lost the keyboard focus while Modified() was set.
    void Changed();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

  private:
    // Inserts `typed` in place of the selection when every character of it would be accepted
    // typed one after the other; true when inserted.
    bool InsertChecked(const QString& typed);
    void PasteChecked(QClipboard::Mode mode);
    void NoteChange(const QString& before);

    int decimals_ = 2;
    bool modified_ = false;
};
