#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include "common/FileHelpers.h"
#include "common/ModalWatcher.h"
#include "registry/InstrumentRegistry.h"
#include "registry_ui/RegisterDlg.h"
#include "registry_ui/RegisterGrid.h"
#include "registry_ui/RegisterRules.h"
#include "ui/IpAddressEdit.h"

namespace {

using Records = std::vector<std::pair<std::string, std::string>>;

struct TempRegistry {
    QTemporaryDir dir;
    std::string path = dir.filePath(QStringLiteral("RZRegist.rzr")).toStdString();

    void Write(const Records& records) const {
        CInstrumentRegistry registry;
        EXPECT_TRUE(registry.Load(path.c_str()).ok());
        registry.Clear();
        for (const auto& [name, ip] : records) {
            registry.Add(name, ip);
        }
        ASSERT_TRUE(registry.Save().ok());
    }
    Records Read() const {
        CInstrumentRegistry registry;
        EXPECT_TRUE(registry.Load(path.c_str()).ok());
        Records records;
        for (int i = 0; i < registry.GetCount(); ++i) {
            const CRegistryRecord r = registry.GetRecord(i);
            records.emplace_back(r.name, r.ip);
        }
        return records;
    }
    std::string Bytes() const { return ReadBytes(path); }
};

Records Numbered(int count) {
    Records records;
    for (int i = 1; i <= count; ++i) {
        records.emplace_back("RZ" + std::to_string(i),
                             QString::asprintf(" 10.  0.  0.%3d", i).toStdString());
    }
    return records;
}

Records GridRows(const CRegisterDlg& dlg) {
    Records rows;
    for (int r = 0; r < dlg.Grid()->rowCount(); ++r) {
        rows.emplace_back(dlg.Grid()->Text(r, 1).toLatin1().toStdString(),
                          dlg.Grid()->Text(r, 2).toLatin1().toStdString());
    }
    return rows;
}

QAbstractButton* Button(const QDialog& dlg, const char* accessibleName) {
    for (auto* button : dlg.findChildren<QAbstractButton*>()) {
        if (button->accessibleName() == QLatin1String(accessibleName)) {
            return button;
        }
    }
    ADD_FAILURE() << "no button named " << accessibleName;
    return nullptr;
}

QWidget* Editor(CRegisterGrid* grid) {
    return grid->indexWidget(grid->currentIndex());
}

// Types any characters, also those QTest::keyClicks cannot spell.
void Type(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
    }
}

}  // namespace

TEST(RegisterRules, OkChecksEveryRow) {
    const QString none = kEmptyIpCell;
    const QString ip = QStringLiteral("192.168.  1. 20");
    struct Case {
        const char* what;
        std::vector<RegisterRow> rows;
        std::optional<RzStr> refusal;
        int row;
        size_t records;
    };
    const RzStr missing = RzStr::kRegisterNameMissing, invalid = RzStr::kRegisterAddressInvalid,
                twice = RzStr::kRegisterNameTwice;
    const Case cases[] = {
        {"empty row between filled rows is skipped", {{"A", ip}, {"", none}, {"B", ip}}, {}, 0, 2},
        {"name with an empty address", {{"A", ip}, {"B", none}}, invalid, 2, 0},
        {"0.0.0.1 is an address", {{"A", QStringLiteral("  0.  0.  0.  1")}}, {}, 0, 1},
        {"address without a name", {{"", ip}}, missing, 1, 0},
        {"name of blanks", {{"   ", ip}}, missing, 1, 0},
        {"same name twice", {{"Line", ip}, {"Line", ip}}, twice, 2, 0},
        {"names differing by trailing blanks", {{"Line", ip}, {"Line  ", ip}}, twice, 2, 0},
        {"names differing by leading blanks", {{"Line", ip}, {" Line", ip}}, {}, 0, 2},
        {"first 15 same", {{"ABCDEFGHIJKLMNOx", ip}, {"ABCDEFGHIJKLMNO", ip}}, twice, 2, 0},
    };
    for (const Case& c : cases) {
        const RegisterCheck check = CheckRegisterRows(c.rows);
        EXPECT_EQ(check.refusal, c.refusal) << c.what;
        EXPECT_EQ(check.row, c.row) << c.what;
        EXPECT_EQ(check.records.size(), c.records) << c.what;
    }
    const RegisterCheck kept = CheckRegisterRows({{" Line ", ip}});
    ASSERT_EQ(kept.records.size(), 1u);
    EXPECT_STREQ(kept.records[0].name, " Line ");  // stored as typed
    EXPECT_STREQ(kept.records[0].ip, "192.168.  1. 20");
}

TEST(IpAddressEdit, AcceptsOnlyFourPartsOfZeroTo255) {
    struct Case {
        const char* typed;
        const char* shown;
        const char* cell;
    };
    const Case cases[] = {
        {"192.168.1.20", "192.168.1.20", "192.168.  1. 20"},
        {"1921681", "192.168.1", "192.168.  1.  0"},  // a full or maxed part moves on
        {"256", "25.6", " 25.  6.  0.  0"},
        {"1a-b 2", "12", " 12.  0.  0.  0"},
        {"1.2.3.4.5", "1.2.3.45", "  1.  2.  3. 45"},
        {"0.0.0.0", "0.0.0.0", "   .   .   .   "},
    };
    for (const Case& c : cases) {
        CIpAddressEdit edit;
        QTest::keyClicks(&edit, QString::fromLatin1(c.typed));
        EXPECT_EQ(edit.text().toStdString(), c.shown) << c.typed;
        EXPECT_EQ(IpCellText(edit.Parts()).toStdString(), c.cell) << c.typed;
    }
}

// Add stops at 50 rows, but a longer file is shown and written whole.
TEST(RegisterDialog, LoadsEveryRecordAndLimitsAdd) {
    struct Case {
        int records;
        int rowsAfterAdd;
        bool refused;
    };
    for (const Case c :
         {Case{0, 2, false}, Case{49, 50, false}, Case{50, 50, true}, Case{60, 60, true}}) {
        TempRegistry file;
        if (c.records > 0) {
            file.Write(Numbered(c.records));
        }
        CModalWatcher watcher;
        CRegisterDlg dlg(nullptr, file.path);
        dlg.show();
        EXPECT_EQ(dlg.Grid()->rowCount(), std::max(c.records, 1)) << c.records;
        Button(dlg, "Adds a new item")->click();
        EXPECT_EQ(dlg.Grid()->rowCount(), c.rowsAfterAdd) << c.records;
        // Once the grid scrolls, the address column stays clear of the scroll bar.
        const int used =
            dlg.Grid()->columnWidth(0) + dlg.Grid()->columnWidth(1) + dlg.Grid()->columnWidth(2);
        EXPECT_LE(used, dlg.Grid()->viewport()->width()) << c.records;

        Button(dlg, "OK")->click();
        EXPECT_EQ(dlg.result(), QDialog::Accepted) << c.records;
        EXPECT_EQ(watcher.boxes.size(), c.refused ? 1u : 0u) << c.records;  // no other question
        EXPECT_EQ(file.Read(), Numbered(c.records)) << c.records;  // added empty rows skipped
        EXPECT_EQ(dlg.RegisteredCount(), c.records);
    }
}

TEST(RegisterDialog, KeysMoveTheEditorAndCommit) {
    TempRegistry file;
    file.Write({{"Old", "  1.  1.  1.  1"}, {"Two", "  2.  2.  2.  2"}});
    CRegisterDlg dlg(nullptr, file.path);
    dlg.show();
    CRegisterGrid* grid = dlg.Grid();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(grid->model()->index(0, 1)).center());
    ASSERT_NE(Editor(grid), nullptr);
    static_cast<QLineEdit*>(Editor(grid))->clear();
    QTest::keyClicks(Editor(grid), QStringLiteral("Line-3 on the east side"));
    QTest::keyClick(Editor(grid), Qt::Key_Tab);  // commits the name, opens the address
    ASSERT_EQ(grid->currentColumn(), 2);
    static_cast<QLineEdit*>(Editor(grid))->clear();
    QTest::keyClicks(Editor(grid), QStringLiteral("192.168.1.20"));
    QTest::keyClick(Editor(grid), Qt::Key_Down);
    ASSERT_EQ(grid->currentRow(), 1);
    QTest::keyClick(Editor(grid), Qt::Key_Down);  // no row below: stays
    QTest::keyClick(Editor(grid), Qt::Key_Backtab);
    ASSERT_EQ(grid->currentColumn(), 1);
    Type(Editor(grid), QStringLiteral("\u00c9t\u00e9 \u4e2d"));  // CJK refused
    QTest::keyClick(Editor(grid), Qt::Key_Up);
    QTest::keyClick(Editor(grid), Qt::Key_Escape);  // drops nothing committed before
    EXPECT_EQ(GridRows(dlg),
              (Records{{"Line-3 on the e", "192.168.  1. 20"}, {"\xC9t\xE9 ", "  2.  2.  2.  2"}}));
}

TEST(RegisterDialog, DeleteUpAndDown) {
    TempRegistry file;
    file.Write({{"A", "  1.  1.  1.  1"}, {"B", "  2.  2.  2.  2"}, {"C", "  3.  3.  3.  3"}});
    CRegisterDlg dlg(nullptr, file.path);
    dlg.show();
    auto names = [&] {
        std::string s;
        for (const auto& row : GridRows(dlg)) {
            s += row.first.empty() ? "_" : row.first;
        }
        return s + std::to_string(dlg.Grid()->currentRow());
    };
    struct Step {
        const char* button;
        const char* after;
    };
    const Step steps[] = {
        {"Moves item up", "ABC0"},       {"Moves item down", "BAC1"},
        {"Moves item down", "BCA2"},     {"Moves item down", "BCA2"},
        {"Deletes current item", "BC1"}, {"Deletes current item", "B0"},
        {"Deletes current item", "_0"},
    };
    for (const Step& step : steps) {
        Button(dlg, step.button)->click();
        EXPECT_EQ(names(), step.after) << step.button;
    }
    dlg.reject();
    EXPECT_EQ(file.Read().size(), 3u);  // Cancel never writes
}

TEST(RegisterDialog, OkStaysOpenOnRefusalAndFailedWrite) {
    TempRegistry file;
    file.Write({{"A", "  1.  1.  1.  1"}, {"B", "  2.  2.  2.  2"}});
    const std::string before = file.Bytes();
    CModalWatcher watcher(QMessageBox::Yes);
    CRegisterDlg dlg(nullptr, file.path);
    dlg.show();
    dlg.Grid()->SetText(1, 1, QStringLiteral("A  "));
    Button(dlg, "OK")->click();
    ASSERT_EQ(watcher.boxes.size(), 1u);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.Grid()->currentRow(), 1);
    EXPECT_EQ(file.Bytes(), before);

    // The file's directory disappears: the write fails, is reported, and the rows stay.
    dlg.Grid()->SetText(1, 1, QStringLiteral("B"));
    ASSERT_TRUE(QDir(file.dir.path()).removeRecursively());
    Button(dlg, "OK")->click();
    ASSERT_EQ(watcher.boxes.size(), 2u);
    EXPECT_TRUE(watcher.boxes[1].text.startsWith(QStringLiteral("The file cann't be saved!")));
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.Grid()->rowCount(), 2);
}

TEST(RegisterDialog, AsksBeforeOverwritingAChangeMadeMeanwhile) {
    for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
        TempRegistry file;
        file.Write({{"A", "  1.  1.  1.  1"}});
        CModalWatcher watcher(answer);
        CRegisterDlg dlg(nullptr, file.path);
        dlg.show();
        file.Write({{"A", "  1.  1.  1.  1"}, {"Added", "  9.  9.  9.  9"}});  // another program
        Button(dlg, "OK")->click();
        ASSERT_EQ(watcher.boxes.size(), 1u);
        EXPECT_TRUE(watcher.boxes[0].text.contains(QStringLiteral("changed by another program")));
        EXPECT_EQ(dlg.isVisible(), answer == QMessageBox::No);
        EXPECT_EQ(file.Read().size(), answer == QMessageBox::No ? 2u : 1u);
    }
}

TEST(RegisterDialog, UnreadableFileIsShownButNotEdited) {
    struct Case {
        bool directory;
        const char* reason;
    };
    for (const Case c : {Case{false, "not a registry file"}, Case{true, "cannot be read"}}) {
        TempRegistry file;
        if (c.directory) {
            ASSERT_TRUE(QDir().mkpath(QString::fromStdString(file.path)));
        } else {
            std::ofstream(file.path, std::ios::binary)
                << "NotARegistry\r\n         1\r\nA               ,  1.  1.  1.  1 \r\n";
        }
        const std::string before = file.Bytes();
        CModalWatcher watcher;
        CRegisterDlg dlg(nullptr, file.path);
        dlg.show();
        EXPECT_FALSE(dlg.IsEditable());
        bool explained = false;
        for (const QLabel* label : dlg.findChildren<QLabel*>()) {
            explained = explained || label->text().contains(QLatin1String(c.reason));
        }
        EXPECT_TRUE(explained) << c.reason;
        EXPECT_FALSE(Button(dlg, "OK")->isEnabled());
        EXPECT_FALSE(Button(dlg, "Adds a new item")->isEnabled());
        EXPECT_FALSE(dlg.Grid()->EditCell(0, 1));
        dlg.accept();
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(file.Bytes(), before);
    }
}
