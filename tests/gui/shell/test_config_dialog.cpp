#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <fstream>
#include <sstream>

#include "common/ModalWatcher.h"
#include "platform/Configuration.h"
#include "shell/ConfigDlg.h"

TEST(ConfigDialog, ShowsTheCycleInRangeAndWritesOnlyAnAcceptedOne) {
    struct Case {
        const char* file;  // nullptr: no file
        const char* shown;
        const char* typed;  // nullptr: Cancel
        const char* message;
        int written;  // the file's cycle afterwards
    };
    const char* range = kCommCycleRangeWarning;
    const Case cases[] = {
        {nullptr, "5000", "60000", nullptr, 60000},
        {"[Config]\r\nCommCycle=500\r\n", "1000", "1000", nullptr, 1000},
        {"[Config]\r\nCommCycle=70000\r\n", "60000", "60001", range, 70000},
        {"[Config]\r\nCommCycle=2000\r\n", "2000", "999", range, 2000},
        {"[Config]\r\nCommCycle=2000\r\n", "2000", "", range, 2000},
        {"[Config]\r\nCommCycle=2000\r\n", "2000", nullptr, nullptr, 2000},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const std::string ini = dir.filePath(QStringLiteral("SimpleCtrl.ini")).toStdString();
        if (c.file != nullptr) {
            std::ofstream(ini, std::ios::binary) << c.file;
        }
        CModalWatcher watcher;
        CConfigDlg dlg(ini);
        dlg.show();
        EXPECT_EQ(dlg.CycleField()->text().toStdString(), c.shown);
        if (c.typed == nullptr) {
            dlg.reject();
        } else {
            dlg.CycleField()->setText(QString::fromLatin1(c.typed));
            dlg.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        }
        EXPECT_EQ(dlg.isVisible(), c.message != nullptr) << c.typed;
        ASSERT_EQ(watcher.boxes.size(), c.message != nullptr ? 1u : 0u) << c.typed;
        if (c.message != nullptr) {
            EXPECT_EQ(watcher.boxes[0].text.toStdString(), c.message);
        }
        EXPECT_EQ(ReadCommCycle(ini), c.written) << c.typed;
    }
}

TEST(ConfigDialog, FailedWriteIsReportedAndKeepsTheDialogOpen) {
    QTemporaryDir dir;
    const std::string ini = dir.filePath(QStringLiteral("gone/SimpleCtrl.ini")).toStdString();
    CModalWatcher watcher;
    CConfigDlg dlg(ini);
    dlg.show();
    dlg.CycleField()->setText(QStringLiteral("3000"));
    dlg.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    ASSERT_EQ(watcher.boxes.size(), 1u);
    EXPECT_TRUE(watcher.boxes[0].text.contains(QString::fromStdString(ini)));
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.CycleField()->text().toStdString(), "3000");
}
