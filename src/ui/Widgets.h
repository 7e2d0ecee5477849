#pragma once

#include <QString>
#include <QValidator>

class QWidget;

// The text a caption reads as: "Log&in...\tCtrl+I" -> "Login", "&User Name:" -> "User Name".
// Mnemonic marks ("&&" stays one "&"), the shortcut after a tab and trailing dots and colons go.
QString PlainCaption(const QString& caption);

// Gives `widget` the accessible name its caption or label reads as.
void NameAfter(QWidget* widget, const QString& caption);

// Message boxes of dialog validation: refused input ("Error", exclamation icon, OK), and a
// question with Yes and No (exclamation icon); true for Yes.
void ShowErrorBox(QWidget* parent, const QString& text,
                  const QString& caption = QStringLiteral("Error"));
bool AskYesNo(QWidget* parent, const QString& text,
              const QString& caption = QStringLiteral("Warning"));

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
