#pragma once

#include <QString>
#include <QValidator>

#include "platform/Strings.h"

class QLocale;
class QTranslator;
class QWidget;

// The string table's text `id` in the user's language; the table's text is the source text of
// the translation (context "RzString").
QString RzText(RzStr id);
// A status text in the user's language: a text of the string table translated as RzText does, any
// other (made of names and the instrument's answers) as it is.
QString RzStatusText(const QString& text);
// RzText with its "%1!d!" inserts filled with the decimal integer `value`.
QString RzFormatText(RzStr id, int value);

// Shows `source`, a text of the translation context `context`, in the user's language on `widget`
// (a label's or button's text, a group box's title, a window's title) and keeps it, so that
// RetranslateCaptions shows it again after the language changed. Returns `widget`.
void SetCaptionOf(QWidget* widget, const char* context, const char* source);
template <class W>
W* SetCaption(W* widget, const char* context, const char* source) {
    SetCaptionOf(widget, context, source);
    return widget;
}
// Table text `id` as the caption of `widget`.
void SetRzCaption(QWidget* widget, RzStr id);
// Shows every caption kept by SetCaption on `root` and its children in the current language.
void RetranslateCaptions(QWidget* root);

// Loads into `translator` the console's translation for `locale`:
// rz-operator_<locale>.qm from the installed share folder beside `exeDir`
// (../share/rz-operator/translations), else from `exeDir` itself (the build tree).
bool LoadTranslation(QTranslator& translator, const QLocale& locale, const QString& exeDir);

// The text a caption reads as: "Log&in...\tCtrl+I" -> "Login", "&User Name:" -> "User Name".
// Mnemonic marks ("&&" stays one "&"), the shortcut after a tab and trailing dots and colons go.
QString PlainCaption(const QString& caption);

// Gives `widget` the accessible name its caption or label reads as.
void NameAfter(QWidget* widget, const QString& caption);

// Message boxes of dialog validation: refused input ("Error", exclamation icon, OK), and a
// question with Yes and No (exclamation icon); true for Yes. Without a caption they read
// "Error" and "Warning" in the user's language.
void ShowErrorBox(QWidget* parent, const QString& text, const QString& caption = {});
bool AskYesNo(QWidget* parent, const QString& text, const QString& caption = {});

// Single-byte text as the instrument and the files expect: a character outside Latin-1 or a
// control character (C0, DEL, C1) is refused as it is typed or pasted.
class CLatin1Validator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

// The wait cursor for the life of the object, the sign that an operation runs; the window keeps
// answering meanwhile.
class CWaitCursor {
  public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};
