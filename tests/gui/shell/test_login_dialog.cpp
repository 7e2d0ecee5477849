#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "common/ModalWatcher.h"
#include "platform/Configuration.h"
#include "registry/InstrumentRegistry.h"
#include "shell/LoginDlg.h"

namespace {

struct LoginFixture {
    QTemporaryDir dir;
    std::string registry = dir.filePath(QStringLiteral("RZRegist.rzr")).toStdString();
    CUserSettings store{dir.filePath(QStringLiteral("user.ini"))};

    explicit LoginFixture(const std::vector<std::string>& names) {
        CInstrumentRegistry file;
        file.Load(registry.c_str());
        for (const std::string& name : names) {
            file.Add(name, "  1.  2.  3.  4");
        }
        file.Save();
    }
};

QStringList Items(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) {
        items << combo->itemText(i);
    }
    return items;
}

}  // namespace

TEST(LoginDialog, OpensOnTheLastInstrumentWithItsUserName) {
    struct Case {
        const char* what;
        const char* last;
        std::vector<std::pair<const char*, const char*>> users;
        const char* selected;
        const char* user;
    };
    const Case cases[] = {
        {"last instrument and its user", "Line-3", {{"Line-3", "admin"}}, "Line-3", "admin"},
        {"last instrument no longer registered", "Gone", {{"Boiler", "user"}}, "Boiler", "user"},
        {"nothing remembered", "", {}, "Boiler", ""},
    };
    for (const Case& c : cases) {
        LoginFixture fixture({"Boiler", "Line-3", "Mixer"});
        if (*c.last != '\0') {
            fixture.store.SetLastLogin(c.last);
        }
        for (const auto& [instrument, user] : c.users) {
            fixture.store.SetUserNameFor(instrument, user);
        }
        CLoginDlg dlg(fixture.store, fixture.registry);
        EXPECT_EQ(Items(dlg.Instruments()), QStringList({"Boiler", "Line-3", "Mixer"})) << c.what;
        EXPECT_EQ(dlg.InstrumentName(), c.selected) << c.what;
        EXPECT_EQ(dlg.UserName(), c.user) << c.what;
    }
}

TEST(LoginDialog, ChoosingAnotherInstrumentFillsItsUserName) {
    LoginFixture fixture({"Boiler", "Line-3"});
    fixture.store.SetUserNameFor("Line-3", "admin");
    CLoginDlg dlg(fixture.store, fixture.registry);
    dlg.show();
    dlg.UserField()->setText(QStringLiteral("typed"));
    dlg.Instruments()->setCurrentIndex(1);
    EXPECT_EQ(dlg.UserName(), "admin");
    EXPECT_EQ(dlg.UserField()->selectedText(), QStringLiteral("admin"));
    EXPECT_EQ(dlg.focusWidget(), dlg.UserField());
    dlg.Instruments()->setCurrentIndex(0);
    EXPECT_EQ(dlg.UserName(), "");  // nothing remembered for Boiler
}

TEST(LoginDialog, FieldsAndTabOrder) {
    LoginFixture fixture({"Boiler"});
    CLoginDlg dlg(fixture.store, fixture.registry);
    QTest::keyClicks(dlg.UserField(), QStringLiteral("abcdefghijklmnopqrst"));
    QTest::keyClicks(dlg.PasswordField(), QStringLiteral("secret99"));
    EXPECT_EQ(dlg.UserName(), "abcdefghijklmnop");
    EXPECT_EQ(dlg.Password(), "secret");
    EXPECT_EQ(dlg.PasswordField()->echoMode(), QLineEdit::Password);
}

TEST(LoginDialog, OkNeedsAnInstrumentAndAUserName) {
    struct Case {
        std::vector<std::string> names;
        const char* user;
        const char* message;  // nullptr: accepted
        const char* focus;
    };
    const Case cases[] = {
        {{}, "admin", "You must select a RZ before login to it!", "RZ Name"},
        {{"Boiler"}, "", "You must input user name before login RZ!", "User Name"},
        {{"Boiler"}, "admin", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        LoginFixture fixture(c.names);
        CModalWatcher watcher;
        CLoginDlg dlg(fixture.store, fixture.registry);
        dlg.show();
        dlg.UserField()->setText(QString::fromLatin1(c.user));
        dlg.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        if (c.message == nullptr) {
            EXPECT_TRUE(watcher.boxes.empty());
            EXPECT_EQ(dlg.result(), QDialog::Accepted);
            continue;
        }
        ASSERT_EQ(watcher.boxes.size(), 1u) << c.message;
        EXPECT_EQ(watcher.boxes[0].text.toStdString(), c.message);
        EXPECT_TRUE(dlg.isVisible());
        ASSERT_NE(dlg.focusWidget(), nullptr);
        EXPECT_EQ(dlg.focusWidget()->accessibleName().toStdString(), c.focus);
    }
}
