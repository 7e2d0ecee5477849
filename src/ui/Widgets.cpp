#include "ui/Widgets.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>
#include <QWidget>

#include "platform/Paths.h"
#include "platform/Strings.h"
#include "ui/PlainText.h"

namespace {

// Where a widget keeps the source of its caption: "context\nsource".
constexpr char kCaptionSource[] = "rzCaptionSource";

void ShowCaption(QWidget* widget, const QString& text) {
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(text);
    } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
        box->setTitle(text);
    } else {
        widget->setWindowTitle(text);
    }
}

}  // namespace

QString RzText(RzStr id) {
    return QCoreApplication::translate("RzString", RzString(id));
}

QString RzStatusText(const QString& text) {
    const QByteArray source = text.toLatin1();
    return IsRzString(source.toStdString())
               ? QCoreApplication::translate("RzString", source.constData())
               : text;
}

QString RzFormatText(RzStr id, int value) {
    return RzText(id).replace(QStringLiteral("%1!d!"), QString::number(value));
}

void SetCaptionOf(QWidget* widget, const char* context, const char* source) {
    widget->setProperty(kCaptionSource, QByteArray(context) + '\n' + QByteArray(source));
    ShowCaption(widget, QCoreApplication::translate(context, source));
}

void SetRzCaption(QWidget* widget, RzStr id) {
    SetCaptionOf(widget, "RzString", RzString(id));
}

void RetranslateCaptions(QWidget* root) {
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        const QByteArray kept = widget->property(kCaptionSource).toByteArray();
        const qsizetype split = kept.indexOf('\n');
        if (split >= 0) {
            ShowCaption(widget, QCoreApplication::translate(kept.left(split).constData(),
                                                            kept.mid(split + 1).constData()));
        }
    }
}

bool LoadTranslation(QTranslator& translator, const QLocale& locale, const QString& exeDir) {
    for (const QString& dir :
         {exeDir + QLatin1String(kInstalledShareDir) + "/translations", exeDir}) {
        if (translator.load(locale, QStringLiteral("rz-operator"), QStringLiteral("_"), dir)) {
            return true;
        }
    }
    return false;
}

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
    const QString title =
        caption.isEmpty() ? QCoreApplication::translate("Widgets", "Error") : caption;
    QMessageBox box(QMessageBox::Warning, title, PlainLines(text), QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);  // the text may name a file or quote the instrument
    box.exec();
}

bool AskYesNo(QWidget* parent, const QString& text, const QString& caption) {
    const QString title =
        caption.isEmpty() ? QCoreApplication::translate("Widgets", "Warning") : caption;
    QMessageBox box(QMessageBox::Warning, title, PlainLines(text),
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
