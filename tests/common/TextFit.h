#pragma once

// Whether every caption, value and list text of a panel fits the widget that shows it, at the
// font in use, at a font 25 % larger and under a translation that makes every text 40 % longer.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOption>
#include <QTextDocumentFragment>
#include <QTranslator>

// Lengthens every source text by 40 % (at least one character), keeping it otherwise intact.
struct CLongerTranslator : QTranslator {
    QString translate(const char*, const char* source, const char*, int) const override {
        return QString::fromUtf8(source) + QString((qstrlen(source) * 2 + 4) / 5, u'W');
    }
};

// The texts of `root`'s visible widgets wider than the room their widget gives them.
inline QStringList TextsCut(QWidget* root) {
    QStringList cut;
    const auto check = [&](QWidget* w, const QString& text, int room) {
        const int width = w->fontMetrics().horizontalAdvance(text);
        if (width > room) {
            cut << QStringLiteral("%1 \"%2\" %3 > %4")
                       .arg(w->accessibleName(), text)
                       .arg(width)
                       .arg(room);
        }
    };
    for (QWidget* w : root->findChildren<QWidget*>()) {
        QStyle* style = w->style();
        if (!w->isVisibleTo(root)) {
            continue;
        } else if (auto* label = qobject_cast<QLabel*>(w)) {
            check(w, label->text(), label->contentsRect().width() - 2 * label->margin());
        } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
            QStyleOptionButton option;
            option.initFrom(radio);
            check(w, radio->text(),
                  style->subElementRect(QStyle::SE_RadioButtonContents, &option, radio).width());
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            const int margin = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
            check(w, button->text().remove(u'&'), button->width() - 2 * margin);
        } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
            QStyleOptionGroupBox option;
            option.initFrom(box);
            option.text = box->title();
            const QRect label =
                style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
            check(w, box->title(), box->width() - label.left() - 1);
        } else if (auto* edit = qobject_cast<QLineEdit*>(w);
                   edit &&
                   QTextDocumentFragment::fromHtml(edit->toolTip()).toPlainText() != edit->text()) {
            // A name longer than its box may be cut when its tip shows it whole; the field
            // keeps 2 pixels either side of its text.
            QStyleOptionFrame option;
            option.initFrom(edit);
            option.lineWidth =
                edit->hasFrame() ? style->pixelMetric(QStyle::PM_DefaultFrameWidth) : 0;
            const QMargins text = edit->textMargins();
            const QRect room = style->subElementRect(QStyle::SE_LineEditContents, &option, edit);
            check(w, edit->text(), room.width() - text.left() - text.right() - 4);
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            QStyleOptionComboBox option;
            option.initFrom(combo);
            const QRect room = style->subControlRect(QStyle::CC_ComboBox, &option,
                                                     QStyle::SC_ComboBoxEditField, combo);
            for (int i = 0; i < combo->count(); ++i) {
                check(w, combo->itemText(i), room.width());
            }
        }
    }
    return cut;
}

// Checks `panel` as it is, at a font 25 % larger and with 40 % longer texts; leaves it as it was.
inline void ExpectTextsFit(QWidget* panel) {
    const auto settle = [panel] {
        for (int i = 0; i < 3; ++i) {
            QApplication::processEvents();
            QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        }
        return TextsCut(panel).join(u'\n').toStdString();
    };
    const QSize size = panel->size();
    EXPECT_EQ(settle(), "") << "default font";
    QFont larger = panel->font();
    larger.setPointSizeF(larger.pointSizeF() * 1.25);
    panel->setFont(larger);
    EXPECT_EQ(settle(), "") << "font 25 % larger";
    panel->setFont(QFont());
    CLongerTranslator longer;
    QApplication::installTranslator(&longer);
    EXPECT_EQ(settle(), "") << "texts 40 % longer";
    QApplication::removeTranslator(&longer);
    settle();
    panel->resize(size);
}

// The captions of `root`: its title, its children's actions, push buttons and field labels.
inline QStringList Captions(QWidget* root) {
    QStringList texts{root->windowTitle()};
    for (QWidget* w : root->findChildren<QWidget*>()) {
        for (const QAction* action : w->actions()) {
            texts << action->text();
        }
        if (auto* label = qobject_cast<QLabel*>(w); label && label->buddy()) {
            texts << label->text();
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            texts << button->text();
        }
    }
    return texts;
}

// Checks that the captions of the window `make` makes read as CLongerTranslator has them.
template <class Make>
void ExpectCaptionsTranslated(const Make& make) {
    QStringList expected;
    CLongerTranslator longer;
    for (const QString& text : Captions(make().get())) {
        expected << longer.translate(nullptr, text.toUtf8(), nullptr, -1);
    }
    QApplication::installTranslator(&longer);
    EXPECT_EQ(Captions(make().get()).join(u'\n').toStdString(), expected.join(u'\n').toStdString());
    QApplication::removeTranslator(&longer);
}
