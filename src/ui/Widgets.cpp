#include "ui/Widgets.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

#include "ui/PlainText.h"

QString PlainCaption(const QString& caption) {
    QString text = caption.left(caption.indexOf(u'\t'));
    QString plain;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) {
            ++i;  // "&&" is a literal ampersand; "&x" marks x
        }
        plain += text[i];
    }
    while (plain.endsWith(u'.') || plain.endsWith(u':') || plain.endsWith(u' ')) {
        plain.chop(1);
    }
    return plain;
}

void NameAfter(QWidget* widget, const QString& caption) {
    widget->setAccessibleName(PlainCaption(caption));
}

void ShowErrorBox(QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Warning, caption, PlainLines(text), QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);  // the text may name a file or quote the instrument
    box.exec();
}

bool AskYesNo(QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Warning, caption, PlainLines(text),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QValidator::State CLatin1Validator::validate(QString& input, int&) const {
    for (const QChar c : input) {
        const char16_t u = c.unicode();
        if (u > 0xFF || u < 0x20 || (u >= 0x7F && u < 0xA0)) {
            return Invalid;
        }
    }
    return Acceptable;
}

CWaitCursor::CWaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

CWaitCursor::~CWaitCursor() {
    QApplication::restoreOverrideCursor();
}
