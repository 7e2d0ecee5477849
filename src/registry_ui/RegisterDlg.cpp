#include "registry_ui/RegisterDlg.h"

#include <QAction>
#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/Paths.h"
#include "platform/StatusSink.h"
#include "platform/Strings.h"
#include "registry/InstrumentRegistry.h"
#include "registry_ui/RegisterGrid.h"
#include "registry_ui/RegisterRules.h"
#include "ui/FlatLook.h"
#include "ui/PlainText.h"
#include "ui/Widgets.h"

namespace {

QString FromLatin1(const char* text) {
    return QString::fromLatin1(text);
}

// `tip` is a source text of the context CRegisterDlg.
QToolButton* ToolButton(QDialog* dialog, const char* glyph, const char* tip,
                        const QKeySequence& shortcut) {
    const QString text = CRegisterDlg::tr(tip);
    auto* action = new QAction(GlyphIcon(QString::fromUtf8(glyph)), text, dialog);
    action->setToolTip(text);
    action->setShortcut(shortcut);
    dialog->addAction(action);
    auto* button = new QToolButton(dialog);
    button->setDefaultAction(action);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::TabFocus);
    NameAfter(button, text);
    return button;
}

std::vector<std::pair<std::string, std::string>> SnapshotOf(const CInstrumentRegistry& registry) {
    std::vector<std::pair<std::string, std::string>> records;
    for (int i = 0; i < registry.GetCount(); ++i) {
        const CRegistryRecord record = registry.GetRecord(i);
        records.emplace_back(record.name, record.ip);
    }
    return records;
}

// What the check under the lock answers when the file no longer holds what the dialog showed.
constexpr RzResult kChangedMeanwhile = REPLY_UNEXPECTED;

}  // namespace

CRegisterDlg::CRegisterDlg(QWidget* parent, std::string path)
    : QDialog(parent),
      path_(path.empty() ? DataFilePath(CInstrumentRegistry::kFileName) : std::move(path)) {
    setWindowTitle(tr("Register"));

    // The top frame with the tool bar at its right end.
    auto* top = new QFrame(this);
    top->setFrameShape(QFrame::StyledPanel);
    auto* topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(4, 2, 4, 2);
    topLayout->setSpacing(0);
    add_ = ToolButton(this, "+", QT_TR_NOOP("Adds a new item"), QKeySequence(Qt::Key_Insert));
    delete_ = ToolButton(this, "\u2212", QT_TR_NOOP("Deletes current item"),
                         QKeySequence(Qt::CTRL | Qt::Key_Delete));
    up_ = ToolButton(this, "\u2191", QT_TR_NOOP("Moves item up"),
                     QKeySequence(Qt::CTRL | Qt::Key_Up));
    down_ = ToolButton(this, "\u2193", QT_TR_NOOP("Moves item down"),
                       QKeySequence(Qt::CTRL | Qt::Key_Down));
    problem_ = new QLabel(top);
    problem_->setTextFormat(Qt::PlainText);
    problem_->setWordWrap(true);
    problem_->hide();
    topLayout->addWidget(problem_, 1);
    topLayout->addStretch();
    for (QToolButton* button : {add_, delete_, up_, down_}) {
        topLayout->addWidget(button);
    }
    connect(add_->defaultAction(), &QAction::triggered, this, &CRegisterDlg::OnAdd);
    connect(delete_->defaultAction(), &QAction::triggered, this, &CRegisterDlg::OnDelete);
    connect(up_->defaultAction(), &QAction::triggered, this, &CRegisterDlg::OnUp);
    connect(down_->defaultAction(), &QAction::triggered, this, &CRegisterDlg::OnDown);

    grid_ = new CRegisterGrid(this);
    grid_->SetCommitFilter(CutCellText);
    // Twelve rows fit; from the thirteenth the scroll bar shows.
    grid_->setFixedHeight(grid_->horizontalHeader()->sizeHint().height() +
                          kRowsWithoutScrollBar * grid_->verticalHeader()->defaultSectionSize() +
                          2 * grid_->frameWidth());

    ok_ = new QPushButton(tr("&OK"), this);
    auto* cancel = new QPushButton(tr("&Cancel"), this);
    NameAfter(ok_, ok_->text());
    NameAfter(cancel, cancel->text());
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &CRegisterDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CRegisterDlg::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(top);
    layout->addWidget(grid_);
    layout->setSpacing(7);
    layout->addLayout(buttons);
    setFixedWidth(420);
    setTabOrder(grid_, ok_);
    setTabOrder(ok_, cancel);

    Load();
}

CRegisterDlg::~CRegisterDlg() = default;

void CRegisterDlg::Load() {
    CInstrumentRegistry registry;
    if (const RzExpected<void> loaded = registry.Load(path_.c_str()); !loaded) {
        ShowStatusMessages(loaded.error());
        ShowUnreadable(loaded.code());
        return;
    }
    opened_ = SnapshotOf(registry);
    for (const auto& [name, ip] : opened_) {
        grid_->InsertRow(grid_->rowCount(), FromLatin1(name.c_str()), FromLatin1(ip.c_str()));
    }
    if (grid_->rowCount() == 0) {
        grid_->InsertRow(0, QString(), QString());
    }
    grid_->SetCurrentRow(0);
}

void CRegisterDlg::ShowUnreadable(RzResult result) {
    editable_ = false;
    const QString file = QString::fromStdString(path_);
    QFile probe(file);
    const QString why = result == LINK_E_FILE_FORMAT || probe.open(QIODevice::ReadOnly)
                            ? tr("it is not a registry file")
                            : tr("it cannot be read (%1)").arg(probe.errorString());
    problem_->setText(tr("%1\n%2: %3. The file is left as it is; correct or remove "
                         "it, then open Register again.")
                          .arg(RzText(RzStr::kRegistryLoadFailed), PlainLine(file), why));
    problem_->show();
    grid_->SetReadOnly(true);
    for (QToolButton* button : {add_, delete_, up_, down_}) {
        button->defaultAction()->setEnabled(false);
    }
    ok_->setEnabled(false);
}

void CRegisterDlg::OnAdd() {
    if (!editable_) {
        return;
    }
    grid_->CommitEditor();
    if (grid_->rowCount() >= kMaxRegisterRows) {
        ShowErrorBox(this, RzFormatText(RzStr::kRegisterRowLimit, kMaxRegisterRows));
        return;
    }
    grid_->InsertRow(grid_->rowCount(), QString(), kEmptyIpCell);
    grid_->SetCurrentRow(grid_->rowCount() - 1);
}

void CRegisterDlg::OnDelete() {
    if (!editable_ || grid_->rowCount() == 0) {
        return;
    }
    grid_->CommitEditor();
    const int row = std::max(grid_->currentRow(), 0);
    grid_->removeRow(row);
    if (grid_->rowCount() == 0) {
        grid_->InsertRow(0, QString(), QString());
    }
    grid_->UpdateColumnWidths();
    grid_->SetCurrentRow(row);  // the same index, or the last row when the last one went
}

void CRegisterDlg::SwapWithNeighbour(int offset) {
    if (!editable_) {
        return;
    }
    grid_->CommitEditor();
    const int row = grid_->currentRow();
    const int other = row + offset;
    if (row < 0 || other < 0 || other >= grid_->rowCount()) {
        return;
    }
    for (int column : {CRegisterGrid::kNameColumn, CRegisterGrid::kAddressColumn}) {
        const QString text = grid_->Text(row, column);
        grid_->SetText(row, column, grid_->Text(other, column));
        grid_->SetText(other, column, text);
    }
    grid_->SetCurrentRow(other);
}

void CRegisterDlg::OnUp() {
    SwapWithNeighbour(-1);
}

void CRegisterDlg::OnDown() {
    SwapWithNeighbour(1);
}

void CRegisterDlg::accept() {
    if (!editable_) {
        return;
    }
    grid_->CommitEditor();
    std::vector<RegisterRow> rows;
    for (int row = 0; row < grid_->rowCount(); ++row) {
        rows.push_back({grid_->Text(row, CRegisterGrid::kNameColumn),
                        grid_->Text(row, CRegisterGrid::kAddressColumn)});
    }
    const RegisterCheck check = CheckRegisterRows(rows);
    if (!check.ok()) {
        ShowErrorBox(this, check.Message());
        grid_->SetCurrentRow(check.row - 1);
        return;
    }

    if (Write(check.records)) {
        QDialog::accept();
    }
}

bool CRegisterDlg::Write(const std::vector<CRegistryRecord>& records) {
    CInstrumentRegistry registry;
    // Names the file; the list is read again under the lock.
    if (const RzExpected<void> loaded = registry.Load(path_.c_str()); !loaded) {
        ShowStatusMessages(loaded.error());
    }
    Snapshot expected = opened_;
    for (;;) {
        Snapshot found;
        const RzExpected<void> updated = registry.Update([&](CInstrumentRegistry& held) {
            found = SnapshotOf(held);
            if (found != expected) {
                return kChangedMeanwhile;
            }
            held.Clear();
            for (const CRegistryRecord& record : records) {
                held.Add(record);
            }
            return RZ_OK;
        });
        if (!updated) {
            ShowStatusMessages(updated.error());
        }
        const RzResult result = updated.code();
        if (result == RZ_OK) {
            registeredCount_ = registry.GetCount();
            return true;
        }
        const QString file = QString::fromStdString(path_);
        if (result != kChangedMeanwhile) {
            const RzStr id =
                result == LINK_E_FILE_FORMAT ? RzStr::kRegistryLoadFailed : RzStr::kFileNotSaved;
            ShowErrorBox(this, QStringLiteral("%1\n%2").arg(RzText(id), file));
            return false;
        }
        const QString question = tr("%1 was changed by another program after this dialog "
                                    "opened.\nReplace it with the list shown here?")
                                     .arg(file);
        if (!AskYesNo(this, question)) {
            return false;
        }
        expected = found;  // overwrite what the operator agreed to, and nothing newer
    }
}
