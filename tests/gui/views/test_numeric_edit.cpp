#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <optional>

#include "views/NumericEdit.h"

namespace {

// Triggers the item of the open context menu whose caption starts with `caption`.
void ChooseFromMenu(const QString& caption) {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    for (QAction* action : menu->actions()) {
        if (action->text().startsWith(caption)) {
            action->trigger();
        }
    }
    menu->close();
}

enum class Act { Type, Backspace, Delete, Paste, MenuPaste };

struct EditCase {
    const char* text;
    int caret;
    int selStart;  // -1: nothing selected
    int selLength;
    Act act;
    const char* input;  // the character typed or the text pasted
    const char* result;
    bool modified;
};

}  // namespace

// Every way the operator's input meets the field: the character rules, the editing keys and a
// paste, with `Modified()` set only when the text really changed.
TEST(NumericEdit, InputRules) {
    const EditCase cases[] = {
        {"", 0, -1, 0, Act::Type, "-", "-", true},
        {"-", 1, -1, 0, Act::Type, "0", "-0", true},
        {"-0", 2, -1, 0, Act::Type, "0", "-0", false},  // no second leading zero
        {"-0", 2, -1, 0, Act::Type, ".", "-0.", true},
        {"10", 2, -1, 0, Act::Type, "0", "100", true},
        {"0.5", 2, -1, 0, Act::Type, "0", "0.05", true},
        {"5", 0, -1, 0, Act::Type, "0", "5", false},  // a zero before a leading digit
        {"5", 0, -1, 0, Act::Type, ".", ".5", true},
        {"5", 0, 0, 1, Act::Type, "0", "0", true},
        {"-5", 0, -1, 0, Act::Type, "1", "-5", false},  // nothing before a '-'
        {"-5", 0, 0, 1, Act::Type, "1", "15", true},    // replacing it, a digit only
        {"-5", 0, 0, 1, Act::Type, ".", "-5", false},
        {"5", 1, -1, 0, Act::Type, "-", "5", false},
        {"1.5", 3, -1, 0, Act::Type, ".", "1.5", false},
        {"1.5", 1, 1, 1, Act::Type, ".", "1.5", false},  // accepted, text unchanged
        {"123456789012345678", 18, -1, 0, Act::Type, "9", "1234567890123456789", true},
        {"1234567890123456789", 19, -1, 0, Act::Type, "1", "1234567890123456789", false},
        {"1234567890123456789", 0, 0, 19, Act::Type, "1", "1234567890123456789", false},
        {"5", 1, -1, 0, Act::Type, "a", "5", false},  // a refused letter leaves it unmodified
        {"12", 2, -1, 0, Act::Backspace, "", "1", true},
        {"", 0, -1, 0, Act::Backspace, "", "", false},
        {"12", 0, -1, 0, Act::Delete, "", "2", true},
        {"1", 1, -1, 0, Act::Paste, "2.5", "12.5", true},
        {"5", 0, 0, 1, Act::Paste, "-3", "-3", true},
        {"1", 1, -1, 0, Act::Paste, "2a", "1", false},  // taken whole or not at all
        {"1.5", 3, -1, 0, Act::Paste, "1.2", "1.5", false},
        {"1", 1, -1, 0, Act::MenuPaste, "2", "12", true},
    };
    for (const EditCase& c : cases) {
        CNumericEdit edit;
        edit.setText(QString::fromLatin1(c.text));
        if (c.selStart >= 0) {
            edit.setSelection(c.selStart, c.selLength);
        } else {
            edit.setCursorPosition(c.caret);
        }
        switch (c.act) {
            case Act::Type:
                QTest::keyClicks(&edit, QString::fromLatin1(c.input));
                break;
            case Act::Backspace:
                QTest::keyClick(&edit, Qt::Key_Backspace);
                break;
            case Act::Delete:
                QTest::keyClick(&edit, Qt::Key_Delete);
                break;
            case Act::Paste:
                QApplication::clipboard()->setText(QString::fromLatin1(c.input));
                QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
                break;
            case Act::MenuPaste: {
                QApplication::clipboard()->setText(QString::fromLatin1(c.input));
                QTimer::singleShot(0, [] { ChooseFromMenu(QLineEdit::tr("&Paste")); });
                QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(1, 1),
                                       edit.mapToGlobal(QPoint(1, 1)));
                QApplication::sendEvent(&edit, &menu);
                break;
            }
        }
        const std::string what = std::string(c.text) + " @" + std::to_string(c.caret) + " sel " +
                                 std::to_string(c.selStart) + " <- '" + c.input + "'";
        EXPECT_EQ(edit.text().toStdString(), c.result) << what;
        EXPECT_EQ(edit.Modified(), c.modified) << what;
    }
}

namespace {

struct LeaveCase {
    int decimals;
    const char* text;
    Act act;  // Type with "" for no input
    const char* input;
    const char* result;
    std::optional<double> value;
    int notifications;
};

}  // namespace

// Leaving the field reformats it to its places and notifies only an operator's change; an
// emptied field stays empty and has no value.
TEST(NumericEdit, LeavingTheField) {
    const LeaveCase cases[] = {
        {2, "5", Act::Type, "", "5.00", 5.0, 0},
        {2, "", Act::Type, "5", "5.00", 5.0, 1},
        {0, "12.7", Act::Type, "", "13", 13.0, 0},
        {-3, "1", Act::Type, "", "1.000", 1.0, 0},
        {2, "-.5", Act::Type, "", "-0.50", -0.5, 0},
        {2, "-", Act::Type, "", "0.00", 0.0, 0},
        {2, "7", Act::Type, "x", "7.00", 7.0, 0},
        {2, "0", Act::Type, "0", "0.00", 0.0, 0},
        {2, "7", Act::Backspace, "", "", std::nullopt, 1},
    };
    QWidget window;
    auto* edit = new CNumericEdit(&window);
    auto* other = new CNumericEdit(&window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(edit);
    layout->addWidget(other);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const QSignalSpy changed(edit, &CNumericEdit::Changed);
    int seen = 0;
    for (const LeaveCase& c : cases) {
        edit->SetDecimals(c.decimals);
        edit->setText(QString::fromLatin1(c.text));
        edit->ClearModified();
        edit->setFocus();
        edit->setCursorPosition(static_cast<int>(edit->text().size()));
        if (c.act == Act::Backspace) {
            QTest::keyClick(edit, Qt::Key_Backspace);
        } else {
            QTest::keyClicks(edit, QString::fromLatin1(c.input));
        }
        other->setFocus();
        const std::string what = std::to_string(c.decimals) + " " + c.text + " <- " + c.input;
        EXPECT_EQ(edit->text().toStdString(), c.result) << what;
        EXPECT_EQ(edit->HasValue(), c.value.has_value()) << what;
        EXPECT_EQ(edit->Value(), c.value) << what;
        seen += c.notifications;
        EXPECT_EQ(changed.count(), seen) << what;
    }
    // The change stays reported until the owner takes the value.
    edit->setFocus();
    other->setFocus();
    EXPECT_EQ(changed.count(), seen + 1);
}
